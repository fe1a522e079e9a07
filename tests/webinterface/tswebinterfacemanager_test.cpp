// The web interface as a browser and nginx see it: the real nginx on free loopback ports, serving
// a copy of the installation data from a folder its workers can read.
#include "fcgitestclient.h"
#include "support/webtestsupport.h"

#include "config/tsconfigmanager.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentscript.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "webinterface/tspublicaddress.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace fcgitest;

namespace {

// A start returns at once; nginx listening or failing comes later, on the event loop.
bool settled(const TsWebInterfaceManager &manager)
{
    return QTest::qWaitFor([&] { return !manager.isStarting(); }, 10000);
}

} // namespace

namespace {

using webtest::copyTree;
using webtest::freePort;

struct Reply
{
    int status = 0;
    QByteArray body;
};

class WebInterfaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(data.isValid());
        // nginx's workers run as nobody under root: the pages must be readable by anyone.
        QFile::setPermissions(data.path(),
                              QFile::permissions(data.path()) | QFile::ReadOther | QFile::ExeOther);
        dir = data.path() + "/webserver";
        ASSERT_TRUE(copyTree(QCoreApplication::applicationDirPath() + "/webserver", dir));

        manager.reset(new TsWebInterfaceManager);
        manager->setWebServerDir(dir);
        ASSERT_FALSE(manager->nginxExe().isEmpty());
        TsWebInterfaceSettings settings = manager->settings();
        settings.httpPort = freePort();
        settings.fcgiPort = freePort();
        manager->setSettings(settings);
        base = QStringLiteral("http://127.0.0.1:%1").arg(settings.httpPort);
        manager->start();
        ASSERT_TRUE(settled(*manager));
        ASSERT_TRUE(manager->isRunning());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return request("GET", "/index.html").status == 200; }, WaitMs));
    }

    void TearDown() override { manager.reset(); }

    Reply request(const QByteArray &method, const QString &path)
    {
        QNetworkRequest req(QUrl(base + path));
        QNetworkReply *reply = network.sendCustomRequest(req, method);
        Reply result;
        if (QTest::qWaitFor([&] { return reply->isFinished(); }, WaitMs)) {
            result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            result.body = reply->readAll();
        }
        reply->deleteLater();
        return result;
    }

    QByteArray errorLog()
    {
        QFile log(manager->runtimeDir() + "/logs/error.log");
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }

    QTemporaryDir data;
    QString dir;
    QString base;
    QScopedPointer<TsWebInterfaceManager> manager;
    QNetworkAccessManager network;
};

TsExperiment *experiment()
{
    return TsCore::experimentManager()->currentExperiment();
}

bool processExists(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

// Every nginx process that runs with that configuration file: the master, which names it on
// its command line, and its children, the workers.
QList<qint64> nginxProcesses(const QString &config)
{
    QList<qint64> masters;
    QHash<qint64, qint64> parents;
    const QStringList entries = QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile cmdline("/proc/" + entry + "/cmdline");
        QFile stat("/proc/" + entry + "/stat");
        if (!number || !cmdline.open(QIODevice::ReadOnly) || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = cmdline.readAll();
        if (line.contains("nginx") && line.contains(config.toLocal8Bit()))
            masters << pid;
        // "pid (name) state ppid ...": the name may hold spaces, so count from the last ')'.
        const QByteArray fields = stat.readAll();
        const QList<QByteArray> rest = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && line.startsWith("nginx"))
            parents.insert(pid, rest.at(1).toLongLong());
    }
    QList<qint64> pids = masters;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        if (masters.contains(it.value()))
            pids << it.key();
    }
    return pids;
}

} // namespace

TEST(WebInterfaceEscapingTest, MarkupAndQuotesCannotLeaveTheirPlace)
{
    const QString hostile = QStringLiteral("a&b \"q\" 'x' <script>\\");
    EXPECT_EQ(TsWebInterfaceManager::htmlEscaped(hostile),
              "a&amp;b &quot;q&quot; &#39;x&#39; &lt;script&gt;\\");
    EXPECT_EQ(TsWebInterfaceManager::jsEscaped(hostile),
              "a&amp;b &quot;q&quot; \\'x\\' &lt;script&gt;\\\\");
    EXPECT_EQ(TsWebInterfaceManager::jsEscaped("line\nbreak\r"), "line\\nbreak\\r");
    EXPECT_EQ(TsWebInterfaceManager::jsEscaped(QString(QChar(0x2028)) + QChar(0x2029)),
              "\\u2028\\u2029");
}

TEST(WebInterfaceSettingsTest, DefaultsAndPersistedKeys)
{
    TsWebInterfaceManager manager;
    const TsWebInterfaceSettings defaults = manager.settings();
    EXPECT_FALSE(defaults.autoStart);
    EXPECT_EQ(defaults.fcgiPort, 9000);
    EXPECT_EQ(defaults.httpPort, 8080);
    EXPECT_TRUE(defaults.publicUrl.isEmpty()) << "unset: mails link to the host name";
    TsWebInterfaceSettings changed = defaults;
    changed.httpPort = 8181;
    changed.publicUrl = "http://lab.example.org/";
    changed.serverName = "lab";
    manager.setSettings(changed);
    TsWebInterfaceManager reloaded;
    EXPECT_EQ(reloaded.settings().httpPort, 8181);
    EXPECT_EQ(reloaded.settings().publicUrl, "http://lab.example.org/");
    EXPECT_TRUE(reloaded.settings().serverName.isEmpty()) << "never persisted";

    // The example address of old versions is no address: never stored, never taken.
    changed.publicUrl = "http://tessaro.example.org/";
    manager.setSettings(changed);
    EXPECT_FALSE(QSettings().contains("WebInterface/publicUrl"));
    QSettings().setValue("WebInterface/publicUrl", "http://tessaro.example.org/");
    EXPECT_TRUE(TsWebInterfaceManager().settings().publicUrl.isEmpty());
    EXPECT_EQ(tsPublicAddress(QString(), 8181, "scope-2"), "http://scope-2:8181/");
    EXPECT_EQ(tsPublicAddress("http://tessaro.example.org/", 80, "scope-2"), "http://scope-2/");
    EXPECT_EQ(tsPublicAddress(" http://lab.example.org/ ", 8181, "scope-2"),
              "http://lab.example.org/");

    // A stored value that is no port falls back to the default instead of wrapping around.
    QSettings().setValue("WebInterface/httpPort", 70000);
    QSettings().setValue("WebInterface/fcgiPort", "ninety");
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; });
    TsWebInterfaceManager broken;
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages.filter("\"httpPort\" value \"70000\" is no port; 8080 is used").size(), 1)
        << messages.join('\n').toStdString();
    EXPECT_EQ(broken.settings().httpPort, 8080);
    EXPECT_EQ(broken.settings().fcgiPort, 9000);
    manager.setSettings(defaults);
}

TEST(WebInterfaceSettingsTest, TheNginxBesideTheProgramComesFirst)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TsWebInterfaceManager manager;
    manager.setWebServerDir(dir.path());
    const QString system = manager.nginxExe();
    EXPECT_NE(system, dir.path() + "/nginx") << "none beside it yet";
    EXPECT_TRUE(QFileInfo(system).isExecutable()) << qPrintable(system);

    QFile beside(dir.path() + "/nginx");
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.write("#!/bin/sh\n");
    beside.close();
    beside.setPermissions(beside.permissions() | QFile::ExeOwner);
    manager.setWebServerDir(dir.path());
    EXPECT_EQ(manager.nginxExe(), dir.path() + "/nginx");
}

TEST_F(WebInterfaceTest, EveryScriptPathIsServedWithEscapedTexts)
{
    TsProfile profile;
    profile.setName("Web");
    TsProfile::Channel offline{"ABC123:1", "<script>alert(1)</script>", Qt::red, 37.0, true, true,
                               "°C"};
    // A name that contains a placeholder must come out as written, not filled in.
    TsProfile::Channel shown{
        "ABC123:2", "CO2 & \"air\" %CH_STATUS_TEXT%", Qt::green, 5.0, true, false, "%"};
    profile.setChannels({offline, shown});
    ASSERT_TRUE(experiment()->setProfile(profile).isSuccess());
    ASSERT_EQ(experiment()->channels().size(), 2);
    experiment()->channels()[1]->setStatus(TsChannelState::Yellow, "Tom's <b>", "a&b \"quoted\"");

    const Reply channels = request("GET", "/ts/channels.cgi");
    EXPECT_EQ(channels.status, 200);
    EXPECT_FALSE(channels.body.contains("<script>alert")) << channels.body.constData();
    EXPECT_TRUE(channels.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_TRUE(channels.body.contains("status-offline"));
    EXPECT_TRUE(channels.body.contains("status-yellow"));
    EXPECT_TRUE(channels.body.contains("CO2 &amp; &quot;air&quot; %CH_STATUS_TEXT%"));
    EXPECT_TRUE(channels.body.contains("Tom&#39;s &lt;b&gt;"));
    EXPECT_TRUE(
        channels.body.contains("showStatus('Tom\\'s &lt;b&gt;', 'a&amp;b &quot;quoted&quot;')"));
    EXPECT_TRUE(channels.body.contains("alert-on"));
    EXPECT_TRUE(channels.body.contains("alert-off"));
    EXPECT_TRUE(channels.body.contains("Control Off")) << "no device: loop control reads off";

    const Reply user = request("GET", "/ts/user.cgi");
    EXPECT_EQ(user.status, 200);
    EXPECT_TRUE(user.body.contains("(n/a)"));
    const Reply recording = request("GET", "/ts/datarecording.cgi");
    // The recorder's and the script's own lines, with no view to make them.
    EXPECT_TRUE(recording.body.contains("Not running"));
    EXPECT_TRUE(request("GET", "/ts/dynamicexperiment.cgi")
                    .body.contains("No dynamic experiment configured"));
    const Reply alert = request("GET", "/ts/emailalert.cgi");
    EXPECT_TRUE(alert.body.contains("Not activated"));
    EXPECT_TRUE(alert.body.contains("<button")) << "the arming button shows while off";
}

TEST_F(WebInterfaceTest, PutArmsTheAlertAndTheDesktopSwitchFollows)
{
    TsMailerManager mailer(TsCore::experimentManager());
    mailer.setEmailAlert(false);
    manager->setEmailAlertSwitch(&mailer);
    QSignalSpy changed(&mailer, &TsMailerManager::emailAlertStatusChanged);

    const Reply armed = request("PUT", "/ts/emailalert.cgi");
    EXPECT_EQ(armed.status, 200);
    EXPECT_TRUE(armed.body.contains("Activated"));
    EXPECT_FALSE(armed.body.contains("Not activated"));
    EXPECT_TRUE(armed.body.contains("<!--<button")) << "the arming button is commented out";
    EXPECT_TRUE(mailer.isEmailAlertOn());
    ASSERT_EQ(changed.size(), 1);
    EXPECT_TRUE(changed.at(0).at(0).toBool());

    EXPECT_TRUE(request("PUT", "/ts/emailalert.cgi").body.contains("Activated"));
    EXPECT_EQ(changed.size(), 1) << "arming an armed alert changes nothing";
    manager->setEmailAlertSwitch(nullptr);
}

TEST_F(WebInterfaceTest, EveryAnswerShowsTheStateOfItsMomentWhateverChangedIt)
{
    // Pages that are answered again from the last rendering must never lag behind: each change
    // shows in the very next answer, whoever made it.
    TsMailerManager mailer(TsCore::experimentManager());
    mailer.setEmailAlert(false);
    manager->setEmailAlertSwitch(&mailer);
    const QByteArray none = "No dynamic experiment configured";
    EXPECT_TRUE(request("GET", "/ts/dynamicexperiment.cgi").body.contains(none));
    EXPECT_TRUE(request("GET", "/ts/dynamicexperiment.cgi").body.contains(none));
    experiment()->script()->setName("Heating");
    EXPECT_TRUE(request("GET", "/ts/dynamicexperiment.cgi").body.contains("Not running"));

    EXPECT_TRUE(request("GET", "/ts/emailalert.cgi").body.contains("Not activated"));
    mailer.setEmailAlert(true); // the desktop's switch
    const QByteArray armed = request("GET", "/ts/emailalert.cgi").body;
    EXPECT_TRUE(armed.contains("Activated") && !armed.contains("Not activated")) << armed.data();
    mailer.setEmailAlert(false);
    EXPECT_TRUE(request("GET", "/ts/emailalert.cgi").body.contains("Not activated"));

    TsProfile profile;
    profile.setName("Memo");
    profile.setChannels({{"ABC123:1", "Heater", Qt::red, 37.0, true, true, "°C"}});
    ASSERT_TRUE(experiment()->setProfile(profile).isSuccess());
    TsExperimentChannel *channel = experiment()->channels().first();
    channel->setStatus(TsChannelState::Yellow, "settling", "");
    EXPECT_TRUE(request("GET", "/ts/channels.cgi").body.contains("status-yellow"));
    channel->setStatus(TsChannelState::Green, "settling", "");
    EXPECT_TRUE(request("GET", "/ts/channels.cgi").body.contains("status-green"));
    channel->setAlert(false);
    EXPECT_TRUE(request("GET", "/ts/channels.cgi").body.contains("alert-off"));
    profile.setChannels({{"ABC123:1", "Cooler", Qt::red, 37.0, true, true, "°C"}});
    ASSERT_TRUE(experiment()->setProfile(profile).isSuccess());
    EXPECT_TRUE(request("GET", "/ts/channels.cgi").body.contains(">Cooler<"));

    // A template that was missing is looked for again by the next request.
    QFile::rename(dir + "/html/ts/datarecording.tmpl", dir + "/html/ts/datarecording.away");
    EXPECT_FALSE(request("GET", "/ts/datarecording.cgi").body.contains("drstatus"));
    QFile::rename(dir + "/html/ts/datarecording.away", dir + "/html/ts/datarecording.tmpl");
    EXPECT_TRUE(request("GET", "/ts/datarecording.cgi").body.contains("drstatus"));
    manager->setEmailAlertSwitch(nullptr);
}

TEST_F(WebInterfaceTest, OtherMethodsAndPathsGetNothingOfThePages)
{
    const Reply post = request("POST", "/ts/channels.cgi");
    EXPECT_EQ(post.status, 404);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return errorLog().contains("Tessaro: bad request: /ts/channels.cgi"); }, WaitMs))
        << errorLog().constData();

    // A PUT elsewhere gets an empty answer: only the stream ends and END_REQUEST, straight
    // from the responder.
    Client client(manager->settings().fcgiPort);
    client.send(simpleRequest(1, {{"SCRIPT_NAME", "/ts/user.cgi"}, {"REQUEST_METHOD", "PUT"}}));
    const QList<Record> records = client.readUntilEnd(1);
    ASSERT_EQ(records.size(), 3);
    EXPECT_TRUE(records[0].content.isEmpty());
    EXPECT_TRUE(records[1].content.isEmpty());
    EXPECT_NE(request("PUT", "/ts/user.cgi").status, 200);
}

TEST_F(WebInterfaceTest, TemplatesAreCachedUntilARestart)
{
    EXPECT_TRUE(request("GET", "/ts/user.cgi").body.contains("id=\"username\""));
    QFile edited(dir + "/html/ts/user.tmpl");
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
    edited.write("<p>edited %USERNAME%</p>");
    edited.close();
    EXPECT_FALSE(request("GET", "/ts/user.cgi").body.contains("edited"));
    manager->stop();
    manager->start();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return request("GET", "/ts/user.cgi").status == 200; }, WaitMs));
    EXPECT_TRUE(request("GET", "/ts/user.cgi").body.contains("<p>edited (n/a)</p>"));
}

TEST(WebInterfacePrivateFolderTest, PagesInAFolderClosedToOthersAreServed)
{
    // An installation under a private home folder: run as root, nginx's workers could not read
    // it, so they get a copy they can read.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(
        QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString dir = home.path() + "/webserver";
    ASSERT_TRUE(copyTree(QCoreApplication::applicationDirPath() + "/webserver", dir));
    TsWebInterfaceManager manager;
    manager.setWebServerDir(dir);
    TsWebInterfaceSettings settings = manager.settings();
    settings.httpPort = freePort();
    settings.fcgiPort = freePort();
    manager.setSettings(settings);
    manager.start();
    ASSERT_TRUE(settled(manager));
    ASSERT_TRUE(manager.isRunning());
    QNetworkAccessManager network;
    const auto get = [&](const QString &path) {
        QNetworkReply *reply = network.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(settings.httpPort).arg(path))));
        (void)QTest::qWaitFor([&] { return reply->isFinished(); }, WaitMs);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        return status;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return get("/index.html") == 200; }, WaitMs));
    EXPECT_EQ(get("/css/dashboard.css"), 200);
    EXPECT_EQ(get("/ts/user.cgi"), 200);
    manager.stop();
}

TEST_F(WebInterfaceTest, FiveHundredKeepAliveClientsLeaveRoomForTheDashboard)
{
    const QString wrk = QStandardPaths::findExecutable("wrk");
    if (wrk.isEmpty())
        GTEST_SKIP() << "wrk is not installed (Debian package wrk)";
    // 500 browsers holding their connections open while they poll.
    QProcess load;
    load.setProcessChannelMode(QProcess::MergedChannels);
    // A slow answer on a loaded machine is no refused connection: wrk's own 2 s time-out would
    // count it among the socket errors.
    load.start(wrk, {"-t2", "-c500", "-d3s", "--timeout", "10s", base + "/index.html"});
    ASSERT_TRUE(load.waitForStarted(WaitMs));
    int answered = 0;
    int asked = 0;
    // The dashboard's own polls meanwhile; answering them needs this thread's event loop.
    while (load.state() != QProcess::NotRunning && asked < 200) {
        ++asked;
        if (request("GET", "/ts/channels.cgi").status == 200)
            ++answered;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return load.state() == QProcess::NotRunning; }, 15000));
    const QByteArray report = load.readAll();
    EXPECT_GT(asked, 0);
    EXPECT_EQ(answered, asked);
    EXPECT_FALSE(report.contains("Socket errors")) << report.constData();
    EXPECT_FALSE(errorLog().contains("worker_connections are not enough"))
        << errorLog().constData();
}

TEST_F(WebInterfaceTest, NothingOfNginxOutlivesStopOrTheManager)
{
    const QString runtime = manager->runtimeDir();
    QString config;
    for (const QString &name : QDir(runtime).entryList({"nginx-*.conf"}))
        config = runtime + "/" + name;
    ASSERT_FALSE(config.isEmpty());
    const QList<qint64> running = nginxProcesses(config);
    EXPECT_GE(running.size(), 2) << "master and worker";
    manager->stop();
    EXPECT_FALSE(manager->isRunning());
    for (qint64 pid : running)
        EXPECT_FALSE(processExists(pid)) << pid;
    EXPECT_EQ(request("GET", "/index.html").status, 0) << "nobody serves the port";
    EXPECT_FALSE(QDir(runtime).exists());

    // The destructor stops a running interface in the same way.
    manager->start();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return request("GET", "/index.html").status == 200; }, WaitMs));
    QList<qint64> again;
    for (const QString &name : QDir(manager->runtimeDir()).entryList({"nginx-*.conf"}))
        again = nginxProcesses(manager->runtimeDir() + "/" + name);
    EXPECT_GE(again.size(), 2);
    manager.reset();
    for (qint64 pid : again)
        EXPECT_FALSE(processExists(pid)) << pid;
}

namespace {

// A manager on a copy of the installation's web server folder below parent, on free ports.
struct StandAlone
{
    explicit StandAlone(const QString &parent)
    {
        dir = parent + "/webserver";
        copied = copyTree(QCoreApplication::applicationDirPath() + "/webserver", dir);
        manager.setWebServerDir(dir);
        TsWebInterfaceSettings settings = manager.settings();
        settings.httpPort = freePort();
        settings.fcgiPort = freePort();
        manager.setSettings(settings);
    }
    int get(const QString &path)
    {
        QNetworkReply *reply = network.get(QNetworkRequest(QUrl(
            QStringLiteral("http://127.0.0.1:%1%2").arg(manager.settings().httpPort).arg(path))));
        (void)QTest::qWaitFor([&] { return reply->isFinished(); }, WaitMs);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        return status;
    }
    // nginx's master and workers.
    QList<qint64> nginx()
    {
        for (const QString &name : QDir(manager.runtimeDir()).entryList({"nginx-*.conf"}))
            return nginxProcesses(manager.runtimeDir() + "/" + name);
        return {};
    }

    QString dir;
    bool copied = false;
    TsWebInterfaceManager manager;
    QNetworkAccessManager network;
};

QTemporaryDir *readableTemporaryDir()
{
    auto *dir = new QTemporaryDir;
    // nginx's workers run as nobody under root: the pages must be readable by anyone.
    QFile::setPermissions(dir->path(),
                          QFile::permissions(dir->path()) | QFile::ReadOther | QFile::ExeOther);
    return dir;
}

} // namespace

TEST(WebInterfaceStartTest, TakenPortsAreSaidWithNginxsOwnWordsAndNothingIsAdvertised)
{
    QScopedPointer<QTemporaryDir> data(readableTemporaryDir());
    StandAlone web(data->path());
    ASSERT_TRUE(web.copied);
    QSignalSpy errors(&web.manager, &TsWebInterfaceManager::webServerError);

    // Another program on the HTTP port.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, web.manager.settings().httpPort));
    web.manager.start();
    ASSERT_TRUE(settled(web.manager));
    EXPECT_FALSE(web.manager.isRunning());
    ASSERT_EQ(errors.count(), 1);
    const QString message = web.manager.errorString();
    EXPECT_EQ(errors.at(0).at(0).toString(), message);
    EXPECT_TRUE(message.contains("bind()") && message.contains("Address already in use"))
        << message.toStdString();
    EXPECT_TRUE(web.manager.runtimeDir().isEmpty());
    other.close();

    // Another program on the FastCGI port: nginx would show that program's pages. (The failed
    // start left the responder listening on the old port, as after any start.)
    TsWebInterfaceSettings settings = web.manager.settings();
    settings.fcgiPort = freePort();
    web.manager.setSettings(settings);
    QTcpServer responder;
    ASSERT_TRUE(responder.listen(QHostAddress::LocalHost, web.manager.settings().fcgiPort));
    web.manager.start();
    EXPECT_FALSE(web.manager.isRunning());
    EXPECT_TRUE(
        web.manager.errorString().contains(QString::number(web.manager.settings().fcgiPort)))
        << web.manager.errorString().toStdString();
    EXPECT_EQ(web.get("/index.html"), 0) << "no nginx was left serving";
    responder.close();

    web.manager.start();
    ASSERT_TRUE(settled(web.manager));
    ASSERT_TRUE(web.manager.isRunning());
    EXPECT_TRUE(web.manager.errorString().isEmpty());
    EXPECT_EQ(web.get("/index.html"), 200);
}

TEST(WebInterfaceStartTest, AStartThatFailsOnATakenPortLeavesTheSamplingTickOnItsRhythm)
{
    QScopedPointer<QTemporaryDir> data(readableTemporaryDir());
    StandAlone web(data->path());
    ASSERT_TRUE(web.copied);
    // The experiment's own one-second tick, on the same event loop as the web interface.
    TsDeviceManager devices;
    TsExperimentManager experiments(&devices);
    QTimer *tick = experiments.currentExperiment()->sampleTimer();
    ASSERT_TRUE(tick->isActive());
    QElapsedTimer clock;
    QList<qint64> at;
    QObject::connect(tick, &QTimer::timeout, [&] { at.append(clock.elapsed()); });
    clock.start();
    QSignalSpy errors(&web.manager, &TsWebInterfaceManager::webServerError);

    // nginx tries the taken port for 2.5 s before it gives up.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, web.manager.settings().httpPort));
    QTest::qWait(1100);
    web.manager.start();
    EXPECT_TRUE(web.manager.isStarting()) << "the start returned before nginx's answer";
    ASSERT_TRUE(errors.wait(10000));
    EXPECT_FALSE(web.manager.isRunning());
    EXPECT_TRUE(web.manager.errorString().contains("Address already in use"))
        << web.manager.errorString().toStdString();
    QTest::qWait(1100);
    ASSERT_GE(at.size(), 4);
    for (int i = 1; i < at.size(); ++i)
        EXPECT_LE(at[i] - at[i - 1], 1100) << "tick " << i;
}

TEST(WebInterfaceStartTest, AFolderWithADollarSignIsServedThroughALink)
{
    QScopedPointer<QTemporaryDir> data(readableTemporaryDir());
    ASSERT_TRUE(QDir(data->path()).mkdir("lab $HOME \"quoted\""));
    const QString parent = data->path() + "/lab $HOME \"quoted\"";
    QFile::setPermissions(parent, QFile::permissions(parent) | QFile::ReadOther | QFile::ExeOther);
    StandAlone web(parent);
    ASSERT_TRUE(web.copied);
    web.manager.start();
    ASSERT_TRUE(settled(web.manager));
    ASSERT_TRUE(web.manager.isRunning()) << web.manager.errorString().toStdString();
    EXPECT_EQ(web.get("/index.html"), 200);
    EXPECT_EQ(web.get("/ts/user.cgi"), 200);
    web.manager.stop();

    // Where nginx's own files would go, no link helps: the path is named.
    const bool hadTmpdir = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray previous = qgetenv("TMPDIR");
    qputenv("TMPDIR", parent.toLocal8Bit());
    web.manager.start();
    if (hadTmpdir)
        qputenv("TMPDIR", previous);
    else
        qunsetenv("TMPDIR");
    EXPECT_FALSE(web.manager.isRunning());
    EXPECT_TRUE(web.manager.errorString().contains("cannot take the path '" + parent))
        << web.manager.errorString().toStdString();
    EXPECT_TRUE(QDir(parent).entryList({"tessaro-web-*"}, QDir::Dirs).isEmpty());
}

TEST(WebInterfaceWatchTest, AKilledNginxIsRestartedThenGivenUp)
{
    QScopedPointer<QTemporaryDir> data(readableTemporaryDir());
    StandAlone web(data->path());
    ASSERT_TRUE(web.copied);
    web.manager.setRestartDelays({50, 50});
    QSignalSpy errors(&web.manager, &TsWebInterfaceManager::webServerError);
    QSignalSpy restarted(&web.manager, &TsWebInterfaceManager::webServerRestarted);
    web.manager.start();
    // Killed before the supervisor has seen it come up, nginx failed to start: no restart.
    ASSERT_TRUE(settled(web.manager));
    ASSERT_TRUE(web.manager.isRunning()) << web.manager.errorString().toStdString();
    QList<qint64> first;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (first = web.nginx()).size() >= 2; }, WaitMs));

    // The master killed outright: its worker would keep the port and the restart would fail.
    ::kill(pid_t(first.first()), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarted.count() == 1; }, WaitMs));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.at(0).at(0).toString().contains("ended unexpectedly"))
        << errors.at(0).at(0).toString().toStdString();
    EXPECT_TRUE(web.manager.isRunning());
    EXPECT_TRUE(web.manager.errorString().isEmpty());
    for (qint64 pid : first)
        EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, WaitMs)) << pid;
    EXPECT_EQ(web.get("/index.html"), 200);

    // Once more, and once after the last delay: given up, said so, and nothing left serving.
    QList<qint64> second;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (second = web.nginx()).size() >= 2; }, WaitMs));
    ::kill(pid_t(second.first()), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return restarted.count() == 2; }, WaitMs));
    QList<qint64> third;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (third = web.nginx()).size() >= 2; }, WaitMs));
    ::kill(pid_t(third.first()), SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web.manager.isRunning(); }, WaitMs));
    EXPECT_TRUE(web.manager.errorString().contains("given up"))
        << web.manager.errorString().toStdString();
    EXPECT_EQ(errors.last().at(0).toString(), web.manager.errorString());
    for (qint64 pid : third)
        EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(pid); }, WaitMs)) << pid;
    EXPECT_EQ(web.get("/index.html"), 0);
}

TEST(WebInterfaceWatchTest, StaleRuntimeFoldersGoAndAForeignPidFileIsNotTrusted)
{
    // A folder left by a program that no longer runs, and one of a program that still runs.
    QProcess gone;
    gone.start("/bin/sleep", {"30"});
    ASSERT_TRUE(gone.waitForStarted(WaitMs));
    const qint64 gonePid = gone.processId();
    gone.kill();
    ASSERT_TRUE(gone.waitForFinished(WaitMs));
    const auto makeFolder = [](qint64 owner) {
        QTemporaryDir folder(QDir::tempPath() + "/tessaro-web-XXXXXX");
        folder.setAutoRemove(false);
        QFile file(folder.path() + "/tessaro.pid");
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray::number(owner));
        return folder.path();
    };
    const QString stale = makeFolder(gonePid);
    const QString alive = makeFolder(QCoreApplication::applicationPid());

    QScopedPointer<QTemporaryDir> data(readableTemporaryDir());
    StandAlone web(data->path());
    ASSERT_TRUE(web.copied);
    web.manager.start();
    ASSERT_TRUE(settled(web.manager));
    ASSERT_TRUE(web.manager.isRunning());
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(alive));
    QDir(alive).removeRecursively();

    // nginx's pid file now names another process: "-s stop" would signal that one.
    QProcess bystander;
    bystander.start("/bin/sleep", {"30"});
    ASSERT_TRUE(bystander.waitForStarted(WaitMs));
    const QList<qint64> nginx = web.nginx();
    ASSERT_GE(nginx.size(), 2);
    QFile pidFile(web.manager.runtimeDir() + "/nginx.pid");
    ASSERT_TRUE(pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
    pidFile.write(QByteArray::number(bystander.processId()) + "\n");
    pidFile.close();
    web.manager.stop();
    for (qint64 pid : nginx)
        EXPECT_FALSE(processExists(pid)) << pid;
    EXPECT_EQ(bystander.state(), QProcess::Running);
    bystander.kill();
    bystander.waitForFinished(WaitMs);
}
