// The recorder view idle, running with its progress and running on a full disk, and the graph
// window after five minutes of recording from the controller simulation.
#include "screenshotscene.h"
#include "support/smalltmpfs.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "tscore.h"
#include "utils/gui/graphlineseries.h"
#include "views/tsrecorderview.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
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

TESSARO_SCREENSHOT_SCENE(recorderGraph, "recorder-graph")
{
    // Two heaters and a gas unit settling after the incubator was opened: five minutes of samples,
    // each tick with the values the simulation answers at that moment.
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
    auto *dialog = new TsRecorderGraphDialog;
    dialog->setClock([] { return s_wall.toMSecsSinceEpoch(); });
    dialog->resize(900, 520);
    stopWith(dialog);
    recorder()->start();
    for (int t = 1; t <= 300; ++t) {
        write(t);
        s_monotonic += 1000;
        s_wall = s_wall.addMSecs(1000);
        context.tick();
    }
    for (GraphLineSeries *line : dialog->lines())
        line->timeout();
    // From the hour the window opens with to seven and a half minutes.
    for (int i = 0; i < 3; ++i)
        dialog->findChild<QAction *>(QStringLiteral("actionZoom_In"))->trigger();
    return dialog;
}
