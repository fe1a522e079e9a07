// What a simulation file (or the built-in demonstration) describes: the controllers, their channels
// and their faults, exactly as written, before anything has run. Numbers are raw wire values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdx::usb {

struct SimulationConfig
{
    enum class Timing
    {
        Realtime, // reads wait out the driver's read time-out, as hardware does
        Instant,  // a read with nothing to deliver times out at once
    };

    enum class Model
    {
        Fixed,   // the actual value stays as written
        Thermal, // heater: first-order lag towards the setpoint, cools to ambient with the loop off
        Gas,     // gas mixer: the same shape with a slower chamber
    };

    struct Channel
    {
        int number = 1;
        std::string name;
        int16_t actual = 0;
        int16_t setpoint = 0;
        int16_t minimum = 0;
        int16_t maximum = 0;
        uint8_t control = 0;
        uint8_t status = 0;
        uint8_t calibration = 0;
        Model model = Model::Fixed;
        // Model parameters; the reader fills the model's defaults where the file says nothing.
        double tauSeconds = 0;    // time constant with the loop on
        double tauOffSeconds = 0; // time constant of the drift to ambient with the loop off
        double ambient = 0;       // raw value the channel drifts to with the loop off
        double jitter = 0;        // amplitude of the measurement noise, raw units
    };

    struct Controller
    {
        std::string serial;
        std::string description;
        uint16_t vendorId = 0x2E91;
        uint16_t productId = 0x0001;
        uint8_t deviceStatus = 0;
        uint8_t controlMode = 0;
        uint8_t brightness = 0;
        bool present = true;
        // Faults.
        bool silent = false;
        std::vector<uint8_t> refused; // command bytes answered with a refusal
        int noise = 0;                // bytes other than the start mark before each answer
        int chunk = 0;                // largest read that delivers answer bytes; 0 = no limit
        bool corrupt = false;         // answers carry a wrong checksum
        int openFailures = 0;         // the first this many opens fail
        bool linkNameFails = false;
        int delayMs = 0;  // an answer becomes readable this long after its request
        int wireBaud = 0; // > 0: bytes take their time on a wire of this rate
        std::vector<Channel> channels;
    };

    Timing timing = Timing::Realtime;
    uint64_t seed = 1;
    std::vector<Controller> controllers;
};

} // namespace zdx::usb
