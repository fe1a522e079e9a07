// The mailer and the sender program against a real SMTP server on loopback; a stand-in sender
// script where the test must see the command line and the environment the program is given.
#include "fakesender.h"
#include "smtptestserver.h"

#include "device/devicetestsupport.h"
#include "mailer/tsmailer.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace {

constexpr int SendTimeout = TsMailer::StartTimeout + TsMailer::FinishTimeout + 5000; // ms

QString senderDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/mailer");
}

TsMailerSettings settingsFor(const SmtpTestServer &server)
{
    TsMailerSettings settings;
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    settings.setSmtpPort(server.port());
    settings.setSenderEmail(QStringLiteral("tessaro@lab.example"));
    settings.setSenderName(QString::fromUtf8("Inkubator Bühne 2"));
    settings.setMailerDir(senderDir());
    return settings;
}

// Sends on the thread pool and waits for the mailer to report.
TsMail send(TsMailer &mailer, const TsMail &mail)
{
    QSignalSpy status(&mailer, &TsMailer::sendStatus);
    QSignalSpy sent(&mailer, &TsMailer::sent);
    mailer.sendAsync(mail);
    EXPECT_TRUE(sent.count() == 1 || sent.wait(SendTimeout)) << "no report from the mailer";
    EXPECT_EQ(status.count(), 1);
    if (!status.isEmpty()) {
        EXPECT_EQ(status.at(0).at(0).value<TsMail>(), mail) << "the same record comes back";
    }
    return mail;
}

TsMailerSettings fullSettings(const QString &mailerDir)
{
    TsMailerSettings settings;
    settings.setSmtpServer(QStringLiteral("smtp.lab.example"));
    settings.setSmtpPort(587);
    settings.setSmtpUser(QStringLiteral("ann"));
    settings.setSmtpPassword(QStringLiteral("s3cret pass"));
    settings.setEncryption(TsMailerSettings::StartTls);
    settings.setSenderEmail(QStringLiteral("tessaro@lab.example"));
    settings.setSenderName(QStringLiteral("Tessaro"));
    settings.setMailerDir(mailerDir);
    return settings;
}

// One mail through the program in that folder, with full settings, in the calling thread.
QxResult sendSyncFrom(const QString &mailerDir)
{
    TsMailer mailer;
    mailer.setSettings(fullSettings(mailerDir));
    return TsMailer::sendSync(TsMail("a@lab.example", "s"), mailer.command(), false);
}

} // namespace

TEST(TsMailer, CommandFollowsTheSettings)
{
    TsMailer mailer;
    EXPECT_EQ(mailer.command().value(0), QString()) << "no folder, no program";
    mailer.setSettings(fullSettings(QStringLiteral("/opt/tessaro/mailer")));
    EXPECT_EQ(
        mailer.command(),
        QStringList({"/opt/tessaro/mailer/tessaro-mailsender", "-smtp", "smtp.lab.example", "-port",
                     "587", "-auth", "-user", "ann", "-pass", "s3cret pass", "-starttls", "-from",
                     "tessaro@lab.example", "-name", "Tessaro", "-cs", "UTF-8"}));

    TsMailerSettings bare;
    bare.setEncryption(TsMailerSettings::Ssl);
    bare.setMailerDir(QStringLiteral("/opt/tessaro/mailer"));
    mailer.setSettings(bare);
    EXPECT_EQ(mailer.command().mid(1),
              QStringList({"-smtp", "", "-port", "0", "-ssl", "-cs", "UTF-8"}));
    EXPECT_EQ(TsMailer::maskedArguments({"-user", "ann", "-pass", "x", "-pass"}),
              QStringList({"-user", "ann", "-pass", "******", "-pass"}));
}

TEST(TsMailer, MissingProgramFailsWithoutStartingAProcess)
{
    QTemporaryDir empty;
    TsMailer mailer;
    mailer.setSettings(fullSettings(empty.path()));
    devicetest::MessageCapture messages;
    for (const QStringList &command : {mailer.command(), QStringList()}) {
        const QxResult result = TsMailer::sendSync(TsMail("a@lab.example", "s"), command, false);
        EXPECT_EQ(result.code(), TsMailer::NotStarted);
        EXPECT_EQ(result.message(), "Invalid mailer settings");
    }
    EXPECT_EQ(messages.count("TsMailer: args:"), 0) << "stopped before building arguments";
}

TEST(TsMailer, ProgramThatCannotRunIsNotStarted)
{
    FakeSender fake;
    QFile program(fake.dir.filePath(QStringLiteral("tessaro-mailsender")));
    ASSERT_TRUE(program.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const QxResult result = sendSyncFrom(fake.dir.path());
    EXPECT_EQ(result.code(), TsMailer::NotStarted);
    EXPECT_EQ(result.message(), "Mailer not started correctly");
}

// The password must not show in the process list, nor in the log.
TEST(TsMailer, PasswordTravelsInTheEnvironment)
{
    FakeSender fake;
    TsMailer mailer;
    mailer.setSettings(fullSettings(fake.dir.path()));
    TsMail mail(QStringLiteral("a@lab.example"), QString());
    mail.setTo({"a@lab.example", "b@lab.example"});
    mail.setBody(QString::fromUtf8("Grüße\n.\nend"));

    devicetest::MessageCapture messages;
    const QxResult result = TsMailer::sendSync(mail, mailer.command(), false);
    EXPECT_TRUE(result.isSuccess()) << result.toString().toStdString();

    const QStringList args = fake.read("args").split('\n', Qt::SkipEmptyParts);
    EXPECT_FALSE(args.contains("s3cret pass"));
    EXPECT_FALSE(args.contains("-pass"));
    EXPECT_EQ(fake.read("password"), "s3cret pass");
    EXPECT_TRUE(args.contains("-auth") && args.contains("-starttls"));
    const int to = args.indexOf("-to");
    ASSERT_GE(to, 0);
    EXPECT_EQ(args.value(to + 1), "a@lab.example,b@lab.example");
    EXPECT_FALSE(args.contains("-sub")) << "an empty subject is left out";
    EXPECT_TRUE(args.last().endsWith(",text/plain,i"));
    EXPECT_EQ(fake.read("body"), QString::fromUtf8("Grüße\n.\nend")) << "UTF-8 as given";
    EXPECT_FALSE(QFile::exists(args.last().section(',', 0, 0))) << "message file removed";

    EXPECT_EQ(messages.count("-pass ******"), 1);
    EXPECT_EQ(messages.count("s3cret"), 0);
}

TEST(TsMailer, SilentSenderFailureStillHasAReason)
{
    FakeSender silent("exit 7");
    const QxResult result = sendSyncFrom(silent.dir.path());
    EXPECT_EQ(result.code(), TsMailer::SenderFailed);
    EXPECT_EQ(result.message(), "Mailer failed with exit code 7");
}

TEST(TsMailer, MailerDestroyedWhileSendingIsNoCrash)
{
    // The stand-in waits for the test to let it finish.
    FakeSender waiting("while [ ! -e \"$out/go\" ]; do sleep 0.02; done; exit 0");
    auto *mailer = new TsMailer;
    mailer->setSettings(fullSettings(waiting.dir.path()));
    mailer->sendAsync(TsMail("a@lab.example", "s"));
    delete mailer;
    QFile go(waiting.dir.filePath(QStringLiteral("go")));
    ASSERT_TRUE(go.open(QIODevice::WriteOnly));
    go.close();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(SendTimeout));
    QCoreApplication::processEvents();
}

TEST(TsMailer, DeliversThroughARealServer)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailer mailer;
    mailer.setSettings(settingsFor(server));

    TsMail mail(QStringLiteral("ann@lab.example"),
                QString::fromUtf8("Stufe 2: Temperatur außer Band — prüfen"));
    mail.setCc({QStringLiteral("bob@lab.example")});
    mail.setBcc({QStringLiteral("hidden@lab.example")});
    const QString body = QString::fromUtf8("Kanal: Bühne\n.\nA line that is much longer than "
                                           "seventy-six characters, so that it must be wrapped "
                                           "softly on its way.\nEnde");
    mail.setBody(body);
    send(mailer, mail);
    EXPECT_TRUE(mail.result().isSuccess()) << mail.result().toString().toStdString();
    EXPECT_TRUE(mail.sentTime().isValid());

    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    const ReceivedMail &received = mails.first();
    EXPECT_EQ(received.header("to"), "ann@lab.example");
    EXPECT_EQ(received.header("cc"), "bob@lab.example");
    EXPECT_FALSE(received.headers.contains("bcc")) << "blind copies stay blind";
    EXPECT_TRUE(received.header("x-rcptto").contains("hidden@lab.example"));
    EXPECT_EQ(received.header("subject"), mail.subject());
    EXPECT_EQ(received.header("from"),
              QString::fromUtf8("Inkubator Bühne 2 <tessaro@lab.example>"));
    EXPECT_TRUE(received.header("part-content-type").contains("text/plain; charset=UTF-8"));
    EXPECT_TRUE(received.header("part-content-disposition").startsWith("inline"));
    EXPECT_EQ(received.body.trimmed(), body);
}

TEST(TsMailer, AuthenticatesAndReportsARefusal)
{
    SmtpTestServer server({QStringLiteral("ann"), QStringLiteral("pa ss:wörd"), false, false, {}});
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailerSettings settings = settingsFor(server);
    settings.setSmtpUser(QStringLiteral("ann"));
    settings.setSmtpPassword(QString::fromUtf8("pa ss:wörd"));
    TsMailer mailer;
    mailer.setSettings(settings);
    const TsMail good = send(mailer, TsMail("ann@lab.example", "with password"));
    EXPECT_TRUE(good.result().isSuccess()) << good.result().toString().toStdString();

    settings.setSmtpPassword(QStringLiteral("wrong-Pw-17"));
    mailer.setSettings(settings);
    const TsMail refused = send(mailer, TsMail("ann@lab.example", "wrong password"));
    EXPECT_EQ(refused.result().code(), TsMailer::SenderFailed);
    EXPECT_TRUE(refused.result().message().contains("tessaro-mailsender: sending through"));
    EXPECT_TRUE(refused.result().message().contains("\"AUTH PLAIN"));
    EXPECT_TRUE(refused.result().message().contains("535"))
        << refused.result().message().toStdString();
    EXPECT_FALSE(refused.result().message().contains("wrong-Pw-17"));
    EXPECT_FALSE(refused.result().message().contains(
        QByteArray(QByteArray("\0ann\0", 5) + "wrong-Pw-17").toBase64()));

    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.first().header("subject"), "with password");
}

TEST(TsMailer, EncryptsWithTheSitesCertificate)
{
    const QString cert = SmtpTestServer::certificateFile();
    ASSERT_TRUE(QFile::exists(cert)) << "openssl could not make a certificate";
    for (const bool smtps : {false, true}) {
        SCOPED_TRACE(smtps ? "SMTPS" : "STARTTLS");
        SmtpTestServer server({QStringLiteral("ann"), QStringLiteral("pw"), !smtps, smtps, {}});
        ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
        TsMailerSettings settings = settingsFor(server);
        settings.setSmtpUser(QStringLiteral("ann"));
        settings.setSmtpPassword(QStringLiteral("pw"));
        settings.setEncryption(smtps ? TsMailerSettings::Ssl : TsMailerSettings::StartTls);
        TsMailer mailer;
        mailer.setSettings(settings);

        // Unknown to the system's authorities: refused, the password never sent.
        qunsetenv("TESSARO_MAILSENDER_CAFILE");
        const TsMail untrusted = send(mailer, TsMail("ann@lab.example", "untrusted"));
        EXPECT_EQ(untrusted.result().code(), TsMailer::SenderFailed);

        qputenv("TESSARO_MAILSENDER_CAFILE", cert.toLocal8Bit());
        const TsMail trusted = send(mailer, TsMail("ann@lab.example", "trusted"));
        qunsetenv("TESSARO_MAILSENDER_CAFILE");
        EXPECT_TRUE(trusted.result().isSuccess()) << trusted.result().toString().toStdString();
        const QList<ReceivedMail> mails = server.mails();
        ASSERT_EQ(mails.size(), 1);
        EXPECT_EQ(mails.first().header("subject"), "trusted");
    }
}

TEST(TsMailer, ServerDownGivesTheSendersReason)
{
    int port = 0;
    {
        SmtpTestServer server;
        ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
        port = server.port();
    }
    TsMailerSettings settings;
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    settings.setSmtpPort(port);
    settings.setSenderEmail(QStringLiteral("tessaro@lab.example"));
    settings.setMailerDir(senderDir());
    TsMailer mailer;
    mailer.setSettings(settings);
    const TsMail mail = send(mailer, TsMail("ann@lab.example", "nobody listens"));
    EXPECT_EQ(mail.result().code(), TsMailer::SenderFailed);
    EXPECT_TRUE(mail.result().message().startsWith("tessaro-mailsender: sending through"));
    EXPECT_TRUE(mail.result().message().contains("Couldn't connect"))
        << mail.result().message().toStdString();
}

TEST(TsMailer, RefusedRecipientIsAFailureWithTheServersWords)
{
    SmtpTestServer::Options options;
    options.refused << QStringLiteral("gone@lab.example");
    SmtpTestServer server(options);
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailer mailer;
    mailer.setSettings(settingsFor(server));
    for (const QStringList &to :
         {QStringList{"gone@lab.example"}, QStringList{"ann@lab.example", "gone@lab.example"}}) {
        SCOPED_TRACE(to.join(',').toStdString());
        TsMail mail(to.first(), QStringLiteral("refused"));
        mail.setTo(to);
        send(mailer, mail);
        EXPECT_EQ(mail.result().code(), TsMailer::SenderFailed);
        // Which address the server objected to, in its own words.
        EXPECT_TRUE(mail.result().message().contains(
            "\"RCPT TO:<gone@lab.example>\" with \"550 5.1.1 <gone@lab.example>: mailbox "
            "unavailable\""))
            << mail.result().message().toStdString();
    }
}

// Handed to the sender all the same, which says what is missing instead of sending to nobody.
TEST(TsMailer, MailWithoutRecipientsFailsInTheSendersWords)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailer mailer;
    mailer.setSettings(settingsFor(server));
    TsMail mail;
    mail.setSubject(QStringLiteral("nobody"));
    send(mailer, mail);
    EXPECT_EQ(mail.result().code(), TsMailer::SenderFailed);
    EXPECT_TRUE(mail.result().message().contains("no recipient given"))
        << mail.result().message().toStdString();
    EXPECT_TRUE(server.mails().isEmpty());
}

// The verbose trace is for finding out why a server refuses; it must not hand out the secret.
TEST(TsMailer, VerboseTraceShowsTheDialogueButNotTheSecret)
{
    const QString password = QStringLiteral("Geheim-42-pw");
    SmtpTestServer server({QStringLiteral("ann"), password, false, false, {}});
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailerSettings settings = settingsFor(server);
    settings.setSmtpUser(QStringLiteral("ann"));
    settings.setSmtpPassword(password);
    TsMailer mailer;
    mailer.setSettings(settings);

    devicetest::MessageCapture messages;
    const QxResult result =
        TsMailer::sendSync(TsMail("ann@lab.example", "traced"), mailer.command(), true);
    ASSERT_TRUE(result.isSuccess()) << result.toString().toStdString();
    EXPECT_EQ(messages.count("TsMailer: args:"), 1);
    EXPECT_EQ(messages.count(" -v "), 1) << "the flag is passed on";
    EXPECT_GE(messages.count("TsMailer: err: "), 1);
    EXPECT_GE(messages.count("AUTH"), 1) << "the trace shows the dialogue";
    EXPECT_GE(messages.count("TsMailer: out: "), 1);
    EXPECT_EQ(messages.count(password), 0);
    const QByteArray plain = QByteArray("\0ann\0", 5) + password.toUtf8();
    EXPECT_EQ(messages.count(QString::fromLatin1(plain.toBase64())), 0);
    EXPECT_EQ(messages.count(QString::fromLatin1(password.toUtf8().toBase64())), 0);
    ASSERT_EQ(server.mails().size(), 1);
}

TEST(TsMailer, LineBreaksCannotAddHeadersOrCommands)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailer mailer;
    mailer.setSettings(settingsFor(server));

    TsMail subject(QStringLiteral("ann@lab.example"),
                   QStringLiteral("Alarm\r\nBcc: eve@evil.example"));
    TsMail address(QStringLiteral("ann@lab.example>\r\nRCPT TO:<eve@evil.example"), "Alarm");
    for (const TsMail &mail : {subject, address}) {
        send(mailer, mail);
        EXPECT_EQ(mail.result().code(), TsMailer::SenderFailed);
        EXPECT_TRUE(mail.result().message().contains("nothing was sent"))
            << mail.result().message().toStdString();
    }
    EXPECT_TRUE(server.mails().isEmpty());
}
