#include "backendchoice.h"

#include "simulation/simulationbackend.h"

#if defined(ZDX7000_HAVE_LIBUSB)
#include "libusbbackend.h"
#endif

namespace zdx::usb {

Backend *makeChosenBackend()
{
    switch (chosenBackendKind()) {
    case BackendKind::SimulationFile:
        return new SimulationBackend(std::filesystem::path(std::getenv(SimulationVariable)));
    case BackendKind::Demonstration:
        return new SimulationBackend();
    case BackendKind::Usb:
        break;
    }
#if defined(ZDX7000_HAVE_LIBUSB)
    return new LibusbBackend();
#else
    // A build without a hardware backend of its own keeps offering the demonstration.
    return new SimulationBackend();
#endif
}

} // namespace zdx::usb
