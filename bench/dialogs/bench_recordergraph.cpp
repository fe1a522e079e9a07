// The recorder's graph window as a week-long recording leaves it: 8 lines (four temperatures and
// four gas concentrations on two axes) of 604 800 samples each, one a second for seven days, fed
// through the window's own sample slot. Measured offscreen: a full repaint at the whole-week zoom
// and at a one-hour zoom, one "Zoom In"/"Zoom Out" action with the repaint it causes, and one new
// sample of all 8 lines with its repaint. Each time is also given as a fraction of its bar (16 ms
// for a repaint, 1 ms for an appended sample): below 1 meets it. The memory the window holds is
// given in bytes per sample, against a bar of 8.
//
// Then a week of 64 channels at one row a second, as the recorder writes it (some 515 MB), is
// opened: read and shown in a graph window, in a process of its own so that its peak resident
// memory is the load's alone. Bars: 5 s and 600 MB.
#include "dialogs/tsrecordergraphdialog.h"

#include "config/tsprofile.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "testenvironment.h"
#include "tscore.h"
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphwidget.h"

#include "zdx7000/support/simulationfile.h"

#include "experiment/tsrecordingreader.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <set>
#include <string>

namespace {

constexpr int Lines = 8;
constexpr int Samples = 7 * 86400; // one a second for a week
constexpr double T0 = 1.7e12;
constexpr double Second = 1000;
constexpr double RepaintBarMs = 16;
constexpr double AppendBarMs = 1;
constexpr double BytesBar = 8;
constexpr int WeekChannels = 64;
constexpr double LoadBarS = 5;
constexpr double ResidentBarMB = 600;

zdx::test::SimulationFile &simulation()
{
    static zdx::test::SimulationFile file("tessaro-bench-recordergraph");
    return file;
}

// Two heat units and two gas units of two channels each: 8 channels on the two graph axes.
std::string controllers()
{
    using zdx::test::channel;
    auto unit = [](const std::string &serial, const std::string &description,
                   const std::string &product) {
        return "<Controller serial=\"" + serial + "\" description=\"" + description +
               "\" vendorId=\"2E91\" productId=\"" + product + "\">" + channel(1, "A") +
               channel(2, "B") + "</Controller>\n";
    };
    return unit("150B1", "Heat Unit H2", "0001") + unit("150B2", "Heat Unit H2", "0001") +
           unit("154B1", "Gas Unit G2", "0004") + unit("154B2", "Gas Unit G2", "0004");
}

// A slow swing with noise, so that every pixel column holds a spread of values.
double valueAt(int line, int i, uint32_t &seed)
{
    seed = seed * 1664525u + 1013904223u;
    const double noise = double(seed >> 8) / double(1u << 24) - 0.5;
    const double base = line < 4 ? 37.0 : (line < 6 ? 5.0 : 19.0);
    return base + 0.5 * std::sin(i / 3000.0 + line) + 0.2 * noise;
}

struct Scene
{
    Scene()
    {
        TsDeviceManager *devices = TsCore::deviceManager();
        devices->loadDeviceSpecs(TsSpecParser::builtInPath());
        devices->populateDevices();
        experiment = TsCore::experimentManager()->currentExperiment();
        experiment->stopSampling();
        QList<TsProfile::Channel> entries;
        for (const char *id : {"150B1:1", "150B1:2", "150B2:1", "150B2:2", "154B1:1", "154B1:2",
                               "154B2:1", "154B2:2"}) {
            TsProfile::Channel entry;
            entry.id = QString::fromLatin1(id);
            entry.name = entry.id;
            entry.color = QColor::fromHsv(entries.size() * 45, 255, 200);
            entries << entry;
        }
        TsProfile profile;
        profile.setName(QStringLiteral("Bench"));
        profile.setValid(true);
        profile.setChannels(entries);
        experiment->setProfile(profile);

        dialog.reset(new TsRecorderGraphDialog);
        dialog->setClock([] { return qint64(T0); });
        dialog->resize(1280, 720);
        dialog->show();
        experiment->recorder()->start();

        // The samples as the recorder hands them over, one a second.
        TsExperimentRecording::Sample sample;
        for (int line = 0; line < Lines; ++line)
            sample.values << QVariantList{0.0, 37.0, true};
        uint32_t seed = 1;
        for (int i = 0; i < Samples; ++i) {
            sample.timestamp = QDateTime::fromMSecsSinceEpoch(qint64(T0 + i * Second));
            for (int line = 0; line < Lines; ++line)
                sample.values[line][0] = valueAt(line, i, seed);
            dialog->recordSample(&sample);
        }
        for (GraphLineSeries *line : dialog->lines())
            line->timeout(); // what the throttle held back
        next = Samples;
        image = QImage(dialog->graph()->size(), QImage::Format_ARGB32_Premultiplied);
    }
    ~Scene()
    {
        experiment->recorder()->stop();
        dialog.reset();
    }

    void paint() { dialog->graph()->render(&image); }
    // The mapping change rebuilds the caches; the first paint after it is not timed.
    void showRange(double first, double last)
    {
        dialog->graph()->horizontalAxis()->setRange(first, last);
        paint();
    }
    // A second passes before the next sample: the throttle timers of the lines fire in between.
    void timersFire()
    {
        for (GraphLineSeries *line : dialog->lines())
            line->timeout();
    }
    double lastTime() const { return T0 + (next - 1) * Second; }

    // Values with their block summaries, the time columns (once each, however many lines share
    // one) and the line caches.
    void reportMemory(benchmark::State &state) const
    {
        double bytes = 0, samples = 0;
        std::set<const GraphTimeColumn *> columns;
        for (const GraphLineSeries *line : dialog->lines()) {
            bytes += line->data()->bytesHeld();
            const auto column = line->data()->timeColumn();
            if (line->data()->sharesTimeColumn() && columns.insert(column.get()).second)
                bytes += column->capacity() * sizeof(double);
            bytes += line->lines().capacity() * sizeof(QLineF);
            samples += line->data()->size();
        }
        state.counters["B/sample"] = bytes / samples;
        state.counters["B_of_bar"] = bytes / samples / BytesBar;
        state.counters["MB"] = bytes / 1e6;
    }

    TsExperiment *experiment = nullptr;
    std::unique_ptr<TsRecorderGraphDialog> dialog;
    QImage image;
    int next = 0;
};

Scene *&scene()
{
    static Scene *s = nullptr;
    if (!s)
        s = new Scene;
    return s;
}

// Runs the loop and reports the mean time of one iteration as a fraction of the bar: by the
// process's CPU time ("of_bar", what the work costs) and by the wall clock ("of_bar_wall", which
// also counts the time other processes of a busy machine took from it).
template <typename Body>
void timed(benchmark::State &state, double barMs, Body body)
{
    const std::clock_t cpuStart = std::clock();
    const auto wallStart = std::chrono::steady_clock::now();
    for (auto _ : state)
        body();
    const double iterations = double(state.iterations());
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
            .count() /
        iterations;
    const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / iterations;
    state.counters["of_bar"] = cpuMs / barMs;
    state.counters["of_bar_wall"] = wallMs / barMs;
}

enum Zoom
{
    WholeWeek = 0,
    OneHour = 1
};

void BM_Repaint(benchmark::State &state)
{
    Scene &s = *scene();
    if (state.range(0) == WholeWeek)
        s.showRange(T0, s.lastTime());
    else
        s.showRange(s.lastTime() - 3600 * Second, s.lastTime());
    timed(state, RepaintBarMs, [&] { s.paint(); });
    s.reportMemory(state);
}

// Alternates "Zoom Out" (six days to ten) and "Zoom In" (ten back to six); each rebuilds every
// cache for the new scale, then the window repaints.
void BM_ZoomAction(benchmark::State &state)
{
    Scene &s = *scene();
    s.showRange(s.lastTime() - 6 * 86400 * Second, s.lastTime());
    QAction *zoomIn = s.dialog->findChild<QAction *>(QStringLiteral("actionZoom_In"));
    QAction *zoomOut = s.dialog->findChild<QAction *>(QStringLiteral("actionZoom_Out"));
    bool out = true;
    timed(state, RepaintBarMs, [&] {
        (out ? zoomOut : zoomIn)->trigger();
        out = !out;
        s.paint();
    });
}

// Samples of all 8 lines, each a second later than the last, timed against bar, with the repaint
// that follows each when repaint is set. At one sample a second every append is more than the
// throttle's 100 ms after the last conversion, so each one converts at once, and the throttle's
// timer has fired in between; the time axis follows the newest sample.
void appendSamples(benchmark::State &state, double bar, uint32_t seed, bool repaint)
{
    Scene &s = *scene();
    if (state.range(0) == WholeWeek)
        s.showRange(T0, s.lastTime());
    else
        s.showRange(s.lastTime() - 3600 * Second, s.lastTime());
    for (GraphLineSeries *line : s.dialog->lines())
        line->setThrottle(0, 125);
    TsExperimentRecording::Sample sample;
    for (int line = 0; line < Lines; ++line)
        sample.values << QVariantList{0.0, 37.0, true};
    timed(state, bar, [&] {
        sample.timestamp = QDateTime::fromMSecsSinceEpoch(qint64(T0 + s.next * Second));
        for (int line = 0; line < Lines; ++line)
            sample.values[line][0] = valueAt(line, s.next, seed);
        ++s.next;
        s.dialog->recordSample(&sample);
        if (repaint)
            s.paint();
        s.timersFire();
    });
    for (GraphLineSeries *line : s.dialog->lines())
        line->setThrottle(100, 125);
}

void BM_AppendSample(benchmark::State &state)
{
    appendSamples(state, AppendBarMs, 7, false);
}

// The same with the repaint that follows, against the repaint bar.
void BM_RepaintAfterAppend(benchmark::State &state)
{
    appendSamples(state, RepaintBarMs, 11, true);
}

// A week of 64 channels as the recorder writes it with its default settings: tab, the header
// line, local time to the second, one decimal, setpoint and control.
QString writeWeek(const QString &folder)
{
    const QString path = folder + QStringLiteral("/Week_2026-03-02_00-00-00.csv");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray text = "\"Timestamp\"\t";
    for (int c = 0; c < WeekChannels; ++c) {
        const QByteArray name = "Zone " + QByteArray::number(c + 1);
        text += "\"" + name + ": Actual Value\"\t\"" + name + ": Setpoint Value\"\t\"" + name +
                ": Control\"\t";
    }
    text += '\n';
    QList<QByteArray> values;
    for (int v = 0; v < 100; ++v)
        values << QByteArray::number(36.5 + v / 100.0, 'f', 1) + "\t37.0\tOn\t";
    const QDateTime start(QDate(2026, 3, 2), QTime(0, 0));
    uint32_t seed = 5;
    for (int row = 0; row < Samples; ++row) {
        text += start.addSecs(row).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1();
        text += '\t';
        for (int c = 0; c < WeekChannels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            text += values[int((seed >> 8) % 100)];
        }
        text += '\n';
        if (text.size() > (8 << 20)) {
            file.write(text);
            text.clear();
        }
    }
    file.write(text);
    return path;
}

double peakResidentMB()
{
#ifdef Q_OS_LINUX
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
#endif
    return qQNaN();
}

// The child's part: open the file in a graph window, draw it once, and tell the time and the
// peak resident memory on standard output.
int loadWeek(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuStart = std::clock();
    TsRecordingReader reader;
    if (reader.read(path).isError())
        return 1;
    TsRecorderGraphDialog window(std::move(reader.recording()));
    window.resize(1280, 720);
    window.show();
    QImage image(window.graph()->size(), QImage::Format_ARGB32_Premultiplied);
    window.graph()->render(&image);
    std::printf("%f %f %f %d\n", clock.elapsed() / 1000.0,
                double(std::clock() - cpuStart) / CLOCKS_PER_SEC, peakResidentMB(),
                int(window.lines().size()));
    return 0;
}

void BM_LoadWeekOf64Channels(benchmark::State &state)
{
    static QTemporaryDir folder;
    static const QString path = writeWeek(folder.path());
    double seconds = 0, cpu = 0, resident = 0;
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--load-week"), path});
        child.waitForFinished(120000);
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (child.exitCode() != 0 || figures.size() != 4 || figures[3].toInt() != WeekChannels) {
            state.SkipWithError("the week did not load");
            return;
        }
        seconds = figures[0].toDouble();
        cpu = figures[1].toDouble();
        resident = figures[2].toDouble();
        state.SetIterationTime(seconds);
    }
    state.counters["load_s"] = seconds;
    state.counters["load_cpu_s"] = cpu;
    state.counters["of_bar"] = seconds / LoadBarS;
    state.counters["peak_MB"] = resident;
    state.counters["MB_of_bar"] = resident / ResidentBarMB;
    state.counters["file_MB"] = double(QFileInfo(path).size()) / 1e6;
}

} // namespace

BENCHMARK(BM_Repaint)->ArgName("hour")->Arg(WholeWeek)->Arg(OneHour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomAction)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendSample)
    ->ArgName("hour")
    ->Arg(WholeWeek)
    ->Arg(OneHour)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepaintAfterAppend)
    ->ArgName("hour")
    ->Arg(WholeWeek)
    ->Arg(OneHour)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWeekOf64Channels)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char **argv)
{
    // A home of its own: the window reads and writes its keys in the settings store.
    QTemporaryDir home;
    isolateEnvironment(home.path());
    // Before the library's first call, which reads the variable once.
    simulation().write(controllers(), "instant");
    simulation().useFromEnvironment();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    if (argc == 3 && std::string(argv[1]) == "--load-week")
        return loadWeek(QString::fromLocal8Bit(argv[2]));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    delete scene();
    benchmark::Shutdown();
    return 0;
}
