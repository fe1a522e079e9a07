// Frame pools: fixed size, oldest-returned-first, guarded give-back.
#include "codectestutil.h"

#include <set>

using namespace zdx;
using namespace zdx::test;

TEST(FrameAllocator, AllocatesZeroFilledFramesOfItsCapacity)
{
    FrameAllocator allocator(523);
    EXPECT_EQ(allocator.capacity(), 523);
    Frame *frame = allocator.allocate();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->next, nullptr);
    EXPECT_EQ(frame->owner, nullptr);
    EXPECT_EQ(frame->state, FrameFree);
    EXPECT_EQ(frame->length, 0);
    for (int i = 0; i < 523; ++i) {
        ASSERT_EQ(frame->data()[i], 0) << i;
    }
    frame->data()[522] = 0xAA; // the last byte is inside the block (ASan would object otherwise)
    allocator.free(frame);
    allocator.free(nullptr);
}

TEST(Pool, FillCreatesFramesOwnedByThePool)
{
    auto pool = makePool(4);
    EXPECT_EQ(pool->total(), 4);
    EXPECT_EQ(pool->inUse(), 0);
    EXPECT_EQ(pool->allocator()->capacity(), DeviceFrameCapacity);
    Frame *frame = lend(*pool);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->owner, pool.get());
    EXPECT_EQ(frameCapacity(frame), DeviceFrameCapacity);
    giveBack(frame);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(Pool, AcquireReturnsNullWhenEveryFrameIsLentAndNeverGrows)
{
    auto pool = makePool(4);
    std::set<Frame *> lent;
    for (int i = 0; i < 4; ++i) {
        Frame *frame = lend(*pool);
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(lent.insert(frame).second) << "frame handed out twice";
    }
    EXPECT_EQ(pool->inUse(), 4);
    EXPECT_EQ(pool->acquire(), nullptr);
    EXPECT_EQ(pool->total(), 4);
    for (Frame *frame : lent) {
        giveBack(frame);
    }
    EXPECT_EQ(pool->inUse(), 0);
    Frame *again = lend(*pool);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(pool->inUse(), 1);
    giveBack(again);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(Pool, AcquireHandsOutTheOldestReturnedFrameFirst)
{
    auto pool = makePool(3);
    Frame *a = lend(*pool);
    Frame *b = lend(*pool);
    Frame *c = lend(*pool);
    giveBack(b);
    giveBack(a);
    giveBack(c);
    EXPECT_EQ(pool->acquire(), b);
    EXPECT_EQ(pool->acquire(), a);
    EXPECT_EQ(pool->acquire(), c);
    giveBack(a);
    giveBack(c);
    giveBack(b);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(Pool, ReleaseInAnyOrderKeepsTheInUseListIntact)
{
    auto pool = makePool(4);
    Frame *f[4];
    for (auto &frame : f) {
        frame = lend(*pool);
    }
    giveBack(f[2]); // middle
    giveBack(f[3]); // head (last acquired)
    giveBack(f[0]); // tail
    giveBack(f[1]); // only one left
    EXPECT_EQ(pool->inUse(), 0);
    std::set<Frame *> again;
    while (Frame *frame = pool->acquire()) {
        again.insert(frame);
    }
    EXPECT_EQ(again.size(), 4u);
    for (Frame *frame : again) {
        giveBack(frame);
    }
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(FramePool, ReleaseClearsStateAndLength)
{
    auto pool = makePool(1);
    Frame *frame = lend(*pool);
    frame->length = 17;
    frame->state = FrameFilled;
    giveBack(frame);
    EXPECT_EQ(frame->state, FrameFree);
    EXPECT_EQ(frame->length, 0);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(Pool, GivingAFrameBackTwiceIsIgnored)
{
    auto pool = makePool(2);
    Frame *a = lend(*pool);
    Frame *b = lend(*pool);
    giveBack(a);
    giveBack(a); // double give-back
    EXPECT_EQ(pool->inUse(), 1);
    // The free list holds `a` once: the next two acquisitions are `a` and then nothing.
    EXPECT_EQ(pool->acquire(), a);
    EXPECT_EQ(pool->acquire(), nullptr);
    giveBack(b);
    giveBack(a);
    giveBack(b);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST(Pool, ReleaseOfAnotherPoolsFrameIsIgnoredAndLeavesItUntouched)
{
    auto mine = makePool(1);
    auto theirs = makePool(1);
    Frame *foreign = lend(*theirs);
    foreign->length = 9;
    foreign->state = FrameLent;
    mine->release(foreign);
    EXPECT_EQ(mine->inUse(), 0);
    EXPECT_EQ(theirs->inUse(), 1);
    EXPECT_EQ(foreign->length, 9);
    EXPECT_EQ(foreign->state, FrameLent);
    mine->release(nullptr);
    giveBack(nullptr);
    giveBack(foreign);
    EXPECT_EQ(theirs->inUse(), 0);
}

TEST(Pool, FrameWithoutOwnerIsAssumedToHoldDeviceFrameCapacity)
{
    FrameAllocator allocator(DeviceFrameCapacity);
    Frame *frame = allocator.allocate();
    EXPECT_EQ(frameCapacity(frame), DeviceFrameCapacity);
    giveBack(frame); // no owner: ignored
    allocator.free(frame);
}
