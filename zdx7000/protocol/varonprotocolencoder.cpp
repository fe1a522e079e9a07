#include "varonprotocolencoder.h"

#include "../status.h"
#include "bytes.h"
#include "pool.h"

#include <cstring>

namespace zdx {

namespace {

// At most 259 bytes before the checksum (start, length, three header bytes, 254 payload bytes).
constexpr int32_t MaxBytesBeforeChecksum = 5 + MaxPayloadLength; // 259

} // namespace

uint16_t frameChecksum(const uint8_t *fromCommand, int32_t count)
{
    uint32_t sum = 0;
    if (fromCommand) {
        for (int32_t i = 0; i < count; ++i) {
            sum += fromCommand[i];
        }
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

VaronProtocolEncoder::VaronProtocolEncoder()
{
    std::memset(m_buffer, 0, sizeof(m_buffer));
}

int32_t VaronProtocolEncoder::begin(Frame *out)
{
    if (!out) {
        m_out = nullptr;
        m_count = 0;
        m_status = StatusNullArgument;
        return m_status;
    }
    m_out = out;
    m_buffer[0] = StartMark;
    m_buffer[1] = 0;
    m_buffer[2] = 0;
    m_buffer[3] = 0;
    m_buffer[4] = 0;
    m_count = 5;
    m_status = StatusBuilding;
    return StatusOk;
}

int32_t VaronProtocolEncoder::add(FrameMessage *message)
{
    if (m_status != StatusBuilding) {
        return m_status;
    }
    if (!message || (message->count > 0 && !message->elements)) {
        m_status = StatusNullArgument;
        return m_status;
    }
    if (message->header && message->header->version == 1) {
        m_buffer[2] = message->header->command;
        m_buffer[3] = message->header->channel;
        m_buffer[4] = message->header->access;
    }
    for (int32_t i = 0; i < message->count; ++i) {
        const FrameElement &element = message->elements[i];
        if (m_count + element.length > MaxBytesBeforeChecksum) {
            m_status = StatusFrameTooLong;
            return m_status;
        }
        if (elementFixedSize(element.type) < 0) {
            m_status = StatusBadElementType;
            return m_status;
        }
        if (element.length > 0) {
            if (!element.data) {
                m_status = StatusNullArgument;
                return m_status;
            }
            // Fixed kinds, text and raw alike: element.length bytes verbatim (text includes its
            // terminator in `length` to be sent with it).
            std::memcpy(m_buffer + m_count, element.data, element.length);
            m_count += element.length;
        }
    }
    return StatusOk;
}

int32_t VaronProtocolEncoder::finish()
{
    if (m_status != StatusBuilding) {
        return m_status;
    }
    m_buffer[1] = static_cast<uint8_t>(m_count - 5);
    writeLe16(m_buffer + m_count, frameChecksum(m_buffer + 2, m_count - 2));
    m_count += 2;

    // Escape into the output frame: the start mark once, every further 0xF0 twice.
    const int32_t capacity = frameCapacity(m_out);
    uint8_t *out = m_out->data();
    int32_t written = 0;
    if (capacity < 1) {
        m_status = StatusFrameTooLong;
        return m_status;
    }
    out[written++] = m_buffer[0];
    for (int32_t i = 1; i < m_count; ++i) {
        const int32_t needed = m_buffer[i] == StartMark ? 2 : 1;
        if (written + needed > capacity) {
            // The output frame cannot hold the escaped frame: nothing valid is left in it.
            m_out->length = 0;
            m_status = StatusFrameTooLong;
            return m_status;
        }
        out[written++] = m_buffer[i];
        if (needed == 2) {
            out[written++] = StartMark;
        }
    }
    m_out->length = written;
    m_status = StatusOk;
    return m_status;
}

} // namespace zdx
