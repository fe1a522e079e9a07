// The controller's receiving side of the wire: reassembles escaped frames from host bytes that may
// arrive in any split, and hands out only frames that are complete and whose checksum holds.
// Everything else is dropped, as firmware would, and never buffered beyond one frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zdx::usb {

class RequestParser
{
public:
    // Unescaped frame without its start mark: length, command, channel, access, payload, checksum.
    static constexpr size_t MaxFrame = 1 + 3 + 254 + 2;

    // Takes one wire byte; true when it completed a valid frame, which stays readable through the
    // accessors until the next call.
    bool feed(uint8_t byte);
    void reset();

    uint8_t command() const { return m_frame[1]; }
    uint8_t channel() const { return m_frame[2]; }
    uint8_t access() const { return m_frame[3]; }
    const uint8_t *payload() const { return m_frame.data() + 4; }
    size_t payloadLength() const { return m_frame[0]; }
    // Wire bytes of the completed frame, start mark and escape bytes included.
    size_t wireLength() const { return m_wireBytes; }

private:
    bool append(uint8_t byte);
    void startFrame();

    std::array<uint8_t, MaxFrame> m_frame{};
    size_t m_count = 0;
    size_t m_wireBytes = 0;
    bool m_inFrame = false;
    bool m_escape = false; // a 0xF0 was seen inside the frame; the next byte says what it was
};

} // namespace zdx::usb
