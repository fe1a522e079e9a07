#include "device/handletable.h"
#include "device/varondevice.h"
#include "device/varondeviceenumerator.h"
#include "status.h"
#include "support/scriptedbackend.h"
#include "support/wireframe.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace zdx {
namespace {

using test::BackendScope;
using test::Bytes;
using test::ScriptedBackend;

Bytes answer(uint8_t command, uint8_t channel, uint8_t access, const Bytes &payload)
{
    return test::wireFrame(command, channel, access, payload);
}

class DeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        backend.devices.push_back({"150A7", "Heat Unit H2", "link-0"});
        backend.devices.push_back({"X", "Other", "link-1", "1234", "0001"});
        backend.devices.push_back({"154B2", "Gas Unit G2", "link-2", "2E91", "0004"});
    }

    std::unique_ptr<IDeviceEnumerator> enumerator(VaronDevice &device)
    {
        IDeviceEnumerator *e = nullptr;
        EXPECT_EQ(device.createEnumerator(&e), StatusOk);
        return std::unique_ptr<IDeviceEnumerator>(e);
    }

    // Reads the actual value of channel 1 through transact on `handle`.
    int32_t readActual(int32_t handle, int16_t *value)
    {
        FrameHeader header{1, 0x81, 1, AccessRead};
        FrameElement element{ElementS16, 0, 2, "value", value};
        FrameMessage request{&header, nullptr, 0, nullptr, 0};
        FrameMessage response{&header, &element, 1, nullptr, 0};
        return transact(handle, &request, &response);
    }

    ScriptedBackend backend;
    BackendScope scope{&backend};
};

TEST_F(DeviceTest, EnumeratorListsControllersOfOurVendorInPortOrder)
{
    VaronDevice device;
    auto e = enumerator(device);
    EXPECT_EQ(device.createEnumerator(nullptr), StatusNullArgument);
    e->refresh();
    EXPECT_EQ(e->current(), nullptr) << "before the first next()";
    ASSERT_TRUE(e->next());
    EXPECT_STREQ(e->current()->serialNumber, "150A7");
    EXPECT_STREQ(e->current()->description, "Heat Unit H2");
    EXPECT_EQ(e->current()->vendorId, 0x2E91);
    EXPECT_EQ(e->current()->productId, 0x0001);
    EXPECT_EQ(e->current()->kind, DeviceEntryKind);
    ASSERT_TRUE(e->next());
    EXPECT_STREQ(e->current()->serialNumber, "154B2") << "the other vendor's port is skipped";
    EXPECT_EQ(e->current()->productId, 0x0004);
    EXPECT_EQ(e->current()->port->index, 2);
    EXPECT_FALSE(e->next());
    EXPECT_FALSE(e->next()) << "stays false until the next refresh";
    EXPECT_EQ(e->current(), nullptr);
    e->refresh();
    EXPECT_TRUE(e->next());
    e->clear();
    EXPECT_FALSE(e->next());
}

TEST_F(DeviceTest, LongUsbStringsAreCutTo127Characters)
{
    backend.devices[0].description = std::string(200, 'd');
    VaronDevice device;
    auto e = enumerator(device);
    e->refresh();
    ASSERT_TRUE(e->next());
    EXPECT_EQ(std::string(e->current()->description).size(), 127u);
}

TEST_F(DeviceTest, OpenChecksArgumentsAndState)
{
    VaronDevice device;
    auto e = enumerator(device);
    e->refresh();
    ASSERT_TRUE(e->next());
    const DeviceEntry *entry = e->current();

    EXPECT_EQ(device.open(nullptr), StatusNullArgument);
    DeviceEntry wrongKind = *entry;
    wrongKind.kind = 1;
    EXPECT_EQ(device.open(&wrongKind), StatusWrongKind);

    ASSERT_EQ(device.open(entry), StatusOk);
    EXPECT_EQ(backend.baudCalls.back(), 57600u);
    EXPECT_EQ(backend.timeoutCalls.back(), std::make_pair(2500u, 2500u));
    EXPECT_EQ(device.receivePool()->total(), 4);
    EXPECT_EQ(device.transmitPool()->total(), 4);
    EXPECT_EQ(device.open(entry), StatusWrongState);
    EXPECT_EQ(device.close(), StatusOk);
    EXPECT_EQ(device.close(), StatusWrongState);

    backend.devices[0].linkName = "another-device";
    EXPECT_EQ(device.open(entry), StatusFailure);
    EXPECT_EQ(device.state(), BasicDevice::Closed);
}

TEST_F(DeviceTest, EveryFrameGoesBackOnEveryPath)
{
    VaronDevice device;
    auto e = enumerator(device);
    e->refresh();
    ASSERT_TRUE(e->next());
    ASSERT_EQ(device.open(e->current()), StatusOk);
    HandleTable::instance().put(1, &device);
    Pool *rx = device.receivePool();
    Pool *tx = device.transmitPool();
    auto settled = [&] {
        EXPECT_EQ(tx->inUse(), 0);
        EXPECT_EQ(rx->inUse(), 1) << "only the driver's pending frame";
    };
    int16_t value = 0;

    // Noise, then the answer in single bytes.
    backend.queueInput({0x11, 0x22, 0x33});
    backend.queueInput(answer(0x81, 1, 'R', {0x2C, 0x01}));
    backend.readChunk = 1;
    EXPECT_EQ(readActual(1, &value), TransactOk);
    EXPECT_EQ(value, 300);
    settled();

    // Silence: time-out.
    EXPECT_EQ(readActual(1, &value), TransactReceiveFailed);
    settled();

    // A broken checksum; then the next answer works (send resets the decoder).
    Bytes broken = answer(0x81, 1, 'R', {0x2C, 0x01});
    broken.back() ^= 0x01;
    backend.queueInput(broken);
    EXPECT_EQ(readActual(1, &value), TransactReceiveFailed);
    settled();
    backend.queueInput(answer(0x81, 1, 'R', {0x2D, 0x01}));
    EXPECT_EQ(readActual(1, &value), TransactOk);
    EXPECT_EQ(value, 301);

    // Refusal: the variable stays as it was.
    backend.queueInput(answer(0x00, 1, 'R', {}));
    value = 77;
    EXPECT_EQ(readActual(1, &value), TransactRefused);
    EXPECT_EQ(value, 77);
    settled();

    // An answer too short for its elements is refused, never read past.
    backend.queueInput(answer(0x81, 1, 'R', {0x2C}));
    EXPECT_EQ(readActual(1, &value), TransactReceiveFailed);
    EXPECT_EQ(value, 77);
    settled();

    // A read failure other than time-out ends the cycle at once.
    backend.readStatus = usb::DeviceIoFailed;
    EXPECT_EQ(readActual(1, &value), TransactReceiveFailed);
    settled();
    backend.readStatus = usb::Success;

    // Write failure.
    backend.writeStatus = usb::DeviceIoFailed;
    EXPECT_EQ(readActual(1, &value), TransactSendFailed);
    settled();
    backend.writeStatus = usb::Success;

    EXPECT_EQ(readActual(2, &value), TransactBadHandle);
    EXPECT_EQ(HandleTable::instance().take(1), &device);
    EXPECT_EQ(device.close(), StatusOk);
}

TEST_F(DeviceTest, RequestsGoOutEncodedAfterAFlush)
{
    VaronDevice device;
    auto e = enumerator(device);
    e->refresh();
    ASSERT_TRUE(e->next());
    ASSERT_EQ(device.open(e->current()), StatusOk);
    const int flushesAtOpen = backend.flushCalls;
    FrameHeader header{1, 0x81, 1, AccessRead};
    FrameMessage request{&header, nullptr, 0, nullptr, 0};
    EXPECT_EQ(device.send(&request), StatusOk);
    EXPECT_EQ(backend.written, (Bytes{0xF0, 0x00, 0x81, 0x01, 0x52, 0xD4, 0x00}));
    EXPECT_EQ(backend.flushCalls, flushesAtOpen + 1);

    // An element the encoder can't take: the frame goes back, nothing is written.
    uint8_t byte = 0;
    FrameElement bad{0x33, 0, 1, "bad", &byte};
    FrameMessage badRequest{&header, &bad, 1, nullptr, 0};
    backend.written.clear();
    EXPECT_EQ(device.send(&badRequest), StatusBadElementType);
    EXPECT_TRUE(backend.written.empty());
    EXPECT_EQ(device.transmitPool()->inUse(), 0);
}

} // namespace
} // namespace zdx
