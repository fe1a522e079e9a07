// The simulated controller on the wire: every command of the set answered byte for byte, writes
// answered with the value kept, refusals, and frames that arrive split, batched, escaped or broken.
#include "simulationtestsupport.h"

#include <gtest/gtest.h>

namespace zdx::usb::test {
namespace {

class SimulationProtocol : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file.writeControllers(
            controllerXml("150A7", "deviceStatus=\"0x81\" controlMode=\"2\" brightness=\"17\"",
                          channelXml(1, "Stage", "calibration=\"5\"") +
                              "<Channel number=\"2\" name=\"Lid\" actual=\"-50\" setpoint=\"100\" "
                              "minimum=\"-100\" maximum=\"200\" control=\"0\" status=\"3\"/>"));
        backend = std::make_unique<SimulationBackend>(file.path(), clock.clock());
        ASSERT_EQ(backend->lastError(), "");
        handle = openDevice(*backend);
    }

    Answer ask(const Bytes &bytes) { return parseAnswer(exchange(*backend, handle, bytes)); }

    TempFolder folder;
    SimulationFile file{folder};
    ManualClock clock;
    std::unique_ptr<SimulationBackend> backend;
    Handle handle = -1;
};

TEST_F(SimulationProtocol, AnswersAreByteExact)
{
    // Read the actual value of channel 1 (the request as the library sends it): 250 back.
    EXPECT_EQ(exchange(*backend, handle, {0xF0, 0x00, 0x81, 0x01, 0x52, 0xD4, 0x00}),
              (Bytes{0xF0, 0x02, 0x81, 0x01, 0x52, 0xFA, 0x00, 0xCE, 0x01}));
    // Write setpoint 370 to channel 2: clamped to its maximum 200 (0x00C8).
    EXPECT_EQ(exchange(*backend, handle, {0xF0, 0x02, 0x83, 0x02, 0x57, 0x72, 0x01, 0x4F, 0x01}),
              (Bytes{0xF0, 0x02, 0x83, 0x02, 0x57, 0xC8, 0x00, 0xA4, 0x01}));
    // Device status 0x81.
    EXPECT_EQ(exchange(*backend, handle, {0xF0, 0x00, 0x14, 0x00, 0x52, 0x66, 0x00}),
              (Bytes{0xF0, 0x01, 0x14, 0x00, 0x52, 0x81, 0xE7, 0x00}));
}

TEST_F(SimulationProtocol, EveryReadCommandReportsTheStoredValue)
{
    struct Case
    {
        uint8_t command, channel;
        Bytes payload;
    };
    const Case cases[] = {
        {0x14, 0, {0x81}},
        {0x17, 0, {2}},
        {0x53, 0, {17}},
        {0x80, 1, {'S', 't', 'a', 'g', 'e', 0}},
        {0x80, 2, {'L', 'i', 'd', 0}},
        {0x81, 1, {0xFA, 0x00}},
        {0x81, 2, {0xCE, 0xFF}}, // -50
        {0x83, 1, {0x72, 0x01}},
        {0x83, 2, {0x64, 0x00}},
        {0x84, 1, {0x00, 0x00, 0x58, 0x02}},
        {0x84, 2, {0x9C, 0xFF, 0xC8, 0x00}},
        {0x85, 1, {1}},
        {0x85, 2, {0}},
        {0x87, 1, {0}},
        {0x87, 2, {3}},
    };
    for (const Case &c : cases) {
        const Answer answer = ask(request(c.command, c.channel, 'R'));
        ASSERT_TRUE(answer.complete) << std::hex << int(c.command);
        EXPECT_TRUE(answer.checksumOk);
        EXPECT_EQ(answer.command, c.command);
        EXPECT_EQ(answer.channel, c.channel);
        EXPECT_EQ(answer.access, 'R');
        EXPECT_EQ(answer.payload, c.payload) << std::hex << int(c.command) << " " << int(c.channel);
    }
}

TEST_F(SimulationProtocol, WritesAreAnsweredWithTheValueKept)
{
    EXPECT_EQ(ask(request(0x83, 1, 'W', {0x2C, 0x01})).int16(), 300);
    EXPECT_EQ(ask(request(0x83, 1, 'R')).int16(), 300) << "the write is kept";
    EXPECT_EQ(ask(request(0x83, 1, 'W', {0x70, 0x02})).int16(), 600) << "624 above the maximum";
    EXPECT_EQ(ask(request(0x83, 2, 'W', {0x00, 0x80})).int16(), -100) << "-32768 below minimum";
    EXPECT_EQ(ask(request(0x83, 1, 'W', {0x00, 0x00})).int16(), 0) << "the minimum itself";

    EXPECT_EQ(ask(request(0x85, 2, 'W', {1})).payload, Bytes{1});
    EXPECT_EQ(ask(request(0x85, 2, 'W', {7})).payload, Bytes{1}) << "non-zero switches on";
    EXPECT_EQ(ask(request(0x85, 2, 'R')).payload, Bytes{1});
    EXPECT_EQ(ask(request(0x85, 1, 'W', {0})).payload, Bytes{0});

    EXPECT_EQ(ask(request(0x17, 0, 'W', {9})).payload, Bytes{9});
    EXPECT_EQ(ask(request(0x17, 0, 'R')).payload, Bytes{9});
    // Brightness 240 needs its payload byte escaped both ways.
    EXPECT_EQ(exchange(*backend, handle, {0xF0, 0x01, 0x53, 0x00, 0x57, 0xF0, 0xF0, 0x9A, 0x01}),
              (Bytes{0xF0, 0x01, 0x53, 0x00, 0x57, 0xF0, 0xF0, 0x9A, 0x01}));
    EXPECT_EQ(ask(request(0x53, 0, 'R')).payload, Bytes{0xF0});

    const Answer calibration = ask(request(0x8C, 1, 'W'));
    EXPECT_EQ(calibration.command, 0x8C);
    EXPECT_EQ(calibration.payload, Bytes{5});
    EXPECT_EQ(ask(request(0x8C, 2, 'W')).payload, Bytes{0}) << "default calibration result";
}

TEST_F(SimulationProtocol, UnknownRequestsAreRefused)
{
    struct Case
    {
        const char *what;
        Bytes request;
    };
    const Case cases[] = {
        {"unknown device command", request(0x15, 0, 'R')},
        {"unknown channel command", request(0x86, 1, 'R')},
        {"channel that does not exist", request(0x81, 3, 'R')},
        {"channel 0 for a channel command", request(0x81, 0, 'R')},
        {"write to a read-only value", request(0x81, 1, 'W', {1, 0})},
        {"status write", request(0x14, 0, 'W', {0})},
        {"calibration read", request(0x8C, 1, 'R')},
        {"setpoint write of one byte", request(0x83, 1, 'W', {5})},
        {"read with a payload", request(0x81, 1, 'R', {0})},
        {"access neither R nor W", request(0x81, 1, 'X')},
    };
    for (const Case &c : cases) {
        const Answer answer = ask(c.request);
        ASSERT_TRUE(answer.complete) << c.what;
        EXPECT_TRUE(answer.checksumOk) << c.what;
        EXPECT_EQ(answer.command, 0) << c.what;
        EXPECT_TRUE(answer.payload.empty()) << c.what;
        EXPECT_EQ(answer.channel, c.request[3]) << c.what;
    }
    EXPECT_EQ(ask(request(0x83, 1, 'R')).int16(), 370) << "refused writes change nothing";
}

TEST_F(SimulationProtocol, NamesTravelAsTheHostReadsThemLatin1)
{
    // The file is UTF-8; the wire carries one byte a character.
    file.writeControllers(controllerXml("150A7", "", channelXml(1, "Temp\u00e9rature \u00b0C")));
    backend->refresh();
    ASSERT_EQ(backend->lastError(), "");
    const Answer answer = ask(request(0x80, 1, 'R'));
    ASSERT_TRUE(answer.complete);
    EXPECT_EQ(std::string(answer.payload.begin(), answer.payload.end() - 1), "Temp\xe9rature \xb0"
                                                                             "C");
}

TEST_F(SimulationProtocol, LongNamesTravelWhole)
{
    const std::string name(253, 'x');
    file.writeControllers(controllerXml("150A7", "", channelXml(1, name)));
    backend->refresh();
    const Answer answer = ask(request(0x80, 1, 'R'));
    ASSERT_TRUE(answer.complete);
    EXPECT_TRUE(answer.checksumOk);
    ASSERT_EQ(answer.payload.size(), 254u);
    EXPECT_EQ(std::string(answer.payload.begin(), answer.payload.end() - 1), name);
    EXPECT_EQ(answer.payload.back(), 0);
}

TEST_F(SimulationProtocol, ChecksumBytesOfF0AreEscaped)
{
    // 0x80 + 0x01 + 'R' = 0xD3, and "A~^" adds 0x41 + 0x7E + 0x5E: the sum is 0x01F0.
    file.writeControllers(controllerXml("150A7", "", channelXml(1, "A~^")));
    backend->refresh();
    const Bytes wire = exchange(*backend, handle, request(0x80, 1, 'R'));
    EXPECT_EQ(wire, (Bytes{0xF0, 0x04, 0x80, 0x01, 0x52, 'A', '~', '^', 0x00, 0xF0, 0xF0, 0x01}));
}

TEST_F(SimulationProtocol, RequestsMayArriveInAnySplit)
{
    Bytes batch;
    for (int i = 0; i < 3; ++i) {
        const Bytes one = request(0x81, 1, 'R');
        batch.insert(batch.end(), one.begin(), one.end());
    }
    const Bytes setpoint = request(0x83, 1, 'W', {0xF0, 0x00}); // 240, escaped
    batch.insert(batch.end(), setpoint.begin(), setpoint.end());

    // One byte per write: the same answers as one write of everything.
    for (uint8_t byte : batch) {
        uint32_t written = 0;
        ASSERT_EQ(backend->write(handle, &byte, 1, &written), Success);
        ASSERT_EQ(written, 1u);
    }
    const Bytes answers = drain(*backend, handle);
    const Bytes value = {0xF0, 0x02, 0x81, 0x01, 0x52, 0xFA, 0x00, 0xCE, 0x01};
    Bytes expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), value.begin(), value.end());
    const Answer echo = parseAnswer(Bytes(answers.begin() + long(expected.size()), answers.end()));
    EXPECT_EQ(Bytes(answers.begin(), answers.begin() + long(expected.size())), expected);
    EXPECT_TRUE(echo.complete && echo.checksumOk);
    EXPECT_EQ(echo.int16(), 240);
}

TEST_F(SimulationProtocol, BrokenFramesAreDroppedAndTheNextOneCounts)
{
    Bytes badChecksum = request(0x81, 1, 'R');
    badChecksum[5] ^= 0x01;
    const Bytes good = request(0x83, 1, 'R');
    struct Case
    {
        const char *what;
        Bytes prefix;
    };
    const Case cases[] = {
        {"line noise", {0x00, 0x13, 0x52, 0xFF}},
        {"wrong checksum", badChecksum},
        {"frame cut short by a new start mark", {0xF0, 0x02, 0x83, 0x01}},
        {"length above 254", {0xF0, 0xFF, 0x81}},
        {"a lone start mark", {0xF0}},
    };
    for (const Case &c : cases) {
        Bytes bytes = c.prefix;
        bytes.insert(bytes.end(), good.begin(), good.end());
        const Bytes wire = exchange(*backend, handle, bytes);
        const Answer answer = parseAnswer(wire);
        EXPECT_EQ(answer.noise, 0u) << c.what;
        EXPECT_EQ(answer.command, 0x83) << c.what << ": only the good frame is answered";
        EXPECT_EQ(wire.size(), 9u) << c.what;
    }
}

TEST_F(SimulationProtocol, AFrameEndingInAnEscapedF0WaitsForItsPartner)
{
    // 241 payload bytes of 0xFF make a checksum of 0xF0EA: its high byte is the frame's last.
    const Bytes wire = request(0x83, 1, 'W', Bytes(241, 0xFF));
    ASSERT_EQ(wire[wire.size() - 1], 0xF0);
    ASSERT_EQ(wire[wire.size() - 2], 0xF0);
    uint32_t written = 0;
    ASSERT_EQ(backend->write(handle, wire.data(), uint32_t(wire.size() - 1), &written), Success);
    EXPECT_TRUE(drain(*backend, handle).empty()) << "nothing before the partner byte";
    ASSERT_EQ(backend->write(handle, &wire.back(), 1, &written), Success);
    // The frame was whole; its payload is no setpoint, so the answer is a refusal.
    EXPECT_EQ(drain(*backend, handle), (Bytes{0xF0, 0x00, 0x00, 0x01, 0x57, 0x58, 0x00}));
}

TEST_F(SimulationProtocol, FlushDropsAnswersNotYetRead)
{
    uint32_t written = 0;
    const Bytes bytes = request(0x81, 1, 'R');
    ASSERT_EQ(backend->write(handle, bytes.data(), uint32_t(bytes.size()), &written), Success);
    EXPECT_EQ(backend->flush(handle, 1, 0), Success);
    EXPECT_EQ(drain(*backend, handle).size(), 9u) << "a transmit flush keeps the answer";
    ASSERT_EQ(backend->write(handle, bytes.data(), uint32_t(bytes.size()), &written), Success);
    EXPECT_EQ(backend->flush(handle, 1, 1), Success);
    EXPECT_TRUE(drain(*backend, handle).empty());
    EXPECT_EQ(backend->flush(handle + 100, 1, 1), InvalidHandle);
}

TEST_F(SimulationProtocol, UnreadAnswersAreBoundedByTheTransmitBuffer)
{
    // A host that writes and never reads: the controller drops what does not fit, and the answers
    // it kept are whole.
    const Bytes bytes = request(0x81, 1, 'R');
    uint32_t written = 0;
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(backend->write(handle, bytes.data(), uint32_t(bytes.size()), &written), Success);
    const Bytes all = drain(*backend, handle);
    EXPECT_GT(all.size(), 0u);
    EXPECT_LT(all.size(), 2000u * 9u);
    EXPECT_EQ(all.size() % 9, 0u);
    // Afterwards the link works as before.
    EXPECT_EQ(ask(bytes).int16(), 250);
}

} // namespace
} // namespace zdx::usb::test
