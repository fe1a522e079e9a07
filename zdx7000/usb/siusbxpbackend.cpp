#include "siusbxpbackend.h"

namespace zdx::usb {

namespace {

// The ordinals of the calls the library is used through.
enum Ordinal : WORD
{
    OrdinalGetNumDevices = 1,
    OrdinalGetProductString = 2,
    OrdinalOpen = 3,
    OrdinalClose = 4,
    OrdinalRead = 6,
    OrdinalWrite = 7,
    OrdinalFlushBuffers = 9,
    OrdinalSetTimeouts = 10,
    OrdinalSetBaudRate = 13,
};

template <typename Function>
bool take(HMODULE module, WORD ordinal, Function &function)
{
    function = reinterpret_cast<Function>(
        reinterpret_cast<void *>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    return function != nullptr;
}

HANDLE toNative(Handle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

SiUSBXpBackend::SiUSBXpBackend(const wchar_t *library)
    : m_library(library)
{}

SiUSBXpBackend::~SiUSBXpBackend()
{
    if (m_module)
        FreeLibrary(m_module);
}

bool SiUSBXpBackend::load()
{
    if (m_module)
        return true;
    // Not from the current folder, where anyone could have put a library of that name.
    HMODULE module = LoadLibraryExW(m_library, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER)
        module = LoadLibraryW(m_library); // a Windows without the safe search flags
    if (!module)
        return false;
    Calls calls{};
    const bool complete =
        take(module, OrdinalGetNumDevices, calls.getNumDevices) &&
        take(module, OrdinalGetProductString, calls.getProductString) &&
        take(module, OrdinalOpen, calls.open) && take(module, OrdinalClose, calls.close) &&
        take(module, OrdinalRead, calls.read) && take(module, OrdinalWrite, calls.write) &&
        take(module, OrdinalFlushBuffers, calls.flushBuffers) &&
        take(module, OrdinalSetTimeouts, calls.setTimeouts) &&
        take(module, OrdinalSetBaudRate, calls.setBaudRate);
    if (!complete) {
        // Some other library of that name, or a version without a call we need: not one call
        // goes through a library we cannot use whole.
        FreeLibrary(module);
        return false;
    }
    m_module = module;
    m_calls = calls;
    return true;
}

int32_t SiUSBXpBackend::availability() const
{
    return m_module ? Success : LibraryUnavailable;
}

int32_t SiUSBXpBackend::deviceCount(uint32_t *count)
{
    if (!load())
        return LibraryUnavailable;
    DWORD number = 0;
    const int32_t status = m_calls.getNumDevices(&number);
    if (count)
        *count = number;
    return status;
}

int32_t SiUSBXpBackend::productString(uint32_t device, char *buffer, uint32_t selector)
{
    if (!m_module)
        return LibraryUnavailable;
    return m_calls.getProductString(device, buffer, selector);
}

int32_t SiUSBXpBackend::open(uint32_t device, Handle *handle)
{
    if (!m_module)
        return LibraryUnavailable;
    if (!handle)
        return InvalidParameter;
    HANDLE native = nullptr;
    const int32_t status = m_calls.open(device, &native);
    if (status == Success)
        *handle = reinterpret_cast<Handle>(native);
    return status;
}

int32_t SiUSBXpBackend::close(Handle handle)
{
    if (!m_module)
        return LibraryUnavailable;
    return m_calls.close(toNative(handle));
}

int32_t SiUSBXpBackend::read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got)
{
    if (!m_module)
        return LibraryUnavailable;
    DWORD count = 0;
    const int32_t status = m_calls.read(toNative(handle), buffer, wanted, &count, nullptr);
    if (got)
        *got = count;
    return status;
}

int32_t SiUSBXpBackend::write(Handle handle, const void *buffer, uint32_t size, uint32_t *written)
{
    if (!m_module)
        return LibraryUnavailable;
    DWORD count = 0;
    // The library's argument is not const, but it only reads the bytes.
    const int32_t status =
        m_calls.write(toNative(handle), const_cast<void *>(buffer), size, &count, nullptr);
    if (written)
        *written = count;
    return status;
}

int32_t SiUSBXpBackend::flush(Handle handle, uint8_t transmit, uint8_t receive)
{
    if (!m_module)
        return LibraryUnavailable;
    return m_calls.flushBuffers(toNative(handle), transmit, receive);
}

int32_t SiUSBXpBackend::setTimeouts(uint32_t readMs, uint32_t writeMs)
{
    if (!m_module)
        return LibraryUnavailable;
    return m_calls.setTimeouts(readMs, writeMs);
}

int32_t SiUSBXpBackend::setBaudRate(Handle handle, uint32_t baudRate)
{
    if (!m_module)
        return LibraryUnavailable;
    return m_calls.setBaudRate(toNative(handle), baudRate);
}

} // namespace zdx::usb
