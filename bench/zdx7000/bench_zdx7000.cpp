// The library's own cost per frame and per transaction, beside the time the same bytes take on the
// wire at 57600 baud (10 bits a byte). The bar: under 1 % of the wire time per transaction.
#include "zdx7000.h"

#include "protocol/pool.h"
#include "protocol/varonprotocoldecoder.h"
#include "protocol/varonprotocolencoder.h"
#include "usb/simulation/simulationbackend.h"
#include "usb/usbapi.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

using namespace zdx;

namespace {

constexpr double WireBitsPerByte = 10.0;
constexpr double WireBaud = 57600.0;

double wireMicroseconds(int bytes)
{
    return bytes * WireBitsPerByte / WireBaud * 1e6;
}

// Puts the measured time per iteration beside the wire time of `wireBytes`: the figure to compare
// with the bar is percent_of_wire.
void reportAgainstWire(benchmark::State &state, std::chrono::steady_clock::time_point start,
                       int wireBytes)
{
    const double perIteration =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count() /
        double(state.iterations());
    const double wire = wireMicroseconds(wireBytes);
    state.counters["wire_us"] = wire;
    state.counters["percent_of_wire"] = 100.0 * perIteration / wire;
}

struct Codec
{
    FramePool pool{std::make_unique<FrameAllocator>(DeviceFrameCapacity)};
    VaronProtocolEncoder encoder;
    VaronProtocolDecoder decoder;
    Codec() { pool.fill(4); }

    Frame *lend()
    {
        Frame *f = pool.acquire();
        f->state = FrameLent;
        return f;
    }
};

// Encodes the request, then decodes `answer` (wire bytes) into the response elements.
void roundTrip(Codec &c, FrameMessage &request, FrameMessage &response, const uint8_t *answer,
               int32_t answerLength)
{
    Frame *out = c.lend();
    c.encoder.begin(out);
    c.encoder.add(&request);
    c.encoder.finish();
    benchmark::DoNotOptimize(out->data()[0]);
    giveBack(out);

    c.decoder.reset();
    Frame *assembled = c.lend();
    c.decoder.begin(assembled);
    Frame *in = c.lend();
    std::memcpy(in->data(), answer, size_t(answerLength));
    in->length = answerLength;
    c.decoder.supply(in);
    c.decoder.decode();
    if (c.decoder.extract(&response) != 0)
        std::abort();
}

void BM_CodecValueRead(benchmark::State &state)
{
    Codec c;
    int16_t value = 0;
    FrameHeader header{1, 0x81, 1, AccessRead};
    FrameElement element{ElementS16, 0, 2, "value", &value};
    FrameMessage request{&header, nullptr, 0, nullptr, 0};
    FrameMessage response{&header, &element, 1, nullptr, 0};
    const uint8_t answer[] = {0xF0, 0x02, 0x81, 0x01, 0x52, 0x72, 0x01, 0x47, 0x01};
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        roundTrip(c, request, response, answer, sizeof(answer));
    reportAgainstWire(state, start, 7 + 9);
    if (value != 370)
        state.SkipWithError("wrong value decoded");
}
BENCHMARK(BM_CodecValueRead);

void BM_CodecNameReply(benchmark::State &state)
{
    Codec c;
    char name[64] = {};
    FrameHeader header{1, 0x80, 1, AccessRead};
    FrameElement element{ElementText, 0, sizeof(name), "name", name};
    FrameMessage request{&header, nullptr, 0, nullptr, 0};
    FrameMessage response{&header, &element, 1, nullptr, 0};
    const char text[] = "Stage Heater Inner Ring Zone 01"; // 31 characters
    uint8_t answer[64] = {0xF0, 32, 0x80, 0x01, 0x52};
    std::memcpy(answer + 5, text, 32);
    unsigned sum = 0x80 + 0x01 + 0x52;
    for (int i = 0; i < 32; ++i)
        sum += answer[5 + i];
    answer[37] = uint8_t(sum & 0xFF);
    answer[38] = uint8_t(sum >> 8); // no byte here is 0xF0, so nothing needs doubling
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        roundTrip(c, request, response, answer, 39);
    reportAgainstWire(state, start, 7 + 39);
    if (std::strcmp(name, text) != 0)
        state.SkipWithError("wrong name decoded");
}
BENCHMARK(BM_CodecNameReply);

// A whole ZdxGetActualValue through the exports, the driver and the simulation (instant timing).
void BM_TransactionThroughSimulation(benchmark::State &state)
{
    const auto path = std::filesystem::temp_directory_path() / "zdx7000-bench-sim.xml";
    {
        std::ofstream out(path);
        out << "<ZdxSimulation timing=\"instant\"><Controller serial=\"150B1\" description=\"Heat "
               "Unit H2\" vendorId=\"2E91\" productId=\"0001\"><Channel number=\"1\" "
               "name=\"Stage\" actual=\"370\" setpoint=\"370\" minimum=\"0\" maximum=\"600\" "
               "control=\"1\" model=\"fixed\"/></Controller></ZdxSimulation>";
    }
    usb::SimulationBackend simulation(path);
    usb::setBackend(&simulation);
    ZdxEnumReset();
    ZdxDeviceInfo info{};
    int32_t handle = 0;
    if (ZdxEnumNext(&info) != ZDX_SUCCESS || ZdxOpen(&info, &handle) != ZDX_SUCCESS) {
        state.SkipWithError("no simulated controller");
        usb::setBackend(nullptr);
        return;
    }
    ZdxEnumFree();
    int16_t value = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (ZdxGetActualValue(handle, 1, &value) != ZDX_SUCCESS)
            state.SkipWithError("transaction failed");
    }
    reportAgainstWire(state, start, 7 + 9);
    ZdxClose(handle);
    usb::setBackend(nullptr);
    std::filesystem::remove(path);
}
BENCHMARK(BM_TransactionThroughSimulation);

} // namespace

BENCHMARK_MAIN();
