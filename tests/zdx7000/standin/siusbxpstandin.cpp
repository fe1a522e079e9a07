// A stand-in for the vendor's USB bridge library, for the Windows tests only: the nine calls the
// library uses, exported by ordinal with the vendor's stdcall convention, answered by the
// controller simulation (the file named by ZDX7000_SIMULATION, else the demonstration) exactly as
// the Linux library's own simulation answers. Loading it, taking its ordinals and calling through
// them is the path a Windows program takes to real controllers.
#include "usb/backendchoice.h"
#include "usb/simulation/simulationbackend.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

using zdx::usb::Backend;
using zdx::usb::Handle;
using zdx::usb::SimulationBackend;

namespace {

Backend *g_backend = nullptr;

// Made at the first call rather than at load, so that a test can name its simulation file first.
Backend &backend()
{
    if (!g_backend)
        g_backend = zdx::usb::makeChosenBackend();
    return *g_backend;
}

Handle fromNative(HANDLE handle)
{
    return reinterpret_cast<Handle>(handle);
}

} // namespace

extern "C" {

int32_t WINAPI StandInGetNumDevices(DWORD *count)
{
    uint32_t number = 0;
    const int32_t status = backend().deviceCount(&number);
    if (count)
        *count = number;
    return status;
}

int32_t WINAPI StandInGetProductString(DWORD device, void *buffer, DWORD selector)
{
    return backend().productString(device, static_cast<char *>(buffer), selector);
}

int32_t WINAPI StandInOpen(DWORD device, HANDLE *handle)
{
    Handle opened = 0;
    const int32_t status = backend().open(device, handle ? &opened : nullptr);
    if (status == zdx::usb::Success)
        *handle = reinterpret_cast<HANDLE>(opened);
    return status;
}

int32_t WINAPI StandInClose(HANDLE handle)
{
    return backend().close(fromNative(handle));
}

int32_t WINAPI StandInRead(HANDLE handle, void *buffer, DWORD wanted, DWORD *got, OVERLAPPED *)
{
    uint32_t count = 0;
    const int32_t status = backend().read(fromNative(handle), buffer, wanted, &count);
    if (got)
        *got = count;
    return status;
}

int32_t WINAPI StandInWrite(HANDLE handle, void *buffer, DWORD size, DWORD *written, OVERLAPPED *)
{
    uint32_t count = 0;
    const int32_t status = backend().write(fromNative(handle), buffer, size, &count);
    if (written)
        *written = count;
    return status;
}

int32_t WINAPI StandInFlushBuffers(HANDLE handle, BYTE transmit, BYTE receive)
{
    return backend().flush(fromNative(handle), transmit, receive);
}

int32_t WINAPI StandInSetTimeouts(DWORD readMs, DWORD writeMs)
{
    return backend().setTimeouts(readMs, writeMs);
}

int32_t WINAPI StandInSetBaudRate(HANDLE handle, DWORD baudRate)
{
    return backend().setBaudRate(fromNative(handle), baudRate);
}

} // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // Unloaded by FreeLibrary: the simulation goes with it, and a later load reads the
    // environment afresh. At process exit there is nothing to tidy.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        delete g_backend;
        g_backend = nullptr;
    }
    return TRUE;
}
