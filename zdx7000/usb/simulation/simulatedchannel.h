// One channel of a simulated controller: the values the host reads and writes, and the model that
// moves the actual value. The model is evaluated lazily at the times the caller passes in, so it
// needs no thread and follows whatever clock the backend runs on.
#pragma once

#include "simulationconfig.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace zdx::usb {

class SimulatedChannel
{
public:
    using Time = std::chrono::microseconds;

    SimulatedChannel(const SimulationConfig::Channel &config, uint64_t noiseSeed, Time now);

    // Takes a re-read file. What the file changed relative to its previous read wins; setpoint and
    // loop control keep what the host wrote when the file left them alone.
    void reconfigure(const SimulationConfig::Channel &config, uint64_t noiseSeed, Time now);

    int number() const { return m_file.number; }
    const std::string &name() const { return m_file.name; }
    int16_t minimum() const { return m_file.minimum; }
    int16_t maximum() const { return m_file.maximum; }
    uint8_t status() const { return m_file.status; }
    uint8_t calibration() const { return m_file.calibration; }
    int16_t setpoint() const { return m_setpoint; }
    uint8_t control() const { return m_control; }

    // The reading: model value plus measurement noise, rounded to a raw step.
    int16_t actual(Time now);
    // The model value without noise.
    double modelValue(Time now);

    // A setpoint outside the range is clamped to it, as the controller's front panel does; the
    // result is what the controller keeps.
    int16_t writeSetpoint(int16_t value, Time now);
    // Any non-zero byte switches the loop on and is kept as 1.
    uint8_t writeControl(uint8_t value, Time now);

private:
    void advance(Time now);
    double noise(Time now) const;

    SimulationConfig::Channel m_file; // as last read from the file
    uint64_t m_noiseSeed;
    int16_t m_setpoint;
    uint8_t m_control;
    double m_value;
    Time m_updated;
};

} // namespace zdx::usb
