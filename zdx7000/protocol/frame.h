// One pooled frame buffer: a small header followed by `capacity` data bytes in the same block.
#pragma once

#include <cstdint>

namespace zdx {

class Pool;

enum FrameState : int32_t
{
    FrameFree = 0,
    FrameLent = 1,
    FrameFilled = 3, // filled by the driver
};

// Data bytes of every frame of a device's pools: the longest escaped frame is 521 bytes.
constexpr int32_t DeviceFrameCapacity = 523;

struct Frame
{
    Frame *next;
    Frame *prev;
    Pool *owner;
    int32_t state;
    int32_t length;  // valid data bytes
    bool onFreeList; // pool bookkeeping: guards against giving a frame back twice

    uint8_t *data() { return reinterpret_cast<uint8_t *>(this + 1); }
    const uint8_t *data() const { return reinterpret_cast<const uint8_t *>(this + 1); }
};

} // namespace zdx
