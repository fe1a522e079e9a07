// Little-endian reads and writes, the wire's byte order, in one place.
#pragma once

#include <cstdint>

namespace zdx {

inline uint16_t readLe16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline void writeLe16(uint8_t *p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace zdx
