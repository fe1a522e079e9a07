// The controller's sending side of the wire: one answer frame, escaped for transmission.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdx::usb {

class AnswerEncoder
{
public:
    static constexpr size_t MaxPayload = 254;
    // Start mark plus every other byte doubled in the worst case.
    static constexpr size_t MaxWire = 1 + 2 * (1 + 3 + MaxPayload + 2);

    // Writes the escaped frame into `out` (MaxWire bytes) and returns its length; 0 when the
    // payload is too long. `corruptChecksum` sends a checksum that cannot match, for fault tests.
    static size_t encode(uint8_t command, uint8_t channel, uint8_t access, const uint8_t *payload,
                         size_t length, bool corruptChecksum, uint8_t *out);
};

} // namespace zdx::usb
