// The window-less program on controllers of emulated USB with no simulation configured, its page
// read through the real nginx: controllers of two models found with their strings, a third one it
// may not open said once with what to do, another vendor's device left alone, and a controller
// unplugged in the middle of a transaction going offline and coming back when plugged in again.
#include "support/webtestsupport.h"
#include "testenvironment.h"
#include "usbtestbed.h"

#include <QCoreApplication>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using zdx::test::UsbTestBed;

constexpr int WaitMs = 20000;

class ProgramUsbTest : public ::testing::Test
{
protected:
    void start()
    {
        ASSERT_TRUE(home.isValid());
        httpPort = webtest::freePort();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("ZDX7000_SIMULATION");
        for (const auto &[name, value] : bed.childEnvironment())
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        program.setProcessEnvironment(environment);
        program.setProgram(QStringLiteral(TESSARO_PROGRAM));
        program.setArguments({"--headless", "--home", home.path(), "--http-port",
                              QString::number(httpPort), "--fcgi-port",
                              QString::number(webtest::freePort())});
        program.start();
        ASSERT_TRUE(program.waitForStarted(WaitMs));
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            ::kill(pid_t(program.processId()), SIGTERM);
            if (!program.waitForFinished(WaitMs))
                program.kill();
        }
    }

    bool waitForOutput(const QByteArray &text)
    {
        return QTest::qWaitFor(
                   [&] {
                       read();
                       return output.contains(text) || program.state() == QProcess::NotRunning;
                   },
                   WaitMs) &&
               output.contains(text);
    }

    void read()
    {
        output += program.readAllStandardOutput();
        errors += program.readAllStandardError();
    }

    QByteArray page(const QString &path)
    {
        return webtest::get(network,
                            QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort).arg(path), WaitMs)
            .body;
    }

    // Waits until /metrics holds the line (a whole sample, value included).
    bool waitForMetric(const QByteArray &sample)
    {
        return QTest::qWaitFor([&] { return page("/metrics").contains(sample); }, WaitMs);
    }

    UsbTestBed bed;
    QTemporaryDir home;
    quint16 httpPort = 0;
    QProcess program;
    QByteArray output;
    QByteArray errors;
    QNetworkAccessManager network;
};

TEST_F(ProgramUsbTest, FindsTheControllersOnUsbLosesOneAndFindsItAgain)
{
    const int heat = bed.add(UsbTestBed::model("H2", "150P1"));
    bed.add(UsbTestBed::model("G1", "153P2"));
    auto keyboard = UsbTestBed::model("H2", "KB9");
    keyboard.vendorId = 0x046D;
    keyboard.description = "USB Keyboard";
    const int other = bed.add(keyboard);
    const int denied = bed.add(UsbTestBed::model("H2", "150P3"));
    bed.denyAccess(denied, true);
    bed.unplug(denied);
    bed.plug(denied);
    start();

    ASSERT_TRUE(waitForOutput("Tessaro is running on 3 channels"))
        << output.constData() << errors.constData();
    QByteArray tiles;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            tiles = page("/ts/channels.cgi");
            return tiles.count("class=\"tile ") == 3 && !tiles.contains("status-offline") &&
                   tiles.contains("25.0") && tiles.contains("5.0");
        },
        WaitMs))
        << tiles.constData();
    EXPECT_TRUE(tiles.contains("Stage Heater") && tiles.contains("CO2 Sensor"))
        << tiles.constData();
    EXPECT_TRUE(waitForMetric("tessaro_controllers_present 2"));

    // Said once in the log, naming the node and the rule, however many scans tried it.
    QTest::qWait(2500);
    read();
    const QByteArray permission = "no permission to open the controller's device node " +
                                  QByteArray::fromStdString(bed.node(denied));
    EXPECT_EQ(errors.count(permission), 1) << errors.constData();
    EXPECT_TRUE(errors.contains("150P3")) << errors.constData();
    EXPECT_EQ(bed.opens(other), 0) << "another vendor's device is never opened";

    // Unplugged while a request is on its way: offline at once rather than after the time-outs.
    bed.cutOnNextRequest(heat);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bed.isCut(heat); }, WaitMs));
    bed.unplug(heat);
    EXPECT_TRUE(waitForMetric("tessaro_controllers_present 1"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            tiles = page("/ts/channels.cgi");
            return tiles.count("status-offline") == 2;
        },
        WaitMs))
        << tiles.constData();

    // Plugged in again: the same channels read again.
    bed.plug(heat);
    EXPECT_TRUE(waitForMetric("tessaro_controllers_present 2"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            tiles = page("/ts/channels.cgi");
            return tiles.count("class=\"tile ") == 3 && !tiles.contains("status-offline");
        },
        WaitMs))
        << tiles.constData();
    read();
    EXPECT_EQ(errors.count(permission), 1) << errors.constData();
}

} // namespace

// umockdev announces plugging only to processes that see its sysfs: the test's too.
int main(int argc, char **argv)
{
    UsbTestBed::restartWithPreload(argv);
    if (!UsbTestBed::preloadActive())
        return 1;
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    QCoreApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
