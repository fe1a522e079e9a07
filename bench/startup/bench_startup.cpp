// The desktop program's start, and its memory over the first hours of a run and once settled.
//
// Start: from process start to the demonstration controllers' tiles filled (every tile of the web
// page with a state and a value; the window's tiles fill on the same first sampling tick, after the
// window was shown), for the desktop program as scripts/run starts it (offscreen) and, side by
// side, for the window-less program on the same controllers: the ratio is what the window costs.
// The resident memory of the desktop program is read at that moment.
//
// Memory: the real core and main window in this process, 64 channels (8 controllers of 8) on the
// simulation answering at once, recording, with fifteen hours of sampling ticks driven one after
// the other (a wall clock of its own for the tiles' graphs, their five-second refresh every fifth
// tick). Resident memory before and after each hour, beside what the tiles' graph stores take by
// themselves; the recording's own store stays empty (each row is written and dropped).
#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "dialogs/tsinputdialog.h"
#include "dialogs/tsmessagebox.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "testenvironment.h"
#include "tscore.h"
#include "tsmainwindow.h"
#include "views/tschannelgraph.h"
#include "views/tschannelwidget.h"

#include "zdx7000/support/simulationfile.h"

#include "support/eightchannelbench.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int Runs = 3;
using benchsupport::ChannelsPerController;
using benchsupport::Controllers;
constexpr int TicksPerHour = 3600;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

struct StartFigures
{
    double ms = -1;
    long rssKb = -1;
};

// One start of the program with arguments in a fresh home, timed until the page has four filled
// tiles; the program is killed afterwards.
StartFigures timeStart(const QString &program, bool desktop)
{
    QTemporaryDir home;
    const quint16 http = freePort();
    const quint16 fcgi = freePort();
    QStringList arguments;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("TMPDIR", home.path());
    if (desktop) {
        QSettings store(home.path() + "/settings/Varon/Tessaro.conf", QSettings::IniFormat);
        store.setValue("WebInterface/httpPort", http);
        store.setValue("WebInterface/fcgiPort", fcgi);
        store.sync();
        arguments = QStringList{"--home", home.path(), "--demo"};
    } else {
        arguments = QStringList{"--headless", "--demo", "--home", home.path()};
        arguments << "--http-port" << QString::number(http) << "--fcgi-port"
                  << QString::number(fcgi);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QNetworkAccessManager network;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/ts/channels.cgi").arg(http));

    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    StartFigures figures;
    const bool filled = QTest::qWaitFor(
        [&] {
            QNetworkReply *reply = network.get(QNetworkRequest(url));
            QTest::qWaitFor([&] { return reply->isFinished(); }, 1000);
            const QByteArray page = reply->readAll();
            reply->deleteLater();
            return page.count("class=\"tile ") == 4 && !page.contains("status-offline") &&
                   page.contains("°C");
        },
        20000);
    if (filled) {
        figures.ms = clock.nsecsElapsed() / 1e6;
        figures.rssKb = residentKb(process.processId());
    }
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    return figures;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

void benchStart(const QString &program)
{
    QList<double> desktop, headless;
    long rss = -1;
    for (int run = 0; run < Runs; ++run) {
        const StartFigures d = timeStart(program, true);
        const StartFigures h = timeStart(program, false);
        if (d.ms < 0 || h.ms < 0) {
            std::printf("start: run %d did not fill its tiles within 20 s\n", run + 1);
            continue;
        }
        desktop << d.ms;
        headless << h.ms;
        rss = d.rssKb;
    }
    const double d = median(desktop);
    const double h = median(headless);
    std::printf("start to filled tiles, median of %d: desktop %.0f ms, window-less %.0f ms, "
                "ratio %.2f (bar: desktop under 1500 ms: %s)\n",
                int(desktop.size()), d, h, h > 0 ? d / h : 0.0,
                d > 0 && d < 1500 ? "met" : "missed");
    std::printf("resident memory of the desktop program then: %ld KiB\n", rss);
}

void benchHour(zdx::test::SimulationFile &simulation)
{
    simulation.write(benchsupport::eightChannelControllers("158B"));

    // The tiles' graphs keep the last hour by the wall clock; the driven hour moves it along.
    qint64 wall = QDateTime::currentMSecsSinceEpoch();
    TsChannelGraph::setWallClock([&wall] { return wall; });
    QTemporaryDir folder;
    TsMainWindow window;
    window.show();
    QCoreApplication::processEvents();
    TsDeviceManager *devices = TsCore::deviceManager();
    devices->loadDeviceSpecs(benchsupport::specWithEightChannelModel(folder.path()));
    devices->populateDevices();

    const QList<TsProfile::Channel> entries = benchsupport::eightChannelEntries("158B", false);
    TsProfile profile;
    profile.setName("Hour");
    profile.setValid(true);
    profile.setChannels(entries);
    TsCore::makeUserFolders("Bench");
    TsCore::instance()->reloadUsers();
    profile.save(TsCore::profileFile("Bench", "Hour"));
    TsCore::setCurrentUser("Bench");
    TsCore::setCurrentProfile("Hour");

    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    experiment->stopSampling();
    // The recorder view takes its prefix from here; without one it would ask.
    TsCore::configManager()->setLogFilePrefix(TsConfigManager::TemporaryLevel, "hour");
    experiment->startRecorder();
    if (!experiment->recorder()->isRunning())
        std::printf("hour: the recorder did not start\n");

    // A second of wall time a tick; the tiles' five-second refresh (status texts and graphs)
    // every fifth.
    const auto ticks = [&](int count) {
        for (int i = 0; i < count; ++i) {
            wall += 1000;
            experiment->sampleChannels();
            if (i % 5 == 0 && TsChannelWidget::refreshTimer())
                QMetaObject::invokeMethod(TsChannelWidget::refreshTimer(), "timeout");
            if (i % 10 == 0)
                QCoreApplication::processEvents();
        }
    };
    // The first minute fills caches and pools; the hour is measured after it.
    ticks(60);
    const long before = residentKb(QCoreApplication::applicationPid());
    QElapsedTimer clock;
    clock.start();
    ticks(TicksPerHour);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const long afterFirst = residentKb(QCoreApplication::applicationPid());
    ticks(TicksPerHour);
    const long afterSecond = residentKb(QCoreApplication::applicationPid());
    // The graphs keep between one and two hours, and their stores settle within a few more: from
    // then on the program holds its size however long it runs.
    ticks(3 * TicksPerHour);
    const long settled = residentKb(QCoreApplication::applicationPid());
    ticks(10 * TicksPerHour);
    const long afterFifteenth = residentKb(QCoreApplication::applicationPid());
    std::printf("an hour of ticks on 64 channels (%.1f s driven, %.2f ms a tick): resident "
                "%ld KiB before, %ld KiB after the first hour (growth %ld KiB), %ld KiB after "
                "the second (growth %ld KiB); %ld KiB after the fifth and %ld KiB after the "
                "fifteenth (%.1f KiB an hour); the recording keeps %d samples in memory\n",
                seconds, seconds * 1000 / TicksPerHour, before, afterFirst, afterFirst - before,
                afterSecond, afterSecond - afterFirst, settled, afterFifteenth,
                (afterFifteenth - settled) / 10.0,
                int(experiment->recorder()->recording().samples.size()));
    // What the tiles' graphs must keep by themselves: a point (two doubles) every refresh.
    const long graphKb = long(Controllers * ChannelsPerController) * (TicksPerHour / 5) *
                         long(2 * sizeof(double)) / 1024;
    std::printf("the tiles' graph stores alone take %ld KiB an hour (64 channels, a point every "
                "5 s); growth within that bar: %s\n",
                graphKb, afterFirst - before <= graphKb ? "met" : "missed");
    experiment->stopRecorder();
    TsChannelGraph::setWallClock({});
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    isolateEnvironment(home.path());
    zdx::test::SimulationFile simulation("tessaro-bench-startup");
    simulation.useFromEnvironment();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    // A question nobody is there to answer must not stop the measurement.
    TsMessageBox::setAnswering(true);
    TsInputDialog::setAnswering(true);

    // The program beside this benchmark's folder in the build tree.
    const QString program = QCoreApplication::applicationDirPath() + "/../bin/tessaro";
    if (!QFile::exists(program)) {
        std::printf("start: %s is missing\n", qPrintable(program));
    } else {
        // The started programs find the built-in demonstration, not this process's simulation.
        qunsetenv("ZDX7000_SIMULATION");
        benchStart(program);
        simulation.useFromEnvironment();
    }
    benchHour(simulation);
    return 0;
}
