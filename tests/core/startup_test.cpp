// The start-up code and the single-instance application. The test program is its own application
// object; it starts copies of itself as second instances and as probes of the environment.
#include "testenvironment.h"
#include "tscore.h"
#include "utils/qtsingleapplication.h"
#include "utils/singleinstancepeer.h"
#include "utils/startup.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace {

QString s_appId;

QString uniqueId(const char *what)
{
    return QStringLiteral("tessaro-test-%1-%2")
        .arg(QLatin1String(what), QUuid::createUuid().toString(QUuid::Id128).left(12));
}

// Runs this test program with arguments; the event loop keeps running meanwhile so that this
// process can answer a second instance.
struct ChildResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

ChildResult runChild(const QStringList &arguments, int timeout = 20000)
{
    QProcess child;
    QSignalSpy finished(&child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForStarted(5000))
        return {};
    if (!finished.wait(timeout)) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    ChildResult result;
    result.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -2;
    result.out = QString::fromLocal8Bit(child.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(child.readAllStandardError());
    return result;
}

TEST(QtSingleApplication, SecondInstanceExitsWithZeroAndActivatesTheFirst)
{
    auto *app = qobject_cast<QtSingleApplication *>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    ASSERT_FALSE(app->isRunning()) << "this process is the first instance";

    QWidget other;
    other.show();
    QWidget window;
    window.showMinimized();
    other.activateWindow();
    app->setActivationWindow(&window);
    EXPECT_EQ(app->activationWindow(), &window);
    QSignalSpy received(app, &QtSingleApplication::messageReceived);

    const ChildResult second = runChild({"--second-instance", app->id()});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.err.contains("tessaro: instance already running")) << qPrintable(second.err);

    if (received.isEmpty())
        received.wait(2000);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received.at(0).at(0).toString(), QString());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 2000));
    app->setActivationWindow(nullptr);
}

TEST(QtSingleApplication, FirstInstanceOfAnotherIdIsNotSentAway)
{
    const ChildResult alone = runChild({"--second-instance", uniqueId("alone")});
    EXPECT_EQ(alone.exitCode, 3) << "no instance runs under that id";
    EXPECT_FALSE(alone.err.contains("instance already running"));
}

TEST(SingleInstancePeer, OldLockOfALiveInstanceIsNotTakenOver)
{
    const QString id = uniqueId("old");
    SingleInstancePeer first(id);
    ASSERT_FALSE(first.isClient());

    // A running instance's lock grows old over days; age alone must not free it.
    QFile lock(QDir::temp().absoluteFilePath(first.serverName() + ".lock"));
    ASSERT_TRUE(lock.exists());
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                 QFileDevice::FileModificationTime));
    lock.close();

    SingleInstancePeer second(id);
    EXPECT_TRUE(second.isClient());
    EXPECT_EQ(second.serverName(), first.serverName());
    EXPECT_FALSE(first.sendMessage("x", 100)) << "the lock holder does not message itself";
}

TEST(SingleInstancePeer, LockOfACrashedInstanceIsTakenOver)
{
    const QString id = uniqueId("crash");
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {"--hold", id});
    ASSERT_TRUE(holder.waitForStarted(5000));
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    ASSERT_TRUE(holder.readAll().contains("holding"));
    {
        SingleInstancePeer peer(id);
        EXPECT_TRUE(peer.isClient()) << "the holder runs";
    }
    holder.kill();
    holder.waitForFinished();

    SingleInstancePeer peer(id);
    EXPECT_FALSE(peer.isClient()) << "a dead holder's lock and socket are left behind";
    QSignalSpy received(&peer, &SingleInstancePeer::messageReceived);
    const ChildResult sender = runChild({"--send", id, "hello"});
    EXPECT_EQ(sender.exitCode, 0);
    if (received.isEmpty())
        received.wait(2000);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received.at(0).at(0).toString(), "hello");
}

TEST(Startup, DebugMessagesSwitchDiagnosticOutput)
{
    QSettings().remove("debugMessages");
    QSettings().sync();
    const ChildResult silent = runChild({"--environment"});
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_FALSE(silent.err.contains("probe-debug")) << qPrintable(silent.err);
    EXPECT_FALSE(silent.err.contains("probe-warning"));

    QSettings().setValue("debugMessages", true);
    QSettings().sync();
    const ChildResult verbose = runChild({"--environment"});
    QSettings().remove("debugMessages");
    EXPECT_EQ(verbose.exitCode, 0);
    EXPECT_TRUE(verbose.err.contains("probe-debug")) << qPrintable(verbose.err);
    EXPECT_TRUE(verbose.err.contains("probe-warning"));
}

TEST(Startup, EnvironmentUsesDocumentsAsWorkingFolderAndDataPathForData)
{
    const ChildResult probe = runChild({"--environment"});
    ASSERT_EQ(probe.exitCode, 0);
    const QStringList lines = probe.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << qPrintable(probe.out);
    EXPECT_EQ(QFileInfo(lines.at(0)).canonicalFilePath(),
              QFileInfo(testHome() + "/Documents").canonicalFilePath());
    EXPECT_EQ(lines.at(1), "Varon/Tessaro/1.1.0.0");
    EXPECT_EQ(lines.at(2), "dark");
    EXPECT_TRUE(QFileInfo(testHome() + "/data/Tessaro/Users").isDir());
}

TEST(Startup, LoadStyleInstallsEitherSheetAndBothParse)
{
    QStringList problems;
    static QStringList *sink = nullptr;
    sink = &problems;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            if (text.contains("style", Qt::CaseInsensitive))
                sink->append(text);
        });

    loadStyle(true);
    EXPECT_EQ(qApp->property("styleName").toString(), "light");
    const QString light = qApp->styleSheet();
    EXPECT_TRUE(light.contains("QPushButton"));
    {
        // Widgets take the sheet when polished; a sheet that does not parse is reported then.
        QWidget window;
        new QPushButton("Start", &window);
        new QComboBox(&window);
        new QTableView(&window);
        window.show();
        QCoreApplication::processEvents();
    }

    loadStyle(false);
    EXPECT_EQ(qApp->property("styleName").toString(), "dark");
    EXPECT_NE(qApp->styleSheet(), light);
    {
        QWidget window;
        new QPushButton("Start", &window);
        window.show();
        QCoreApplication::processEvents();
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(problems.isEmpty()) << qPrintable(problems.join('\n'));
}

// ---- Child modes ----------------------------------------------------------------------------

int secondInstance(int argc, char **argv, const QString &id)
{
    QtSingleApplication app(id, argc, argv);
    return handOverToRunningInstance(app) ? 0 : 3;
}

int holdLock(int argc, char **argv, const QString &id)
{
    QCoreApplication app(argc, argv);
    SingleInstancePeer peer(id);
    if (peer.isClient())
        return 3;
    std::printf("holding\n");
    std::fflush(stdout);
    QThread::sleep(60);
    return 0;
}

int send(int argc, char **argv, const QString &id, const QString &message)
{
    QCoreApplication app(argc, argv);
    SingleInstancePeer peer(id);
    if (!peer.isClient())
        return 3;
    return peer.sendMessage(message, 5000) ? 0 : 4;
}

int environment(int argc, char **argv)
{
    isolateEnvironment(QString::fromLocal8Bit(qgetenv("HOME")));
    QApplication app(argc, argv);
    setApplicationIdentity();
    initEnvironment();
    qDebug("probe-debug");
    qWarning("probe-warning");
    std::printf("%s\n%s/%s/%s\n%s\n", qPrintable(QDir::currentPath()),
                qPrintable(QCoreApplication::organizationName()),
                qPrintable(QCoreApplication::applicationName()),
                qPrintable(QCoreApplication::applicationVersion()),
                qPrintable(app.property("styleName").toString()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--second-instance") == 0)
        return secondInstance(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "--hold") == 0)
        return holdLock(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc >= 4 && std::strcmp(argv[1], "--send") == 0)
        return send(argc, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc >= 2 && std::strcmp(argv[1], "--environment") == 0)
        return environment(argc, argv);

    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    QtSingleApplication app(uniqueId("first"), argc, argv);
    qRegisterMetaType<QProcess::ExitStatus>();
    settleIdentityAndDataPath(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
