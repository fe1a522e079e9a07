// A USB backend whose every answer the test decides: device strings, statuses, how much a write
// takes at once, and the bytes a read delivers. It records the calls the driver makes. Answers come
// from preallocated storage so that allocation counts are not disturbed.
#pragma once

#include "usb/usbapi.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace zdx::test {

class ScriptedBackend : public usb::Backend
{
public:
    struct Device
    {
        std::string serial;
        std::string description;
        std::string linkName;
        std::string vendorId = "2E91";
        std::string productId = "0001";
    };

    std::vector<Device> devices;
    int32_t countStatus = usb::Success;
    int failLinkNameOf = -1; // device number whose link-name query fails
    int32_t openStatus = usb::Success;
    int32_t closeStatus = usb::Success;
    int32_t flushStatus = usb::Success;
    int32_t timeoutStatus = usb::Success;
    int failTimeoutCall = -1; // index into timeoutCalls of the one set-time-outs call that fails
    int32_t baudStatus = usb::Success;
    std::deque<uint32_t> writePieces; // bytes each write call takes; empty: all of it
    int32_t writeStatus = usb::Success;
    int32_t readStatus = usb::Success; // a failure other than time-out when set

    // Bytes the next reads deliver, at most `readChunk` at a time (0: no limit).
    std::array<uint8_t, 4096> input{};
    size_t inputLength = 0;
    size_t inputPosition = 0;
    uint32_t readChunk = 0;

    // What the driver did.
    std::vector<std::pair<uint32_t, uint32_t>> timeoutCalls;
    std::vector<uint32_t> baudCalls;
    int flushCalls = 0;
    int openCalls = 0;
    int closeCalls = 0;
    std::vector<usb::Handle> closedHandles;
    std::vector<uint8_t> written;

    void queueInput(const std::vector<uint8_t> &bytes)
    {
        std::memcpy(input.data() + inputLength, bytes.data(), bytes.size());
        inputLength += bytes.size();
    }

    int32_t deviceCount(uint32_t *count) override
    {
        *count = static_cast<uint32_t>(devices.size());
        return countStatus;
    }
    int32_t productString(uint32_t device, char *buffer, uint32_t selector) override
    {
        if (device >= devices.size())
            return usb::DeviceNotFound;
        const Device &d = devices[device];
        if (selector == usb::LinkName && int(device) == failLinkNameOf)
            return usb::DeviceIoFailed;
        const std::string *text = nullptr;
        switch (selector) {
        case usb::SerialNumber:
            text = &d.serial;
            break;
        case usb::Description:
            text = &d.description;
            break;
        case usb::LinkName:
            text = &d.linkName;
            break;
        case usb::VendorId:
            text = &d.vendorId;
            break;
        case usb::ProductId:
            text = &d.productId;
            break;
        default:
            return usb::InvalidParameter;
        }
        std::strncpy(buffer, text->c_str(), usb::ProductStringSize - 1);
        buffer[usb::ProductStringSize - 1] = '\0';
        return usb::Success;
    }
    int32_t open(uint32_t device, usb::Handle *handle) override
    {
        ++openCalls;
        if (openStatus != usb::Success)
            return openStatus;
        *handle = static_cast<usb::Handle>(device) + 100;
        return usb::Success;
    }
    int32_t close(usb::Handle handle) override
    {
        ++closeCalls;
        closedHandles.push_back(handle);
        return closeStatus;
    }
    int32_t read(usb::Handle, void *buffer, uint32_t wanted, uint32_t *got) override
    {
        *got = 0;
        if (readStatus != usb::Success)
            return readStatus;
        size_t n = std::min<size_t>(wanted, inputLength - inputPosition);
        if (readChunk)
            n = std::min<size_t>(n, readChunk);
        if (n == 0)
            return usb::ReadTimedOut;
        std::memcpy(buffer, input.data() + inputPosition, n);
        inputPosition += n;
        *got = static_cast<uint32_t>(n);
        return usb::Success;
    }
    int32_t write(usb::Handle, const void *buffer, uint32_t size, uint32_t *written) override
    {
        *written = 0;
        if (writeStatus != usb::Success)
            return writeStatus;
        uint32_t n = size;
        if (!writePieces.empty()) {
            n = std::min(size, writePieces.front());
            writePieces.pop_front();
        }
        const auto *bytes = static_cast<const uint8_t *>(buffer);
        this->written.insert(this->written.end(), bytes, bytes + n);
        *written = n;
        return usb::Success;
    }
    int32_t flush(usb::Handle, uint8_t, uint8_t) override
    {
        ++flushCalls;
        return flushStatus;
    }
    int32_t setTimeouts(uint32_t readMs, uint32_t writeMs) override
    {
        timeoutCalls.emplace_back(readMs, writeMs);
        if (int(timeoutCalls.size()) - 1 == failTimeoutCall)
            return usb::InvalidParameter;
        return timeoutStatus;
    }
    int32_t setBaudRate(usb::Handle, uint32_t baudRate) override
    {
        baudCalls.push_back(baudRate);
        return baudStatus;
    }
};

// Installs a backend for the lifetime of a test and restores the default afterwards.
class BackendScope
{
public:
    explicit BackendScope(usb::Backend *backend) { usb::setBackend(backend); }
    ~BackendScope() { usb::setBackend(nullptr); }
    BackendScope(const BackendScope &) = delete;
    BackendScope &operator=(const BackendScope &) = delete;
};

} // namespace zdx::test
