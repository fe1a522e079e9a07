#include "iodriversiusbxp.h"

#include "iodriversiusbxpenumerator.h"
#include "protocol/pool.h"
#include "status.h"

#include <cstring>

namespace zdx {

struct IODriverSiUSBXp::Settings
{
    usb::Handle handle = -1;
    Pool *receivePool = nullptr;
    Frame *pendingFrame = nullptr;
    int32_t readTimeout = 2500;  // ms
    int32_t writeTimeout = 2500; // ms
    int32_t baudRate = 115200;
    int32_t frameCapacity = 0;
    PortEntry openEntry{};
};

IODriverSiUSBXp::IODriverSiUSBXp()
    : m_settings(new Settings)
{
    usb::acquireApi();
}

IODriverSiUSBXp::~IODriverSiUSBXp()
{
    giveBack(m_settings->pendingFrame);
    usb::releaseApi();
}

usb::Handle IODriverSiUSBXp::handle() const
{
    return m_settings->handle;
}

int32_t IODriverSiUSBXp::createEnumerator(IIODriverEnumerator **out)
{
    if (!out)
        return StatusNullArgument;
    *out = new IODriverSiUSBXpEnumerator;
    return StatusOk;
}

int32_t IODriverSiUSBXp::setReceivePool(Pool *pool)
{
    Settings &s = *m_settings;
    s.receivePool = pool;
    s.frameCapacity = pool ? pool->allocator()->capacity() : 0;
    giveBack(s.pendingFrame);
    s.pendingFrame = nullptr;
    if (pool) {
        s.pendingFrame = pool->acquire();
        if (s.pendingFrame)
            s.pendingFrame->state = FrameLent;
    }
    return StatusOk;
}

int32_t IODriverSiUSBXp::open(const PortEntry *entry)
{
    Settings &s = *m_settings;
    if (s.handle != -1)
        return StatusAlreadyOpen;
    if (!entry)
        return StatusNullArgument;
    if (m_state != Closed)
        return StatusWrongState;
    if (entry->kind != PortEntryKind)
        return StatusWrongKind;
    if (!readPortEntry(entry->index, &s.openEntry)) {
        // A closed driver keeps no trace of a port it could not even name.
        std::memset(&s.openEntry, 0, sizeof(PortEntry));
        return StatusFailure;
    }
    // Another device may have taken the port's device number since the enumeration.
    if (std::memcmp(entry, &s.openEntry, sizeof(PortEntry)) != 0) {
        std::memset(&s.openEntry, 0, sizeof(PortEntry));
        return StatusFailure;
    }
    usb::Handle handle = -1;
    if (usb::api()->open(static_cast<uint32_t>(entry->index), &handle) != usb::Success) {
        s.handle = -1;
        std::memset(&s.openEntry, 0, sizeof(PortEntry));
        return StatusFailure;
    }
    s.handle = handle;
    m_state = Open;
    return StatusOk;
}

int32_t IODriverSiUSBXp::close()
{
    Settings &s = *m_settings;
    if (m_state != Open)
        return StatusFailure;
    std::memset(&s.openEntry, 0, sizeof(PortEntry));
    m_state = Closed;
    if (usb::api()->close(s.handle) != usb::Success)
        return StatusFailure;
    s.handle = -1;
    return StatusOk;
}

int32_t IODriverSiUSBXp::control(int32_t option, int32_t *value)
{
    Settings &s = *m_settings;
    if (m_state != Open)
        return StatusFailure;
    const usb::Api *api = usb::api();
    switch (option) {
    case OptionSetReadTimeout:
    case OptionSetWriteTimeout:
        if (!value)
            return StatusNullArgument;
        (option == OptionSetReadTimeout ? s.readTimeout : s.writeTimeout) = *value;
        // The library keeps one pair of time-outs for the whole process: always send both.
        return api->setTimeouts(static_cast<uint32_t>(s.readTimeout),
                                static_cast<uint32_t>(s.writeTimeout)) == usb::Success
                   ? StatusOk
                   : StatusFailure;
    case OptionGetReadTimeout:
    case OptionGetWriteTimeout:
        if (!value)
            return StatusNullArgument;
        *value = option == OptionGetReadTimeout ? s.readTimeout : s.writeTimeout;
        return StatusOk;
    case OptionSetBaudRate:
        if (!value)
            return StatusNullArgument;
        s.baudRate = *value;
        return api->setBaudRate(s.handle, static_cast<uint32_t>(s.baudRate)) == usb::Success
                   ? StatusOk
                   : StatusFailure;
    case OptionFlush:
        return api->flushBuffers(s.handle, 1, 1) == usb::Success ? StatusOk : StatusFailure;
    default:
        return StatusBadOption;
    }
}

int32_t IODriverSiUSBXp::write(Frame *frame)
{
    if (!frame)
        return StatusNullArgument;
    int32_t result = StatusOk;
    const uint8_t *cursor = frame->data();
    uint32_t remaining = frame->length > 0 ? static_cast<uint32_t>(frame->length) : 0;
    while (remaining > 0) {
        uint32_t written = 0;
        const int32_t status =
            usb::api()->write(m_settings->handle, cursor, remaining, &written, nullptr);
        if (status != usb::Success) {
            result = status == usb::WriteTimedOut ? StatusTimeout : StatusWriteFailed;
            break;
        }
        // A library that reports success without taking a byte would otherwise spin forever.
        if (written == 0 || written > remaining) {
            result = StatusWriteFailed;
            break;
        }
        cursor += written;
        remaining -= written;
    }
    giveBack(frame);
    return result;
}

int32_t IODriverSiUSBXp::read(Frame **out)
{
    Settings &s = *m_settings;
    if (!out)
        return StatusNullArgument;
    if (m_state != Open)
        return StatusReadNotOpen;
    if (!s.pendingFrame)
        return StatusNoReceivePool;

    uint32_t got = 0;
    const int32_t status = usb::api()->read(s.handle, s.pendingFrame->data(),
                                            static_cast<uint32_t>(s.frameCapacity), &got, nullptr);
    if (status != usb::Success && status != usb::ReadTimedOut)
        return StatusReadFailed; // unplugged or broken: end the receive cycle, don't spin
    if (got == 0)
        return StatusTimeout;
    if (got > static_cast<uint32_t>(s.frameCapacity))
        return StatusReadFailed;

    Frame *frame = s.pendingFrame;
    frame->state = FrameFilled;
    frame->length = static_cast<int32_t>(got);
    *out = frame;
    s.pendingFrame = s.receivePool->acquire();
    if (s.pendingFrame)
        s.pendingFrame->state = FrameLent;
    return StatusOk;
}

} // namespace zdx
