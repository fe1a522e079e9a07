// The channels view with 64 channels (8 controllers of 8 channels on the controller simulation,
// answering at once): the GUI's share of one sampling tick, that is every tile taking its new
// values and the whole column of tiles repainted into an offscreen image, against the 1000 ms
// tick and the 8 ms bar (half a frame at 60 Hz); a tick in which every tile changes colour; and
// the 5-second graph sample of all 64 tile graphs with their repaint. For comparison, the shared
// 5-second refresh as the program runs it, device reads included; and the status transactions
// (device status, channel status) that one second of the desktop program sends to 64 channels.
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "testenvironment.h"
#include "tscore.h"
#include "utils/gui/graphlineseries.h"
#include "views/tschannelgraph.h"
#include "views/tschannelsview.h"
#include "views/tschannelwidget.h"

#include "zdx7000/support/simulationfile.h"
#include "zdx7000/zdx7000.h"

#include "support/eightchannelbench.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include <dlfcn.h>

// Every status transaction the program sends is counted on its way into the library: these
// definitions stand before the library's in the link and pass each call on to it.
namespace {
long s_deviceStatusReads = 0;
long s_channelStatusReads = 0;

template <typename Function>
Function nextDefinition(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" int32_t ZdxGetDeviceStatus(int32_t handle, uint8_t *status)
{
    using Function = int32_t (*)(int32_t, uint8_t *);
    static const Function next = nextDefinition<Function>("ZdxGetDeviceStatus");
    ++s_deviceStatusReads;
    return next(handle, status);
}

extern "C" int32_t ZdxGetChannelStatus(int32_t handle, int32_t channel, uint8_t *status)
{
    using Function = int32_t (*)(int32_t, int32_t, uint8_t *);
    static const Function next = nextDefinition<Function>("ZdxGetChannelStatus");
    ++s_channelStatusReads;
    return next(handle, channel, status);
}

namespace {

using benchsupport::ChannelsPerController;
using benchsupport::Controllers;
constexpr double TickMs = 1000.0;
constexpr double BarMs = 8.0;

zdx::test::SimulationFile &simulation()
{
    static zdx::test::SimulationFile file("tessaro-bench-views");
    return file;
}

struct Setup
{
    QTemporaryDir folder;
    std::unique_ptr<TsChannelsView> view;
    QWidget *column = nullptr; // every tile, as if the view were tall enough to show them all
    QImage image;
    QImage viewImage;
    qint64 wallClock = 0;

    Setup()
    {
        TsDeviceManager *devices = TsCore::deviceManager();
        devices->loadDeviceSpecs(benchsupport::specWithEightChannelModel(folder.path()));
        devices->populateDevices();
        TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
        experiment->stopSampling();
        const QList<TsProfile::Channel> entries = benchsupport::eightChannelEntries("158V", false);
        TsProfile profile;
        profile.setValid(true);
        profile.setChannels(entries);
        experiment->setProfile(profile);

        wallClock = QDateTime::currentMSecsSinceEpoch();
        TsChannelGraph::setWallClock([this] { return wallClock; });
        view = std::make_unique<TsChannelsView>();
        view->resize(216, 700);
        column = view->findChild<QScrollArea *>(QStringLiteral("scrollArea"))->widget();
        column->resize(214, 64 * 100);
        QCoreApplication::processEvents();
        image = QImage(column->size(), QImage::Format_ARGB32_Premultiplied);
        viewImage = QImage(view->size(), QImage::Format_ARGB32_Premultiplied);
    }
    ~Setup() { TsChannelGraph::setWallClock({}); }

    // The view as the main window shows it (216 x 700, about seven tiles), or the whole column of
    // 64 tiles as if the screen were tall enough.
    void repaint(bool wholeColumn)
    {
        QPainter painter(wholeColumn ? &image : &viewImage);
        if (wholeColumn)
            column->render(&painter);
        else
            view->render(&painter);
    }
};

Setup *s_setup = nullptr;

void reportShareOfTick(benchmark::State &state, double totalMs)
{
    const double ms = totalMs / double(state.iterations());
    state.counters["ms"] = ms;
    state.counters["share_of_tick"] = ms / TickMs;
    state.counters["share_of_8ms_bar"] = ms / BarMs;
}

// What a tick changes in every tile: a new actual value, the setpoint and loop state read back.
void BM_TickGuiShare(benchmark::State &state)
{
    Setup &s = *s_setup;
    const QList<TsChannelWidget *> &tiles = s.view->channelWidgets();
    int step = 0;
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ++step;
        for (int i = 0; i < tiles.size(); ++i) {
            tiles[i]->setActualValue(36.5 + 0.1 * ((i + step) % 10));
            tiles[i]->setSetpointValue(37.0);
            tiles[i]->setLoopControl(true);
        }
        s.repaint(state.range(0) != 0);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    reportShareOfTick(state, totalMs);
    state.SetLabel(state.range(0) ? "64 tiles updated, 64 repainted"
                                  : "64 tiles updated, view repainted");
}
BENCHMARK(BM_TickGuiShare)->ArgName("whole_column")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The rare tick in which every tile changes colour (each one repaints in its new state's colours)
// against the same 8 ms bar; it should cost no more than an ordinary tick.
void BM_TickEveryTileChangesColour(benchmark::State &state)
{
    Setup &s = *s_setup;
    const QList<TsChannelWidget *> &tiles = s.view->channelWidgets();
    const TsChannelState states[] = {TsChannelState::Red, TsChannelState::Yellow,
                                     TsChannelState::Green, TsChannelState::Off};
    int step = 0;
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ++step;
        for (TsChannelWidget *tile : tiles) {
            tile->experimentChannel()->setStatus(states[step % 4], QString(), QString());
            tile->setActualValue(36.5 + 0.1 * (step % 10));
        }
        s.repaint(state.range(0) != 0);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    reportShareOfTick(state, totalMs);
}
BENCHMARK(BM_TickEveryTileChangesColour)
    ->ArgName("whole_column")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// Every 5 s each tile's graph takes a sample; here all 64 graphs are shown and repainted.
void BM_GraphSampleAllTiles(benchmark::State &state)
{
    Setup &s = *s_setup;
    const QList<TsChannelWidget *> &tiles = s.view->channelWidgets();
    for (TsChannelWidget *tile : tiles) {
        if (!tile->graph()->isVisible())
            tile->toggleGraph();
        // Five seconds apart, every append converts at once, as in the program.
        tile->graph()->lineSeries()->setThrottle(0, 0);
    }
    int step = 0;
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ++step;
        s.wallClock += 5000;
        for (int i = 0; i < tiles.size(); ++i)
            tiles[i]->graph()->addSample(36.5 + 0.1 * ((i + step) % 10));
        s.repaint(state.range(0) != 0);
        totalMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    reportShareOfTick(state, totalMs);
    for (TsChannelWidget *tile : tiles)
        tile->toggleGraph();
}
BENCHMARK(BM_GraphSampleAllTiles)
    ->ArgName("whole_column")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// The shared 5-second timer as the program runs it: status texts and a graph sample of every tile,
// each reading its channel over the (instant) simulation; no repaint.
void BM_RefreshTimerWithDeviceReads(benchmark::State &state)
{
    QTimer *timer = TsChannelWidget::refreshTimer();
    for (auto _ : state)
        QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}
BENCHMARK(BM_RefreshTimerWithDeviceReads)->Unit(benchmark::kMillisecond);

// One second of the desktop program with 64 tiles: the experiment's sampling tick with what follows
// it, and every fifth second the tiles' shared refresh. Counted: the device-status and
// channel-status transactions of one second, and the time of that second's work.
void BM_DesktopSecondStatusReads(benchmark::State &state)
{
    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    QTimer *refresh = TsChannelWidget::refreshTimer();
    const long deviceBefore = s_deviceStatusReads;
    const long channelBefore = s_channelStatusReads;
    long seconds = 0;
    for (auto _ : state) {
        experiment->sampleChannels();
        if (++seconds % 5 == 0)
            QMetaObject::invokeMethod(refresh, "timeout", Qt::DirectConnection);
    }
    state.counters["device_status_per_s"] =
        double(s_deviceStatusReads - deviceBefore) / double(seconds);
    state.counters["channel_status_per_s"] =
        double(s_channelStatusReads - channelBefore) / double(seconds);
}
BENCHMARK(BM_DesktopSecondStatusReads)->Iterations(50)->Unit(benchmark::kMillisecond);

void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    simulation().write(benchsupport::eightChannelControllers("158V"));
    simulation().useFromEnvironment();
    qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    s_setup = new Setup;
    if (s_setup->view->channelWidgets().size() != Controllers * ChannelsPerController) {
        std::fprintf(stderr, "bench_views: %d tiles instead of 64\n",
                     int(s_setup->view->channelWidgets().size()));
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    delete s_setup;
    benchmark::Shutdown();
    return 0;
}
