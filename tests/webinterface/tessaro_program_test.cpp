// The interim program as scripts/run starts it: the demonstration controllers served through the
// real nginx with live tile states, everything written into its own folder, and no nginx left
// serving after the program ends, whether it is stopped or killed.
#include "support/smalltmpfs.h"
#include "support/webtestsupport.h"
#include "testenvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace {

using webtest::freePort;

constexpr int WaitMs = 15000;

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // "pid (name) state ppid ...": the name may hold spaces, so count from the last ')'.
    const QByteArray fields = stat.readAll();
    const QList<QByteArray> rest = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
    return rest.size() > 1 ? rest.at(1).toLongLong() : -1;
}

// The descendants of pid: nginx's master and, below it, its workers.
QList<qint64> descendants(qint64 pid)
{
    QList<qint64> found{pid};
    for (int depth = 0; depth < 3; ++depth) {
        for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool number = false;
            const qint64 p = entry.toLongLong(&number);
            if (number && !found.contains(p) && found.contains(parentOf(p)))
                found << p;
        }
    }
    found.removeFirst();
    return found;
}

bool alive(qint64 pid)
{
    // A zombie is gone for every purpose here but still answers kill(0).
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    return fields.mid(fields.lastIndexOf(')') + 2, 1) != "Z";
}

class ProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        httpPort = freePort();
        program.setProgram(QStringLiteral(TESSARO_PROGRAM));
        program.setArguments({"--headless", "--demo", "--home", home.path(), "--http-port",
                              QString::number(httpPort), "--fcgi-port",
                              QString::number(freePort())});
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start();
        ASSERT_TRUE(program.waitForStarted(WaitMs));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                output += program.readAllStandardOutput();
                return output.contains("Open http://localhost:") ||
                       program.state() == QProcess::NotRunning;
            },
            WaitMs))
            << output.constData();
        ASSERT_TRUE(output.contains(QByteArray::number(httpPort))) << output.constData();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return get("/index.html") == QNetworkReply::NoError; }, WaitMs));
        // The master starts its worker on its own time.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                nginx = descendants(program.processId());
                return nginx.size() >= 2;
            },
            WaitMs))
            << "nginx's master and a worker";
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(WaitMs);
        }
    }

    QNetworkReply::NetworkError get(const QString &path, QByteArray *body = nullptr)
    {
        const webtest::Reply reply = webtest::get(
            network, QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort).arg(path), WaitMs);
        if (body)
            *body = reply.body;
        return reply.error;
    }

    bool nginxGone()
    {
        return QTest::qWaitFor(
            [&] {
                for (qint64 pid : nginx) {
                    if (alive(pid))
                        return false;
                }
                return true;
            },
            WaitMs);
    }

    QTemporaryDir home;
    quint16 httpPort = 0;
    QProcess program;
    QByteArray output;
    QList<qint64> nginx;
    QNetworkAccessManager network;
};

TEST_F(ProgramTest, ServesLiveTilesFromItsOwnFolderAndStopsNginxOnSigterm)
{
    // The first sampling tick gives every demonstration channel its state and value.
    QByteArray channels;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return get("/ts/channels.cgi", &channels) == QNetworkReply::NoError &&
                   channels.count("class=\"tile ") == 4 && !channels.contains("status-offline") &&
                   channels.contains("°C") && channels.contains("%</div>");
        },
        WaitMs))
        << channels.constData();
    QByteArray user;
    EXPECT_EQ(get("/ts/user.cgi", &user), QNetworkReply::NoError);
    EXPECT_TRUE(user.contains(">Demo</span>")) << user.constData();

    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(WaitMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().constData();
    EXPECT_TRUE(nginxGone());
    EXPECT_NE(get("/index.html"), QNetworkReply::NoError) << "nobody serves the port";

    // Settings and data in the folder given, none in the environment's home.
    EXPECT_TRUE(QFile::exists(home.path() + "/settings/Varon/Tessaro.conf"));
    EXPECT_TRUE(QFile::exists(home.path() + "/data/Tessaro/Users/Demo/Profiles/Demo.tsp"));
    // Every line of the demonstration in a colour of its own.
    QFile demoFile(home.path() + "/data/Tessaro/Users/Demo/Profiles/Demo.tsp");
    ASSERT_TRUE(demoFile.open(QIODevice::ReadOnly));
    const QString demo = QString::fromUtf8(demoFile.readAll());
    QSet<QString> colors;
    int entries = 0;
    for (auto it = QRegularExpression("color=\"(#[0-9a-f]{6})\"").globalMatch(demo); it.hasNext();
         ++entries)
        colors.insert(it.next().captured(1));
    EXPECT_EQ(entries, 4) << qPrintable(demo);
    EXPECT_EQ(colors.size(), entries);
    EXPECT_FALSE(colors.contains("#000000"));
    EXPECT_FALSE(QDir(testHome() + "/config/Varon").exists());
    EXPECT_FALSE(QDir(testHome() + "/Documents/Tessaro").exists());
}

TEST_F(ProgramTest, AClosedTerminalEndsItLikeSigterm)
{
    QString runtime;
    for (const QString &name : QDir(QDir::tempPath()).entryList({"tessaro-web-*"}, QDir::Dirs)) {
        const QString folder = QDir::tempPath() + "/" + name;
        QFile owner(folder + "/tessaro.pid");
        if (owner.open(QIODevice::ReadOnly) && owner.readAll().toLongLong() == program.processId())
            runtime = folder;
    }
    ASSERT_FALSE(runtime.isEmpty());
    ::kill(pid_t(program.processId()), SIGHUP);
    ASSERT_TRUE(program.waitForFinished(WaitMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().contains("Tessaro stopped."));
    EXPECT_TRUE(nginxGone());
    EXPECT_FALSE(QFileInfo::exists(runtime));
    QFile settings(home.path() + "/data/Tessaro/Settings.xml");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("<LastProfile name=\"Demo\"/>"));
}

TEST_F(ProgramTest, NginxDoesNotOutliveAKilledProgram)
{
    // A killed program cannot remove nginx's runtime folder; the test does, after reading it from
    // the master's command line, which nginx rewrites to "nginx: master process ... -c <conf>".
    QString runtime;
    for (qint64 pid : nginx) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> words = cmdline.readAll().replace('\0', ' ').split(' ');
        const int config = words.indexOf("-c");
        if (config >= 0 && config + 1 < words.size())
            runtime = QFileInfo(QString::fromLocal8Bit(words.at(config + 1))).path();
    }
    ASSERT_TRUE(runtime.contains("tessaro-web-")) << qPrintable(runtime);

    ::kill(pid_t(program.processId()), SIGKILL);
    ASSERT_TRUE(program.waitForFinished(WaitMs));
    EXPECT_TRUE(nginxGone());
    QDir(runtime).removeRecursively();
    EXPECT_NE(get("/index.html"), QNetworkReply::NoError) << "nobody serves the port";
}

// Run by an unprivileged user, nginx cannot switch users and keeps everything it writes in the
// runtime folder: the same program serves the pages. Needs root to become that user.
TEST(ProgramUnprivilegedTest, AnUnprivilegedUserIsServedToo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "the other tests already run unprivileged";
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv is missing";
    QTemporaryDir home(QDir::tempPath() + "/tessaro-nobody-XXXXXX");
    ASSERT_TRUE(home.isValid());
    const uid_t nobody = 65534;
    ASSERT_EQ(::chown(home.path().toLocal8Bit().constData(), nobody, nobody), 0);
    const quint16 httpPort = freePort();
    QProcess program;
    program.setProgram(setpriv);
    program.setArguments({"--reuid=65534", "--regid=65534", "--clear-groups",
                          QStringLiteral(TESSARO_PROGRAM), "--headless", "--home",
                          home.path() + "/home", "--http-port", QString::number(httpPort),
                          "--fcgi-port", QString::number(freePort())});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    program.setProcessEnvironment(environment);
    program.start();
    ASSERT_TRUE(program.waitForStarted(WaitMs));
    QByteArray output;
    const bool announced = QTest::qWaitFor(
        [&] {
            output += program.readAllStandardOutput();
            return output.contains("Open http://localhost:") ||
                   program.state() == QProcess::NotRunning;
        },
        WaitMs);
    if (!output.contains("Open http://localhost:") &&
        program.readAllStandardError().contains("Permission denied"))
        GTEST_SKIP() << "the build tree is closed to unprivileged users";
    ASSERT_TRUE(announced) << output.constData();

    QNetworkAccessManager network;
    const auto get = [&](const QString &path) {
        const webtest::Reply reply = webtest::get(
            network, QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort).arg(path), WaitMs);
        return reply.error == QNetworkReply::NoError ? reply.body : QByteArray();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return get("/index.html").contains("Tessaro"); }, WaitMs));
    EXPECT_TRUE(get("/ts/user.cgi").contains(">Demo</span>"));
    const QList<qint64> nginx = descendants(program.processId());
    EXPECT_FALSE(nginx.isEmpty());

    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(WaitMs));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().constData();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return std::none_of(nginx.begin(), nginx.end(), alive); }, WaitMs));
}

// The program started on its own terms, for the cases the fixture's start does not fit.
struct ProgramRun
{
    ProgramRun(const QString &home, const QStringList &extra = {},
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        httpPort = freePort();
        program.setProgram(QStringLiteral(TESSARO_PROGRAM));
        program.setArguments(QStringList{"--headless", "--demo", "--home", home, "--http-port",
                                         QString::number(httpPort), "--fcgi-port",
                                         QString::number(freePort())} +
                             extra);
        program.setProcessEnvironment(environment);
        program.start();
    }
    ~ProgramRun()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(WaitMs);
        }
    }
    // Waits until standard output holds text (or the program ended).
    bool waitForOutput(const QByteArray &text, int ms = WaitMs)
    {
        return QTest::qWaitFor(
                   [&] {
                       output += program.readAllStandardOutput();
                       errors += program.readAllStandardError();
                       return output.contains(text) || program.state() == QProcess::NotRunning;
                   },
                   ms) &&
               output.contains(text);
    }
    bool stop()
    {
        ::kill(pid_t(program.processId()), SIGTERM);
        const bool stopped = program.waitForFinished(WaitMs);
        output += program.readAllStandardOutput();
        errors += program.readAllStandardError();
        return stopped;
    }

    QProcess program;
    quint16 httpPort = 0;
    QByteArray output;
    QByteArray errors;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ProgramWebServerTest, ATakenPortIsSaidAndNoAddressIsAdvertised)
{
    QTemporaryDir home;
    ProgramRun run(home.path());
    // Another program holds the HTTP port before nginx comes to it.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, run.httpPort));
    ASSERT_TRUE(run.waitForOutput("Tessaro is running", 3 * WaitMs)) << run.output.constData();
    EXPECT_FALSE(run.output.contains("http://")) << run.output.constData();
    EXPECT_TRUE(run.output.contains("the web page is not available") &&
                run.output.contains("Address already in use"))
        << run.output.constData();
    EXPECT_TRUE(run.stop());
    EXPECT_EQ(run.program.exitCode(), 0);
}

TEST(ProgramDiskTest, AFullDiskKeepsTheSettingsAndTheProfileAndSaysSo)
{
    QTemporaryDir folder;
    SmallTmpfs disk(folder.path(), 512);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    const QString settings = folder.path() + "/data/Tessaro/Settings.xml";
    const QString profile = folder.path() + "/data/Tessaro/Users/Demo/Profiles/Demo.tsp";
    {
        ProgramRun first(folder.path());
        ASSERT_TRUE(first.waitForOutput("Tessaro is running")) << first.errors.constData();
        ASSERT_TRUE(first.stop());
    }
    const QByteArray savedSettings = readFile(settings);
    const QByteArray savedProfile = readFile(profile);
    ASSERT_TRUE(savedSettings.contains("Demo"));
    ASSERT_TRUE(savedProfile.contains("<Channel "));

    // The disk fills while the program runs; at its end the settings cannot be written.
    ProgramRun second(folder.path());
    ASSERT_TRUE(second.waitForOutput("Tessaro is running on 4 channels"))
        << second.output.constData() << second.errors.constData();
    ASSERT_TRUE(disk.fill());
    ASSERT_TRUE(second.stop());
    EXPECT_TRUE(second.errors.contains("Settings.xml") &&
                second.errors.contains("No space left on device"))
        << second.errors.constData();
    EXPECT_EQ(readFile(settings), savedSettings);
    EXPECT_EQ(readFile(profile), savedProfile);

    // A first start on the full disk: no empty profile that every later start would read as
    // one without channels.
    QFile::remove(profile);
    ASSERT_TRUE(disk.fill()) << "the profile's page taken too";
    ProgramRun third(folder.path());
    ASSERT_TRUE(third.waitForOutput("Tessaro is running"));
    ASSERT_TRUE(third.stop());
    EXPECT_TRUE(third.errors.contains("demonstration profile")) << third.errors.constData();
    EXPECT_FALSE(QFileInfo::exists(profile));
    disk.release();
}

TEST(ProgramDemonstrationTest, TheProfileFollowsControllersThatAppearLater)
{
    QTemporaryDir home;
    QTemporaryDir simulationFolder;
    const QString simulation = simulationFolder.filePath("controllers.xml");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ZDX7000_SIMULATION", simulation);
    ProgramRun run(home.path(), {}, environment);
    ASSERT_TRUE(run.waitForOutput("Tessaro is running on 0 channels")) << run.output.constData();
    EXPECT_TRUE(run.output.contains("No controllers are connected yet"));
    EXPECT_TRUE(run.errors.contains("controllers.xml: cannot be read")) << run.errors.constData();

    // A file the simulation refuses says why, with its line and attribute.
    QFile file(simulation);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<ZdxSimulation timing=\"instant\">\n<Controller serial=\"150A7\" "
               "description=\"Heat Unit H2\" vendorId=\"2E91\" productId=\"0001\">\n"
               "<Channel number=\"1\" name=\"Stage\" setpoint=\"99999\"/>\n"
               "</Controller></ZdxSimulation>\n");
    file.close();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            run.errors += run.program.readAllStandardError();
            return run.errors.contains("line 3: Channel attribute setpoint=\"99999\"");
        },
        WaitMs))
        << run.errors.constData();

    // Mended: the controller appears and joins the demonstration profile.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<ZdxSimulation timing=\"instant\">\n<Controller serial=\"150A7\" "
               "description=\"Heat Unit H2\" vendorId=\"2E91\" productId=\"0001\">\n"
               "<Channel number=\"1\" name=\"Temp\u00e9rature\" setpoint=\"370\"/>\n"
               "<Channel number=\"2\" name=\"Lid\" setpoint=\"4096\"/>\n"
               "</Controller></ZdxSimulation>\n");
    file.close();
    ASSERT_TRUE(run.waitForOutput("Tessaro now shows 2 channels")) << run.output.constData();
    const QByteArray profile = readFile(home.path() + "/data/Tessaro/Users/Demo/Profiles/Demo.tsp");
    EXPECT_TRUE(profile.contains("id=\"150A7:1\" name=\"Temp\u00e9rature\""))
        << profile.constData();
    EXPECT_FALSE(profile.contains("nan")) << "no setpoint is stored for the unknown one";
    QNetworkAccessManager network;
    QByteArray channels;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            channels =
                webtest::get(
                    network,
                    QStringLiteral("http://127.0.0.1:%1/ts/channels.cgi").arg(run.httpPort), WaitMs)
                    .body;
            return channels.count("class=\"tile ") == 2;
        },
        WaitMs))
        << channels.constData();
    EXPECT_TRUE(channels.contains("Temp\u00e9rature")) << channels.constData();
    EXPECT_TRUE(run.stop());
}

// The one command line of both ways of running: answered at once where nothing is to run, and
// refused with a message where it is wrong, before any application object or hand-over.
TEST(ProgramCommandLineTest, HelpVersionAndMistakesAreAnsweredAtOnce)
{
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QList<QByteArray> out;
        QList<QByteArray> err;
    };
    const QList<Case> cases = {
        {{"--help"},
         0,
         {"--headless", "--demo", "--home <folder>", "--http-port <port>", "--fcgi-port <port>",
          "--tick-statistics", "--verbose", "--version", "--help"},
         {}},
        {{"--version"}, 0, {"Tessaro 1.1.0.0"}, {}},
        {{"--headless", "--bogus"}, 1, {}, {"Unknown option 'bogus'", "tessaro --help"}},
        {{"--http-port", "80000"}, 1, {}, {"--http-port: a port is a number from 1 to 65535."}},
        {{"--demo", "stray"}, 1, {}, {"Unexpected argument 'stray'"}},
    };
    for (const Case &c : cases) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No display: a run would start the window-less program, which these never reach.
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSARO_PROGRAM), c.arguments);
        ASSERT_TRUE(program.waitForFinished(WaitMs)) << qPrintable(c.arguments.join(' '));
        const QByteArray out = program.readAllStandardOutput();
        const QByteArray err = program.readAllStandardError();
        EXPECT_EQ(program.exitCode(), c.exitCode) << qPrintable(c.arguments.join(' '));
        for (const QByteArray &text : c.out)
            EXPECT_TRUE(out.contains(text)) << text.constData() << " in " << out.constData();
        for (const QByteArray &text : c.err)
            EXPECT_TRUE(err.contains(text)) << text.constData() << " in " << err.constData();
        EXPECT_FALSE(out.contains("Tessaro is running")) << "nothing was started";
        if (c.exitCode == 0)
            EXPECT_TRUE(err.isEmpty()) << err.constData();
    }
}

} // namespace
