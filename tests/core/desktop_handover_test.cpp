// Two starts of the desktop program, offscreen on the demonstration controllers, as an operator
// meets them: the first runs with its own --open, and a later start from another folder, as a
// double-click on last night's file makes it, hands its relative --open over and ends. The first
// says in its diagnostic output (the settings key "debugMessages" is on) which recordings it
// opened.
#include "support/webtestsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int WaitMs = 20000;

// A few rows in the recorder's own form: tab-separated, with the header line.
bool writeRecording(const QString &path)
{
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly))
        return false;
    file.write("\"Timestamp\"\t\"Stage: Actual Value\"\t\"Stage: Setpoint Value\"\t"
               "\"Stage: Control\"\t\n");
    for (int second = 0; second < 3; ++second)
        file.write(QByteArray("2026-03-02 22:00:0") + char('0' + second) + "\t37.0\t37.0\tOn\t\n");
    return file.error() == QFileDevice::NoError;
}

TEST(DesktopHandOver, ALaterStartHandsItsRecordingToTheRunningProgram)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString home = work.path() + "/home";
    ASSERT_TRUE(QDir().mkpath(work.path() + "/tmp"));
    QSettings store(home + "/settings/Varon/Tessaro.conf", QSettings::IniFormat);
    store.setValue("debugMessages", true);
    store.setValue("WebInterface/httpPort", webtest::freePort());
    store.setValue("WebInterface/fcgiPort", webtest::freePort());
    store.sync();

    // A name with spaces, quotes and letters beyond ASCII, in a folder of its own.
    const QString lastRun = work.path() + "/Log Data/last run";
    const QString name = QString::fromUtf8("night über 'Zürich' \"2\".csv");
    const QString handedOver = lastRun + "/" + name;
    const QString own = work.path() + "/own.csv";
    ASSERT_TRUE(writeRecording(handedOver));
    ASSERT_TRUE(writeRecording(own));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LC_ALL", "C.UTF-8");
    environment.insert("HOME", work.path());
    for (const char *folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(folder, work.path() + "/" + folder);
    // The instance lock and socket in the temporary folder: these starts meet no other.
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", work.path() + "/tmp");

    QProcess first;
    first.setProcessEnvironment(environment);
    first.setWorkingDirectory(work.path());
    first.start(QStringLiteral(TESSARO_PROGRAM), {"--home", home, "--demo", "--open", "own.csv"});
    ASSERT_TRUE(first.waitForStarted(WaitMs));
    QByteArray out;
    QString err;
    const auto firstSaid = [&](const QString &text) {
        return QTest::qWaitFor(
                   [&] {
                       out += first.readAllStandardOutput();
                       err += QString::fromLocal8Bit(first.readAllStandardError());
                       return err.contains(text) || first.state() == QProcess::NotRunning;
                   },
                   WaitMs) &&
               err.contains(text);
    };
    const auto opened = [](const QString &path) {
        return "TsRecorderGraphDialog::openRecording: '" + path + "', 3 rows";
    };
    EXPECT_TRUE(firstSaid(opened(own))) << qPrintable(err);
    // Up and serving: a later start now finds it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += first.readAllStandardOutput();
            return out.contains("The web page is at") || first.state() == QProcess::NotRunning;
        },
        WaitMs))
        << out.constData();

    QProcess second;
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(lastRun);
    second.start(QStringLiteral(TESSARO_PROGRAM), {"--open", name});
    ASSERT_TRUE(second.waitForFinished(WaitMs));
    const QByteArray secondErr = second.readAllStandardError();
    EXPECT_EQ(second.exitCode(), 0) << secondErr.constData();
    EXPECT_TRUE(secondErr.contains("tessaro: instance already running")) << secondErr.constData();
    EXPECT_FALSE(secondErr.contains("openRecording")) << "the second opened nothing itself";

    EXPECT_TRUE(firstSaid(opened(handedOver))) << qPrintable(err);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first goes on";
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(WaitMs));
    EXPECT_EQ(first.exitCode(), 0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
