// The USB backend for real controllers on Linux and other systems with libusb-1.0. It lists only
// the devices of the controllers' vendor, reads their strings once per attachment, and talks to a
// controller through the bulk endpoints of its vendor interface. Single-threaded, like the library
// above it; libusb's own event thread only follows hot-plug.
#pragma once

#include "usbapi.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace zdx::usb {

class LibusbBackend : public Backend
{
public:
    static constexpr uint16_t ControllerVendorId = 0x2E91;

    LibusbBackend();
    ~LibusbBackend() override;

    int32_t deviceCount(uint32_t *count) override;
    int32_t productString(uint32_t device, char *buffer, uint32_t selector) override;
    int32_t open(uint32_t device, Handle *handle) override;
    int32_t close(Handle handle) override;
    int32_t read(Handle handle, void *buffer, uint32_t wanted, uint32_t *got) override;
    int32_t write(Handle handle, const void *buffer, uint32_t size, uint32_t *written) override;
    int32_t flush(Handle handle, uint8_t transmit, uint8_t receive) override;
    int32_t setTimeouts(uint32_t readMs, uint32_t writeMs) override;
    int32_t setBaudRate(Handle handle, uint32_t baudRate) override;
    int32_t accessProblem(uint32_t device, char *buffer) override;

    // How often a device was opened to read its strings, for the tests and the benchmark that
    // show that a scan of known devices opens nothing.
    int stringReads() const { return m_stringReads; }

private:
    struct Attached;
    struct Session;

    bool ensureContext();
    // Reads the description and serial number from the string descriptors; without permission,
    // from the copies the kernel keeps, and notes the problem.
    void readStrings(Attached &attached);
    Session *session(Handle handle);
    void endSession(Session &session);

    libusb_context *m_context = nullptr;
    bool m_contextFailed = false;
    // The devices of the last count, in link-name order; their positions are the device numbers.
    std::vector<std::unique_ptr<Attached>> m_attached;
    std::map<Handle, std::unique_ptr<Session>> m_sessions;
    // Never reused, so that a stale handle cannot reach a newer session.
    Handle m_nextHandle = 1;
    uint32_t m_readTimeoutMs = 2500;
    uint32_t m_writeTimeoutMs = 2500;
    int m_stringReads = 0;
};

} // namespace zdx::usb
