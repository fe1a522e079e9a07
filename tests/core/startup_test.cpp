// The start-up code and the single-instance application. The test program is its own application
// object; it starts copies of itself as second instances and as probes of the environment.
#include "config/tsconfigmanager.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperimentmanager.h"
#include "mailer/tsmailermanager.h"
#include "startup.h"
#include "testenvironment.h"
#include "tscore.h"
#include "utils/qtsingleapplication.h"
#include "utils/singleinstancepeer.h"
#include "views/tsstylepalette.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <cmath>
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

ChildResult
runChild(const QStringList &arguments, int timeout = 20000,
         const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess child;
    child.setProcessEnvironment(environment);
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

// A child that takes the lock and the socket of id and then sleeps without an event loop.
bool startHolder(QProcess &holder, const QString &id)
{
    holder.start(QCoreApplication::applicationFilePath(), {"--hold", id});
    return holder.waitForStarted(5000) && holder.waitForReadyRead(10000) &&
           holder.readAll().contains("holding");
}

// This process's environment with another home, and so another settings store and data root.
QProcessEnvironment withHome(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    return environment;
}

TEST(QtSingleApplication, SecondInstanceExitsWithZeroAndActivatesTheFirst)
{
    auto *app = qobject_cast<QtSingleApplication *>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    ASSERT_FALSE(app->isRunning()) << "this process is the first instance";

    // A plain start, and one that hands a recording over: the window comes to the front for both.
    for (const QString &recording : {QString(), testHome() + "/night 1.csv"}) {
        SCOPED_TRACE(recording.toStdString());
        QWidget other;
        other.show();
        QWidget window;
        window.showMinimized();
        other.activateWindow();
        app->setActivationWindow(&window);
        EXPECT_EQ(app->activationWindow(), &window);
        QSignalSpy received(app, &QtSingleApplication::messageReceived);

        const ChildResult second = runChild({"--second-instance", app->id(), recording});
        EXPECT_EQ(second.exitCode, 0);
        EXPECT_TRUE(second.err.contains("tessaro: instance already running"))
            << qPrintable(second.err);

        if (received.isEmpty())
            received.wait(2000);
        ASSERT_EQ(received.count(), 1);
        EXPECT_EQ(StartRequest::fromMessage(received.at(0).at(0).toString()).recording, recording);
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }, 2000));
        app->setActivationWindow(nullptr);
    }
}

TEST(QtSingleApplication, FirstInstanceOfAnotherIdIsNotSentAway)
{
    const ChildResult alone = runChild({"--second-instance", uniqueId("alone")});
    EXPECT_EQ(alone.exitCode, 3) << "no instance runs under that id";
    EXPECT_FALSE(alone.err.contains("instance already running"));
}

// The holder takes the program's lock and socket but never runs its event loop: the request is
// accepted by the system and never answered, so each hand-over runs into its 5 s time-out. A plain
// start still ends with 0; one whose recording would be lost says so and fails.
TEST(Startup, ASecondStartThatIsNotAnsweredSaysSoAndFailsOnlyWhenAFileWouldBeLost)
{
    QProcess holder;
    ASSERT_TRUE(startHolder(holder, QStringLiteral("Tessaro")));
    const QString night = testHome() + "/Log Data/night 1.csv";
    const struct
    {
        QStringList arguments;
        int exitCode;
        QString said;
    } rows[] = {
        {{"--run", "second"}, 0, "did not answer within 5 s\n"},
        {{"--run", "second", night}, 1, "did not answer within 5 s; " + night + " was not opened"},
    };
    // Side by side: one time-out for both.
    QProcess starts[2];
    for (int i = 0; i < 2; ++i)
        starts[i].start(QCoreApplication::applicationFilePath(), rows[i].arguments);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(qPrintable(rows[i].arguments.join(' ')));
        EXPECT_TRUE(starts[i].waitForFinished(20000));
        const QString err = QString::fromLocal8Bit(starts[i].readAllStandardError());
        EXPECT_EQ(starts[i].exitCode(), rows[i].exitCode) << qPrintable(err);
        EXPECT_TRUE(err.contains("tessaro: instance already running")) << qPrintable(err);
        EXPECT_TRUE(err.contains(rows[i].said)) << qPrintable(err);
        EXPECT_FALSE(starts[i].readAllStandardOutput().contains("window"));
    }
    holder.kill();
    holder.waitForFinished();
}

// What a later start asks travels as one message: a file name of any form arrives as it was, and
// a message that asks for nothing known only brings the window to the front.
TEST(Startup, StartRequestsCrossTheChannelWithAnyFileName)
{
    const QString id = uniqueId("request");
    SingleInstancePeer first(id);
    ASSERT_FALSE(first.isClient());
    const auto deliver = [&](const QString &message) {
        QSignalSpy received(&first, &SingleInstancePeer::messageReceived);
        // The sender waits for the receipt, which this thread's event loop gives.
        QThread *sender = QThread::create([&] {
            SingleInstancePeer second(id);
            second.sendMessage(message, 5000);
        });
        sender->start();
        const bool arrived = received.wait(5000);
        sender->wait();
        delete sender;
        return arrived ? received.at(0).at(0).toString() : QStringLiteral("(nothing)");
    };

    const QStringList names = {
        QString(), // a plain start
        "/data/Log Data/night 1.csv",
        "/data/\"quoted\" and 'single'.csv",
        "/data/two\nlines.csv",
        "/data/ends in a line feed.csv\n",
        "/data/ trailing space .csv ",
        QString::fromUtf8("/data/Nacht über Zürich/夜の記録 ☾.csv"),
        "/open-recording\n/data/x.csv",
        "/data/back\\slash %1 tab\t.csv",
        "/" + QString(4000, QChar(0x00e9)) + ".csv",
    };
    for (const QString &name : names) {
        SCOPED_TRACE(name.left(80).toStdString());
        const StartRequest request{name};
        const QString message = request.toMessage();
        EXPECT_EQ(message.isEmpty(), name.isEmpty()) << "a plain start sends what it always sent";
        EXPECT_EQ(StartRequest::fromMessage(deliver(message)).recording, name);
    }

    // Messages of another kind ask only that the window come to the front.
    for (const QString &message :
         {QString("open-recording\nrelative/night.csv"), QString("open-recording\n"),
          QString("open-recording /data/night.csv"), QString("print\n/data/night.csv"),
          QString("hello")}) {
        SCOPED_TRACE(message.toStdString());
        EXPECT_TRUE(StartRequest::fromMessage(deliver(message)).recording.isEmpty());
    }
}

TEST(SingleInstancePeer, OldLockOfALiveInstanceIsNotTakenOver)
{
    const QString id = uniqueId("old");
    SingleInstancePeer first(id);
    ASSERT_FALSE(first.isClient());

    // A running instance's lock grows old over days; age alone must not free it.
    QFile lock(first.lockFileName());
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

// Another local user who can write where the lock and the socket would go could take them first
// and keep the program from starting: they live only where no one else may enter.
TEST(SingleInstancePeer, LockAndSocketLiveInAFolderOnlyTheUserEnters)
{
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QFileDevice::Permissions everyone =
        ownerOnly | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const auto folder = [&](const QString &name, QFileDevice::Permissions permissions) {
        const QString path = base.path() + '/' + name;
        QDir().mkpath(path);
        QFile::setPermissions(path, permissions);
        return path;
    };
    const QString ownTemp = "tessaro-runtime-" + QString::number(QFileInfo(base.path()).ownerId());
    struct Row
    {
        const char *what;
        QString runtime; // XDG_RUNTIME_DIR, empty for unset
        QString temp;    // TMPDIR
        QString expected;
    };
    const QString runtime = folder("run", ownerOnly);
    const QString shared = folder("shared", everyone);
    const QString taken = folder("taken", ownerOnly);
    folder("taken/" + ownTemp, everyone); // made first by someone else, open to all
    const QList<Row> rows = {
        {"the runtime folder", runtime, shared, runtime},
        {"a runtime folder open to all", shared, shared, shared + '/' + ownTemp},
        {"no runtime folder", QString(), shared, shared + '/' + ownTemp},
        {"our name taken in the temporary folder", QString(), taken,
         qEnvironmentVariable("XDG_CACHE_HOME") + "/tessaro-runtime"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", row.runtime.toLocal8Bit());
        qputenv("TMPDIR", row.temp.toLocal8Bit());
        const QString id = uniqueId("private");
        SingleInstancePeer first(id);
        EXPECT_EQ(SingleInstancePeer::privateFolder(), row.expected);
        ASSERT_FALSE(first.isClient());
        EXPECT_EQ(QFileInfo(first.lockFileName()).absolutePath(), row.expected);
        EXPECT_TRUE(QFileInfo::exists(first.lockFileName()));
        EXPECT_EQ(QFileInfo(first.serverName()).absolutePath(), row.expected);
        EXPECT_TRUE(QFileInfo::exists(first.serverName())) << "the socket";
        EXPECT_EQ(QFile::permissions(row.expected) & everyone, ownerOnly);
        SingleInstancePeer second(id);
        EXPECT_TRUE(second.isClient());
        // Another start of the program finds the socket there as well.
        QSignalSpy received(&first, &SingleInstancePeer::messageReceived);
        EXPECT_EQ(runChild({"--send", id, "here"}).exitCode, 0);
        EXPECT_TRUE(received.count() == 1 || received.wait(2000));
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    if (savedRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", savedTemp);
    if (savedTemp.isNull())
        qunsetenv("TMPDIR");
}

TEST(SingleInstancePeer, LockOfACrashedInstanceIsTakenOver)
{
    const QString id = uniqueId("crash");
    QProcess holder;
    ASSERT_TRUE(startHolder(holder, id));
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

    // A glyph the sheet names but the resources lack is drawn as nothing, silently.
    for (const QString &sheet : {light, qApp->styleSheet()}) {
        const QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
        int images = 0;
        for (auto it = url.globalMatch(sheet); it.hasNext(); ++images) {
            const QString path = it.next().captured(1);
            EXPECT_FALSE(QImage(path).isNull()) << qPrintable(path);
        }
        EXPECT_GE(images, 8) << "arrows and check marks";
    }
}

double luminance(const QColor &c)
{
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// The contrast of the strongest ink in a widget's picture against its background.
double inkContrast(QWidget *widget, const QColor &background)
{
    const QImage image = widget->grab().toImage();
    double best = 1.0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            best = qMax(best, contrast(image.pixelColor(x, y), background));
    return best;
}

// Example text must not read like an entry, and a link must be seen, in either style.
TEST(Startup, PlaceholdersAndLinksAreDrawnApartFromEntriesInEitherStyle)
{
    // As the program's start-up sets it up (initEnvironment) before its first sheet.
    setStyleSheetFollower(&TsStylePalette::followStyleSheet);
    for (bool light : {false, true}) {
        SCOPED_TRACE(light ? "light" : "dark");
        loadStyle(light);
        QWidget window;
        auto *placeholder = new QLineEdit(&window);
        placeholder->setPlaceholderText("smtp.example.org");
        auto *entry = new QLineEdit("smtp.example.org", &window);
        auto *link = new QLabel("<a href=\"https://www.example.org/\">licence</a>", &window);
        auto *layout = new QVBoxLayout(&window);
        for (QWidget *widget : {static_cast<QWidget *>(placeholder), static_cast<QWidget *>(entry),
                                static_cast<QWidget *>(link)})
            layout->addWidget(widget);
        placeholder->setFocusPolicy(Qt::NoFocus);
        entry->setFocusPolicy(Qt::NoFocus);
        window.show();
        QCoreApplication::processEvents();

        const QColor field = entry->palette().color(QPalette::Base);
        const double text = inkContrast(entry, field);
        const double example = inkContrast(placeholder, field);
        EXPECT_GE(text, 7.0);
        EXPECT_LE(example, text * 0.6) << "the example reads like an entry";
        EXPECT_GE(example, 2.0) << "the example cannot be read";
        EXPECT_GE(inkContrast(link, window.palette().color(QPalette::Window)), 3.0);
    }
    loadStyle(false);
}

TEST(Startup, SecondStartHandsOverWithoutAWindowAndTheFirstComesToTheFront)
{
    // Both starts use the program's own instance id; the temporary home keeps them apart from
    // any real instance of this user.
    QProcess first;
    first.start(QCoreApplication::applicationFilePath(), {"--run", "first"});
    ASSERT_TRUE(first.waitForStarted(5000));
    QByteArray firstOut;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            first.waitForReadyRead(50);
            firstOut += first.readAllStandardOutput();
            return firstOut.contains("ready");
        },
        15000))
        << firstOut.constData();

    const ChildResult second = runChild({"--run", "second"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.err.contains("tessaro: instance already running")) << qPrintable(second.err);
    EXPECT_FALSE(second.out.contains("window")) << "a second start creates no window";

    const bool finished = first.state() == QProcess::NotRunning || first.waitForFinished(15000);
    if (!finished) {
        first.kill();
        first.waitForFinished();
    }
    firstOut += first.readAllStandardOutput();
    ASSERT_TRUE(finished) << firstOut.constData();
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(firstOut.contains("activated: visible 1 minimized 0 active 1"))
        << firstOut.constData();
}

TEST(Startup, EmptyDataPathSettlesOnDocumentsInTheNativeStore)
{
    QTemporaryDir fresh;
    ASSERT_TRUE(fresh.isValid());
    const QProcessEnvironment environment = withHome(fresh.path());
    const ChildResult probe = runChild({"--fresh-data-path"}, 20000, environment);
    ASSERT_EQ(probe.exitCode, 0) << qPrintable(probe.err);
    const QStringList lines = probe.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << qPrintable(probe.out);
    const QString documents = fresh.path() + "/Documents";
    EXPECT_EQ(lines.at(0), documents) << "written back to the settings store";
    EXPECT_EQ(lines.at(1), documents + "/Tessaro");
    // The native store of this platform: an INI file named after organisation and application,
    // in the (here temporary) user's configuration folder.
    EXPECT_TRUE(lines.at(2).startsWith(fresh.path() + "/")) << qPrintable(lines.at(2));
    EXPECT_TRUE(lines.at(2).endsWith("/Varon/Tessaro.conf")) << qPrintable(lines.at(2));
    EXPECT_TRUE(QFileInfo(documents + "/Tessaro/Users").isDir());

    // What the store holds is what the next start reads.
    QSettings store(lines.at(2), QSettings::IniFormat);
    EXPECT_EQ(store.value("dataPath").toString(), documents);
}

TEST(Startup, CoreMakesTheManagersInOrderAndRemovesThemInReverse)
{
    QTemporaryDir fresh;
    ASSERT_TRUE(fresh.isValid());
    const QProcessEnvironment environment = withHome(fresh.path());
    const ChildResult probe = runChild({"--core-lifecycle"}, 20000, environment);
    ASSERT_EQ(probe.exitCode, 0) << qPrintable(probe.err);
    EXPECT_EQ(
        probe.out.split('\n', Qt::SkipEmptyParts),
        QStringList({"made device", "made experiment", "made config", "made mailer", "made web",
                     "gone web", "gone mailer", "gone config", "gone experiment", "gone device"}))
        << qPrintable(probe.out);
    EXPECT_TRUE(QFileInfo::exists(fresh.path() + "/Documents/Tessaro/Settings.xml"))
        << "the configuration manager saves as it goes";
}

// ---- Child modes ----------------------------------------------------------------------------

int secondInstance(int argc, char **argv, const QString &id, const QString &recording)
{
    QtSingleApplication app(id, argc, argv);
    switch (handOverToRunningInstance(app, StartRequest{recording})) {
    case HandOver::FirstInstance:
        return 3;
    case HandOver::Delivered:
        return 0;
    case HandOver::Undelivered:
        return 4;
    }
    return 5;
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

// A start of the program: the first shows a window, minimises it and waits for a later start to
// bring it back; the second must never get as far as a window. A third argument is the second's
// recording to hand over.
int run(int argc, char **argv, const QString &role, const QString &recording)
{
    isolateEnvironment(QString::fromLocal8Bit(qgetenv("HOME")));
    const bool isFirst = role == QLatin1String("first");
    return runApplication(
        argc, argv,
        [isFirst]() -> QWidget * {
            std::printf("window\n");
            std::fflush(stdout);
            auto *window = new QWidget;
            window->resize(200, 100);
            if (!isFirst)
                return window;
            auto *app = qobject_cast<QtSingleApplication *>(QCoreApplication::instance());
            QTimer::singleShot(0, window, [window] {
                window->showMinimized();
                std::printf("ready\n");
                std::fflush(stdout);
            });
            // Queued, so that the application's own activation has run when this looks.
            QObject::connect(
                app, &QtSingleApplication::messageReceived, window,
                [window] {
                    const bool active = QTest::qWaitFor(
                        [window] { return QApplication::activeWindow() == window; }, 2000);
                    std::printf(
                        "activated: visible %d minimized %d active %d\n", int(window->isVisible()),
                        int(bool(window->windowState() & Qt::WindowMinimized)), int(active));
                    std::fflush(stdout);
                    QCoreApplication::quit();
                },
                Qt::QueuedConnection);
            QTimer::singleShot(12000, window, [] { QCoreApplication::exit(5); });
            return window;
        },
        StartRequest{recording});
}

int freshDataPath(int argc, char **argv)
{
    isolateEnvironment(QString::fromLocal8Bit(qgetenv("HOME")));
    QApplication app(argc, argv);
    setApplicationIdentity();
    if (QSettings().contains("dataPath"))
        return 3;
    initEnvironment();
    QSettings settings;
    std::printf("%s\n%s\n%s\n", qPrintable(settings.value("dataPath").toString()),
                qPrintable(TsCore::dataRoot()), qPrintable(settings.fileName()));
    return 0;
}

int coreLifecycle(int argc, char **argv)
{
    isolateEnvironment(QString::fromLocal8Bit(qgetenv("HOME")));
    QApplication app(argc, argv);
    setApplicationIdentity();
    initEnvironment();
    TsCore *core = TsCore::instance();
    const QList<QPair<QObject *, QString>> managers = {{TsCore::deviceManager(), "device"},
                                                       {TsCore::experimentManager(), "experiment"},
                                                       {TsCore::configManager(), "config"},
                                                       {TsCore::mailerManager(), "mailer"},
                                                       {TsCore::webInterfaceManager(), "web"}};
    // The core's children in the order they were made.
    for (QObject *child : core->children()) {
        for (const auto &manager : managers) {
            if (manager.first == child)
                std::printf("made %s\n", qPrintable(manager.second));
        }
    }
    for (const auto &manager : managers) {
        const QString name = manager.second;
        QObject::connect(manager.first, &QObject::destroyed, [name] {
            std::printf("gone %s\n", qPrintable(name));
            std::fflush(stdout);
        });
    }
    std::fflush(stdout);
    // The core goes with the application object.
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--run") == 0)
        return run(argc, argv, QString::fromLocal8Bit(argv[2]),
                   argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QString());
    if (argc >= 2 && std::strcmp(argv[1], "--fresh-data-path") == 0)
        return freshDataPath(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--core-lifecycle") == 0)
        return coreLifecycle(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--second-instance") == 0)
        return secondInstance(argc, argv, QString::fromLocal8Bit(argv[2]),
                              argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QString());
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
