#include "pool.h"

#include <cstring>
#include <new>

namespace zdx {

FrameAllocator::FrameAllocator(int32_t capacity)
    : m_capacity(capacity < 0 ? 0 : capacity)
{}

Frame *FrameAllocator::allocate()
{
    // One zero-filled block: the header, then the data bytes (Frame::data() is `this + 1`). It
    // comes from operator new like every other allocation of the library, so that one counting
    // allocator sees them all.
    const size_t size = sizeof(Frame) + static_cast<size_t>(m_capacity);
    void *block = ::operator new(size, std::nothrow);
    if (!block) {
        return nullptr;
    }
    std::memset(block, 0, size);
    return new (block) Frame{};
}

void FrameAllocator::free(Frame *frame)
{
    if (frame) {
        frame->~Frame();
        ::operator delete(static_cast<void *>(frame));
    }
}

Pool::Pool(std::unique_ptr<PoolAllocator> allocator)
    : m_allocator(std::move(allocator))
{}

Pool::~Pool()
{
    // Frames still lent out are not freed: every holder gives its frames back first.
    Frame *frame = m_freeFirst;
    while (frame) {
        Frame *next = frame->next;
        m_allocator->free(frame);
        frame = next;
    }
    m_freeFirst = m_freeLast = nullptr;
}

void Pool::fill(int32_t n)
{
    if (!m_allocator) {
        return;
    }
    for (int32_t i = 0; i < n; ++i) {
        Frame *frame = m_allocator->allocate();
        if (!frame) {
            return;
        }
        frame->owner = this;
        frame->next = nullptr;
        frame->prev = m_freeLast;
        frame->onFreeList = true;
        if (m_freeLast) {
            m_freeLast->next = frame;
        } else {
            m_freeFirst = frame;
        }
        m_freeLast = frame;
        ++m_total;
    }
}

Frame *Pool::acquire()
{
    if (m_inUse >= m_total || !m_freeFirst) {
        return nullptr;
    }
    // The oldest returned frame first.
    Frame *frame = m_freeFirst;
    m_freeFirst = frame->next;
    if (m_freeFirst) {
        m_freeFirst->prev = nullptr;
    } else {
        m_freeLast = nullptr;
    }
    frame->onFreeList = false;
    ++m_inUse;
    // Head of the in-use list.
    frame->prev = nullptr;
    frame->next = m_inUseHead;
    if (m_inUseHead) {
        m_inUseHead->prev = frame;
    }
    m_inUseHead = frame;
    return frame;
}

void Pool::release(Frame *frame)
{
    // A frame of another pool, or one already free (given back twice), is ignored so that the lists
    // stay intact.
    if (!frame || frame->owner != this || frame->onFreeList) {
        return;
    }
    // Unlink from the in-use list.
    if (frame->prev) {
        frame->prev->next = frame->next;
    } else {
        m_inUseHead = frame->next;
    }
    if (frame->next) {
        frame->next->prev = frame->prev;
    }
    // Append at the end of the free list.
    frame->next = nullptr;
    frame->prev = m_freeLast;
    if (m_freeLast) {
        m_freeLast->next = frame;
    } else {
        m_freeFirst = frame;
    }
    m_freeLast = frame;
    frame->onFreeList = true;
    --m_inUse;
}

void FramePool::release(Frame *frame)
{
    // Only a frame this pool will actually take back is cleared; another holder's frame is left
    // alone.
    if (!frame || frame->owner != this || frame->onFreeList) {
        return;
    }
    frame->state = FrameFree;
    frame->length = 0;
    Pool::release(frame);
}

void giveBack(Frame *frame)
{
    if (frame && frame->owner) {
        frame->owner->release(frame);
    }
}

} // namespace zdx
