// The mailer manager on the controller simulation: its settings in the settings store, the alert
// switch, and the alert mail sent through the real sender to a real SMTP server on loopback.
#include "smtptestserver.h"

#include "experiment/experimenttestsupport.h"
#include "experiment/tsalarmmonitor.h"
#include "mailer/tsmailer.h"
#include "mailer/tsmailermanager.h"
#include "utils/simplecrypt.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

constexpr int SendTimeout = TsMailer::StartTimeout + TsMailer::FinishTimeout + 5000; // ms

class MailerManagerTest : public experimenttest::ExperimentFixture
{
protected:
    MailerManagerTest()
    {
        QSettings().remove(QStringLiteral("MailerSettings"));
        TsProfile p =
            profile({experimenttest::entry(stage, "Stage"), experimenttest::entry(lid, "Lid"),
                     experimenttest::entry(missing, "M")});
        EXPECT_TRUE(experiment->setProfile(p).isSuccess());
        for (const QString &id : {stage, lid})
            devices.channel(id)->stabilityMonitor().setClock(clock.function());
    }

    void tick(int stageRaw, int lidRaw, qint64 ms)
    {
        plug("actual=\"" + std::to_string(stageRaw) + "\"",
             "actual=\"" + std::to_string(lidRaw) + "\"");
        clock.now = ms;
        experiment->sampleChannels();
    }
    // Both channels green, then both red in the same tick (the shipped bands: 36.8..37.2 for 60 s).
    void bothChannelsLoseStability()
    {
        tick(370, 370, 0);
        tick(370, 370, 1000);
        tick(370, 370, 61000);
        tick(250, 250, 62000);
        tick(250, 250, 200000);
    }

    static TsMailerManager::AlertContext context(const QString &email)
    {
        return {QStringLiteral("ann"), email, QStringLiteral("Overnight HeLa"),
                QStringLiteral("http://scope-2.lab.example/"), QStringLiteral("scope-2")};
    }

    // Nothing handed to the mailer: no send task runs, no report is queued.
    static void expectNoSend(QSignalSpy &sent)
    {
        EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(SendTimeout));
        QCoreApplication::processEvents();
        EXPECT_EQ(sent.count(), 0);
    }

    devicetest::ManualClock clock;
};

} // namespace

TEST_F(MailerManagerTest, SettingsKeepTheirStoredNamesAndAScrambledPassword)
{
    {
        TsMailerManager fresh(nullptr);
        const TsMailerSettings settings = fresh.mailerSettings();
        EXPECT_EQ(settings.smtpServer(), "");
        EXPECT_EQ(settings.smtpPort(), 0);
        EXPECT_EQ(settings.encryption(), TsMailerSettings::NoEncryption);
        EXPECT_EQ(settings.mailerDir(), QCoreApplication::applicationDirPath() + "/mailer");
        EXPECT_EQ(fresh.mailer()->command().mid(1),
                  QStringList({"-smtp", "", "-port", "0", "-cs", "UTF-8"}));

        TsMailerSettings changed = settings;
        changed.setSmtpServer(QStringLiteral("smtp.lab.example"));
        changed.setSmtpPort(465);
        changed.setSmtpUser(QStringLiteral("ann"));
        changed.setSmtpPassword(QString::fromUtf8("pässwort"));
        changed.setEncryption(TsMailerSettings::Ssl);
        changed.setSenderName(QStringLiteral("Scope 2"));
        changed.setSenderEmail(QStringLiteral("scope2@lab.example"));
        fresh.setMailerSettings(changed);
        EXPECT_FALSE(QSettings().contains("MailerSettings/smptServer")) << "set is not save";
        fresh.saveSettings();
    }
    QSettings store;
    store.beginGroup(QStringLiteral("MailerSettings"));
    EXPECT_EQ(store.value("smptServer").toString(), "smtp.lab.example");
    EXPECT_EQ(store.value("smptPort").toInt(), 465);
    EXPECT_EQ(store.value("smptUser").toString(), "ann");
    EXPECT_EQ(store.value("smptEncryption").toInt(), 1);
    EXPECT_EQ(store.value("senderName").toString(), "Scope 2");
    EXPECT_EQ(store.value("senderEMail").toString(), "scope2@lab.example");
    const QString stored = store.value("smptPass").toString();
    EXPECT_FALSE(stored.contains(QString::fromUtf8("pässwort")));
    EXPECT_EQ(SimpleCrypt(TsMailerManager::PasswordKey).decryptToString(stored),
              QString::fromUtf8("pässwort"));
    store.endGroup();

    TsMailerManager reloaded(nullptr);
    EXPECT_EQ(reloaded.mailerSettings().smtpPassword(), QString::fromUtf8("pässwort"));
    EXPECT_EQ(reloaded.mailerSettings().senderEmail(), "scope2@lab.example");

    // A password scrambled with another key reads as none, with a warning.
    store.setValue("MailerSettings/smptPass", SimpleCrypt(42).encryptToString("other"));
    devicetest::MessageCapture messages;
    reloaded.loadSettings();
    EXPECT_EQ(reloaded.mailerSettings().smtpPassword(), "");
    EXPECT_EQ(messages.count("stored password cannot be read"), 1);
}

TEST_F(MailerManagerTest, AlertSwitchAnnouncesOnlyChanges)
{
    TsMailerManager mailers(&manager);
    QSignalSpy changed(&mailers, &TsMailerManager::emailAlertStatusChanged);
    EXPECT_FALSE(mailers.isEmailAlertOn()) << "off at every start";
    mailers.setEmailAlert(true);
    mailers.setEmailAlert(true);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_TRUE(changed.at(0).at(0).toBool());
    EXPECT_EQ(experiment->emailAlertSwitch(), &mailers) << "the experiment asks this switch";
    EXPECT_TRUE(experiment->emailAlertSwitch()->emailAlertStatus());
    experiment->emailAlertSwitch()->setEmailAlertStatus(false);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(MailerManagerTest, AlertMailTellsAboutTheFirstChannelAndListsEveryOneInAlarm)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailerManager mailers(&manager);
    TsMailerSettings settings = mailers.mailerSettings();
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    settings.setSmtpPort(server.port());
    settings.setSenderEmail(QStringLiteral("scope2@lab.example"));
    mailers.setMailerSettings(settings);
    mailers.setAlertContextProvider([] { return context(QStringLiteral("ann@lab.example")); });
    QSignalSpy alertChanged(&mailers, &TsMailerManager::emailAlertStatusChanged);
    QSignalSpy status(mailers.mailer(), &TsMailer::sendStatus);
    mailers.setEmailAlert(true);

    bothChannelsLoseStability();
    ASSERT_TRUE(status.count() == 1 || status.wait(SendTimeout));
    const TsMail mail = status.at(0).at(0).value<TsMail>();
    EXPECT_TRUE(mail.result().isSuccess()) << mail.result().toString().toStdString();
    EXPECT_FALSE(mailers.isEmailAlertOn()) << "the experiment switched the alert off";
    EXPECT_EQ(alertChanged.count(), 2);
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(SendTimeout));
    QCoreApplication::processEvents();
    EXPECT_EQ(status.count(), 1) << "one mail for two channels";
    EXPECT_EQ(mailers.alertMailsSent(), 1);
    EXPECT_EQ(mailers.alertMailsFailed(), 0);

    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    const ReceivedMail &received = mails.first();
    // For the record of a run: the mail as the server stored it.
    std::printf("Received alert mail:\n%s\n", received.raw.constData());
    EXPECT_EQ(received.header("to"), "ann@lab.example");
    EXPECT_EQ(received.header("subject"), "Tessaro alarm: a channel has lost its stable state");
    const TsExperimentChannel *first = experiment->channel(stage);
    for (const QString &expected :
         {QStringLiteral("Stage (") + stage + ")", QStringLiteral("Heat Unit H2 (") + serial + ")",
          QString::fromUtf8("Actual value:   25.0°C"), QString::fromUtf8("Setpoint:       37.0°C"),
          QString::fromUtf8("Unit:           °C"),
          // The channel's status as the experiment read it from the controller on the tick.
          QStringLiteral("Status:         OK"), QStringLiteral("ann <ann@lab.example>"),
          QStringLiteral("Profile:        Overnight HeLa"),
          QStringLiteral("http://scope-2.lab.example/ (server scope-2)"),
          QStringLiteral("Detected at:    ") + QDate::currentDate().toString(Qt::TextDate).left(3)})
        EXPECT_TRUE(received.body.contains(expected)) << expected.toStdString();
    EXPECT_EQ(first->valueText(TsExperimentChannel::ActualValue), QString::fromUtf8("25.0°C"));
    EXPECT_EQ(first->statusText(), "OK");
    EXPECT_TRUE(received.body.contains(QStringLiteral("- Lid (") + lid + "): left its stable band"))
        << "every channel in alarm is listed: " << received.body.toStdString();
    EXPECT_TRUE(received.body.contains("/ts/ack.cgi?token=" +
                                       experiment->alarmMonitor()->alarm(lid).token));
    EXPECT_TRUE(received.body.contains("E-mail alerts are now switched off"));
    EXPECT_FALSE(received.body.contains("%TS_")) << received.body.toStdString();
}

TEST_F(MailerManagerTest, AlertMailsAreCountedByOutcomeAndOtherMailsNotAtAll)
{
    TsMailerManager mailers(&manager);
    TsMailerSettings settings = mailers.mailerSettings();
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    // Nobody listens there: the sender fails to connect.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    settings.setSmtpPort(probe.serverPort());
    probe.close();
    settings.setSenderEmail(QStringLiteral("scope2@lab.example"));
    mailers.setMailerSettings(settings);
    mailers.setAlertContextProvider([] { return context(QStringLiteral("ann@lab.example")); });
    QSignalSpy status(mailers.mailer(), &TsMailer::sendStatus);

    // A mail of someone else's (the settings' test mail) goes through the same mailer.
    mailers.mailer()->sendAsync(TsMail(QStringLiteral("ann@lab.example"), QStringLiteral("Test")));
    ASSERT_TRUE(status.count() == 1 || status.wait(SendTimeout));
    mailers.setEmailAlert(true);
    bothChannelsLoseStability();
    ASSERT_TRUE(status.count() == 2 || status.wait(SendTimeout));
    EXPECT_FALSE(status.at(1).at(0).value<TsMail>().result().isSuccess());
    EXPECT_TRUE(QTest::qWaitFor([&] { return mailers.alertMailsFailed() == 1; }, SendTimeout));
    EXPECT_EQ(mailers.alertMailsSent(), 0);
}

TEST_F(MailerManagerTest, NoMailWhileOffOrWithoutRecipient)
{
    TsMailerManager mailers(&manager);
    QString email;
    mailers.setAlertContextProvider([&email] { return context(email); });
    QSignalSpy sent(mailers.mailer(), &TsMailer::sent);

    email = QStringLiteral("ann@lab.example");
    mailers.onChannelsInstable(experiment->channels()); // alert off
    mailers.setEmailAlert(true);
    mailers.onChannelsInstable({});
    expectNoSend(sent);

    email.clear();
    bothChannelsLoseStability();
    EXPECT_FALSE(mailers.isEmailAlertOn()) << "switched off by the experiment all the same";
    expectNoSend(sent);
}

TEST_F(MailerManagerTest, PlaceholdersAreFilledInTheBodyOnly)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::link(QCoreApplication::applicationDirPath() + "/mailer/tessaro-mailsender",
                            dir.filePath("tessaro-mailsender")));
    QFile tmpl(dir.filePath("Email Alert.tmpl"));
    ASSERT_TRUE(tmpl.open(QIODevice::WriteOnly));
    tmpl.write("  Alarm %TS_CHANNEL_NAME% \r\n\r\n  %TS_CHANNEL_NAME% on %TS_DEVICE_ID%: "
               "%TS_CHANNEL_NAME%, %TS_USER_EMAIL%  \r\n");
    tmpl.close();

    TsMailerManager mailers(&manager);
    mailers.setMailerDir(dir.path());
    TsMailerSettings settings = mailers.mailerSettings();
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    settings.setSmtpPort(server.port());
    settings.setSenderEmail(QStringLiteral("scope2@lab.example"));
    mailers.setMailerSettings(settings);
    mailers.setAlertContextProvider([] { return context(QStringLiteral("ann@lab.example")); });
    mailers.setEmailAlert(true);
    QSignalSpy sent(mailers.mailer(), &TsMailer::sent);

    mailers.onChannelsInstable({experiment->channel(lid), experiment->channel(stage)});
    ASSERT_TRUE(sent.count() == 1 || sent.wait(SendTimeout));
    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.first().header("subject"), "Alarm %TS_CHANNEL_NAME%");
    EXPECT_EQ(mails.first().body.trimmed(),
              QStringLiteral("Lid on %1: Lid, ann@lab.example").arg(serial));

    // Without a template there is nothing to send.
    ASSERT_TRUE(QFile::remove(tmpl.fileName()));
    sent.clear();
    mailers.onChannelsInstable(experiment->channels());
    expectNoSend(sent);
}
