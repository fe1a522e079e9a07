#include "io/iodriversiusbxp.h"
#include "io/iodriversiusbxpenumerator.h"
#include "protocol/pool.h"
#include "status.h"
#include "support/scriptedbackend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace zdx {
namespace {

using test::BackendScope;
using test::ScriptedBackend;

std::unique_ptr<FramePool> makePool(int32_t frames = 4)
{
    auto pool = std::make_unique<FramePool>(std::make_unique<FrameAllocator>(DeviceFrameCapacity));
    pool->fill(frames);
    return pool;
}

class DriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 5; ++i) {
            const std::string n = std::to_string(i);
            backend.devices.push_back({"SER" + n, "Unit " + n, "usb-link-" + n});
        }
    }

    // Enumerates and returns a copy of the entry of device number `index`.
    PortEntry entryAt(int index)
    {
        IODriverSiUSBXpEnumerator enumerator;
        enumerator.refresh();
        for (int i = 0; i <= index; ++i)
            EXPECT_TRUE(enumerator.next());
        return *enumerator.current();
    }

    ScriptedBackend backend;
    BackendScope scope{&backend};
};

TEST_F(DriverTest, EnumeratorListsPortsAndStopsAtTheEnd)
{
    IODriverSiUSBXpEnumerator enumerator;
    enumerator.refresh();
    EXPECT_EQ(enumerator.count(), 5);
    EXPECT_EQ(enumerator.current(), nullptr) << "before the first next()";
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(enumerator.next());
        EXPECT_EQ(enumerator.current()->kind, 1);
        EXPECT_EQ(enumerator.current()->index, i);
        EXPECT_STREQ(enumerator.current()->linkName, ("usb-link-" + std::to_string(i)).c_str());
    }
    EXPECT_FALSE(enumerator.next());
    EXPECT_EQ(enumerator.current(), nullptr);
    EXPECT_FALSE(enumerator.next()) << "stays at the end";
}

TEST_F(DriverTest, EnumeratorWithoutDevicesOrWithAFailingQueryIsEmpty)
{
    IODriverSiUSBXpEnumerator enumerator;
    backend.failLinkNameOf = 2; // the third of five
    enumerator.refresh();
    EXPECT_EQ(enumerator.count(), 0) << "the whole list is dropped, not just that entry";
    EXPECT_FALSE(enumerator.next());
    EXPECT_EQ(enumerator.current(), nullptr);

    backend.failLinkNameOf = -1;
    backend.devices.clear();
    enumerator.refresh();
    EXPECT_EQ(enumerator.count(), 0);
    EXPECT_FALSE(enumerator.next());

    backend.countStatus = usb::DeviceIoFailed;
    backend.devices.push_back({"S", "D", "L"});
    enumerator.refresh();
    EXPECT_EQ(enumerator.count(), 0);
}

TEST_F(DriverTest, LongLinkNamesAreCutTo119Characters)
{
    backend.devices[0].linkName = std::string(200, 'x');
    const PortEntry entry = entryAt(0);
    EXPECT_EQ(std::strlen(entry.linkName), 119u);
    EXPECT_EQ(entry.linkName[119], '\0');
}

TEST_F(DriverTest, OpenChecksTheEntryAndThePort)
{
    IODriverSiUSBXp driver;
    EXPECT_EQ(driver.open(nullptr), StatusNullArgument);
    PortEntry entry = entryAt(1);
    PortEntry wrongKind = entry;
    wrongKind.kind = 2;
    EXPECT_EQ(driver.open(&wrongKind), StatusWrongKind);

    // Another device took device number 1 since the enumeration.
    backend.devices[1].linkName = "usb-link-other";
    EXPECT_EQ(driver.open(&entry), StatusFailure);
    EXPECT_EQ(backend.openCalls, 0) << "nothing is opened";
    EXPECT_EQ(driver.handle(), -1);

    backend.devices[1].linkName = "usb-link-1";
    EXPECT_EQ(driver.open(&entry), StatusOk);
    EXPECT_EQ(driver.state(), IODriverSiUSBXp::Open);
    EXPECT_EQ(driver.open(&entry), StatusAlreadyOpen);

    EXPECT_EQ(driver.close(), StatusOk);
    EXPECT_EQ(driver.handle(), -1);
    EXPECT_EQ(driver.close(), StatusFailure) << "not open";
}

TEST_F(DriverTest, FailingLibraryOpenAndCloseAreReported)
{
    IODriverSiUSBXp driver;
    const PortEntry entry = entryAt(0);
    backend.openStatus = usb::DeviceNotFound;
    EXPECT_EQ(driver.open(&entry), StatusFailure);
    EXPECT_EQ(driver.handle(), -1);
    EXPECT_EQ(driver.state(), IODriverSiUSBXp::Closed);

    backend.openStatus = usb::Success;
    ASSERT_EQ(driver.open(&entry), StatusOk);
    const usb::Handle handle = driver.handle();
    backend.closeStatus = usb::InvalidHandle;
    EXPECT_EQ(driver.close(), StatusFailure);
    EXPECT_EQ(driver.state(), IODriverSiUSBXp::Closed);
    EXPECT_EQ(driver.handle(), handle) << "a failed close keeps the handle";
}

TEST_F(DriverTest, ControlOptions)
{
    IODriverSiUSBXp driver;
    int32_t value = 0;
    EXPECT_EQ(driver.control(OptionGetReadTimeout, &value), StatusFailure) << "closed";
    EXPECT_EQ(driver.control(OptionFlush, nullptr), StatusFailure) << "closed";

    const PortEntry entry = entryAt(0);
    ASSERT_EQ(driver.open(&entry), StatusOk);
    ASSERT_EQ(driver.control(OptionGetReadTimeout, &value), StatusOk);
    EXPECT_EQ(value, 2500);

    value = 700;
    ASSERT_EQ(driver.control(OptionSetReadTimeout, &value), StatusOk);
    ASSERT_EQ(backend.timeoutCalls.size(), 1u);
    EXPECT_EQ(backend.timeoutCalls.back(), std::make_pair(700u, 2500u))
        << "the unchanged write time-out travels with the new read time-out";
    value = 900;
    ASSERT_EQ(driver.control(OptionSetWriteTimeout, &value), StatusOk);
    EXPECT_EQ(backend.timeoutCalls.back(), std::make_pair(700u, 900u));
    ASSERT_EQ(driver.control(OptionGetWriteTimeout, &value), StatusOk);
    EXPECT_EQ(value, 900);

    value = 57600;
    EXPECT_EQ(driver.control(OptionSetBaudRate, &value), StatusOk);
    EXPECT_EQ(backend.baudCalls.back(), 57600u);

    EXPECT_EQ(driver.control(OptionFlush, nullptr), StatusOk);
    EXPECT_EQ(backend.flushCalls, 1);
    EXPECT_EQ(driver.control(7, &value), StatusBadOption);
    EXPECT_EQ(driver.control(0, &value), StatusBadOption);

    backend.timeoutStatus = usb::InvalidParameter;
    EXPECT_EQ(driver.control(OptionSetReadTimeout, &value), StatusFailure);
    backend.flushStatus = usb::FlushError;
    EXPECT_EQ(driver.control(OptionFlush, nullptr), StatusFailure);
}

TEST_F(DriverTest, ReadsHandOutFilledFramesAndKeepThePendingOneOnTimeOut)
{
    IODriverSiUSBXp driver;
    Frame *frame = nullptr;
    EXPECT_EQ(driver.read(nullptr), StatusNullArgument);
    EXPECT_EQ(driver.read(&frame), StatusReadNotOpen);
    const PortEntry entry = entryAt(0);
    ASSERT_EQ(driver.open(&entry), StatusOk);
    EXPECT_EQ(driver.read(&frame), StatusNoReceivePool);

    auto pool = makePool();
    driver.setReceivePool(pool.get());
    EXPECT_EQ(pool->inUse(), 1) << "the pending frame";

    EXPECT_EQ(driver.read(&frame), StatusTimeout);
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(pool->inUse(), 1) << "the same pending frame waits for the next read";

    backend.queueInput({0xF0, 0x00, 0x14});
    ASSERT_EQ(driver.read(&frame), StatusOk);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->length, 3);
    EXPECT_EQ(frame->state, FrameFilled);
    EXPECT_EQ(frame->data()[2], 0x14);
    EXPECT_EQ(pool->inUse(), 2) << "a fresh pending frame was taken";
    giveBack(frame);

    // An unplugged device fails reads for good: the receive cycle must end, not spin.
    backend.readStatus = usb::DeviceIoFailed;
    EXPECT_EQ(driver.read(&frame), StatusReadFailed);
    EXPECT_EQ(pool->inUse(), 1);

    driver.setReceivePool(nullptr);
    EXPECT_EQ(pool->inUse(), 0) << "taking the pool away gives the pending frame back";
}

TEST_F(DriverTest, WritesLoopOverPartialWritesAndAlwaysReturnTheFrame)
{
    IODriverSiUSBXp driver;
    const PortEntry entry = entryAt(0);
    ASSERT_EQ(driver.open(&entry), StatusOk);
    auto pool = makePool();

    Frame *frame = pool->acquire();
    frame->state = FrameLent;
    frame->length = 521;
    for (int i = 0; i < 521; ++i)
        frame->data()[i] = static_cast<uint8_t>(i);
    backend.writePieces = {300, 221};
    EXPECT_EQ(driver.write(frame), StatusOk);
    ASSERT_EQ(backend.written.size(), 521u);
    EXPECT_EQ(backend.written[300], static_cast<uint8_t>(300));
    EXPECT_EQ(pool->inUse(), 0);

    frame = pool->acquire();
    frame->length = 10;
    backend.writeStatus = usb::WriteTimedOut;
    EXPECT_EQ(driver.write(frame), StatusTimeout);
    EXPECT_EQ(pool->inUse(), 0);

    frame = pool->acquire();
    frame->length = 10;
    backend.writeStatus = usb::DeviceIoFailed;
    EXPECT_EQ(driver.write(frame), StatusWriteFailed);
    EXPECT_EQ(pool->inUse(), 0);

    // A library that accepts nothing must not make the write loop forever.
    frame = pool->acquire();
    frame->length = 10;
    backend.writeStatus = usb::Success;
    backend.writePieces = {0};
    EXPECT_EQ(driver.write(frame), StatusWriteFailed);
    EXPECT_EQ(pool->inUse(), 0);
}

TEST_F(DriverTest, TheUsbTableIsCountedAndNeverClearedByRelease)
{
    const int before = usb::apiReferenceCount();
    {
        IODriverSiUSBXp a;
        IODriverSiUSBXpEnumerator b;
        EXPECT_EQ(usb::apiReferenceCount(), before + 2);
    }
    EXPECT_EQ(usb::apiReferenceCount(), before);
    for (int i = 0; i < before + 3; ++i)
        usb::releaseApi();
    EXPECT_EQ(usb::apiReferenceCount(), 0) << "never below zero";
    EXPECT_NE(usb::api(), nullptr) << "the table stays filled";
    for (int i = 0; i < before; ++i)
        usb::acquireApi();
}

} // namespace
} // namespace zdx
