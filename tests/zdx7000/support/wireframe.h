// Answer frames as a controller puts them on the wire, built byte by byte for tests: the checksum
// over command to payload, every 0xF0 after the start mark doubled.
#pragma once

#include "protocol/protocolcodec.h"

#include <cstdint>
#include <vector>

namespace zdx::test {

using Bytes = std::vector<uint8_t>;

inline Bytes wireFrame(uint8_t command, uint8_t channel, uint8_t access, const Bytes &payload)
{
    Bytes raw{StartMark, static_cast<uint8_t>(payload.size()), command, channel, access};
    raw.insert(raw.end(), payload.begin(), payload.end());
    const uint16_t sum = frameChecksum(raw.data() + 2, static_cast<int32_t>(payload.size()) + 3);
    raw.push_back(static_cast<uint8_t>(sum & 0xFF));
    raw.push_back(static_cast<uint8_t>(sum >> 8));
    Bytes wire{raw[0]};
    for (size_t i = 1; i < raw.size(); ++i) {
        wire.push_back(raw[i]);
        if (raw[i] == StartMark) {
            wire.push_back(StartMark);
        }
    }
    return wire;
}

} // namespace zdx::test
