// Reads a simulation file into a SimulationConfig. Missing attributes give defaults; anything that
// is present but cannot be a valid value refuses the whole document, so that a typo never turns
// silently into a different controller.
#pragma once

#include "simulationconfig.h"

#include <filesystem>
#include <string>

namespace zdx::usb {

class SimulationFileReader
{
public:
    // On failure `error` names the file position and the reason, and `config` is left untouched.
    static bool readFile(const std::filesystem::path &path, SimulationConfig &config,
                         std::string &error);
    static bool readText(const std::string &text, SimulationConfig &config, std::string &error);

    // Fills the model parameters a channel element did not give.
    static void applyModelDefaults(SimulationConfig::Channel &channel, bool hasTau, bool hasTauOff,
                                   bool hasAmbient, bool hasJitter);
};

} // namespace zdx::usb
