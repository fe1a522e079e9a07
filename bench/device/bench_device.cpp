// The device layer over the controller simulation: a scan that finds nothing new among eight
// attached controllers, and one channel's three values read through the whole stack, the latter
// compared with the time its bytes take on a 57600-baud wire.
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"

#include "zdx7000/support/simulationfile.h"

#include <QCoreApplication>

#include "support/qtbenchmark.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

// Bytes on the wire of the three reads of channel 1 (actual 369, setpoint 370, loop on: no byte
// needs an escaped 0xF0): each request is 7 bytes; the answers carry a 16-bit actual value (9
// bytes), a 16-bit setpoint (9) and a loop-control byte (8). At 10 bits a byte and 57600 baud.
constexpr int ThreeReadsWireBytes = (7 + 9) + (7 + 9) + (7 + 8);
constexpr double ThreeReadsWireSeconds = ThreeReadsWireBytes * 10.0 / 57600.0;

zdx::test::SimulationFile &simulation()
{
    static zdx::test::SimulationFile file("tessaro-bench-device");
    return file;
}

std::string controllers(const std::string &extra)
{
    std::string text;
    for (int i = 0; i < 8; ++i) {
        text += "<Controller serial=\"150B" + std::to_string(i) +
                "\" description=\"Heat Unit H2\" vendorId=\"2E91\" productId=\"0001\" " + extra +
                ">" + zdx::test::channel(1, "Stage", "actual=\"369\"") +
                zdx::test::channel(2, "Lid") + "</Controller>\n";
    }
    return text;
}

TsDeviceManager *manager()
{
    static TsDeviceManager *m = [] {
        auto *created = new TsDeviceManager;
        created->loadDeviceSpecs(TsSpecParser::builtInPath());
        created->populateDevices();
        return created;
    }();
    return m;
}

void BM_ScanThatChangesNothing(benchmark::State &state)
{
    simulation().write(controllers(""), "instant");
    TsDeviceManager *m = manager();
    m->populateDevices();
    if (m->devices().size() != 8)
        state.SkipWithError("the eight controllers did not open");
    for (auto _ : state)
        m->populateDevices();
    state.counters["devices"] = m->devices().size();
}
BENCHMARK(BM_ScanThatChangesNothing)->Unit(benchmark::kMicrosecond);

// Actual value, setpoint and loop control of one channel: three transactions.
void readThreeValues(benchmark::State &state, const std::string &timing, const std::string &extra)
{
    simulation().write(controllers(extra), timing);
    TsDeviceManager *m = manager();
    m->populateDevices();
    TsDeviceChannel *channel = m->channel("150B3:1");
    if (!channel || channel->value(TsDeviceChannel::ActualValue).toDouble() != 36.9) {
        state.SkipWithError("channel 150B3:1 does not read");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(channel->value(TsDeviceChannel::ActualValue));
        benchmark::DoNotOptimize(channel->value(TsDeviceChannel::SetpointValue));
        benchmark::DoNotOptimize(channel->value(TsDeviceChannel::LoopControl));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // Time of the three reads as a percentage of their wire time. With instant timing nothing waits
    // for the wire, so the figure is what the stack itself adds on top of it.
    state.counters["percent_of_wire"] =
        100.0 * seconds / double(state.iterations()) / ThreeReadsWireSeconds;
    state.counters["wire_us"] = ThreeReadsWireSeconds * 1e6;
}

void BM_ThreeValuesInstant(benchmark::State &state)
{
    readThreeValues(state, "instant", "");
}
BENCHMARK(BM_ThreeValuesInstant)->Unit(benchmark::kMicrosecond);

// The same with the simulation holding every answer back for its wire time: what an operator
// waits for, to set the figure above beside.
void BM_ThreeValuesOnA57600BaudWire(benchmark::State &state)
{
    readThreeValues(state, "realtime", "wire=\"57600\"");
}
BENCHMARK(BM_ThreeValuesOnA57600BaudWire)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

int main(int argc, char **argv)
{
    // Before the library's first call, which reads the variable once.
    simulation().write(controllers(""), "instant");
    simulation().useFromEnvironment();
    return benchsupport::runQtBenchmarks(argc, argv, [] { delete manager(); });
}
