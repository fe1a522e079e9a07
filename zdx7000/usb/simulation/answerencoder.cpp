#include "answerencoder.h"

namespace zdx::usb {

namespace {
constexpr uint8_t StartMark = 0xF0;

void put(uint8_t byte, uint8_t *out, size_t &at)
{
    out[at++] = byte;
    if (byte == StartMark)
        out[at++] = StartMark;
}
} // namespace

size_t AnswerEncoder::encode(uint8_t command, uint8_t channel, uint8_t access,
                             const uint8_t *payload, size_t length, bool corruptChecksum,
                             uint8_t *out)
{
    if (length > MaxPayload)
        return 0;
    uint32_t sum = uint32_t(command) + channel + access;
    for (size_t i = 0; i < length; ++i)
        sum += payload[i];
    uint16_t checksum = uint16_t(sum);
    if (corruptChecksum)
        checksum = uint16_t(checksum ^ 0x5A5A);

    size_t at = 0;
    out[at++] = StartMark;
    put(uint8_t(length), out, at);
    put(command, out, at);
    put(channel, out, at);
    put(access, out, at);
    for (size_t i = 0; i < length; ++i)
        put(payload[i], out, at);
    put(uint8_t(checksum & 0xFF), out, at);
    put(uint8_t(checksum >> 8), out, at);
    return at;
}

} // namespace zdx::usb
