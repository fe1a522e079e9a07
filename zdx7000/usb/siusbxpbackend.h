// Windows only: the USB calls of the vendor's bridge library, SiUSBXp.dll, taken by ordinal (the
// library exports them without names). The library is loaded at the first device count, not when
// the backend is made: the backend may be made while Windows holds its loader lock (the DLL's
// attach and detach), where loading another library is not allowed.
#pragma once

#include "usbapi.h"

#include <cstdint>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace zdx::usb {

class SiUSBXpBackend : public Backend
{
public:
    // The library's file name; searched in the program's folder and the system folders, never in
    // the current working folder.
    explicit SiUSBXpBackend(const wchar_t *library = L"SiUSBXp.dll");
    ~SiUSBXpBackend() override;
    SiUSBXpBackend(const SiUSBXpBackend &) = delete;
    SiUSBXpBackend &operator=(const SiUSBXpBackend &) = delete;

    // A missing library is looked for again at every device count, so that a driver installed
    // while the program runs is found by its next scan. Once loaded, it stays.
    int32_t deviceCount(uint32_t *count) override;
    int32_t productString(uint32_t device, char *buffer, uint32_t selector) override;
    int32_t open(uint32_t device, Handle *handle) override;
    int32_t close(Handle handle) override;
    int32_t read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got) override;
    int32_t write(Handle handle, const void *buffer, uint32_t size, uint32_t *written) override;
    int32_t flush(Handle handle, uint8_t transmit, uint8_t receive) override;
    int32_t setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int32_t setBaudRate(Handle handle, uint32_t baudRate) override;
    int32_t availability() const override;

private:
    // The library's calls, with its stdcall convention and its argument lists.
    struct Calls
    {
        int32_t(WINAPI *getNumDevices)(DWORD *count);
        int32_t(WINAPI *getProductString)(DWORD device, void *buffer, DWORD selector);
        int32_t(WINAPI *open)(DWORD device, HANDLE *handle);
        int32_t(WINAPI *close)(HANDLE handle);
        int32_t(WINAPI *read)(HANDLE handle, void *buffer, DWORD wanted, DWORD *got,
                              OVERLAPPED *overlapped);
        int32_t(WINAPI *write)(HANDLE handle, void *buffer, DWORD size, DWORD *written,
                               OVERLAPPED *overlapped);
        int32_t(WINAPI *flushBuffers)(HANDLE handle, BYTE transmit, BYTE receive);
        int32_t(WINAPI *setTimeouts)(DWORD readMs, DWORD writeMs);
        int32_t(WINAPI *setBaudRate)(HANDLE handle, DWORD baudRate);
    };

    // Loads the library and takes every call; all or nothing.
    bool load();

    const wchar_t *m_library;
    HMODULE m_module = nullptr;
    Calls m_calls{};
};

} // namespace zdx::usb
