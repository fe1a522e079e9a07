// The desktop program as scripts/run starts it, on a real X server (Xvfb) started here: the window
// on the demonstration controllers until a tile turns green (photographed into test-artefacts/),
// a second start that hands over to the first, and SIGTERM ending the program with its recording
// closed and its settings written.
#include "support/webtestsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int WaitMs = 20000;
// The shipped stability bands want 60 s within the green band.
constexpr int GreenMs = 120000;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The demonstration's two controllers, settled at their setpoints, so that the first tiles turn
// green as soon as the bands allow.
const char Simulation[] = R"(<ZdxSimulation timing="instant">
  <Controller serial="150A7001" description="Heat Unit H2" vendorId="2E91" productId="0001">
    <Channel number="1" name="Stage Heater" actual="370" setpoint="370" minimum="0" maximum="600"
             control="1" model="fixed"/>
    <Channel number="2" name="Lid Heater for Glass Cover Plate" actual="370" setpoint="370"
             minimum="0" maximum="600" control="1" model="fixed"/>
  </Controller>
  <Controller serial="154B2017" description="Gas Unit G2" vendorId="2E91" productId="0004">
    <Channel number="1" name="CO2 Sensor" actual="50" setpoint="50" minimum="0" maximum="200"
             control="1" model="fixed"/>
    <Channel number="2" name="O2 Sensor" actual="50" setpoint="50" minimum="0" maximum="200"
             control="1" model="fixed"/>
  </Controller>
</ZdxSimulation>
)";

class DesktopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty())
            GTEST_SKIP() << "Xvfb is missing (package xvfb)";
        ASSERT_TRUE(work.isValid());
        // -displayfd 1: the server picks a free display and tells its number on its output.
        server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        ASSERT_TRUE(server.waitForStarted(WaitMs));
        QByteArray number;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                number += server.readAllStandardOutput();
                return number.contains('\n');
            },
            WaitMs));
        display = ":" + QString::fromLatin1(number.trimmed());

        home = work.path() + "/demo-home";
        ASSERT_TRUE(QDir().mkpath(work.path() + "/tmp"));
        ASSERT_TRUE(QDir().mkpath(home + "/settings/Varon"));
        QFile simulation(work.path() + "/simulation.xml");
        ASSERT_TRUE(simulation.open(QIODevice::WriteOnly));
        simulation.write(Simulation);
        simulation.close();
        httpPort = freePort();
        QSettings store(home + "/settings/Varon/Tessaro.conf", QSettings::IniFormat);
        store.setValue("WebInterface/httpPort", httpPort);
        store.setValue("WebInterface/fcgiPort", freePort());
        // Docked on the right, as the operator left it last time.
        store.setValue("dockState", 2);
        store.sync();

        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.remove("WAYLAND_DISPLAY");
        environment.insert("ZDX7000_SIMULATION", simulation.fileName());
        // The instance lock and socket live in the temporary folder: this run meets no other.
        environment.insert("TMPDIR", work.path() + "/tmp");
        environment.insert("HOME", work.path());
    }

    void TearDown() override
    {
        for (QProcess *process : {&program, &server}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(WaitMs);
            }
        }
    }

    // The command scripts/run executes, with the demonstration home of this test.
    void start(QProcess &process)
    {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TESSARO_PROGRAM), {"--home", home, "--demo"});
    }

    QByteArray get(const QString &path)
    {
        const webtest::Reply reply = webtest::get(
            network, QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort).arg(path), WaitMs);
        return reply.error == QNetworkReply::NoError ? reply.body : QByteArray();
    }

    // Photographs the X screen from a child on that display.
    QImage screenshot(const QString &file)
    {
        QProcess grab;
        grab.setProcessEnvironment(environment);
        grab.start(QCoreApplication::applicationFilePath(), {"--grab", file});
        if (!grab.waitForFinished(WaitMs) || grab.exitCode() != 0)
            return QImage();
        return QImage(file);
    }

    QTemporaryDir work;
    QString display;
    QString home;
    quint16 httpPort = 0;
    QProcessEnvironment environment;
    QProcess server;
    QProcess program;
    QNetworkAccessManager network;
};

TEST_F(DesktopTest, RunsOnTheDemonstrationHandsOverAndEndsCleanlyOnSigterm)
{
    start(program);
    ASSERT_TRUE(program.waitForStarted(WaitMs));
    QByteArray output;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            output += program.readAllStandardOutput();
            return output.contains("The web page is at") || program.state() == QProcess::NotRunning;
        },
        WaitMs))
        << output.constData() << program.readAllStandardError().constData();
    ASSERT_TRUE(output.contains(QByteArray::number(httpPort))) << output.constData();

    // A tile turns green once its channel has stayed in the green band long enough.
    QByteArray tiles;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            tiles = get("/ts/channels.cgi");
            return tiles.contains("status-green");
        },
        GreenMs))
        << tiles.constData();
    const QString artefacts = QStringLiteral(TESSARO_ARTEFACTS);
    QDir().mkpath(artefacts);
    const QImage shot = screenshot(artefacts + "/desktop-demonstration.png");
    ASSERT_FALSE(shot.isNull());
    // The window's logo is drawn: its mark's blue is on the screen.
    bool mark = false;
    for (int y = 0; y < shot.height() && !mark; ++y) {
        for (int x = 0; x < shot.width() && !mark; ++x)
            mark = qAbs(QColor(shot.pixel(x, y)).hue() - QColor("#1f6f8b").hue()) < 4 &&
                   QColor(shot.pixel(x, y)).saturation() > 150;
    }
    EXPECT_TRUE(mark) << "no window on the screen";

    // A second start finds the first, hands over and ends without a window.
    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(WaitMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("tessaro: instance already running"));
    EXPECT_EQ(program.state(), QProcess::Running) << "the first goes on";

    // SIGTERM: the recording is closed whole and the settings are written.
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(WaitMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().constData();
    EXPECT_TRUE(get("/index.html").isEmpty()) << "nginx went with the program";

    QSettings store(home + "/settings/Varon/Tessaro.conf", QSettings::IniFormat);
    for (const char *key : {"windowGeometry", "windowState", "dockScreen", "dockState"})
        EXPECT_TRUE(store.contains(key)) << key;
    EXPECT_EQ(store.value("dockState").toInt(), 2) << "still docked on the right";
    QFile settings(home + "/data/Tessaro/Settings.xml");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray last = settings.readAll();
    EXPECT_TRUE(last.contains("<LastUser name=\"Demo\"/>")) << last.constData();
    EXPECT_TRUE(last.contains("<LastDynamicExperiment name=\"Demo\"/>")) << last.constData();

    QDirIterator csv(home + "/data/Tessaro/Users/Demo/Log Data", {"*.csv"}, QDir::Files,
                     QDirIterator::Subdirectories);
    ASSERT_TRUE(csv.hasNext()) << "a recording was made";
    QFile recording(csv.next());
    ASSERT_TRUE(recording.open(QIODevice::ReadOnly));
    const QByteArray rows = recording.readAll();
    EXPECT_GE(rows.count('\n'), 3) << "a header and rows";
    EXPECT_TRUE(rows.endsWith('\n')) << "the last row is whole";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--grab") == 0) {
        QGuiApplication app(argc, argv);
        QScreen *screen = QGuiApplication::primaryScreen();
        return screen && screen->grabWindow(0).save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
