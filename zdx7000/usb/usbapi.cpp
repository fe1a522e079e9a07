#include "usbapi.h"

#if defined(_WIN32)
#include "siusbxpbackend.h"
#else
#include "backendchoice.h"
#endif

namespace zdx::usb {

namespace {

Api g_table{};
bool g_filled = false;
int g_references = 0;
Backend *g_backend = nullptr;
// A plain pointer rather than a static object: the library's unload hook still closes devices
// through it after static destructors may have run, and then releases it.
Backend *g_defaultBackend = nullptr;

int32_t callGetNumDevices(uint32_t *count)
{
    return backend()->deviceCount(count);
}
int32_t callGetProductString(uint32_t device, char *buffer, uint32_t selector)
{
    return backend()->productString(device, buffer, selector);
}
int32_t callOpen(uint32_t device, Handle *handle)
{
    return backend()->open(device, handle);
}
int32_t callClose(Handle handle)
{
    return backend()->close(handle);
}
int32_t callRead(Handle handle, void *buffer, uint32_t wanted, uint32_t *got, void *)
{
    return backend()->read(handle, buffer, wanted, got);
}
int32_t callWrite(Handle handle, const void *buffer, uint32_t size, uint32_t *written, void *)
{
    return backend()->write(handle, buffer, size, written);
}
int32_t callFlush(Handle handle, uint8_t transmit, uint8_t receive)
{
    return backend()->flush(handle, transmit, receive);
}
int32_t callSetTimeouts(uint32_t readMs, uint32_t writeMs)
{
    return backend()->setTimeouts(readMs, writeMs);
}
int32_t callSetBaudRate(Handle handle, uint32_t baudRate)
{
    return backend()->setBaudRate(handle, baudRate);
}

} // namespace

const Api *acquireApi()
{
    if (g_references++ == 0 && !g_filled) {
        g_table = Api{
            callGetNumDevices, callGetProductString, callOpen,       callClose, callRead, callWrite,
            callFlush,         callSetTimeouts,      callSetBaudRate};
        g_filled = true;
    }
    return &g_table;
}

void releaseApi()
{
    if (g_references > 0)
        --g_references;
}

int apiReferenceCount()
{
    return g_references;
}

const Api *api()
{
    return g_filled ? &g_table : nullptr;
}

Backend *backend()
{
    if (g_backend)
        return g_backend;
    if (!g_defaultBackend) {
#if defined(_WIN32)
        // On Windows the controllers are always reached through the vendor's library; simulated
        // controllers come from a stand-in of that library, so the same path is exercised.
        g_defaultBackend = new SiUSBXpBackend;
#else
        g_defaultBackend = makeChosenBackend();
#endif
    }
    return g_defaultBackend;
}

int32_t Backend::accessProblem(uint32_t, char *buffer)
{
    if (!buffer)
        return InvalidParameter;
    buffer[0] = '\0';
    return Success;
}

int32_t accessProblem(uint32_t device, char *buffer)
{
    return backend()->accessProblem(device, buffer);
}

void setBackend(Backend *backend)
{
    g_backend = backend;
}

void releaseDefaultBackend()
{
    delete g_defaultBackend;
    g_defaultBackend = nullptr;
}

} // namespace zdx::usb
