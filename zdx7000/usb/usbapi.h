// The USB layer under the I/O driver: the nine calls of the platform's USB bridge driver library,
// reached through one process-wide, reference-counted table of entry points. Behind the table sits
// a Backend; the controller simulation is the default one, and a hardware backend can be added here
// without touching the driver.
#pragma once

#include <cstdint>

namespace zdx::usb {

// Status numbers of the USB layer. The driver relies on Success, ReadTimedOut and WriteTimedOut;
// every other value is a failure.
enum Status : int32_t
{
    Success = 0,
    InvalidHandle = 1,
    ReadError = 2,
    WriteError = 3,
    FlushError = 4,
    InvalidParameter = 5,
    InvalidRequestLength = 6,
    DeviceIoFailed = 7,
    InvalidBaudRate = 8,
    NotSupported = 9,
    DeviceNotFound = 10,
    ReadTimedOut = 13,
    WriteTimedOut = 14,
    // Our own: the platform's USB library, or one of the calls taken from it, could not be
    // loaded. Every call then fails with it and no controller is found.
    LibraryUnavailable = 64,
};

// Selectors of productString.
enum ProductSelector : uint32_t
{
    SerialNumber = 0,
    Description = 1,
    LinkName = 2,
    VendorId = 3,  // hexadecimal text, as USB reports it
    ProductId = 4, // hexadecimal text
};

// Callers pass product-string buffers of at least this many bytes.
constexpr uint32_t ProductStringSize = 256;

using Handle = intptr_t;

// One implementation of the USB calls. Device numbers are 0-based positions in the current device
// list; handles are whatever the backend hands out (never -1).
class Backend
{
public:
    virtual ~Backend() = default;
    virtual int32_t deviceCount(uint32_t *count) = 0;
    virtual int32_t productString(uint32_t device, char *buffer, uint32_t selector) = 0;
    virtual int32_t open(uint32_t device, Handle *handle) = 0;
    virtual int32_t close(Handle handle) = 0;
    // Returns whatever bytes are there, at most `wanted`; with none, waits up to the read time-out
    // and answers ReadTimedOut with *got = 0.
    virtual int32_t read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got) = 0;
    virtual int32_t write(Handle handle, const void *buffer, uint32_t size, uint32_t *written) = 0;
    virtual int32_t flush(Handle handle, uint8_t transmit, uint8_t receive) = 0;
    // Process-wide, like the platform library's: no handle.
    virtual int32_t setTimeouts(uint32_t readMs, uint32_t writeMs) = 0;
    virtual int32_t setBaudRate(Handle handle, uint32_t baudRate) = 0;
    // Success while the backend can reach controllers at all, else why not (LibraryUnavailable).
    // Meaningful after a device count, which is where a backend loads what it needs.
    virtual int32_t availability() const { return Success; }
    // Why the device cannot be opened, as a sentence a user can act on (the missing permission
    // and the rule that grants it), NUL-terminated in a buffer of ProductStringSize bytes; empty
    // when nothing is known to stand in the way. Not one of the platform library's calls: a
    // backend that cannot tell leaves it empty.
    virtual int32_t accessProblem(uint32_t device, char *buffer);
};

// The table of entry points, with the argument lists of the platform library (the overlapped
// arguments of read and write are always null here).
struct Api
{
    int32_t (*getNumDevices)(uint32_t *count);
    int32_t (*getProductString)(uint32_t device, char *buffer, uint32_t selector);
    int32_t (*open)(uint32_t device, Handle *handle);
    int32_t (*close)(Handle handle);
    int32_t (*read)(Handle handle, void *buffer, uint32_t wanted, uint32_t *got, void *overlapped);
    int32_t (*write)(Handle handle, const void *buffer, uint32_t size, uint32_t *written,
                     void *overlapped);
    int32_t (*flushBuffers)(Handle handle, uint8_t transmit, uint8_t receive);
    int32_t (*setTimeouts)(uint32_t readMs, uint32_t writeMs);
    int32_t (*setBaudRate)(Handle handle, uint32_t baudRate);
};

// The first acquirer fills the table, later ones only count. Release never takes the count below
// zero and never clears the table. Not thread-safe: the library is called from one thread.
const Api *acquireApi();
void releaseApi();
int apiReferenceCount();
// The filled table (null before the first acquire).
const Api *api();

// The backend the table calls. Without an explicit one, the one ZDX7000_SIMULATION chooses
// (backendchoice.h): a simulation file, the built-in demonstration, or real USB. On Windows it is
// always the vendor's library, SiUSBXp.dll (siusbxpbackend.h).
Backend *backend();
// Backend::accessProblem of the backend in use.
int32_t accessProblem(uint32_t device, char *buffer);
// Replaces the backend (not owned; null restores the default). For tests and embedding.
void setBackend(Backend *backend);
// Destroys the default backend, if one was made; the next call makes a fresh one. For the
// library's unload, when no device uses it any more.
void releaseDefaultBackend();

} // namespace zdx::usb
