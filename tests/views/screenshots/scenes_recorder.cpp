// The recorder view idle, running with its progress and running on a full disk, and the graph
// window after five minutes of recording from the controller simulation, and beside it last
// night's recording opened from its file.
#include "screenshotscene.h"
#include "support/smalltmpfs.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsrecordingreader.h"
#include "experiment/tsrecordingwriter.h"
#include "tscore.h"
#include "utils/gui/graphlineseries.h"
#include "views/tsrecorderview.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QSettings>

#include <cmath>
#include <string>

namespace {

constexpr int Temporary = TsConfigManager::TemporaryLevel;

// The recorder's clocks for the scenes: they move only when a scene moves them.
qint64 s_monotonic = 0;
QDateTime s_wall;

TsExperimentRecorder *recorder()
{
    return TsCore::experimentManager()->currentExperiment()->recorder();
}

// A scene's recording ends with its window; the next scene starts idle.
void stopWith(QWidget *widget)
{
    QObject::connect(widget, &QObject::destroyed, [widget] {
        // The window is half gone: it must not hear of the stop.
        recorder()->disconnect(widget);
        recorder()->stop();
        recorder()->setClocks({}, {});
        TsConfigManager *config = TsCore::configManager();
        config->removeLogFilePrefix(Temporary);
        config->removeLogSettings(Temporary);
        // A graph window open at the end of a scene would open again over the next one.
        QSettings().remove(QStringLiteral("graphVisible"));
    });
}

void useSceneClocks()
{
    s_monotonic = 1000000;
    s_wall = QDateTime::currentDateTime().addSecs(-300);
    recorder()->setClocks([] { return s_monotonic; }, [] { return s_wall; });
}

// A view running for 2m 30s of a recording that stops after ten minutes, writing to `prefix`.
TsRecorderView *runningView(screenshots::Context &context, const QString &prefix)
{
    context.useStandardChannels();
    TsConfigManager *config = TsCore::configManager();
    config->setLogFilePrefix(Temporary, prefix);
    TsRecorderLogSettings log;
    log.setStopMode(TsRecorderLogSettings::StopAfter);
    log.setStopAfter(10 * 60000);
    config->setLogSettings(Temporary, log);
    useSceneClocks();
    auto *view = new TsRecorderView;
    stopWith(view);
    recorder()->start();
    for (int i = 0; i < 150; ++i) {
        s_monotonic += 1000;
        s_wall = s_wall.addMSecs(1000);
        context.tick();
    }
    recorder()->updateStatus();
    return view;
}

std::string raw(double value)
{
    return "actual=\"" + std::to_string(std::lround(value * 10)) + "\"";
}

} // namespace

TESSARO_SCREENSHOT_SCENE(recorderIdle, "recorder-idle")
{
    context.useStandardChannels();
    return new TsRecorderView;
}

TESSARO_SCREENSHOT_SCENE(recorderRunning, "recorder-running")
{
    return runningView(context, QStringLiteral("screenshot"));
}

TESSARO_SCREENSHOT_SCENE(recorderFileError, "recorder-file-error")
{
    // A small disk that fills up during the recording (mounting it needs root).
    const QString folder = QDir::home().filePath(QStringLiteral("small-disk"));
    QDir().mkpath(folder);
    auto *disk = new SmallTmpfs(folder, 64);
    if (!disk->isMounted())
        qWarning("recorder-file-error: %s", qPrintable(disk->skipReason()));
    disk->fill();
    TsRecorderView *view = runningView(context, folder + QStringLiteral("/run"));
    QObject::connect(view, &QObject::destroyed, [disk] { delete disk; });
    return view;
}

// The graph window of a recording running for `seconds`: two heaters and a gas unit settling
// after the incubator was opened, each tick with the values the simulation answers at that moment.
TsRecorderGraphDialog *liveGraph(screenshots::Context &context, int seconds, QWidget *parent)
{
    const std::string gas = "154S1";
    const auto write = [&](double t) {
        const double stage = 37.0 - 9.0 * std::exp(-t / 70.0) + 0.05 * std::sin(t / 7.0);
        const double lid = 37.0 - 12.0 * std::exp(-t / 110.0);
        const double co2 = 5.0 - 5.0 * std::exp(-t / 45.0);
        const double o2 = 18.0 + 2.9 * std::exp(-t / 80.0);
        context.otherControllers = devicetest::controller(
            gas, "Gas Unit G2", "0004",
            devicetest::channel(1, "CO2", raw(co2)) + devicetest::channel(2, "O2", raw(o2)));
        context.plug(raw(stage), raw(lid));
    };
    write(0);
    context.useChannels(
        {viewtest::entry(context.stage, QStringLiteral("Stage"), true, Qt::red),
         viewtest::entry(context.lid, QStringLiteral("Lid"), true, QColor(255, 140, 0)),
         viewtest::entry(viewtest::q(gas + ":1"), QStringLiteral("CO2"), true, QColor(46, 160, 67)),
         viewtest::entry(viewtest::q(gas + ":2"), QStringLiteral("O2"), true,
                         QColor(30, 136, 229))});
    // Without a recorder view nobody hands the recorder its prefix.
    recorder()->setFilePrefix(QStringLiteral("graph"));
    useSceneClocks();
    auto *dialog = new TsRecorderGraphDialog(parent);
    dialog->setClock([] { return s_wall.toMSecsSinceEpoch(); });
    stopWith(dialog);
    recorder()->start();
    for (int t = 1; t <= seconds; ++t) {
        write(t);
        s_monotonic += 1000;
        s_wall = s_wall.addMSecs(1000);
        context.tick();
    }
    for (GraphLineSeries *line : dialog->lines())
        line->timeout();
    return dialog;
}

TESSARO_SCREENSHOT_SCENE(recorderGraph, "recorder-graph")
{
    TsRecorderGraphDialog *dialog = liveGraph(context, 300, nullptr);
    dialog->resize(900, 520);
    // From the hour the window opens with to seven and a half minutes.
    for (int i = 0; i < 3; ++i)
        dialog->findChild<QAction *>(QStringLiteral("actionZoom_In"))->trigger();
    return dialog;
}

// Last night's recording opened beside the live window: 22:00 to 07:00 at a row every 10 s, the
// incubator opened at 02:10 for a medium change, the gas unit's CO2 off for half an hour at 04:00
// (empty fields: a gap in its line), written by the recorder's own rules and read back.
TESSARO_SCREENSHOT_SCENE(recorderGraphPast, "recorder-graph-past")
{
    auto *both = new QWidget;
    both->setWindowTitle(QStringLiteral("Graph"));
    auto *layout = new QHBoxLayout(both);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    TsRecorderGraphDialog *live = liveGraph(context, 120, both);
    for (int i = 0; i < 3; ++i)
        live->findChild<QAction *>(QStringLiteral("actionZoom_In"))->trigger();

    const QDateTime evening(QDate::currentDate().addDays(-1), QTime(22, 0));
    TsRecording night;
    for (const char *name : {"Stage", "Lid", "CO2", "O2"})
        night.channels.push_back(TsRecording::Channel{QString::fromLatin1(name), {}});
    const double opened = 4 * 3600 + 600; // 02:10
    for (int t = 0; t <= 9 * 3600; t += 10) {
        night.times->push_back(double(evening.addSecs(t).toMSecsSinceEpoch()));
        const double since = t - opened;
        const double dip = since >= 0 ? std::exp(-since / 600.0) : 0.0;
        const double noise = 0.05 * std::sin(t / 37.0) + 0.03 * std::sin(t / 11.0);
        night.channels[0].values.push_back(float(37.0 - 6.0 * dip + noise));
        night.channels[1].values.push_back(float(37.0 - 9.0 * dip + 0.5 * noise));
        const bool gasOff = t >= 6 * 3600 && t < 6 * 3600 + 1800;
        night.channels[2].values.push_back(gasOff ? NAN : float(5.0 - 4.2 * dip + noise));
        night.channels[3].values.push_back(float(18.0 + 2.6 * dip + noise));
    }
    const QString path =
        QDir::home().filePath(QStringLiteral("night_%1.csv")
                                  .arg(evening.toString(QStringLiteral("yyyy-MM-dd_hh-mm-ss"))));
    TsRecordingWriter::write(night, 0, night.times->size(), path);
    TsRecordingReader reader;
    reader.read(path);
    auto *past = new TsRecorderGraphDialog(std::move(reader.recording()), both);
    // A main window is a window of its own even with a parent; here both sit in one picture.
    for (QMainWindow *window :
         {static_cast<QMainWindow *>(live), static_cast<QMainWindow *>(past)}) {
        window->setWindowFlags(Qt::Widget);
        layout->addWidget(window);
    }
    both->resize(1270, 520);
    return both;
}
