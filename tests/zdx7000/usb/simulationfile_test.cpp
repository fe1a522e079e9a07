// The simulation file as the outside world's handle on the controllers: the device list and its
// product strings, re-reading a rewritten file (plug, unplug, changed attributes, values the host
// wrote), and files that cannot be used.
#include "simulationtestsupport.h"
#include "support/simulationfile.h"
#include "usb/backendchoice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace zdx::usb::test {
namespace {

uint32_t count(Backend &backend)
{
    uint32_t n = 99;
    EXPECT_EQ(backend.deviceCount(&n), Success);
    return n;
}

int16_t readInt16(Backend &backend, Handle handle, uint8_t command, uint8_t channel)
{
    const Answer answer = parseAnswer(exchange(backend, handle, request(command, channel, 'R')));
    EXPECT_TRUE(answer.complete && answer.checksumOk && answer.command == command);
    return answer.payload.size() >= 2 ? answer.int16() : int16_t(-9999);
}

uint8_t readByte(Backend &backend, Handle handle, uint8_t command, uint8_t channel)
{
    const Answer answer = parseAnswer(exchange(backend, handle, request(command, channel, 'R')));
    EXPECT_TRUE(answer.complete && answer.checksumOk && answer.command == command);
    return answer.payload.empty() ? 0xEE : answer.payload[0];
}

class SimulationFileTest : public ::testing::Test
{
protected:
    TempFolder folder;
    SimulationFile file{folder};
};

TEST_F(SimulationFileTest, DeviceListHoldsPresentControllersInFileOrder)
{
    file.writeControllers(
        controllerXml("150A7", "") + controllerXml("999", "present=\"0\"") +
        "<Controller serial=\"154B2\" description=\"Gas Unit G2\" vendorId=\"2e91\" "
        "productId=\"4\"/>\n" +
        controllerXml("150A7", "") + "<Controller serial=\"OTHER\" vendorId=\"0x1234\"/>\n");
    SimulationBackend backend(file.path());
    ASSERT_EQ(count(backend), 4u) << backend.lastError();
    EXPECT_EQ(productString(backend, 0, SerialNumber), "150A7");
    EXPECT_EQ(productString(backend, 1, SerialNumber), "154B2");
    EXPECT_EQ(productString(backend, 1, Description), "Gas Unit G2");
    EXPECT_EQ(productString(backend, 1, VendorId), "2E91");
    EXPECT_EQ(productString(backend, 1, ProductId), "0004");
    EXPECT_EQ(productString(backend, 3, VendorId), "1234");

    std::set<std::string> links;
    for (uint32_t device = 0; device < 4; ++device)
        links.insert(productString(backend, device, LinkName));
    EXPECT_EQ(links.size(), 4u) << "link names tell even equal serials apart";
    EXPECT_EQ(links.count("<failed>"), 0u);

    char buffer[ProductStringSize];
    EXPECT_EQ(backend.productString(4, buffer, SerialNumber), DeviceNotFound);
    EXPECT_EQ(backend.productString(0, buffer, 5), InvalidParameter);
    EXPECT_EQ(backend.productString(0, nullptr, SerialNumber), InvalidParameter);
    EXPECT_EQ(backend.deviceCount(nullptr), InvalidParameter);
}

TEST_F(SimulationFileTest, LongStringsFitTheCallersFields)
{
    const std::string serial(127, '7');
    file.writeControllers("<Controller serial=\"" + serial + "\" description=\"" +
                          std::string(127, 'd') + "\"/>");
    SimulationBackend backend(file.path());
    ASSERT_EQ(count(backend), 1u) << backend.lastError();
    EXPECT_EQ(productString(backend, 0, SerialNumber), serial);
    EXPECT_EQ(productString(backend, 0, Description).size(), 127u);
    // The driver keeps at most 119 characters of a link name; the simulation's stay unique within.
    EXPECT_LE(productString(backend, 0, LinkName).size(), 119u);
}

TEST_F(SimulationFileTest, OpenIsExclusiveAndHandlesAreNeverReused)
{
    file.writeControllers(controllerXml("150A7", "", channelXml(1, "Stage")) +
                          controllerXml("150B8", "", channelXml(1, "Stage")));
    SimulationBackend backend(file.path());
    Handle first = -1, second = -1, again = -1;
    ASSERT_EQ(backend.open(0, &first), Success);
    EXPECT_GT(first, 0);
    EXPECT_NE(backend.open(0, &again), Success) << "open once at a time";
    ASSERT_EQ(backend.open(1, &second), Success);
    EXPECT_NE(first, second);
    EXPECT_EQ(backend.baudRate(first), 115200u);
    EXPECT_EQ(backend.setBaudRate(first, 57600), Success);
    EXPECT_EQ(backend.baudRate(first), 57600u);
    EXPECT_EQ(backend.setBaudRate(first, 0), InvalidBaudRate);

    EXPECT_EQ(backend.close(first), Success);
    EXPECT_EQ(backend.close(first), InvalidHandle);
    ASSERT_EQ(backend.open(0, &again), Success);
    EXPECT_NE(again, first) << "a stale handle must not reach the new session";
    uint8_t buffer[4];
    uint32_t got = 0;
    EXPECT_EQ(backend.read(first, buffer, sizeof buffer, &got), InvalidHandle);
    EXPECT_EQ(backend.write(first, buffer, 1, &got), InvalidHandle);
    EXPECT_EQ(backend.open(2, &again), DeviceNotFound);
    EXPECT_EQ(backend.open(0, nullptr), InvalidParameter);
}

TEST_F(SimulationFileTest, PlugAndUnplugAreNoticedByTheNextCall)
{
    file.writeControllers(controllerXml("150A7", "", channelXml(1, "Stage")));
    SimulationBackend backend(file.path());
    ASSERT_EQ(count(backend), 1u);
    const Handle handle = openDevice(backend);

    // Plugging a second controller in front moves the first to device number 1.
    file.writeControllers(controllerXml("150B8", "", channelXml(1, "Stage")) +
                          controllerXml("150A7", "", channelXml(1, "Stage")));
    ASSERT_EQ(count(backend), 2u);
    EXPECT_EQ(productString(backend, 1, SerialNumber), "150A7");
    EXPECT_EQ(readInt16(backend, handle, 0x81, 1), 250) << "the open handle survives";

    // Unplugged: the open handle's I/O fails like a vanished device, not like a time-out.
    file.writeControllers(controllerXml("150B8", "", channelXml(1, "Stage")) +
                          controllerXml("150A7", "present=\"0\"", channelXml(1, "Stage")));
    uint8_t buffer[16];
    uint32_t got = 0;
    EXPECT_EQ(backend.read(handle, buffer, sizeof buffer, &got), DeviceIoFailed);
    const Bytes bytes = request(0x81, 1, 'R');
    EXPECT_EQ(backend.write(handle, bytes.data(), uint32_t(bytes.size()), &got), DeviceIoFailed);
    EXPECT_EQ(backend.flush(handle, 1, 1), DeviceIoFailed);
    EXPECT_EQ(count(backend), 1u);
    Handle other = -1;
    EXPECT_EQ(backend.open(1, &other), DeviceNotFound);

    // Plugged back in: the old handle stays dead, a new open works.
    file.writeControllers(controllerXml("150B8", "", channelXml(1, "Stage")) +
                          controllerXml("150A7", "", channelXml(1, "Stage")));
    EXPECT_EQ(backend.read(handle, buffer, sizeof buffer, &got), DeviceIoFailed);
    EXPECT_EQ(backend.close(handle), Success);
    const Handle fresh = openDevice(backend, 1);
    EXPECT_EQ(readInt16(backend, fresh, 0x81, 1), 250);

    // Removed from the file altogether: the same as unplugged.
    file.writeControllers(controllerXml("150B8", "", channelXml(1, "Stage")));
    EXPECT_EQ(backend.write(fresh, bytes.data(), uint32_t(bytes.size()), &got), DeviceIoFailed);
    EXPECT_EQ(count(backend), 1u);
}

TEST_F(SimulationFileTest, HostWrittenValuesSurviveUnlessTheFileChangesThem)
{
    auto write = [&](const std::string &deviceAttributes, const std::string &channelAttributes) {
        file.writeControllers(
            controllerXml("150A7", deviceAttributes,
                          "<Channel number=\"1\" name=\"Stage\" minimum=\"0\" maximum=\"600\" "
                          "status=\"0\" " +
                              channelAttributes + "/>"));
    };
    write("controlMode=\"0\" brightness=\"0\"", "setpoint=\"370\" control=\"1\" actual=\"250\"");
    SimulationBackend backend(file.path());
    const Handle handle = openDevice(backend);
    exchange(backend, handle, request(0x83, 1, 'W', {0x2C, 0x01})); // 300
    exchange(backend, handle, request(0x85, 1, 'W', {0}));
    exchange(backend, handle, request(0x17, 0, 'W', {3}));
    exchange(backend, handle, request(0x53, 0, 'W', {99}));

    // Other attributes change: the host's values stay, the file's new values arrive.
    write("controlMode=\"0\" brightness=\"0\" deviceStatus=\"0x80\"",
          "setpoint=\"370\" control=\"1\" actual=\"260\"");
    EXPECT_EQ(readByte(backend, handle, 0x14, 0), 0x80);
    EXPECT_EQ(readInt16(backend, handle, 0x81, 1), 260);
    EXPECT_EQ(readInt16(backend, handle, 0x83, 1), 300);
    EXPECT_EQ(readByte(backend, handle, 0x85, 1), 0);
    EXPECT_EQ(readByte(backend, handle, 0x17, 0), 3);
    EXPECT_EQ(readByte(backend, handle, 0x53, 0), 99);

    // The file changes setpoint and brightness: those win, the others stay the host's.
    write("controlMode=\"0\" brightness=\"10\" deviceStatus=\"0x80\"",
          "setpoint=\"380\" control=\"1\" actual=\"260\"");
    EXPECT_EQ(readInt16(backend, handle, 0x83, 1), 380);
    EXPECT_EQ(readByte(backend, handle, 0x53, 0), 10);
    EXPECT_EQ(readByte(backend, handle, 0x85, 1), 0);
    EXPECT_EQ(readByte(backend, handle, 0x17, 0), 3);

    // The file switches the loop off and back on: each change is one the file made.
    write("controlMode=\"1\" brightness=\"10\" deviceStatus=\"0x80\"",
          "setpoint=\"380\" control=\"0\" actual=\"260\"");
    EXPECT_EQ(readByte(backend, handle, 0x17, 0), 1);
    EXPECT_EQ(readByte(backend, handle, 0x85, 1), 0);
    write("controlMode=\"1\" brightness=\"10\" deviceStatus=\"0x80\"",
          "setpoint=\"380\" control=\"1\" actual=\"260\"");
    EXPECT_EQ(readByte(backend, handle, 0x85, 1), 1);
}

TEST_F(SimulationFileTest, ChannelsComeAndGoWithTheFile)
{
    file.writeControllers(controllerXml("150A7", "", channelXml(1, "Stage")));
    SimulationBackend backend(file.path());
    const Handle handle = openDevice(backend);
    exchange(backend, handle, request(0x83, 1, 'W', {0x2C, 0x01}));
    file.writeControllers(
        controllerXml("150A7", "", channelXml(1, "Stage") + channelXml(2, "Lid")));
    EXPECT_EQ(parseAnswer(exchange(backend, handle, request(0x80, 2, 'R'))).payload,
              (Bytes{'L', 'i', 'd', 0}));
    EXPECT_EQ(readInt16(backend, handle, 0x83, 1), 300);
    file.writeControllers(controllerXml("150A7", "", channelXml(2, "Lid")));
    EXPECT_EQ(parseAnswer(exchange(backend, handle, request(0x81, 1, 'R'))).command, 0);
}

TEST_F(SimulationFileTest, BrokenRewriteKeepsTheLastGoodState)
{
    file.writeControllers(controllerXml("150A7", "", channelXml(1, "Stage")));
    SimulationBackend backend(file.path());
    const Handle handle = openDevice(backend);
    ASSERT_EQ(backend.lastError(), "");

    file.write("<ZdxSimulation timing=\"instant\">\n<Controller serial=\"150A7\">\n");
    EXPECT_EQ(count(backend), 1u);
    EXPECT_NE(backend.lastError().find("line"), std::string::npos) << backend.lastError();
    EXPECT_EQ(readInt16(backend, handle, 0x81, 1), 250) << "the open handle still works";

    file.writeControllers(controllerXml("150A7", "", channelXml(1, "Stage", "actual=\"x\"")));
    EXPECT_EQ(count(backend), 1u);
    EXPECT_EQ(readInt16(backend, handle, 0x81, 1), 250);

    std::filesystem::remove(file.path());
    EXPECT_EQ(count(backend), 1u);
    EXPECT_NE(backend.lastError(), "");

    file.writeControllers(controllerXml("150A7", "", "<Channel number=\"1\" status=\"2\"/>") +
                          controllerXml("150B8", ""));
    EXPECT_EQ(count(backend), 2u);
    EXPECT_EQ(backend.lastError(), "");
    EXPECT_EQ(readByte(backend, handle, 0x87, 1), 2);
}

TEST_F(SimulationFileTest, ImpossibleValuesRefuseTheFile)
{
    struct Case
    {
        const char *what;
        std::string text;
        const char *reason;
    };
    const std::string channelStart = "<ZdxSimulation><Controller serial=\"1\"><Channel ";
    const std::string channelEnd = "/></Controller></ZdxSimulation>";
    const std::string controllerStart = "<ZdxSimulation><Controller serial=\"1\" ";
    const std::string controllerEnd = "/></ZdxSimulation>";
    const Case cases[] = {
        {"not XML", "<ZdxSimulation", "line"},
        {"wrong root", "<Simulation/>", "ZdxSimulation"},
        {"timing", "<ZdxSimulation timing=\"fast\"/>", "timing"},
        {"actual beyond 16 bits", channelStart + "actual=\"32768\"" + channelEnd, "actual"},
        {"setpoint not a number", channelStart + "setpoint=\"37.0\"" + channelEnd, "setpoint"},
        {"channel 0", channelStart + "number=\"0\"" + channelEnd, "number"},
        {"control 2", channelStart + "control=\"2\"" + channelEnd, "control"},
        {"status above a byte", channelStart + "status=\"0x100\"" + channelEnd, "status"},
        {"model", channelStart + "model=\"cold\"" + channelEnd, "model"},
        {"negative tau", channelStart + "model=\"thermal\" tau=\"-1\"" + channelEnd, "tau"},
        {"range upside down", channelStart + "minimum=\"10\" maximum=\"5\"" + channelEnd,
         "minimum"},
        {"name too long for one payload",
         channelStart + "name=\"" + std::string(254, 'n') + "\"" + channelEnd, "name"},
        {"same channel twice",
         "<ZdxSimulation><Controller><Channel number=\"1\"/><Channel number=\"1\"/></Controller>"
         "</ZdxSimulation>",
         "twice"},
        {"vendor id", controllerStart + "vendorId=\"2E9G\"" + controllerEnd, "vendorId"},
        {"product id above 16 bits", controllerStart + "productId=\"10000\"" + controllerEnd,
         "productId"},
        {"present yes", controllerStart + "present=\"yes\"" + controllerEnd, "present"},
        {"refuse list", controllerStart + "refuse=\"81,8G\"" + controllerEnd, "refuse"},
        {"negative noise", controllerStart + "noise=\"-1\"" + controllerEnd, "noise"},
        {"name beyond Latin-1", channelStart + "name=\"CO\u2082\"" + channelEnd, "Latin-1"},
        {"description beyond Latin-1",
         controllerStart + "description=\"Heat \u2668\"" + controllerEnd, "description"},
        {"serial too long",
         "<ZdxSimulation><Controller serial=\"" + std::string(128, 's') + "\"/></ZdxSimulation>",
         "serial"},
    };
    for (const Case &c : cases) {
        file.write(c.text);
        SimulationBackend backend(file.path());
        EXPECT_EQ(count(backend), 0u) << c.what;
        EXPECT_NE(backend.lastError().find(c.reason), std::string::npos)
            << c.what << ": " << backend.lastError();
    }
}

TEST_F(SimulationFileTest, NumbersAreDecimalOrHexNeverOctal)
{
    file.writeControllers(controllerXml("150A7", "deviceStatus=\"0x0A\"",
                                        "<Channel number=\"1\" actual=\"010\" status=\"010\" "
                                        "minimum=\"-0x10\" maximum=\"0x7FFF\"/>"));
    SimulationBackend backend(file.path());
    ASSERT_EQ(backend.lastError(), "");
    const Handle handle = openDevice(backend);
    EXPECT_EQ(readByte(backend, handle, 0x14, 0), 10);
    EXPECT_EQ(readInt16(backend, handle, 0x81, 1), 10);
    EXPECT_EQ(readByte(backend, handle, 0x87, 1), 10);
    const Answer range = parseAnswer(exchange(backend, handle, request(0x84, 1, 'R')));
    EXPECT_EQ(range.int16(0), -16);
    EXPECT_EQ(range.int16(2), 32767);
}

TEST_F(SimulationFileTest, EnvironmentChoosesTheFileTheDemonstrationOrRealUsb)
{
    file.writeControllers(controllerXml("150E1", ""));
    zdx::test::setEnvironment("ZDX7000_SIMULATION", file.path().string());
    std::unique_ptr<Backend> fromFile(makeChosenBackend());
    ASSERT_EQ(count(*fromFile), 1u);
    EXPECT_EQ(productString(*fromFile, 0, SerialNumber), "150E1");

#if !defined(_WIN32)
    // Empty is unset: real USB, never a simulation nobody asked for. (The Windows build has no USB
    // backend of its own below the vendor's library.)
    for (const char *unset : {"", static_cast<const char *>(nullptr)}) {
        if (unset)
            zdx::test::setEnvironment("ZDX7000_SIMULATION", unset);
        else
            zdx::test::unsetEnvironment("ZDX7000_SIMULATION");
        std::unique_ptr<Backend> usb(makeChosenBackend());
        EXPECT_EQ(dynamic_cast<SimulationBackend *>(usb.get()), nullptr);
    }
#endif

    zdx::test::setEnvironment("ZDX7000_SIMULATION", "demo");
    std::unique_ptr<Backend> demo(makeChosenBackend());
    zdx::test::unsetEnvironment("ZDX7000_SIMULATION");
    ASSERT_EQ(count(*demo), 2u);
    EXPECT_EQ(productString(*demo, 0, Description), "Heat Unit H2");
    EXPECT_EQ(productString(*demo, 0, ProductId), "0001");
    EXPECT_EQ(productString(*demo, 0, SerialNumber).rfind("150", 0), 0u);
    EXPECT_EQ(productString(*demo, 1, Description), "Gas Unit G2");
    EXPECT_EQ(productString(*demo, 1, ProductId), "0004");
    EXPECT_EQ(productString(*demo, 1, SerialNumber).rfind("154", 0), 0u);
    EXPECT_EQ(productString(*demo, 1, VendorId), "2E91");
}

} // namespace
} // namespace zdx::usb::test
