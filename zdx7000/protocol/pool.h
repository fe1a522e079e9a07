// Fixed pools of frame buffers. A pool never grows after fill(): acquire returns null when every
// frame is lent, and every holder gives its frames back (to the frame's owner) when done.
#pragma once

#include "frame.h"

#include <memory>

namespace zdx {

class PoolAllocator
{
public:
    virtual ~PoolAllocator() = default;
    virtual Frame *allocate() = 0;
    virtual void free(Frame *frame) = 0;
    // Data bytes of the frames this allocator makes.
    virtual int32_t capacity() const = 0;
};

// Allocates zero-filled blocks of a frame header and `capacity` data bytes.
class FrameAllocator : public PoolAllocator
{
public:
    explicit FrameAllocator(int32_t capacity);
    Frame *allocate() override;
    void free(Frame *frame) override;
    int32_t capacity() const override { return m_capacity; }

private:
    int32_t m_capacity;
};

class Pool
{
public:
    explicit Pool(std::unique_ptr<PoolAllocator> allocator);
    virtual ~Pool();
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;

    // Creates n frames and appends them to the free list.
    void fill(int32_t n);
    // The oldest returned free frame, or null when all are lent. The caller marks it lent.
    Frame *acquire();
    // Takes a lent frame back. A frame of another pool, or one already free, is ignored.
    virtual void release(Frame *frame);

    int32_t total() const { return m_total; }
    int32_t inUse() const { return m_inUse; }
    PoolAllocator *allocator() const { return m_allocator.get(); }

private:
    Frame *m_freeFirst = nullptr;
    Frame *m_freeLast = nullptr;
    Frame *m_inUseHead = nullptr;
    int32_t m_total = 0;
    int32_t m_inUse = 0;
    std::unique_ptr<PoolAllocator> m_allocator;
};

// A pool whose release also clears the frame's state and length.
class FramePool : public Pool
{
public:
    using Pool::Pool;
    void release(Frame *frame) override;
};

// Gives a frame back to the pool it belongs to; null is ignored.
void giveBack(Frame *frame);

// Data bytes a frame can hold: its pool's allocator capacity; DeviceFrameCapacity for a frame
// without an owner (or whose pool has no allocator).
inline int32_t frameCapacity(const Frame *frame)
{
    if (frame && frame->owner && frame->owner->allocator()) {
        return frame->owner->allocator()->capacity();
    }
    return DeviceFrameCapacity;
}

} // namespace zdx
