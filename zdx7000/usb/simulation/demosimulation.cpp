#include "demosimulation.h"

#include "simulationfilereader.h"

namespace zdx::usb {

namespace {

SimulationConfig::Channel channel(int number, const char *name, SimulationConfig::Model model,
                                  int16_t actual, int16_t setpoint, int16_t minimum,
                                  int16_t maximum)
{
    SimulationConfig::Channel c;
    c.number = number;
    c.name = name;
    c.model = model;
    c.actual = actual;
    c.setpoint = setpoint;
    c.minimum = minimum;
    c.maximum = maximum;
    c.control = 1;
    SimulationFileReader::applyModelDefaults(c, false, false, false, false);
    return c;
}

} // namespace

SimulationConfig DemoSimulation::config()
{
    using Model = SimulationConfig::Model;
    SimulationConfig config;
    config.timing = SimulationConfig::Timing::Realtime;

    // Raw values in tenths: 220 is 22.0 degrees, 370 is 37.0 degrees, 50 is 5.0 %.
    SimulationConfig::Controller heat;
    heat.serial = "150A7001";
    heat.description = "Heat Unit H2";
    heat.vendorId = 0x2E91;
    heat.productId = 0x0001;
    heat.channels.push_back(channel(1, "Stage Heater", Model::Thermal, 220, 370, 0, 600));
    // The long name makes the name reply longer than 31 characters.
    heat.channels.push_back(
        channel(2, "Lid Heater for Glass Cover Plate", Model::Thermal, 220, 370, 0, 600));
    config.controllers.push_back(heat);

    SimulationConfig::Controller gas;
    gas.serial = "154B2017";
    gas.description = "Gas Unit G2";
    gas.vendorId = 0x2E91;
    gas.productId = 0x0004;
    gas.channels.push_back(channel(1, "CO2 Sensor", Model::Gas, 0, 50, 0, 200));
    // Oxygen is regulated down from air (20.9 %) by flushing with nitrogen.
    SimulationConfig::Channel oxygen = channel(2, "O2 Sensor", Model::Gas, 209, 50, 10, 210);
    oxygen.ambient = 209;
    gas.channels.push_back(oxygen);
    config.controllers.push_back(gas);
    return config;
}

} // namespace zdx::usb
