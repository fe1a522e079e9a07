#include "requestparser.h"

namespace zdx::usb {

namespace {
constexpr uint8_t StartMark = 0xF0;
constexpr uint8_t MaxPayload = 254;
} // namespace

void RequestParser::reset()
{
    m_count = 0;
    m_wireBytes = 0;
    m_inFrame = false;
    m_escape = false;
}

void RequestParser::startFrame()
{
    m_count = 0;
    m_wireBytes = 1;
    m_inFrame = true;
    m_escape = false;
}

bool RequestParser::feed(uint8_t byte)
{
    if (!m_inFrame) {
        if (byte == StartMark)
            startFrame();
        return false;
    }
    ++m_wireBytes;
    if (m_escape) {
        m_escape = false;
        if (byte == StartMark)
            return append(StartMark);
        // The lone 0xF0 was a new start mark: the frame so far is lost and this byte is the new
        // frame's length.
        startFrame();
        ++m_wireBytes;
        return append(byte);
    }
    if (byte == StartMark) {
        // Even a final checksum byte of 0xF0 waits here for its partner.
        m_escape = true;
        return false;
    }
    return append(byte);
}

bool RequestParser::append(uint8_t byte)
{
    if (m_count == 0 && byte > MaxPayload) {
        reset();
        return false;
    }
    m_frame[m_count++] = byte;
    const size_t expected = 1 + 3 + size_t(m_frame[0]) + 2;
    if (m_count < expected)
        return false;

    uint32_t sum = 0;
    for (size_t i = 1; i < expected - 2; ++i)
        sum += m_frame[i];
    const uint16_t received = uint16_t(m_frame[expected - 2] | (m_frame[expected - 1] << 8));
    m_inFrame = false;
    m_escape = false;
    m_count = 0;
    return uint16_t(sum) == received;
}

} // namespace zdx::usb
