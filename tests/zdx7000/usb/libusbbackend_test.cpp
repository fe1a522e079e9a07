// Controllers on emulated USB, reached through the exported functions with no simulation
// configured: the library finds them through libusb, reads and writes them, and notices when they
// time out, vanish, come back, or cannot be opened for want of permission.
#include "usbtestbed.h"
#include "zdx7000/zdx7000.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using zdx::test::UsbTestBed;

UsbTestBed *s_bed = nullptr;

struct Record
{
    std::string serial;
    std::string description;
    uint32_t vendorId = 0;
    uint32_t productId = 0;
    std::string accessProblem;
};

std::vector<Record> scan()
{
    std::vector<Record> records;
    EXPECT_EQ(ZdxEnumReset(), ZDX_SUCCESS);
    ZdxDeviceInfo info{};
    while (ZdxEnumNext(&info) == ZDX_SUCCESS) {
        Record r;
        r.serial = info.serialNumber;
        r.description = info.description;
        ZdxEnumGetData(&info, ZDX_DATA_VENDOR_ID, &r.vendorId, 4);
        ZdxEnumGetData(&info, ZDX_DATA_PRODUCT_ID, &r.productId, 4);
        char text[256] = {};
        EXPECT_EQ(ZdxEnumGetData(&info, ZDX_DATA_ACCESS_PROBLEM, reinterpret_cast<uint32_t *>(text),
                                 sizeof text),
                  ZDX_SUCCESS);
        r.accessProblem = text;
        records.push_back(r);
    }
    ZdxEnumFree();
    return records;
}

// Hot-plug reaches libusb through its event thread: wait for the list to settle.
std::vector<Record> scanUntil(size_t count)
{
    std::vector<Record> records;
    for (int i = 0; i < 200; ++i) {
        records = scan();
        if (records.size() == count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return records;
}

int32_t open(const std::string &serial, int32_t *handle)
{
    int32_t result = ZDX_FAILED;
    EXPECT_EQ(ZdxEnumReset(), ZDX_SUCCESS);
    ZdxDeviceInfo info{};
    while (ZdxEnumNext(&info) == ZDX_SUCCESS) {
        if (serial == info.serialNumber) {
            result = ZdxOpen(&info, handle);
            break;
        }
    }
    ZdxEnumFree();
    return result;
}

class LibusbExportsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (int32_t handle : handles)
            ZdxClose(handle);
        for (int controller : plugged)
            s_bed->unplug(controller);
        scanUntil(0);
    }

    int add(const std::string &model, const std::string &serial)
    {
        plugged.push_back(s_bed->add(UsbTestBed::model(model, serial)));
        return plugged.back();
    }

    int32_t openOk(const std::string &serial)
    {
        int32_t handle = 0;
        EXPECT_EQ(open(serial, &handle), ZDX_SUCCESS) << serial;
        handles.push_back(handle);
        return handle;
    }

    std::vector<int> plugged;
    std::vector<int32_t> handles;
};

TEST_F(LibusbExportsTest, ListsControllersOfBothModelsAndLeavesOtherDevicesAlone)
{
    const int heat = add("H2", "150U1");
    const int gas = add("G1", "153U2");
    auto keyboard = UsbTestBed::model("H2", "KB1");
    keyboard.vendorId = 0x046D;
    keyboard.description = "USB Keyboard";
    plugged.push_back(s_bed->add(keyboard));

    const std::vector<Record> records = scanUntil(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].serial, "150U1");
    EXPECT_EQ(records[0].description, "Heat Unit H2");
    EXPECT_EQ(records[0].vendorId, 0x2E91u);
    EXPECT_EQ(records[0].productId, 0x0001u);
    EXPECT_EQ(records[0].accessProblem, "");
    EXPECT_EQ(records[1].serial, "153U2");
    EXPECT_EQ(records[1].description, "Gas Unit G1");
    EXPECT_EQ(records[1].productId, 0x0003u);
    EXPECT_EQ(s_bed->opens(plugged[2]), 0) << "another vendor's device is never opened";

    // Their strings were read once; scans of known controllers open nothing.
    const int heatOpens = s_bed->opens(heat);
    const int gasOpens = s_bed->opens(gas);
    EXPECT_EQ(heatOpens, 1) << "opened once to read its strings";
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(scan().size(), 2u);
    EXPECT_EQ(s_bed->opens(heat), heatOpens);
    EXPECT_EQ(s_bed->opens(gas), gasOpens);

    // Both models answer with their own channels.
    char name[32] = {};
    EXPECT_EQ(ZdxGetComponentName(openOk("150U1"), 2, name, sizeof name), ZDX_SUCCESS);
    EXPECT_STREQ(name, "Lid Heater");
    int16_t value = 0;
    EXPECT_EQ(ZdxGetActualValue(openOk("153U2"), 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 50);
}

TEST_F(LibusbExportsTest, ValuesAreReadWrittenAndReadBack)
{
    const int heat = add("H2", "150U3");
    ASSERT_EQ(scanUntil(1).size(), 1u);
    const int32_t handle = openOk("150U3");

    uint8_t status = 0xFF;
    EXPECT_EQ(ZdxGetDeviceStatus(handle, &status), ZDX_SUCCESS);
    EXPECT_EQ(status, 0);
    int16_t value = 0;
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 250);
    int16_t minimum = -1, maximum = -1;
    EXPECT_EQ(ZdxGetSetpointValueRange(handle, 1, &minimum, &maximum), ZDX_SUCCESS);
    EXPECT_EQ(maximum, 600);

    int16_t setpoint = 365;
    EXPECT_EQ(ZdxSetSetpointValue(handle, 1, &setpoint), ZDX_SUCCESS);
    EXPECT_EQ(setpoint, 365);
    setpoint = 9999; // clamped by the controller to its range, and said back
    EXPECT_EQ(ZdxSetSetpointValue(handle, 2, &setpoint), ZDX_SUCCESS);
    EXPECT_EQ(setpoint, 600);
    value = 0;
    EXPECT_EQ(ZdxGetSetpointValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 365);
    EXPECT_EQ(s_bed->setpoint(heat, 1), 365);
    uint8_t loop = 0;
    EXPECT_EQ(ZdxSetLoopControl(handle, 2, &loop), ZDX_SUCCESS);
    loop = 1;
    EXPECT_EQ(ZdxGetLoopControl(handle, 2, &loop), ZDX_SUCCESS);
    EXPECT_EQ(loop, 0);
}

TEST_F(LibusbExportsTest, ASilentControllerTimesOutAndAnswersAgainAfterwards)
{
    const int heat = add("H2", "150U4");
    ASSERT_EQ(scanUntil(1).size(), 1u);
    const int32_t handle = openOk("150U4");
    s_bed->setSilent(heat, true);
    int16_t value = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_RECEIVE_FAILED);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2400))
        << "the read time-out of 2.5 s is waited out";
    s_bed->setSilent(heat, false);
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 250);
}

TEST_F(LibusbExportsTest, AControllerUnpluggedInATransactionFailsAtOnceAndComesBack)
{
    const int heat = add("H2", "150U5");
    add("G1", "153U6");
    ASSERT_EQ(scanUntil(2).size(), 2u);
    const int32_t handle = openOk("150U5");
    const int32_t other = openOk("153U6");
    int16_t setpoint = 380;
    ASSERT_EQ(ZdxSetSetpointValue(handle, 1, &setpoint), ZDX_SUCCESS);

    s_bed->cutOnNextRequest(heat);
    int16_t value = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_RECEIVE_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000))
        << "a transport failure, not a time-out";
    EXPECT_TRUE(s_bed->isCut(heat));
    s_bed->unplug(heat);
    EXPECT_EQ(ZdxGetActualValue(handle, 1, &value), ZDX_SEND_FAILED);
    const std::vector<Record> left = scanUntil(1);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].serial, "153U6");
    EXPECT_EQ(ZdxGetActualValue(other, 1, &value), ZDX_SUCCESS) << "the other one works on";

    s_bed->plug(heat);
    ASSERT_EQ(scanUntil(2).size(), 2u);
    const int32_t again = openOk("150U5");
    EXPECT_EQ(ZdxGetSetpointValue(again, 1, &value), ZDX_SUCCESS);
    EXPECT_EQ(value, 380) << "the controller kept its setpoint";
}

TEST_F(LibusbExportsTest, AControllerWithoutPermissionIsListedWithWhatToDo)
{
    const int heat = add("H2", "150U7");
    s_bed->denyAccess(heat, true);
    // Plugged again so that it arrives denied, as without the rule.
    s_bed->unplug(heat);
    s_bed->plug(heat);
    add("G1", "153U8");
    const std::vector<Record> records = scanUntil(2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].serial, "150U7") << "the kernel's copy of its serial number";
    EXPECT_EQ(records[0].description, "Heat Unit H2");
    EXPECT_NE(records[0].accessProblem.find(s_bed->node(heat)), std::string::npos)
        << records[0].accessProblem;
    EXPECT_NE(records[0].accessProblem.find("70-tessaro.rules"), std::string::npos);
    EXPECT_EQ(records[1].accessProblem, "");
    int32_t handle = 0;
    EXPECT_EQ(open("150U7", &handle), ZDX_FAILED);
    int16_t value = 0;
    EXPECT_EQ(ZdxGetActualValue(openOk("153U8"), 1, &value), ZDX_SUCCESS);

    // The rule applied: the next scan reads its strings and it opens.
    s_bed->denyAccess(heat, false);
    EXPECT_EQ(scan()[0].accessProblem, "");
    EXPECT_EQ(ZdxGetActualValue(openOk("150U7"), 1, &value), ZDX_SUCCESS);
}

std::string run(const std::string &arguments)
{
    std::string output;
    FILE *tool = popen((std::string(ZDXTOOL) + " " + arguments + " 2>&1").c_str(), "r");
    char chunk[512];
    while (tool && std::fgets(chunk, sizeof chunk, tool))
        output += chunk;
    if (tool)
        pclose(tool);
    return output;
}

TEST_F(LibusbExportsTest, ZdxtoolSaysItUsesUsbAndWhatAControllerLacks)
{
    const int heat = add("H2", "150U9");
    s_bed->denyAccess(heat, true);
    s_bed->unplug(heat);
    s_bed->plug(heat);
    add("G1", "153U10");
    ASSERT_EQ(scanUntil(2).size(), 2u);

    const std::string list = run("list");
    EXPECT_NE(list.find("controllers on USB"), std::string::npos) << list;
    EXPECT_NE(list.find("153U10           Gas Unit G1              2E91 0003"), std::string::npos)
        << list;
    EXPECT_NE(
        list.find("150U9: no permission to open the controller's device node " + s_bed->node(heat)),
        std::string::npos)
        << list;
    const std::string read = run("read 150U9 1");
    EXPECT_NE(read.find("150U9: open failed: Function call failed (1): no permission"),
              std::string::npos)
        << read;
    EXPECT_NE(run("read 153U10 1").find("1 CO2 Sensor           actual     50"), std::string::npos);
}

} // namespace

int main(int argc, char **argv)
{
    if (!UsbTestBed::enterWithRealUsb(argv))
        return 1;
    UsbTestBed bed;
    s_bed = &bed;
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    s_bed = nullptr;
    return result;
}
