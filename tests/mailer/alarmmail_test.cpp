// Alarm mails until somebody acknowledges them: reminders on the test's clock, the notice of a
// channel stable again, a refused mail retried and said, several recipients, and the one-shot
// mode as it always was; through the real sender to a real SMTP server on loopback.
#include "smtptestserver.h"

#include "experiment/experimenttestsupport.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "mailer/tsmailer.h"
#include "mailer/tsmailermanager.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace {

constexpr int SendTimeout = TsMailer::StartTimeout + TsMailer::FinishTimeout + 5000; // ms
constexpr qint64 Minute = 60000;

class AlarmMailTest : public experimenttest::ExperimentFixture
{
protected:
    AlarmMailTest()
    {
        QSettings().remove(QStringLiteral("MailerSettings"));
        EXPECT_TRUE(experiment
                        ->setProfile(profile({experimenttest::entry(stage, "Stage"),
                                              experimenttest::entry(lid, "Lid")}))
                        .isSuccess());
        for (const QString &id : {stage, lid})
            devices.channel(id)->stabilityMonitor().setClock(clock.function());
        experiment->alarmMonitor()->setClock(clock.function());
        EXPECT_TRUE(folder.isValid());
        journal.setPath(folder.path() + "/alarms.csv");
        experiment->alarmMonitor()->setJournal(&journal);
        mailers.setAlertContextProvider([this] {
            return TsMailerManager::AlertContext{"ann", recipients, "Overnight HeLa",
                                                 "http://scope-2.lab.example:8080/", "scope-2"};
        });
    }

    void useServer(const SmtpTestServer &server, int mode)
    {
        TsMailerSettings settings = mailers.mailerSettings();
        settings.setSmtpServer(QStringLiteral("127.0.0.1"));
        settings.setSmtpPort(server.port());
        settings.setSenderEmail(QStringLiteral("scope2@lab.example"));
        settings.setNotifyMode(mode);
        settings.setReminderMinutes(30);
        mailers.setMailerSettings(settings);
    }
    void tick(int stageRaw, qint64 ms)
    {
        plug("actual=\"" + std::to_string(stageRaw) + "\"", "actual=\"370\"");
        at(ms);
    }
    void at(qint64 ms)
    {
        clock.now = ms;
        experiment->sampleChannels();
    }
    // Green for the band's time, then the stage out of it: the stage's alarm at 200 s.
    void stageLosesStability()
    {
        tick(370, 0);
        tick(370, 1000);
        tick(370, 61000);
        tick(250, 62000);
        tick(250, 200000);
        ASSERT_EQ(experiment->alarmMonitor()->state(stage), TsAlarmState::Unacknowledged);
    }
    // Waits until every mail handed out has been reported back.
    void settleMails()
    {
        EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(SendTimeout));
        QCoreApplication::processEvents();
    }
    QStringList subjects(const SmtpTestServer &server) const
    {
        QStringList list;
        for (const ReceivedMail &mail : server.mails())
            list << mail.header("to") + ": " + mail.header("subject");
        list.sort();
        return list;
    }
    QStringList journalEvents() const
    {
        QStringList list;
        for (const TsAlarmJournal::Entry &entry : TsAlarmJournal::read(journal.path()))
            list << entry.event;
        return list;
    }

    devicetest::ManualClock clock;
    QTemporaryDir folder;
    TsAlarmJournal journal;
    QString recipients = QStringLiteral("ann@lab.example");
    TsMailerManager mailers{&manager};
};

const QString Alarm = QStringLiteral("Tessaro alarm: a channel has lost its stable state");

TEST_F(AlarmMailTest, UntilAcknowledgedRemindsThenStopsAndSaysWhenStableAgain)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    useServer(server, TsMailerSettings::NotifyUntilAcknowledged);
    recipients = QStringLiteral("ann@lab.example; bob@cellbio.science");
    mailers.setEmailAlert(true);

    stageLosesStability();
    settleMails();
    EXPECT_TRUE(mailers.isEmailAlertOn()) << "stays armed";
    EXPECT_EQ(subjects(server),
              QStringList({"ann@lab.example: " + Alarm, "bob@cellbio.science: " + Alarm}));
    const QString body = server.mails().first().body;
    EXPECT_TRUE(body.contains("Reminders follow every 30 minutes")) << body.toStdString();
    EXPECT_TRUE(body.contains("ack.cgi?token=" + experiment->alarmMonitor()->alarm(stage).token));

    // Nothing before the interval, one reminder to each at it.
    tick(250, 200000 + 29 * Minute);
    settleMails();
    EXPECT_EQ(server.mails().size(), 2);
    tick(250, 200000 + 30 * Minute);
    settleMails();
    ASSERT_EQ(server.mails().size(), 4);
    EXPECT_EQ(subjects(server).filter("Reminder: " + Alarm).size(), 2);

    // Acknowledged at the desktop: no more reminders, however long it stays red.
    ASSERT_TRUE(experiment->alarmMonitor()->acknowledge(stage, "ann"));
    for (int minutes = 31; minutes <= 120; minutes += 30)
        tick(250, 200000 + minutes * Minute);
    settleMails();
    EXPECT_EQ(server.mails().size(), 4);

    // Stable again: a notice to each.
    for (qint64 ms = 200000 + 121 * Minute; ms <= 200000 + 123 * Minute; ms += 1000)
        tick(370, ms);
    settleMails();
    EXPECT_EQ(experiment->alarmMonitor()->state(stage), TsAlarmState::Normal);
    ASSERT_EQ(server.mails().size(), 6);
    EXPECT_EQ(subjects(server).filter("Tessaro: Stage stable again").size(), 2);
    EXPECT_FALSE(server.mails().last().body.contains("still to be acknowledged"))
        << "it was acknowledged before";
    EXPECT_EQ(journalEvents(),
              QStringList({"alarm", "mail sent", "mail sent", "reminder", "reminder", "mail sent",
                           "mail sent", "acknowledged", "returned to normal", "recovery notice",
                           "recovery notice", "mail sent", "mail sent"}));
}

TEST_F(AlarmMailTest, AnExcursionOverBeforeAnybodySawItIsRemindedOfAsReturned)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    useServer(server, TsMailerSettings::NotifyUntilAcknowledged);
    mailers.setEmailAlert(true);
    stageLosesStability();
    settleMails();
    TsAlarmMonitor *alarms = experiment->alarmMonitor();
    qint64 ms = 201000;
    while (alarms->state(stage) == TsAlarmState::Unacknowledged && ms < 400000)
        tick(370, ms += 1000);
    ASSERT_EQ(alarms->state(stage), TsAlarmState::ReturnedUnacknowledged);
    settleMails();
    ASSERT_EQ(server.mails().size(), 2) << "the alarm and the notice";
    EXPECT_TRUE(server.mails().last().body.contains("still to be acknowledged"));

    // Every 30 minutes from the notice on: the channel is back, since when, and the link.
    const TsAlarm alarm = alarms->alarm(stage);
    const auto shown = [](const QDateTime &time) { return time.toString("yyyy-MM-dd HH:mm:ss"); };
    const QString times = QString("alarm at %1 (left its stable band), back to normal at %2")
                              .arg(shown(alarm.raisedAt), shown(alarm.returnedAt));
    for (int reminder = 1; reminder <= 2; ++reminder) {
        tick(370, ms + reminder * 30 * Minute - 1000);
        settleMails();
        ASSERT_EQ(server.mails().size(), reminder + 1) << "not before the interval";
        tick(370, ms + reminder * 30 * Minute);
        settleMails();
        ASSERT_EQ(server.mails().size(), reminder + 2);
        const ReceivedMail mail = server.mails().last();
        EXPECT_EQ(mail.header("subject"),
                  "Reminder: Tessaro: Stage returned to normal, not acknowledged");
        EXPECT_TRUE(mail.body.contains(times)) << mail.body.toStdString();
        EXPECT_TRUE(mail.body.contains("ack.cgi?token=" + alarm.token));
    }

    // Acknowledged with the mail's link: nothing more.
    EXPECT_EQ(alarms->acknowledgeByToken(alarm.token, "mail link 10.0.0.7"),
              TsAlarmMonitor::TokenAcknowledged);
    for (int minutes = 61; minutes <= 180; minutes += 30)
        tick(370, ms + minutes * Minute);
    settleMails();
    EXPECT_EQ(server.mails().size(), 4);
    EXPECT_EQ(journalEvents().filter("reminder").size(), 2);
}

TEST_F(AlarmMailTest, TheStoredControllerLostTimeDecidesWhenALossIsAnAlarm)
{
    QSettings().setValue("MailerSettings/controllerLostSeconds", 90);
    TsMailerManager started(&manager); // reads the store as the program does when it starts
    QSettings().remove("MailerSettings");
    started.setEmailAlert(true);
    QSignalSpy raised(experiment, &TsExperiment::channelsInstable);
    tick(370, 0);
    unplug();
    devices.populateDevices();
    at(63000);
    at(63000 + 89000);
    EXPECT_EQ(raised.count(), 0) << "89 s away, thrice the default time";
    at(63000 + 90000);
    EXPECT_EQ(raised.count(), 1);
    const TsAlarm alarm = experiment->alarmMonitor()->alarm(stage);
    EXPECT_TRUE(alarm.causeText.contains("more than 90 s")) << alarm.causeText.toStdString();

    // Saved from the dialog: taken at once.
    TsMailerSettings saved = started.mailerSettings();
    saved.setControllerLostSeconds(600);
    started.setMailerSettings(saved);
    EXPECT_EQ(experiment->alarmMonitor()->controllerLostTime(), 600000);
}

TEST_F(AlarmMailTest, ARefusedMailIsRetriedAndSaidUntilItGoes)
{
    SmtpTestServer::Options refusing;
    refusing.refused = QStringList({"ann@lab.example"});
    SmtpTestServer refuser(refusing);
    ASSERT_TRUE(refuser.isReady()) << refuser.failure().toStdString();
    useServer(refuser, TsMailerSettings::NotifyOnce);
    mailers.setEmailAlert(true);

    stageLosesStability();
    settleMails();
    EXPECT_FALSE(mailers.isEmailAlertOn()) << "once: the switch goes off";
    EXPECT_EQ(mailers.mailsAwaitingRetry(), 1);
    const QString failure = experiment->alarmMonitor()->mailFailure();
    EXPECT_TRUE(failure.startsWith("Alert mail not sent: ")) << failure.toStdString();
    EXPECT_TRUE(failure.contains("550")) << "the server's words: " << failure.toStdString();
    EXPECT_EQ(failure, mailers.mailFailure());

    // Retried after 1 and 2 more minutes, still refused; then the server takes it.
    tick(250, 200000 + Minute - 1000);
    settleMails();
    EXPECT_EQ(journalEvents().filter("mail failed").size(), 1) << "not before a minute";
    tick(250, 200000 + Minute);
    settleMails();
    EXPECT_EQ(journalEvents().filter("mail failed").size(), 2);
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    useServer(server, TsMailerSettings::NotifyOnce);
    tick(250, 200000 + 3 * Minute - 1000);
    settleMails();
    EXPECT_TRUE(server.mails().isEmpty()) << "the second wait is two minutes";
    tick(250, 200000 + 3 * Minute);
    settleMails();
    ASSERT_EQ(server.mails().size(), 1);
    EXPECT_EQ(server.mails().first().header("subject"), Alarm);
    EXPECT_TRUE(experiment->alarmMonitor()->mailFailure().isEmpty());
    EXPECT_EQ(mailers.mailsAwaitingRetry(), 0);
    tick(250, 200000 + 60 * Minute);
    settleMails();
    EXPECT_EQ(server.mails().size(), 1) << "once mode: no reminders";
}

TEST_F(AlarmMailTest, AcknowledgingStopsTheRetries)
{
    SmtpTestServer::Options refusing;
    refusing.refused = QStringList({"ann@lab.example"});
    SmtpTestServer refuser(refusing);
    ASSERT_TRUE(refuser.isReady()) << refuser.failure().toStdString();
    useServer(refuser, TsMailerSettings::NotifyUntilAcknowledged);
    mailers.setEmailAlert(true);
    stageLosesStability();
    settleMails();
    ASSERT_EQ(mailers.mailsAwaitingRetry(), 1);
    EXPECT_EQ(experiment->alarmMonitor()->acknowledgeAll("ann"), 1);
    EXPECT_EQ(mailers.mailsAwaitingRetry(), 0);
    EXPECT_TRUE(experiment->alarmMonitor()->mailFailure().isEmpty());
    tick(250, 200000 + 20 * Minute);
    settleMails();
    EXPECT_EQ(journalEvents().filter("mail failed").size(), 1);
}

TEST_F(AlarmMailTest, OnceSendsOneMailAndSwitchesOff)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    useServer(server, TsMailerSettings::NotifyOnce);
    QSignalSpy alertChanged(&mailers, &TsMailerManager::emailAlertStatusChanged);
    mailers.setEmailAlert(true);
    stageLosesStability();
    settleMails();
    EXPECT_FALSE(mailers.isEmailAlertOn());
    EXPECT_EQ(alertChanged.count(), 2);
    for (qint64 ms = 201000; ms <= 200000 + 90 * Minute; ms += 10 * Minute)
        tick(ms > 300000 ? 370 : 250, ms);
    settleMails();
    EXPECT_EQ(subjects(server), QStringList({"ann@lab.example: " + Alarm}))
        << "no reminder, no notice";
}

} // namespace
