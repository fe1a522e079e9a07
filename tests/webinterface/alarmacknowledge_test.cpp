// An alarm mail acknowledged from the phone: the link of a mail that reached a real SMTP server
// on loopback, fetched through the program's real nginx, stops the reminders; the link works once
// and a made-up one changes nothing. The page and /metrics show the alarm's state meanwhile.
#include "mailer/alarmusersupport.h"
#include "mailer/smtptestserver.h"
#include "support/webtestsupport.h"

#include "device/devicetestsupport.h"

#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "mailer/tsmailer.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "user/tsusersettings.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace {

const bool simulationReady = (devicetest::simulation(), true);
constexpr int SendTimeout = TsMailer::StartTimeout + TsMailer::FinishTimeout + 5000; // ms
constexpr int WaitMs = 10000;

void settleMails()
{
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(SendTimeout));
    QCoreApplication::processEvents();
}

} // namespace

TEST(AlarmAcknowledge, TheMailsLinkThroughNginxStopsTheRemindersOnce)
{
    ASSERT_TRUE(simulationReady);
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();

    const std::string serial = devicetest::freshHeatSerial();
    const QString stage = QString::fromStdString(serial) + ":1";
    const auto plug = [&](int raw) {
        devicetest::simulation().write(devicetest::heatUnit(
            serial, "", devicetest::channel(1, "Stage", "actual=\"" + std::to_string(raw) + "\"")));
    };
    plug(370);

    devicetest::ManualClock clock;
    ASSERT_TRUE(alarmtest::useAlarmUser("ann", "Night", "ann@lab.example", stage, clock));
    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    TsAlarmMonitor *alarms = experiment->alarmMonitor();
    alarms->setClock(clock.function());

    // The program's nginx on free ports, serving a copy of the installed pages.
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    QFile::setPermissions(data.path(),
                          QFile::permissions(data.path()) | QFile::ReadOther | QFile::ExeOther);
    ASSERT_TRUE(webtest::copyTree(QCoreApplication::applicationDirPath() + "/webserver",
                                  data.path() + "/webserver"));
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    web->setWebServerDir(data.path() + "/webserver");
    TsWebInterfaceSettings webSettings = web->settings();
    webSettings.httpPort = webtest::freePort();
    webSettings.fcgiPort = webtest::freePort();
    webSettings.publicUrl.clear(); // the host name and the port
    web->setSettings(webSettings);
    web->start();
    ASSERT_TRUE(web->isRunning()) << web->errorString().toStdString();
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(webSettings.httpPort);
    QNetworkAccessManager network;

    TsMailerManager *mailers = TsCore::mailerManager();
    TsMailerSettings settings = mailers->mailerSettings();
    settings.setSmtpServer("127.0.0.1");
    settings.setSmtpPort(server.port());
    settings.setSenderEmail("scope2@lab.example");
    settings.setNotifyMode(TsMailerSettings::NotifyUntilAcknowledged);
    settings.setReminderMinutes(30);
    mailers->setMailerSettings(settings);
    mailers->setEmailAlert(true);

    const auto tick = [&](int raw, qint64 ms) {
        plug(raw);
        clock.now = ms;
        experiment->sampleChannels();
    };
    for (const auto &t : QList<QPair<int, qint64>>{
             {370, 0}, {370, 1000}, {370, 61000}, {250, 62000}, {250, 200000}})
        tick(t.first, t.second);
    settleMails();
    ASSERT_EQ(server.mails().size(), 1);
    const QRegularExpressionMatch link =
        QRegularExpression("http://(\\S+)(/ts/ack\\.cgi\\?token=\\S+)")
            .match(server.mails().first().body);
    ASSERT_TRUE(link.hasMatch()) << server.mails().first().body.toStdString();
    EXPECT_EQ(link.captured(1),
              QSysInfo::machineHostName() + ":" + QString::number(webSettings.httpPort))
        << "no public address set: the host name and the HTTP port";

    const QRegularExpression unacknowledged(
        "tessaro_channel_alarm\\{[^}]*state=\"unacknowledged\"\\} 1");
    webtest::Reply metrics = webtest::get(network, base + "/metrics", WaitMs);
    EXPECT_TRUE(unacknowledged.match(QString::fromUtf8(metrics.body)).hasMatch())
        << metrics.body.toStdString();
    webtest::Reply page = webtest::get(network, base + "/ts/alarms.cgi", WaitMs);
    EXPECT_TRUE(page.body.contains("in alarm, unacknowledged")) << page.body.toStdString();
    EXPECT_FALSE(page.body.contains("<button")) << "the page acknowledges nothing itself";

    // A made-up token changes nothing.
    webtest::Reply wrong =
        webtest::get(network, base + "/ts/ack.cgi?token=" + QString(32, 'A'), WaitMs);
    EXPECT_EQ(wrong.status, 404);
    EXPECT_TRUE(wrong.body.contains("Nothing was changed"));
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Unacknowledged);

    // The phone opens the link: acknowledged, once.
    webtest::Reply ack = webtest::get(network, base + link.captured(2), WaitMs);
    EXPECT_EQ(ack.status, 200);
    EXPECT_TRUE(ack.body.contains("Alarm acknowledged")) << ack.body.toStdString();
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Acknowledged);
    webtest::Reply again = webtest::get(network, base + link.captured(2), WaitMs);
    EXPECT_EQ(again.status, 410);
    EXPECT_TRUE(again.body.contains("used already"));
    const TsAlarmJournal::Entry last = TsAlarmJournal::read(TsCore::alarmJournal()->path()).last();
    EXPECT_EQ(last.event, "acknowledged");
    EXPECT_EQ(last.who, "mail link 127.0.0.1");

    // No reminder at the interval, nor later.
    for (qint64 minutes = 30; minutes <= 90; minutes += 30)
        tick(250, 200000 + minutes * 60000);
    settleMails();
    EXPECT_EQ(server.mails().size(), 1);
    metrics = webtest::get(network, base + "/metrics", WaitMs);
    EXPECT_TRUE(QRegularExpression("tessaro_channel_alarm\\{[^}]*state=\"acknowledged\"\\} 1")
                    .match(QString::fromUtf8(metrics.body))
                    .hasMatch());
    page = webtest::get(network, base + "/ts/alarms.cgi", WaitMs);
    EXPECT_TRUE(page.body.contains("<td>mail link 127.0.0.1</td>"))
        << "the journal's lines: " << page.body.toStdString();
    web->stop();
}
