// The exported functions over the controller simulation: enumeration, the handle table, every
// device and channel operation, and every fault a controller can show.
#include "zdx7000.h"

#include "device/handletable.h"
#include "io/iiodriver.h"
#include "status.h"
#include "support/scriptedbackend.h"
#include "support/simulationfile.h"
#include "support/wireframe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zdx {
namespace {

using test::channel;
using test::controller;

// One simulation file for the whole process: the library reads the environment once.
test::SimulationFile &simulation()
{
    static test::SimulationFile file("zdx7000-exports");
    return file;
}

class ExportsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (int32_t handle = 1; handle <= ZDX_MAX_DEVICES; ++handle)
            ZdxClose(handle);
        ZdxEnumFree();
    }

    // Enumerates and returns the records of the listed controllers (valid until ZdxEnumFree).
    std::vector<ZdxDeviceInfo> enumerate()
    {
        std::vector<ZdxDeviceInfo> records;
        EXPECT_EQ(ZdxEnumReset(), ZDX_SUCCESS);
        ZdxDeviceInfo info{};
        while (ZdxEnumNext(&info) == ZDX_SUCCESS)
            records.push_back(info);
        return records;
    }

    // Writes the file, enumerates and opens the first controller.
    int32_t openOnly(const std::string &controllers)
    {
        simulation().write(controllers);
        const std::vector<ZdxDeviceInfo> records = enumerate();
        EXPECT_FALSE(records.empty());
        if (records.empty())
            return 0;
        ZdxDeviceInfo info = records.front();
        int32_t handle = 0;
        EXPECT_EQ(ZdxOpen(&info, &handle), ZDX_SUCCESS);
        ZdxEnumFree();
        return handle;
    }
};

// The exports over a USB backend whose every byte the test decides, with one controller on it.
class ScriptedExportsTest : public ExportsTest
{
protected:
    void SetUp() override { backend.devices.push_back({"150C1", "Heat", "link-c1"}); }

    // Enumerates over `backend` and opens its first controller.
    int32_t openScripted()
    {
        std::vector<ZdxDeviceInfo> records = enumerate();
        EXPECT_EQ(records.size(), backend.devices.size());
        int32_t handle = 0;
        if (!records.empty()) {
            EXPECT_EQ(ZdxOpen(&records[0], &handle), ZDX_SUCCESS);
        }
        ZdxEnumFree();
        return handle;
    }

    test::ScriptedBackend backend;
    test::BackendScope scope{&backend};
};

TEST_F(ExportsTest, VersionAndNotifications)
{
    int32_t version = 0;
    EXPECT_EQ(ZdxGetVersion(nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxGetVersion(&version), ZDX_SUCCESS);
    EXPECT_EQ(version, 0x01000001);

    int window = 0;
    void *notification = &window;
    EXPECT_EQ(ZdxRegisterNotification(reinterpret_cast<void *>(intptr_t(-1)), nullptr),
              ZDX_NULL_POINTER)
        << "the out pointer is tested first";
    EXPECT_EQ(ZdxRegisterNotification(reinterpret_cast<void *>(intptr_t(-1)), &notification),
              ZDX_ILLEGAL_PARAMETER);
    EXPECT_EQ(ZdxRegisterNotification(nullptr, &notification), ZDX_ILLEGAL_PARAMETER);
    EXPECT_EQ(ZdxRegisterNotification(&window, &notification), ZDX_FAILED);
    EXPECT_EQ(ZdxUnregisterNotification(notification), ZDX_FAILED);
}

TEST_F(ExportsTest, EnumerationListsOurControllersOnly)
{
    ZdxDeviceInfo info{};
    EXPECT_EQ(ZdxEnumNext(&info), ZDX_FAILED) << "before any reset";

    simulation().write(controller("150A7", "") +
                       "<Controller serial=\"X1\" description=\"Other\" vendorId=\"1234\" "
                       "productId=\"0001\"/>\n" +
                       controller("154B2", "", "", "0004") +
                       controller("150UNPLUGGED", "present=\"0\""));
    std::vector<ZdxDeviceInfo> records = enumerate();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].serialNumber, "150A7");
    EXPECT_STREQ(records[0].description, "Unit 150A7");
    EXPECT_STREQ(records[1].serialNumber, "154B2");
    EXPECT_EQ(ZdxEnumNext(&info), ZDX_FAILED) << "stays at the end";

    uint32_t value = 0;
    EXPECT_EQ(ZdxEnumGetData(&records[1], ZDX_DATA_VENDOR_ID, &value, 4), ZDX_SUCCESS);
    EXPECT_EQ(value, 0x2E91u);
    EXPECT_EQ(ZdxEnumGetData(&records[1], ZDX_DATA_PRODUCT_ID, &value, 4), ZDX_SUCCESS);
    EXPECT_EQ(value, 0x0004u);
    EXPECT_EQ(ZdxEnumGetData(&records[1], ZDX_DATA_PRODUCT_ID, &value, 3), ZDX_BUFFER_TOO_SMALL);
    EXPECT_EQ(ZdxEnumGetData(&records[1], 3, &value, 4), ZDX_ILLEGAL_PARAMETER);
    // Nothing stands against opening a simulated controller: an empty text, which needs a byte.
    char problem[4] = "x";
    EXPECT_EQ(ZdxEnumGetData(&records[1], ZDX_DATA_ACCESS_PROBLEM,
                             reinterpret_cast<uint32_t *>(problem), sizeof problem),
              ZDX_SUCCESS);
    EXPECT_STREQ(problem, "");
    EXPECT_EQ(ZdxEnumGetData(&records[1], ZDX_DATA_ACCESS_PROBLEM,
                             reinterpret_cast<uint32_t *>(problem), 0),
              ZDX_BUFFER_TOO_SMALL);
    EXPECT_EQ(ZdxEnumGetData(&records[1], -1, &value, 4), ZDX_ILLEGAL_PARAMETER);
    EXPECT_EQ(ZdxEnumGetData(&records[1], 0, nullptr, 4), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxEnumGetData(nullptr, 0, &value, 4), ZDX_NULL_POINTER);
    ZdxDeviceInfo empty{};
    EXPECT_EQ(ZdxEnumGetData(&empty, 0, &value, 4), ZDX_ILLEGAL_PARAMETER);

    // A record outlives its enumeration only as dangling pointers: it must be refused, not read.
    ZdxDeviceInfo stale = records[0];
    EXPECT_EQ(ZdxEnumFree(), ZDX_SUCCESS);
    EXPECT_EQ(ZdxEnumNext(&info), ZDX_FAILED) << "after free";
    EXPECT_EQ(ZdxEnumGetData(&stale, 0, &value, 4), ZDX_OPERATION_FAILURE)
        << "not a controller entry of the current enumeration";
    EXPECT_EQ(ZdxEnumGetData(&stale, 3, &value, 4), ZDX_ILLEGAL_PARAMETER) << "the id comes first";
    int32_t handle = 0;
    EXPECT_EQ(ZdxOpen(&stale, &handle), ZDX_FAILED);
    EXPECT_EQ(ZdxOpen(nullptr, &handle), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxOpen(&stale, nullptr), ZDX_NULL_POINTER);
}

TEST_F(ExportsTest, HandleTableHolds256DevicesAndReusesTheLowestFreeSlot)
{
    std::string controllers;
    for (int i = 0; i < ZDX_MAX_DEVICES + 1; ++i)
        controllers += controller("150N" + std::to_string(i), "");
    simulation().write(controllers);
    std::vector<ZdxDeviceInfo> records = enumerate();
    ASSERT_EQ(records.size(), size_t(ZDX_MAX_DEVICES + 1));
    for (int i = 0; i < ZDX_MAX_DEVICES; ++i) {
        int32_t handle = 0;
        ASSERT_EQ(ZdxOpen(&records[size_t(i)], &handle), ZDX_SUCCESS) << i;
        EXPECT_EQ(handle, i + 1);
    }
    int32_t handle = 0;
    EXPECT_EQ(ZdxOpen(&records[ZDX_MAX_DEVICES], &handle), ZDX_TOO_MANY_DEVICES);

    EXPECT_EQ(ZdxClose(7), ZDX_SUCCESS);
    EXPECT_EQ(ZdxClose(7), ZDX_ILLEGAL_HANDLE) << "closing twice";
    EXPECT_EQ(ZdxOpen(&records[ZDX_MAX_DEVICES], &handle), ZDX_SUCCESS);
    EXPECT_EQ(handle, 7);
    EXPECT_EQ(ZdxClose(0), ZDX_ILLEGAL_HANDLE);
    EXPECT_EQ(ZdxClose(257), ZDX_ILLEGAL_HANDLE);
    EXPECT_EQ(ZdxClose(-3), ZDX_ILLEGAL_HANDLE);
}

TEST_F(ExportsTest, AHandleSurvivesLaterEnumerations)
{
    const int32_t handle = openOnly(controller("150A7", "", channel(1, "Stage")));
    ASSERT_NE(handle, 0);
    EXPECT_EQ(enumerate().size(), 1u) << "an open controller is listed again";
    ZdxEnumFree();
    int16_t value = 0;
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 250);
}

TEST_F(ExportsTest, DeviceAndChannelValuesRoundTrip)
{
    const int32_t handle =
        openOnly(controller("150A7", "deviceStatus=\"0x80\" controlMode=\"2\" brightness=\"10\"",
                            channel(1, "Stage Heater With A Rather Long Name") +
                                channel(2, "Lid",
                                        "actual=\"-50\" status=\"1\" calibration=\"3\" "
                                        "minimum=\"-100\" maximum=\"450\"")));
    ASSERT_NE(handle, 0);

    uint8_t byte = 0;
    EXPECT_EQ(ZdxGetDeviceStatus(handle, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 0x80);
    EXPECT_EQ(ZdxGetControlMode(handle, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 2);
    byte = 1;
    EXPECT_EQ(ZdxSetControlMode(handle, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 1);
    byte = 240; // 0xF0 travels doubled on the wire
    EXPECT_EQ(ZdxSetExternalIlluminationBrightness(handle, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 240);
    byte = 0;
    EXPECT_EQ(ZdxGetExternalIlluminationBrightness(handle, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 240);

    char name[64];
    EXPECT_EQ(ZdxGetComponentName(handle, 1, name, sizeof(name)), ZDX_SUCCESS);
    EXPECT_STREQ(name, "Stage Heater With A Rather Long Name");
    char small[16];
    std::memset(small, 'x', sizeof(small));
    EXPECT_EQ(ZdxGetComponentName(handle, 1, small, sizeof(small)), ZDX_SUCCESS);
    EXPECT_STREQ(small, "Stage Heater Wi") << "at most size - 1 characters";
    EXPECT_EQ(ZdxGetComponentName(handle, 1, small, 0), ZDX_ILLEGAL_PARAMETER);

    int16_t value = 0, minimum = 0, maximum = 0;
    EXPECT_EQ(ZdxGetActualValue(handle, 2, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, -50);
    EXPECT_EQ(ZdxGetSetpointValueRange(handle, 2, &minimum, &maximum), ZDX_SUCCESS);
    EXPECT_EQ(minimum, -100);
    EXPECT_EQ(maximum, 450);
    value = 370;
    EXPECT_EQ(ZdxSetSetpointValue(handle, 2, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 370);
    value = 0;
    EXPECT_EQ(ZdxGetSetpointValue(handle, 2, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 370);
    // A write leaves in the variable what the controller kept, not what was asked for.
    value = 700;
    EXPECT_EQ(ZdxSetSetpointValue(handle, 2, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 450) << "clamped to the channel's maximum";
    value = -32768;
    EXPECT_EQ(ZdxSetSetpointValue(handle, 2, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, -100) << "clamped to the channel's minimum";
    byte = 5;
    EXPECT_EQ(ZdxSetLoopControl(handle, 2, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 1) << "a non-zero loop control is kept as 1";

    byte = 0;
    EXPECT_EQ(ZdxSetLoopControl(handle, 2, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 0);
    byte = 1;
    EXPECT_EQ(ZdxGetLoopControl(handle, 2, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 0);
    EXPECT_EQ(ZdxGetChannelStatus(handle, 2, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 1);
    EXPECT_EQ(ZdxCalibrateSensor(handle, 2, &byte), ZDX_SUCCESS);
    EXPECT_EQ(byte, 3);

    // Only the low byte of the channel travels: 257 addresses channel 1.
    EXPECT_EQ(ZdxGetActualValue(handle, 257, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 250);
}

TEST_F(ExportsTest, ArgumentsAreCheckedBeforeAnythingIsSent)
{
    const int32_t handle = openOnly(controller("150A7", "", channel(1, "Stage")));
    ASSERT_NE(handle, 0);
    int16_t value = 0;
    uint8_t byte = 0;
    char name[8];
    EXPECT_EQ(ZdxGetDeviceStatus(handle, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxSetControlMode(handle, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxGetActualValue(handle, 1, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxSetSetpointValue(handle, 1, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxGetSetpointValueRange(handle, 1, &value, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxGetSetpointValueRange(handle, 1, nullptr, &value), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxGetComponentName(handle, 1, nullptr, 8), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxCalibrateSensor(handle, 1, nullptr), ZDX_NULL_POINTER);
    EXPECT_EQ(ZdxCalibrateSensor(0, 1, &byte), ZDX_ILLEGAL_HANDLE);
    EXPECT_EQ(ZdxGetActualValue(handle + 1, 1, &value), ZDX_ILLEGAL_HANDLE);
    EXPECT_EQ(ZdxGetComponentName(300, 1, name, 8), ZDX_ILLEGAL_HANDLE);
    EXPECT_EQ(ZdxGetLoopControl(0, 1, &byte), ZDX_ILLEGAL_HANDLE);
}

TEST_F(ExportsTest, ControllerFaultsBecomeResultCodes)
{
    // A silent controller: no answer within the read time-out.
    int32_t handle = openOnly(controller("150A7", "silent=\"1\"", channel(1, "Stage")));
    int16_t value = 1234;
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_RECEIVE_FAILED);
    EXPECT_EQ(value, 1234);
    ZdxClose(handle);

    // Refused commands leave the caller's variable untouched.
    handle = openOnly(controller("150A7", "refuse=\"81,83\"", channel(1, "Stage")));
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_OPERATION_FAILURE);
    EXPECT_EQ(value, 1234);
    value = 300;
    EXPECT_EQ(ZdxSetSetpointValue(handle, 1, &value), ZDX_OPERATION_FAILURE);
    EXPECT_EQ(value, 300);
    uint8_t byte = 0;
    EXPECT_EQ(ZdxGetLoopControl(handle, 1, &byte), ZDX_SUCCESS) << "other commands still work";
    EXPECT_EQ(ZdxGetActualValue(handle, 9, &value), ZDX_OPERATION_FAILURE) << "no channel 9";
    ZdxClose(handle);

    // Noise before each answer and answers dribbling in byte by byte still make whole answers.
    handle = openOnly(controller("150A7", "noise=\"7\" chunk=\"1\"", channel(1, "Stage")));
    for (int i = 0; i < 3; ++i) {
        value = 0;
        EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
        EXPECT_EQ(value, 250);
    }
    ZdxClose(handle);

    // A wrong checksum fails the transaction; the handle stays usable once answers are sound.
    handle = openOnly(controller("150A7", "corrupt=\"1\"", channel(1, "Stage")));
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_RECEIVE_FAILED);
    simulation().write(controller("150A7", "corrupt=\"0\"", channel(1, "Stage")));
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 250);

    // Unplugged while open: operations fail, the handle stays valid until closed.
    simulation().write(controller("150A7", "present=\"0\"", channel(1, "Stage")));
    const int32_t code = ZdxGetActualValue(handle, 1, &value);
    EXPECT_TRUE(code == ZDX_SEND_FAILED || code == ZDX_RECEIVE_FAILED) << code;
    EXPECT_EQ(ZdxClose(handle), ZDX_SUCCESS);
}

TEST_F(ExportsTest, OpenFailuresAndUnnameablePorts)
{
    // A serial of its own: the simulation counts failed opens per controller for the process.
    simulation().write(controller("150OF", "openFailures=\"2\"", channel(1, "Stage")));
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<ZdxDeviceInfo> records = enumerate();
        ASSERT_EQ(records.size(), 1u);
        int32_t handle = 0;
        EXPECT_EQ(ZdxOpen(&records[0], &handle), attempt < 2 ? ZDX_FAILED : ZDX_SUCCESS) << attempt;
    }
    EXPECT_EQ(ZdxClose(1), ZDX_SUCCESS);

    // One port whose link name can't be read empties the whole list.
    simulation().write(controller("150A7", "") + controller("150B8", "linkNameFails=\"1\""));
    EXPECT_TRUE(enumerate().empty());
}

TEST_F(ExportsTest, ReplugBetweenEnumerationAndOpenIsNoticed)
{
    simulation().write(controller("150A7", "") + controller("150B8", ""));
    std::vector<ZdxDeviceInfo> records = enumerate();
    ASSERT_EQ(records.size(), 2u);
    // The first controller goes away, so device number 1 no longer holds 150B8.
    simulation().write(controller("150A7", "present=\"0\"") + controller("150B8", ""));
    int32_t handle = 0;
    EXPECT_EQ(ZdxOpen(&records[1], &handle), ZDX_FAILED);
}

TEST_F(ExportsTest, CalibrationRestoresTheReadTimeOut)
{
    const int32_t handle =
        openOnly(controller("150A7", "", channel(1, "Stage", "calibration=\"5\"")));
    uint8_t result = 0;
    EXPECT_EQ(ZdxCalibrateSensor(handle, 1, &result), ZDX_SUCCESS);
    EXPECT_EQ(result, 5);
    int32_t timeout = 0;
    VaronDevice *device = HandleTable::instance().device(handle);
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->driver()->control(OptionGetReadTimeout, &timeout), StatusOk);
    EXPECT_EQ(timeout, 2500);
}

TEST_F(ScriptedExportsTest, CalibrationRunsUnderTheLongTimeOutAndAlwaysRestoresIt)
{
    const int32_t handle = openScripted();
    ASSERT_NE(handle, 0);
    VaronDevice *device = HandleTable::instance().device(handle);
    ASSERT_NE(device, nullptr);
    auto readTimeout = [&] {
        int32_t timeout = 0;
        EXPECT_EQ(device->driver()->control(OptionGetReadTimeout, &timeout), StatusOk);
        return timeout;
    };

    backend.queueInput(test::wireFrame(0x8C, 1, 'W', {0x05}));
    backend.timeoutCalls.clear();
    uint8_t result = 0;
    EXPECT_EQ(ZdxCalibrateSensor(handle, 1, &result), ZDX_SUCCESS);
    EXPECT_EQ(result, 5);
    ASSERT_EQ(backend.timeoutCalls.size(), 2u);
    EXPECT_EQ(backend.timeoutCalls[0], std::make_pair(30000u, 2500u));
    EXPECT_EQ(backend.timeoutCalls[1], std::make_pair(2500u, 2500u));
    EXPECT_EQ(backend.written, test::Bytes({0xF0, 0x00, 0x8C, 0x01, 0x57, 0xE4, 0x00}))
        << "a write without request payload";

    // No answer: the receive failure is the result, and the ordinary time-out is back.
    backend.timeoutCalls.clear();
    result = 77;
    EXPECT_EQ(ZdxCalibrateSensor(handle, 1, &result), ZDX_RECEIVE_FAILED);
    EXPECT_EQ(result, 77);
    ASSERT_EQ(backend.timeoutCalls.size(), 2u);
    EXPECT_EQ(backend.timeoutCalls[1].first, 2500u);
    EXPECT_EQ(readTimeout(), 2500);

    // The calibration went through but the ordinary time-out could not be set back.
    backend.queueInput(test::wireFrame(0x8C, 1, 'W', {0x06}));
    backend.timeoutCalls.clear();
    backend.failTimeoutCall = 1;
    EXPECT_EQ(ZdxCalibrateSensor(handle, 1, &result), ZDX_FAILED);
    EXPECT_EQ(result, 6);
    backend.failTimeoutCall = -1;

    // The long time-out cannot be set: nothing is sent.
    backend.timeoutStatus = usb::InvalidParameter;
    backend.written.clear();
    EXPECT_EQ(ZdxCalibrateSensor(handle, 1, &result), ZDX_FAILED);
    EXPECT_TRUE(backend.written.empty());
    EXPECT_EQ(ZdxClose(handle), ZDX_SUCCESS);
}

// Answers a sound decoder must refuse or must still accept, fed to the exports byte for byte.
TEST_F(ScriptedExportsTest, MalformedAnswersFailAndUnusualOnesSucceed)
{
    const int32_t handle = openScripted();
    ASSERT_NE(handle, 0);

    // A range answer with room for one value only: nothing is read past the payload.
    backend.queueInput(test::wireFrame(0x84, 1, 'R', {0x10, 0x00}));
    int16_t minimum = 11, maximum = 22;
    EXPECT_EQ(ZdxGetSetpointValueRange(handle, 1, &minimum, &maximum), ZDX_RECEIVE_FAILED);
    EXPECT_EQ(minimum, 11);
    EXPECT_EQ(maximum, 22);

    // A name without its terminator inside the payload.
    backend.queueInput(test::wireFrame(0x80, 1, 'R', {'A', 'B', 'C'}));
    char name[256];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(ZdxGetComponentName(handle, 1, name, sizeof(name)), ZDX_RECEIVE_FAILED);
    EXPECT_EQ(name[0], 'x');

    // A name whose checksum's high byte is 0xF0, so that the frame ends in a doubled 0xF0.
    test::Bytes longName(240, 0xFF);
    longName.push_back(0x40);
    longName.push_back(0);
    const test::Bytes frame = test::wireFrame(0x80, 1, 'R', longName);
    ASSERT_EQ(frame[frame.size() - 1], 0xF0);
    ASSERT_EQ(frame[frame.size() - 2], 0xF0);
    backend.queueInput(frame);
    backend.readChunk = 1; // the partner byte comes in a read of its own
    EXPECT_EQ(ZdxGetComponentName(handle, 1, name, sizeof(name)), ZDX_SUCCESS);
    EXPECT_EQ(std::string(name), std::string(longName.begin(), longName.end() - 1));
    backend.readChunk = 0;

    // A read that fails for good (unplugged) ends the cycle at once with a receive failure, and
    // the handle works again once reads do.
    backend.readStatus = usb::DeviceIoFailed;
    int16_t value = 5;
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_RECEIVE_FAILED);
    EXPECT_EQ(value, 5);
    backend.readStatus = usb::Success;
    backend.queueInput(test::wireFrame(0x81, 1, 'R', {0x72, 0x01}));
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 370);
    EXPECT_EQ(ZdxClose(handle), ZDX_SUCCESS);
}

TEST_F(ScriptedExportsTest, FailingOptionAtOpenClosesThePortAgain)
{
    std::vector<ZdxDeviceInfo> records = enumerate();
    ASSERT_EQ(records.size(), 1u);
    backend.baudStatus = usb::InvalidBaudRate;
    int32_t handle = 0;
    EXPECT_EQ(ZdxOpen(&records[0], &handle), ZDX_FAILED);
    // A port left open would lock the controller out until the library is unloaded.
    EXPECT_EQ(backend.closeCalls, 1);
    backend.baudStatus = usb::Success;
    EXPECT_EQ(ZdxOpen(&records[0], &handle), ZDX_SUCCESS);
    EXPECT_EQ(handle, 1) << "the failed open left no slot taken";
}

// What unloading the library does, and loading it again: every device still open is closed in slot
// order, the enumeration goes, and the USB table holds no reference any more.
TEST_F(ScriptedExportsTest, UnloadClosesEveryOpenDeviceInSlotOrder)
{
    backend.devices.push_back({"150U1", "Heat", "link-u1"});
    backend.devices.push_back({"150U2", "Heat", "link-u2"});
    std::vector<ZdxDeviceInfo> records = enumerate();
    ASSERT_EQ(records.size(), 3u);
    int32_t handle = 0;
    for (ZdxDeviceInfo &record : records)
        ASSERT_EQ(ZdxOpen(&record, &handle), ZDX_SUCCESS);
    // Slot order differs from the order of opening: device 0 comes back into slot 1 last.
    ASSERT_EQ(ZdxClose(1), ZDX_SUCCESS);
    ASSERT_EQ(ZdxOpen(&records[0], &handle), ZDX_SUCCESS);
    ASSERT_EQ(handle, 1);
    backend.closedHandles.clear();

    HandleTable::instance().detach();
    // The scripted backend hands out device number + 100 as the USB handle.
    EXPECT_EQ(backend.closedHandles, (std::vector<usb::Handle>{100, 101, 102}));
    for (int32_t h = 1; h <= 3; ++h)
        EXPECT_EQ(ZdxClose(h), ZDX_ILLEGAL_HANDLE) << h;
    ZdxDeviceInfo info{};
    EXPECT_EQ(ZdxEnumNext(&info), ZDX_FAILED) << "the enumerator is gone";
    EXPECT_EQ(ZdxEnumReset(), ZDX_FAILED) << "and so is the enumeration device";
    EXPECT_EQ(usb::apiReferenceCount(), 0);

    HandleTable::instance().attach();
    EXPECT_EQ(enumerate().size(), 3u);
}

} // namespace
} // namespace zdx

int main(int argc, char **argv)
{
    zdx::simulation().write("");
    zdx::simulation().useFromEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
