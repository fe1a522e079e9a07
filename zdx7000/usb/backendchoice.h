// Which USB backend runs, chosen by the environment variable ZDX7000_SIMULATION: a file name
// chooses that simulation file, "demo" the built-in demonstration controllers, and unset or empty
// real USB. The reading of the variable is inline, so that zdxtool can say which backend the
// library runs without reaching inside it.
#pragma once

#include <cstdlib>
#include <cstring>

namespace zdx::usb {

class Backend;

constexpr char SimulationVariable[] = "ZDX7000_SIMULATION";
constexpr char DemonstrationValue[] = "demo";

enum class BackendKind
{
    Usb,
    Demonstration,
    SimulationFile,
};

inline BackendKind backendKind(const char *variable)
{
    if (!variable || !*variable)
        return BackendKind::Usb;
    if (std::strcmp(variable, DemonstrationValue) == 0)
        return BackendKind::Demonstration;
    return BackendKind::SimulationFile;
}

inline BackendKind chosenBackendKind()
{
    return backendKind(std::getenv(SimulationVariable));
}

// The backend the environment chooses, allocated with new.
Backend *makeChosenBackend();

} // namespace zdx::usb
