// The faults a simulation file can give a controller, and the timing of reads: each fault shows on
// the wire exactly as described, and only on the controller that has it.
#include "simulationtestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zdx::usb::test {
namespace {

using namespace std::chrono_literals;

const Bytes ReadActual = {0xF0, 0x00, 0x81, 0x01, 0x52, 0xD4, 0x00};
const Bytes ActualAnswer = {0xF0, 0x02, 0x81, 0x01, 0x52, 0xFA, 0x00, 0xCE, 0x01};

class SimulationFaults : public ::testing::Test
{
protected:
    // One faulty controller and one sound one behind it.
    void start(const std::string &faults, const std::string &root = "timing=\"instant\"")
    {
        file.writeControllers(controllerXml("150A7", faults, channelXml(1, "Stage")) +
                                  controllerXml("150B8", "", channelXml(1, "Stage")),
                              root);
        backend = std::make_unique<SimulationBackend>(file.path(), clock.clock());
        ASSERT_EQ(backend->lastError(), "");
    }

    // The sound controller is unaffected by the other one's faults.
    void expectSoundNeighbour()
    {
        const Handle other = openDevice(*backend, 1);
        EXPECT_EQ(exchange(*backend, other, ReadActual), ActualAnswer);
        EXPECT_EQ(backend->close(other), Success);
    }

    TempFolder folder;
    SimulationFile file{folder};
    ManualClock clock;
    std::unique_ptr<SimulationBackend> backend;
};

TEST_F(SimulationFaults, SilentControllerTakesRequestsAndNeverAnswers)
{
    start("silent=\"1\"");
    const Handle handle = openDevice(*backend);
    EXPECT_TRUE(exchange(*backend, handle, ReadActual).empty());
    uint8_t buffer[16];
    uint32_t got = 99;
    EXPECT_EQ(backend->read(handle, buffer, sizeof buffer, &got), ReadTimedOut);
    EXPECT_EQ(got, 0u);
    expectSoundNeighbour();
}

TEST_F(SimulationFaults, RefusedCommandsGetCommandByteZero)
{
    start("refuse=\"81, 0x83\"");
    const Handle handle = openDevice(*backend);
    EXPECT_EQ(exchange(*backend, handle, ReadActual),
              (Bytes{0xF0, 0x00, 0x00, 0x01, 0x52, 0x53, 0x00}));
    const Answer write = parseAnswer(exchange(*backend, handle, request(0x83, 1, 'W', {1, 0})));
    EXPECT_EQ(write.command, 0);
    EXPECT_TRUE(write.payload.empty());
    EXPECT_EQ(parseAnswer(exchange(*backend, handle, request(0x83, 1, 'R'))).command, 0);
    EXPECT_EQ(parseAnswer(exchange(*backend, handle, request(0x85, 1, 'R'))).payload, Bytes{1})
        << "commands not listed are answered";
    expectSoundNeighbour();
}

TEST_F(SimulationFaults, NoisePrecedesEveryAnswerAndNeverLooksLikeAStart)
{
    start("noise=\"40\"");
    const Handle handle = openDevice(*backend);
    for (int i = 0; i < 20; ++i) {
        const Bytes wire = exchange(*backend, handle, ReadActual);
        ASSERT_EQ(wire.size(), 40u + ActualAnswer.size());
        EXPECT_TRUE(
            std::none_of(wire.begin(), wire.begin() + 40, [](uint8_t b) { return b == 0xF0; }));
        EXPECT_EQ(Bytes(wire.begin() + 40, wire.end()), ActualAnswer);
    }
    expectSoundNeighbour();
}

TEST_F(SimulationFaults, ChunkLimitsEveryRead)
{
    start("chunk=\"2\" noise=\"3\"");
    const Handle handle = openDevice(*backend);
    uint32_t written = 0;
    ASSERT_EQ(backend->write(handle, ReadActual.data(), uint32_t(ReadActual.size()), &written),
              Success);
    Bytes all;
    uint8_t buffer[523];
    uint32_t got = 0;
    while (backend->read(handle, buffer, sizeof buffer, &got) == Success && got > 0) {
        EXPECT_LE(got, 2u);
        all.insert(all.end(), buffer, buffer + got);
    }
    EXPECT_EQ(all.size(), 3u + ActualAnswer.size());
    EXPECT_EQ(Bytes(all.begin() + 3, all.end()), ActualAnswer);

    // A smaller request than the chunk is honoured too.
    ASSERT_EQ(backend->write(handle, ReadActual.data(), uint32_t(ReadActual.size()), &written),
              Success);
    ASSERT_EQ(backend->read(handle, buffer, 1, &got), Success);
    EXPECT_EQ(got, 1u);
    expectSoundNeighbour();
}

TEST_F(SimulationFaults, CorruptAnswersAreWellFramedWithAWrongChecksum)
{
    start("corrupt=\"1\"");
    const Handle handle = openDevice(*backend);
    const Answer answer = parseAnswer(exchange(*backend, handle, ReadActual));
    ASSERT_TRUE(answer.complete);
    EXPECT_FALSE(answer.checksumOk);
    EXPECT_EQ(answer.command, 0x81);
    EXPECT_EQ(answer.payload, (Bytes{0xFA, 0x00}));
    expectSoundNeighbour();
}

TEST_F(SimulationFaults, OpenFailuresCountAcrossRereads)
{
    start("openFailures=\"3\"");
    Handle handle = -1;
    EXPECT_NE(backend->open(0, &handle), Success);
    EXPECT_NE(backend->open(0, &handle), Success);
    // A rewrite that leaves openFailures alone does not start the count again.
    file.writeControllers(controllerXml("150A7", "openFailures=\"3\" deviceStatus=\"1\"") +
                          controllerXml("150B8", "", channelXml(1, "Stage")));
    EXPECT_NE(backend->open(0, &handle), Success);
    EXPECT_EQ(backend->open(0, &handle), Success);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(backend->close(handle), Success);
    EXPECT_EQ(backend->open(0, &handle), Success) << "only the first three fail";
    EXPECT_EQ(backend->close(handle), Success);
    expectSoundNeighbour();
}

TEST_F(SimulationFaults, LinkNameFailsOnlyForItsController)
{
    start("linkNameFails=\"1\"");
    char buffer[ProductStringSize];
    EXPECT_NE(backend->productString(0, buffer, LinkName), Success);
    EXPECT_EQ(productString(*backend, 0, SerialNumber), "150A7");
    EXPECT_EQ(productString(*backend, 0, VendorId), "2E91");
    EXPECT_NE(productString(*backend, 1, LinkName), "<failed>");
}

TEST_F(SimulationFaults, DelayedAnswersArriveOnTheModelClock)
{
    start("delay=\"200\"");
    const Handle handle = openDevice(*backend);
    EXPECT_TRUE(exchange(*backend, handle, ReadActual).empty());
    clock.advance(199ms);
    EXPECT_TRUE(drain(*backend, handle).empty());
    clock.advance(1ms);
    EXPECT_EQ(drain(*backend, handle), ActualAnswer);
}

TEST_F(SimulationFaults, WireTimingDelaysAnswersByTheirBytes)
{
    // A 7-byte request and a 9-byte answer are 160 bits: 2.78 ms at 57600 baud.
    start("wire=\"57600\"");
    const Handle handle = openDevice(*backend);
    EXPECT_TRUE(exchange(*backend, handle, ReadActual).empty());
    clock.advance(2770us);
    EXPECT_TRUE(drain(*backend, handle).empty());
    clock.advance(10us);
    EXPECT_EQ(drain(*backend, handle), ActualAnswer);

    // Two requests at once: the second answer does not overtake the first.
    Bytes two = ReadActual;
    two.insert(two.end(), ReadActual.begin(), ReadActual.end());
    EXPECT_TRUE(exchange(*backend, handle, two).empty());
    clock.advance(3ms);
    EXPECT_EQ(drain(*backend, handle).size(), 18u);
}

TEST(SimulationTiming, InstantReadsTimeOutAtOnce)
{
    TempFolder folder;
    SimulationFile file(folder);
    file.writeControllers(controllerXml("150A7", "silent=\"1\""));
    SimulationBackend backend(file.path());
    ASSERT_EQ(backend.setTimeouts(5000, 5000), Success);
    const Handle handle = openDevice(backend);
    uint8_t buffer[8];
    uint32_t got = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(backend.read(handle, buffer, sizeof buffer, &got), ReadTimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
}

TEST(SimulationTiming, RealtimeReadsWaitOutTheReadTimeOut)
{
    TempFolder folder;
    SimulationFile file(folder);
    file.writeControllers(controllerXml("150A7", "silent=\"1\""), "timing=\"realtime\"");
    SimulationBackend backend(file.path());
    ASSERT_EQ(backend.setTimeouts(50, 70), Success);
    EXPECT_EQ(backend.readTimeoutMs(), 50u);
    EXPECT_EQ(backend.writeTimeoutMs(), 70u);
    const Handle handle = openDevice(backend);
    uint8_t buffer[8];
    uint32_t got = 5;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(backend.read(handle, buffer, sizeof buffer, &got), ReadTimedOut);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(elapsed, 50ms);
    EXPECT_LT(elapsed, 2s);
}

TEST(SimulationTiming, RealtimeReadsReturnAsSoonAsAnAnswerArrives)
{
    TempFolder folder;
    SimulationFile file(folder);
    file.writeControllers(controllerXml("150A7", "delay=\"30\"", channelXml(1, "Stage")),
                          "timing=\"realtime\"");
    SimulationBackend backend(file.path());
    ASSERT_EQ(backend.setTimeouts(3000, 3000), Success);
    const Handle handle = openDevice(backend);
    uint32_t written = 0;
    ASSERT_EQ(backend.write(handle, ReadActual.data(), uint32_t(ReadActual.size()), &written),
              Success);
    uint8_t buffer[64];
    uint32_t got = 0;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(backend.read(handle, buffer, sizeof buffer, &got), Success);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(Bytes(buffer, buffer + got), ActualAnswer);
    EXPECT_GE(elapsed, 25ms);
    EXPECT_LT(elapsed, 1500ms) << "not the whole time-out";
}

} // namespace
} // namespace zdx::usb::test
