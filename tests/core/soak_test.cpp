// The whole program on the controller simulation for a simulated hour or day, with faults injected
// at random but seeded moments: 8 controllers of 8 channels, the recorder writing a row every
// tick, a dynamic experiment running, alerts armed and sent to a real SMTP server, and the web page
// polled through the real nginx. Ticks are driven, never waited for: the scan, the sampling tick
// and every clock the alarm, the recorder and the script read are the test's.
#include "device/devicetestsupport.h"
#include "mailer/smtptestserver.h"
#include "support/webtestsupport.h"
#include "testenvironment.h"

#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptaction.h"
#include "mailer/tsmailer.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "user/tsusersettings.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>

#include <unistd.h>

namespace {

using webtest::copyTree;
using webtest::freePort;

const bool simulationReady = (devicetest::simulation(), true);

constexpr int Controllers = 8;
constexpr int ChannelsEach = 8;
constexpr int Hour = 3600;     // ticks
constexpr int QuietTail = 300; // ticks at the end without new faults
constexpr int PollEvery = 60;  // ticks between two page requests
constexpr int WaitMs = 15000;

// Silent messages, counted: a day of debug lines kept in memory would be what grows.
struct MessageCounter
{
    static inline int warnings = 0;
    static inline int debugLines = 0;
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type == QtDebugMsg || type == QtInfoMsg) {
            ++debugLines;
        } else {
            // The first few tell what went on; the rest are counted.
            if (++warnings <= 20)
                std::fprintf(stderr, "soak: %s\n", qPrintable(text));
        }
    }
};

// Resident memory of this process in bytes.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

QString serialOf(int controller)
{
    return QStringLiteral("159S%1").arg(controller);
}

QString idOf(int controller, int channel)
{
    return serialOf(controller) + QLatin1Char(':') + QString::number(channel);
}

// Every channel reads its own raw value, 37.0 °C and up, with the setpoint on it.
int rawOf(int controller, int channel)
{
    return 370 + controller * ChannelsEach + channel - 1;
}

// The shipped model data plus a controller with eight heated channels.
QString writeDeviceSpec(const QString &folder)
{
    QFile builtIn(TsSpecParser::builtInPath());
    if (!builtIn.open(QIODevice::ReadOnly))
        return QString();
    QByteArray text = builtIn.readAll();
    QByteArray model = "<DeviceSpec name=\"Soak Unit S8\" id=\"usb@2E91/0009/159\" caps=\"\">"
                       "<Channels>";
    for (int channel = 1; channel <= ChannelsEach; ++channel)
        model += "<Channel number=\"" + QByteArray::number(channel) +
                 "\" scale=\"0.1\" unit=\"°C\" defaultSetpoint=\"37\" caps=\"\">"
                 "<StatusGreen delta=\"0.2\" timeIn=\"60\" timeOut=\"60\"/>"
                 "<StatusYellow delta=\"0.5\" timeIn=\"10\" timeOut=\"50\"/></Channel>";
    model += "</Channels></DeviceSpec>\n";
    text.replace("</DeviceSpecs>", model + "</DeviceSpecs>");
    const QString path = folder + QStringLiteral("/devicespec.xml");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        return QString();
    return path;
}

enum FaultKind
{
    Replug, // unplugged and plugged in again between two scans
    Unplug, // unplugged for a while
    Silent,
    Noise,
    Chunk,
    Corrupt,
    Refuse,
    FaultKinds
};

const char *const FaultNames[] = {"replug", "unplug",  "silent", "noise",
                                  "chunk",  "corrupt", "refuse"};

// Faults that take the channels' values away for a moment.
bool isLoss(FaultKind kind)
{
    return kind != Noise && kind != Chunk;
}

struct Fault
{
    FaultKind kind = Replug;
    int endTick = 0;
    std::string attributes; // of the controller element while it lasts
};

class Soak
{
public:
    explicit Soak(quint64 seed)
        : m_random(seed)
    {}

    // Runs `ticks` ticks; the memory is compared between tick `reference` and the end.
    void run(int ticks, int reference);

private:
    void setUp(int ticks);
    void writeSimulation();
    void injectFaults(int tick, int ticks);
    void endFaults(int tick);
    void pollPage(int tick);
    void checkEnd(int ticks);

    std::mt19937_64 m_random;
    std::map<int, Fault> m_faults; // by controller
    std::array<int, FaultKinds> m_faultCounts{};
    std::array<int, Controllers> m_losses{};
    int m_nextKind = 0;

    QTemporaryDir m_data;
    QScopedPointer<SmtpTestServer> m_smtp;
    QNetworkAccessManager m_network;
    QString m_base;
    qint64 m_nowMs = 0;
    QDateTime m_startWall = QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0));
    int m_actionsRun = 0;
    int m_polls = 0;
    int m_failedPolls = 0;
    QByteArray m_lastPage;
};

TsExperiment *experiment()
{
    return TsCore::experimentManager()->currentExperiment();
}

void Soak::writeSimulation()
{
    std::string text;
    for (int c = 0; c < Controllers; ++c) {
        std::string channels;
        for (int n = 1; n <= ChannelsEach; ++n) {
            const std::string raw = std::to_string(rawOf(c, n));
            channels += devicetest::channel(n, "Heater " + std::to_string(n),
                                            "actual=\"" + raw + "\" setpoint=\"" + raw + "\"");
        }
        const auto fault = m_faults.find(c);
        const std::string attributes = fault == m_faults.end() ? "" : fault->second.attributes;
        text += devicetest::controller(serialOf(c).toStdString(), "Soak Unit S8", "0009", channels,
                                       attributes);
    }
    devicetest::simulation().write(text);
}

void Soak::setUp(int ticks)
{
    ASSERT_TRUE(simulationReady);
    ASSERT_TRUE(m_data.isValid());
    writeSimulation();

    m_smtp.reset(new SmtpTestServer);
    ASSERT_TRUE(m_smtp->isReady()) << m_smtp->failure().toStdString();

    TsCore *core = TsCore::instance();
    // The program restores nothing here; its first scan and settings load come and go.
    QTest::qWait(200);
    TsDeviceManager *devices = TsCore::deviceManager();
    ASSERT_TRUE(devices->loadDeviceSpecs(writeDeviceSpec(m_data.path())).isSuccess());
    // Every device channel, also of a controller opened anew, is timed by the test's clock.
    QObject::connect(devices, &TsDeviceManager::newDevice, core, [this](TsDevice *device) {
        for (TsDeviceChannel *channel : device->channels())
            channel->stabilityMonitor().setClock([this] { return m_nowMs; });
    });
    devices->populateDevices();
    ASSERT_EQ(devices->devices().size(), Controllers);

    // A user with an address for the alert mail, a profile of all 64 channels (the alarm on for
    // channels 1 to 7, the script's channel 8 without) that records every second.
    const QString user = QStringLiteral("soak");
    ASSERT_TRUE(TsCore::makeUserFolders(user));
    TsUserSettings settings;
    settings.setName(user);
    settings.setEmail(QStringLiteral("soak@lab.example"));
    settings.setLogPath(TsCore::folderPath(TsCore::LogData, user));
    ASSERT_TRUE(settings.save(TsCore::userDataFile(user)).isSuccess());
    TsProfile profile;
    profile.setName(QStringLiteral("Soak"));
    profile.setValid(true);
    QList<TsProfile::Channel> channels;
    for (int c = 0; c < Controllers; ++c) {
        for (int n = 1; n <= ChannelsEach; ++n) {
            TsProfile::Channel channel;
            channel.id = idOf(c, n);
            channel.name = QStringLiteral("S%1 heater %2").arg(c).arg(n);
            channel.setpoint = rawOf(c, n) / 10.0;
            channel.control = true;
            channel.alert = n < ChannelsEach;
            channel.unit = QStringLiteral("°C");
            channels << channel;
        }
    }
    profile.setChannels(channels);
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(quint8(';'));
    csv.setPrintHeaderLine(true);
    csv.setDateTimeFormat(QStringLiteral("relative-time"));
    profile.setCsvSettings(csv);
    TsRecorderLogSettings log;
    log.setInterval(1000);
    profile.setLogSettings(log);
    profile.setLogFilePrefix(QStringLiteral("soak"));
    ASSERT_TRUE(profile.save(TsCore::profileFile(user, profile.name())).isSuccess());

    // A dynamic experiment that moves channel 8 of each controller between 36.0 and 36.5 °C
    // every ten minutes, its last action at the end of the run, so that it runs throughout.
    QByteArray script = "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
                        "<TsDynamicExperiment><ScriptActions>";
    for (int minute = 10; minute * 60 < ticks; minute += 10) {
        const int c = (minute / 10) % Controllers;
        script += "<ScriptAction type=\"setChannelValue\" time=\"" +
                  QByteArray::number(qint64(minute) * 60000) +
                  "\" active=\"1\"><ActionParameters>"
                  "<ActionParameter name=\"channel.id\" type=\"QString\" value=\"" +
                  idOf(c, ChannelsEach).toUtf8() +
                  "\"/><ActionParameter name=\"channel.value\" type=\"double\" value=\"" +
                  (minute % 20 ? "36.5" : "36.0") + "\"/></ActionParameters></ScriptAction>";
    }
    script += "<ScriptAction type=\"setChannelValue\" time=\"" +
              QByteArray::number(qint64(ticks) * 1000 - 500) +
              "\" active=\"1\"><ActionParameters><ActionParameter name=\"channel.id\" "
              "type=\"QString\" value=\"" +
              idOf(0, ChannelsEach).toUtf8() +
              "\"/><ActionParameter name=\"channel.value\" type=\"double\" value=\"36.0\"/>"
              "</ActionParameters></ScriptAction></ScriptActions></TsDynamicExperiment>\n";
    QFile scriptFile(TsCore::dynamicExpFile(user, QStringLiteral("Soak")));
    ASSERT_TRUE(scriptFile.open(QIODevice::WriteOnly));
    scriptFile.write(script);
    scriptFile.close();

    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser(user).isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile(profile.name()).isSuccess());
    ASSERT_TRUE(TsCore::setCurrentDynamicExp(QStringLiteral("Soak")).isSuccess());
    TsExperiment *run = experiment();
    ASSERT_NE(run, nullptr);
    ASSERT_EQ(run->channels().size(), Controllers * ChannelsEach);
    // The test is the sampling timer.
    run->stopSampling();
    run->recorder()->setClocks([this] { return m_nowMs; },
                               [this] { return m_startWall.addMSecs(m_nowMs); });
    run->script()->setClock([this] { return m_nowMs; });

    TsMailerManager *mailers = TsCore::mailerManager();
    TsMailerSettings mail = mailers->mailerSettings();
    mail.setSmtpServer(QStringLiteral("127.0.0.1"));
    mail.setSmtpPort(m_smtp->port());
    mail.setSenderEmail(QStringLiteral("scope@lab.example"));
    mailers->setMailerSettings(mail);
    mailers->setEmailAlert(true);

    // nginx's workers run as nobody under root: the pages must be readable by anyone.
    QFile::setPermissions(m_data.path(),
                          QFile::permissions(m_data.path()) | QFile::ReadOther | QFile::ExeOther);
    const QString web = m_data.path() + QStringLiteral("/webserver");
    ASSERT_TRUE(
        copyTree(QCoreApplication::applicationDirPath() + QStringLiteral("/webserver"), web));
    TsWebInterfaceManager *pages = TsCore::webInterfaceManager();
    pages->setWebServerDir(web);
    TsWebInterfaceSettings http = pages->settings();
    http.httpPort = freePort();
    http.fcgiPort = freePort();
    pages->setSettings(http);
    m_base = QStringLiteral("http://127.0.0.1:%1").arg(http.httpPort);
    pages->start();
    ASSERT_TRUE(pages->isRunning());
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            QNetworkReply *reply = m_network.get(QNetworkRequest(QUrl(m_base + "/index.html")));
            QTest::qWaitFor([reply] { return reply->isFinished(); }, WaitMs);
            reply->deleteLater();
            return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
        },
        WaitMs));

    // What the recorder view does at a start: the prefix as the levels give it.
    run->recorder()->setFilePrefix(
        TsCore::configManager()->logFilePrefix(TsConfigManager::TemporaryLevel));
    run->startRecorder();
    ASSERT_TRUE(run->recorder()->isRunning());
    QObject::connect(run->script(), &TsExperimentScript::actionExecuted, core,
                     [this] { ++m_actionsRun; });
    ASSERT_TRUE(run->startDynamic());
}

void Soak::injectFaults(int tick, int ticks)
{
    if (tick >= ticks - QuietTail)
        return;
    // About twelve an hour; the first seven go through every kind once.
    std::uniform_int_distribution<int> chance(0, 299);
    if (chance(m_random) != 0)
        return;
    std::uniform_int_distribution<int> pick(0, Controllers - 1);
    const int controller = pick(m_random);
    if (m_faults.count(controller))
        return;
    FaultKind kind;
    if (m_nextKind < FaultKinds) {
        kind = FaultKind(m_nextKind++);
    } else {
        kind = FaultKind(std::uniform_int_distribution<int>(0, FaultKinds - 1)(m_random));
    }
    const auto between = [this](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    };
    Fault fault;
    fault.kind = kind;
    switch (kind) {
    case Replug:
        fault.endTick = tick + 1;
        fault.attributes = "present=\"0\"";
        break;
    case Unplug:
        fault.endTick = tick + between(2, 90);
        fault.attributes = "present=\"0\"";
        break;
    case Silent:
        // Some longer than the thirty failed opens after which a new controller is given up.
        fault.endTick = tick + between(3, 120);
        fault.attributes = "silent=\"1\"";
        break;
    case Noise:
        fault.endTick = tick + between(10, 300);
        fault.attributes = "noise=\"" + std::to_string(between(1, 24)) + "\"";
        break;
    case Chunk:
        fault.endTick = tick + between(10, 300);
        fault.attributes = "chunk=\"" + std::to_string(between(1, 4)) + "\"";
        break;
    case Corrupt:
        fault.endTick = tick + between(3, 60);
        fault.attributes = "corrupt=\"1\"";
        break;
    case Refuse:
        fault.endTick = tick + between(10, 120);
        fault.attributes = between(0, 1) ? "refuse=\"81\"" : "refuse=\"81,83,85,87\"";
        break;
    default:
        return;
    }
    m_faults[controller] = fault;
    ++m_faultCounts[kind];
    if (isLoss(kind))
        ++m_losses[controller];
    writeSimulation();
}

void Soak::endFaults(int tick)
{
    bool changed = false;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (it->second.endTick <= tick) {
            it = m_faults.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (changed)
        writeSimulation();
}

void Soak::pollPage(int tick)
{
    QNetworkReply *reply =
        m_network.get(QNetworkRequest(QUrl(m_base + QStringLiteral("/ts/channels.cgi"))));
    const bool finished = QTest::qWaitFor([reply] { return reply->isFinished(); }, WaitMs);
    ++m_polls;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!finished || status != 200) {
        if (++m_failedPolls <= 5)
            std::fprintf(stderr, "soak: page request at tick %d: status %d %s\n", tick, status,
                         qPrintable(reply->errorString()));
    } else {
        m_lastPage = reply->readAll();
    }
    reply->deleteLater();
}

void Soak::run(int ticks, int reference)
{
    qInstallMessageHandler(&MessageCounter::handler);
    setUp(ticks);
    if (::testing::Test::HasFatalFailure())
        return;
    TsDeviceManager *devices = TsCore::deviceManager();
    TsExperiment *run = experiment();
    TsMailerManager *mailers = TsCore::mailerManager();
    int mailsHandedOn = 0;
    QObject::connect(mailers->mailer(), &TsMailer::sendStatus,
                     [&mailsHandedOn] { ++mailsHandedOn; });
    qint64 referenceBytes = 0;

    for (int tick = 0; tick < ticks; ++tick) {
        m_nowMs = qint64(tick) * 1000;
        // A fault that ends is over before the scan; one that starts comes after it, so that a
        // replug falls between two scans.
        endFaults(tick);
        devices->populateDevices();
        injectFaults(tick, ticks);
        run->sampleChannels();
        // The operator arms the alert again as soon as it went off: only the alarm logic may
        // keep one loss to one mail.
        if (!mailers->isEmailAlertOn())
            mailers->setEmailAlert(true);
        if (tick % PollEvery == 0)
            pollPage(tick);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        if (tick + 1 == reference)
            referenceBytes = residentBytes();
    }
    m_nowMs = qint64(ticks) * 1000;
    pollPage(ticks);
    const qint64 endBytes = residentBytes();

    // Everything that is present reads its true value again and says so on the page.
    EXPECT_TRUE(m_faults.empty());
    int wrong = 0;
    for (int c = 0; c < Controllers; ++c) {
        for (int n = 1; n <= ChannelsEach; ++n) {
            TsExperimentChannel *channel = run->channel(idOf(c, n));
            const QVariant value =
                channel ? channel->value(TsExperimentChannel::ActualValue) : QVariant();
            const double expected = rawOf(c, n) / 10.0;
            if (!value.isValid() || qAbs(value.toDouble() - expected) > 1e-9 ||
                channel->statusText() != QStringLiteral("OK")) {
                if (++wrong <= 5)
                    ADD_FAILURE() << qPrintable(idOf(c, n)) << " reads "
                                  << qPrintable(value.toString()) << " ("
                                  << qPrintable(channel ? channel->statusText() : QString())
                                  << ") instead of " << expected;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(m_failedPolls, 0) << "of " << m_polls << " page requests";
    EXPECT_EQ(m_lastPage.count("class=\"tile "), Controllers * ChannelsEach)
        << m_lastPage.left(300).constData();
    EXPECT_EQ(m_lastPage.count("<div class=\"statustext\">OK</div>"), Controllers * ChannelsEach)
        << "no tile offline or without an answer";
    EXPECT_TRUE(m_lastPage.contains(QString::fromUtf8("43.3°C").toUtf8()))
        << "the last channel's true value";
    // Every action that came due ran, also those whose channel was away at the time.
    EXPECT_TRUE(run->script()->isRunning());
    EXPECT_EQ(m_actionsRun, (ticks - 1) / 600);

    // One row a tick, each with every column, the time counting on without a gap.
    run->recorder()->stop();
    const QString csvName = run->recorder()->fileName();
    QFile csvFile(csvName);
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly | QIODevice::Text)) << qPrintable(csvName);
    QTextStream in(&csvFile);
    const QString header = in.readLine();
    const int fields = header.split(QLatin1Char(';')).size();
    EXPECT_EQ(fields, 1 + Controllers * ChannelsEach * 3 + 1) << "time, 3 values a channel";
    // A value in a column is that channel's own value or nothing: a shifted column would show
    // another channel's.
    QStringList expectedActual;
    for (int c = 0; c < Controllers; ++c) {
        for (int n = 1; n <= ChannelsEach; ++n)
            expectedActual << QLocale().toString(rawOf(c, n) / 10.0, 'f', 1);
    }
    int rows = 0;
    int badRows = 0;
    int rowsWithGaps = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const QStringList values = line.split(QLatin1Char(';'));
        bool good = values.size() == fields && values.first().toInt() == rows;
        for (int column = 0; good && column < expectedActual.size(); ++column) {
            const QString &actual = values.at(1 + column * 3);
            const QString &loop = values.at(3 + column * 3);
            good = (actual.isEmpty() || actual == expectedActual.at(column)) &&
                   (loop.isEmpty() || loop == QLatin1String("On"));
        }
        if (!good && ++badRows <= 5)
            ADD_FAILURE() << "row " << rows << ": " << qPrintable(line.left(160));
        if (values.contains(QString()) && values.indexOf(QString()) < fields - 1)
            ++rowsWithGaps;
        ++rows;
    }
    EXPECT_EQ(rows, ticks);
    EXPECT_EQ(badRows, 0);

    // At most one alert mail per loss, per controller.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(WaitMs));
    QCoreApplication::processEvents();
    const QList<ReceivedMail> mails = m_smtp->mails();
    std::array<int, Controllers> mailsPerController{};
    for (const ReceivedMail &mail : mails) {
        // A mail lists every channel still in alarm; the one it is about comes first.
        const int first = mail.body.indexOf(QLatin1String("Channel:"));
        const QString channelLine = mail.body.mid(first, mail.body.indexOf('\n', first) - first);
        for (int c = 0; c < Controllers; ++c) {
            if (channelLine.contains(QLatin1Char('(') + serialOf(c) + QLatin1Char(':')))
                ++mailsPerController[c];
        }
    }
    int losses = 0;
    for (int c = 0; c < Controllers; ++c) {
        losses += m_losses[c];
        EXPECT_LE(mailsPerController[c], m_losses[c]) << "controller " << c;
    }
    EXPECT_EQ(std::accumulate(mailsPerController.begin(), mailsPerController.end(), 0),
              mails.size())
        << "every mail names one channel of one controller";
    EXPECT_EQ(mails.size(), mailsHandedOn) << "every mail handed on arrived";
    EXPECT_GT(mails.size(), 0) << "the alarm works at all";

    const double growthMb = double(endBytes - referenceBytes) / (1024.0 * 1024.0);
    std::printf("soak: %d ticks, %d faults (", ticks,
                std::accumulate(m_faultCounts.begin(), m_faultCounts.end(), 0));
    for (int kind = 0; kind < FaultKinds; ++kind)
        std::printf("%s%s %d", kind ? ", " : "", FaultNames[kind], m_faultCounts[kind]);
    std::printf("), %d of them losses\n", losses);
    std::printf("soak: CSV %d rows for %d ticks, %d with missing values; %d alert mails\n", rows,
                ticks, rowsWithGaps, int(mails.size()));
    std::printf("soak: %d page requests, %d failed; %d warnings, %d debug lines\n", m_polls,
                m_failedPolls, MessageCounter::warnings, MessageCounter::debugLines);
    std::printf("soak: resident memory %.1f MB after tick %d, %.1f MB at the end (%+.2f MB)\n",
                referenceBytes / (1024.0 * 1024.0), reference, endBytes / (1024.0 * 1024.0),
                growthMb);
    EXPECT_LE(growthMb, 5.0);

    TsCore::webInterfaceManager()->stop();
}

} // namespace

// The hour runs in every suite; its memory is compared between ten minutes and the hour.
TEST(Soak, OneSimulatedHour)
{
    Soak(20261209).run(Hour, 600);
}

// Label "long": a simulated day, its memory compared between the first hour and the end.
TEST(Soak, OneSimulatedDay)
{
    Soak(20261209).run(24 * Hour, Hour);
}
