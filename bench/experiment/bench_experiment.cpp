// The experiment's one-second tick over the controller simulation with 8 controllers of 8
// channels each (64 channels): script step, sampling, a CSV row and the alarm check. Measured
// with the simulation answering at once, and with every answer taking its time on a 57600-baud
// wire; the program's own share is the tick without its device reads. Also the cost of one CSV
// row of 64 channels.
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"

#include "zdx7000/support/simulationfile.h"

#include "support/eightchannelbench.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "support/qtbenchmark.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

using benchsupport::ChannelsPerController;
using benchsupport::Controllers;
constexpr int Channels = Controllers * ChannelsPerController;
// Bytes on the wire per channel and tick, at 10 bits a byte: three 7-byte read requests, the
// 9-byte answers of the actual value and the setpoint, the 8-byte answer of the loop control (no
// value here needs escaping).
constexpr double WireBytesPerChannel = 3 * 7 + 9 + 9 + 8;
constexpr double WireSecondsPerTick = Channels * WireBytesPerChannel * 10.0 / 57600.0;

zdx::test::SimulationFile &simulation()
{
    static zdx::test::SimulationFile file("tessaro-bench-experiment");
    return file;
}

class AlertsOn : public TsEmailAlertSwitch
{
public:
    bool emailAlertStatus() const override { return true; }
    void setEmailAlertStatus(bool) override {}
};

struct Setup
{
    QTemporaryDir folder;
    TsDeviceManager devices;
    TsExperimentManager *manager = nullptr;
    TsExperiment *experiment = nullptr;
    AlertsOn alerts;
    qint64 now = 0;

    Setup()
    {
        devices.loadDeviceSpecs(benchsupport::specWithEightChannelModel(folder.path()));
        devices.populateDevices();
        manager = new TsExperimentManager(&devices);
        experiment = manager->currentExperiment();
        experiment->stopSampling();
        const QList<TsProfile::Channel> entries = benchsupport::eightChannelEntries("158B", true);
        TsProfile profile;
        profile.setChannels(entries);
        TsRecorderCSVSettings csv;
        csv.setEnabled(true);
        csv.setColumnSeparator(';');
        profile.setCsvSettings(csv);
        experiment->setProfile(profile);
        experiment->setEmailAlertSwitch(&alerts);

        // A running script whose one action is far in the future: the step is a check.
        QFile script(folder.path() + "/bench.tsx");
        script.open(QIODevice::WriteOnly);
        script.write("<?xml version=\"1.0\" standalone=\"yes\"?>\n<TsDynamicExperiment name=\"b\">"
                     "<ScriptActions><ScriptAction type=\"setChannelValue\" comment=\"\" "
                     "time=\"999999999\" active=\"1\"><ActionParameters>"
                     "<ActionParameter name=\"channel.id\" type=\"QString\" value=\"158B0:1\"/>"
                     "<ActionParameter name=\"channel.value\" type=\"double\" value=\"37\"/>"
                     "</ActionParameters></ScriptAction></ScriptActions>"
                     "</TsDynamicExperiment>\n");
        script.close();
        experiment->script()->load(script.fileName());
        experiment->script()->start();

        TsExperimentRecorder *recorder = experiment->recorder();
        recorder->setClocks([this] { return now; }, {});
        recorder->setLogFolder(folder.path());
        recorder->setFilePrefix("bench");
        recorder->start();
    }
    ~Setup()
    {
        experiment->recorder()->stop();
        experiment->script()->stop();
        delete manager;
    }
    int connected() const
    {
        int count = 0;
        for (TsExperimentChannel *channel : experiment->channels())
            count += channel->isConnected();
        return count;
    }
};

Setup *setup()
{
    static Setup *s = new Setup;
    return s;
}

void tickBenchmark(benchmark::State &state, const std::string &timing, const std::string &extra,
                   bool onTheWire)
{
    simulation().write(benchsupport::eightChannelControllers("158B", extra), timing);
    Setup *s = setup();
    s->devices.populateDevices();
    if (s->connected() != Channels) {
        state.SkipWithError("the 64 channels are not connected");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        s->now += 1000; // a row on every tick
        const auto start = std::chrono::steady_clock::now();
        s->experiment->sampleChannels();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perTick = seconds / double(state.iterations());
    state.counters["channels"] = Channels;
    if (onTheWire) {
        // What of the tick is not the bytes' time on the wire: the program, the library and the
        // simulation's own waiting.
        state.counters["wire_ms"] = WireSecondsPerTick * 1000.0;
        state.counters["not_wire_ms"] = (perTick - WireSecondsPerTick) * 1000.0;
        state.counters["not_wire_percent"] = 100.0 * (perTick - WireSecondsPerTick) / perTick;
    }
}

void BM_TickInstant(benchmark::State &state)
{
    tickBenchmark(state, "instant", "", false);
}
BENCHMARK(BM_TickInstant)->Unit(benchmark::kMillisecond);

void BM_TickOnA57600BaudWire(benchmark::State &state)
{
    tickBenchmark(state, "realtime", "wire=\"57600\"", true);
}
BENCHMARK(BM_TickOnA57600BaudWire)->Unit(benchmark::kMillisecond)->Iterations(5);

// The tick without its device reads: script step, a CSV row of 64 channels (192 values), the
// alarm check. This is the program's own work per tick.
void BM_TickOwnWork(benchmark::State &state)
{
    simulation().write(benchsupport::eightChannelControllers("158B"), "instant");
    Setup *s = setup();
    s->experiment->sampleChannels(); // values present
    for (auto _ : state) {
        s->now += 1000;
        s->experiment->script()->nextStep();
        s->experiment->recorder()->record();
        s->experiment->checkEmailAlert();
    }
    state.counters["channels"] = Channels;
}
BENCHMARK(BM_TickOwnWork)->Unit(benchmark::kMicrosecond);

// One CSV row of 64 channels: the sample, its text, the write and the flush to the file. With
// sync = 1 every row also goes to the disk: the cost that the recorder pays once every 10 s.
void BM_CsvRow(benchmark::State &state)
{
    simulation().write(benchsupport::eightChannelControllers("158B"), "instant");
    Setup *s = setup();
    s->experiment->sampleChannels();
    TsExperimentRecorder *recorder = s->experiment->recorder();
    recorder->setDiskSyncInterval(state.range(0) ? 0 : -1);
    for (auto _ : state) {
        s->now += 1000;
        recorder->record();
    }
    recorder->setDiskSyncInterval(TsExperimentRecorder::DefaultDiskSyncInterval);
    state.counters["fields"] = Channels * 3;
}
BENCHMARK(BM_CsvRow)->ArgName("sync")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // Before the library's first call, which reads the variable once.
    simulation().write(benchsupport::eightChannelControllers("158B"), "instant");
    simulation().useFromEnvironment();
    return benchsupport::runQtBenchmarks(argc, argv, [] { delete setup(); });
}
