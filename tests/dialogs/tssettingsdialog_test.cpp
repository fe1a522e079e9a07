// The settings dialog and its mail page as an operator drives them: keys and clicks on the real
// managers, the real nginx on free loopback ports, mail to a real SMTP server on loopback, and
// the alert mail that must still go out after the dialog was accepted.
#include "dialogtestsupport.h"
#include "mailer/smtptestserver.h"
#include "support/webtestsupport.h"
#include "viewtestsupport.h"

#include "dialogs/tsinputdialog.h"
#include "dialogs/tsmailersettingsdialog.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tssettingsdialog.h"
#include "experiment/tsexperiment.h"
#include "mailer/tsmailer.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "user/tsusersettings.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace {

using webtest::copyTree;
using webtest::freePort;

constexpr int SendTimeout = TsMailer::StartTimeout + TsMailer::FinishTimeout + 5000; // ms
constexpr int WaitMs = 10000;

// Replaces the field's text as typed: select all, then the keys; no Return, which would press the
// dialog's default button.
void typeOver(QWidget *field, const QString &text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

void click(QWidget *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

QString mailerDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/mailer");
}

int httpStatus(const QString &url)
{
    QNetworkAccessManager network;
    const webtest::Reply reply = webtest::get(network, url, 2000);
    return reply.finished ? reply.status : 0;
}

// A dialog on managers of its own, the web server's files in a folder nginx's workers can read.
class SettingsDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings().remove(QStringLiteral("WebInterface"));
        QSettings().remove(QStringLiteral("MailerSettings"));
        ASSERT_TRUE(data.isValid());
        QFile::setPermissions(data.path(),
                              QFile::permissions(data.path()) | QFile::ReadOther | QFile::ExeOther);
        ASSERT_TRUE(copyTree(QCoreApplication::applicationDirPath() + "/webserver",
                             data.path() + "/webserver"));
        web.reset(new TsWebInterfaceManager);
        web->setWebServerDir(data.path() + "/webserver");
        TsWebInterfaceSettings settings = web->settings();
        settings.httpPort = freePort();
        settings.fcgiPort = freePort();
        web->setSettings(settings);
        mailers.reset(new TsMailerManager(nullptr));
        mailers->setMailerDir(mailerDir());
    }

    void TearDown() override
    {
        dialog.reset();
        web.reset();
        mailers.reset();
    }

    TsSettingsDialog *open()
    {
        dialog.reset(new TsSettingsDialog(web.data(), mailers.data()));
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.data()));
        return dialog.data();
    }

    QWidget *field(const char *name) { return child<QWidget>(*dialog, name); }

    QTemporaryDir data;
    QScopedPointer<TsWebInterfaceManager> web;
    QScopedPointer<TsMailerManager> mailers;
    QScopedPointer<TsSettingsDialog> dialog;
    AnsweringDialogs answering;
};

const char *const WebFields[] = {"lineEditServerName", "spinBoxHttpPort", "spinBoxFcgiPort",
                                 "lineEditPublicUrl", "checkBoxAutoStart"};

} // namespace

TEST_F(SettingsDialogTest, FormShowsTheManagersSettingsAndTwoTabs)
{
    TsWebInterfaceSettings settings = web->settings();
    settings.autoStart = true;
    settings.publicUrl = QStringLiteral("http://scope-2.lab.example/");
    web->setSettings(settings);
    TsMailerSettings mail = mailers->mailerSettings();
    mail.setSmtpServer(QStringLiteral("smtp.lab.example"));
    mail.setSmtpPort(587);
    mail.setEncryption(TsMailerSettings::StartTls);
    mailers->setMailerSettings(mail);

    open();
    EXPECT_EQ(dialog->windowTitle(), "Settings");
    auto *tabs = child<QTabWidget>(*dialog, "tabWidget");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Web-Server");
    EXPECT_EQ(tabs->tabText(1), "Email");
    EXPECT_EQ(tabs->widget(1), dialog->mailerPage());
    EXPECT_FALSE(dialog->mailerPage()->isWindow());
    // Never set in this run: the preset stands.
    EXPECT_EQ(child<QLineEdit>(*dialog, "lineEditServerName")->text(), "localhost");
    EXPECT_EQ(child<QSpinBox>(*dialog, "spinBoxHttpPort")->value(), settings.httpPort);
    EXPECT_EQ(child<QSpinBox>(*dialog, "spinBoxFcgiPort")->value(), settings.fcgiPort);
    EXPECT_EQ(child<QLineEdit>(*dialog, "lineEditPublicUrl")->text(),
              "http://scope-2.lab.example/");
    EXPECT_TRUE(child<QCheckBox>(*dialog, "checkBoxAutoStart")->isChecked());
    EXPECT_EQ(child<QLineEdit>(*dialog->mailerPage(), "lineEditSmtpServer")->text(),
              "smtp.lab.example");
    EXPECT_EQ(child<QComboBox>(*dialog->mailerPage(), "comboBoxEncryption")->currentText(), "TLS");
    EXPECT_EQ(child<QSpinBox>(*dialog->mailerPage(), "spinBoxSmtpPort")->value(), 587);
}

TEST_F(SettingsDialogTest, OkStoresTrimmedTextsAndKeepsWhatTheFormDoesNotShow)
{
    TsMailerSettings before = mailers->mailerSettings();
    ASSERT_EQ(before.mailerDir(), mailerDir());
    open();
    typeOver(field("lineEditServerName"), QStringLiteral("  scope-2  "));
    typeOver(field("lineEditPublicUrl"), QStringLiteral(" http://scope-2.lab.example:8080/ "));
    click(field("checkBoxAutoStart"));
    QWidget *page = dialog->mailerPage();
    typeOver(child<QWidget>(*page, "lineEditSmtpServer"), QStringLiteral(" smtp.lab.example "));
    typeOver(child<QWidget>(*page, "lineEditSenderEmail"), QStringLiteral("scope2@lab.example"));
    typeOver(child<QWidget>(*page, "lineEditSmtpUser"), QStringLiteral("ann"));
    typeOver(child<QWidget>(*page, "lineEditSmtpPassword"), QStringLiteral(" pass word "));
    click(child<QDialogButtonBox>(*dialog, "buttonBox")->button(QDialogButtonBox::Ok));

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    const TsWebInterfaceSettings settings = web->settings();
    EXPECT_EQ(settings.serverName, "scope-2");
    EXPECT_EQ(settings.publicUrl, "http://scope-2.lab.example:8080/");
    EXPECT_TRUE(settings.autoStart);
    QSettings store;
    EXPECT_EQ(store.value("WebInterface/publicUrl").toString(), "http://scope-2.lab.example:8080/");
    EXPECT_TRUE(store.value("WebInterface/autoStart").toBool());

    const TsMailerSettings mail = mailers->mailerSettings();
    EXPECT_EQ(mail.smtpServer(), "smtp.lab.example");
    EXPECT_EQ(mail.smtpUser(), "ann");
    EXPECT_EQ(mail.smtpPassword(), " pass word ") << "blanks may belong to a password";
    EXPECT_EQ(mail.mailerDir(), mailerDir()) << "without it no alert mail can be sent";
    EXPECT_EQ(store.value("MailerSettings/smptServer").toString(), "smtp.lab.example");
    EXPECT_EQ(store.value("MailerSettings/senderEMail").toString(), "scope2@lab.example");
    EXPECT_EQ(store.value("MailerSettings/smptPort").toInt(), 25);
    EXPECT_NE(store.value("MailerSettings/smptPass").toString(), " pass word ") << "scrambled";
    TsMailerManager reloaded(nullptr);
    EXPECT_EQ(reloaded.mailerSettings().smtpPassword(), " pass word ");
}

TEST_F(SettingsDialogTest, CancelAndEscapeOnTheMailPageChangeNothing)
{
    const TsMailerSettings before = mailers->mailerSettings();
    open();
    auto *tabs = child<QTabWidget>(*dialog, "tabWidget");
    tabs->setCurrentIndex(1);
    QWidget *server = child<QWidget>(*dialog->mailerPage(), "lineEditSmtpServer");
    typeOver(server, QStringLiteral("smtp.other.example"));
    // Escape belongs to the settings dialog; the page itself must not close.
    QTest::keyClick(server, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->mailerPage()->isHidden());
    EXPECT_EQ(mailers->mailerSettings(), before);
    EXPECT_FALSE(QSettings().contains("MailerSettings/smptServer"));
}

TEST_F(SettingsDialogTest, BothServersCannotShareAPort)
{
    open();
    auto *http = child<QSpinBox>(*dialog, "spinBoxHttpPort");
    auto *fcgi = child<QSpinBox>(*dialog, "spinBoxFcgiPort");
    QPushButton *ok = child<QDialogButtonBox>(*dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    const quint16 stored = web->settings().fcgiPort;
    typeOver(fcgi, QString::number(http->value()));
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(field("pushButtonStart")->isEnabled());
    EXPECT_TRUE(child<QLabel>(*dialog, "labelWebServerStatus")->text().contains("differ"));
    // Return in a field would accept the dialog through its default button.
    QTest::keyClick(fcgi, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(web->settings().fcgiPort, stored);
    typeOver(fcgi, QString::number(http->value() + 1));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(field("pushButtonStart")->isEnabled());
}

TEST_F(SettingsDialogTest, StartStoresTheShownPortsFirstAndLocksThemWhileRunning)
{
    open();
    for (const char *name : WebFields)
        EXPECT_TRUE(field(name)->isEnabled()) << name;
    EXPECT_TRUE(field("pushButtonStart")->isEnabled());
    EXPECT_FALSE(field("pushButtonStop")->isEnabled());

    const quint16 http = freePort();
    quint16 fcgi = freePort();
    while (fcgi == http)
        fcgi = freePort();
    typeOver(field("spinBoxHttpPort"), QString::number(http));
    typeOver(field("spinBoxFcgiPort"), QString::number(fcgi));
    click(field("pushButtonStart"));
    // The start returns at once; nginx's answer comes on the event loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web->isStarting(); }, WaitMs));

    ASSERT_TRUE(web->isRunning());
    EXPECT_EQ(web->settings().httpPort, http);
    EXPECT_EQ(web->settings().fcgiPort, fcgi);
    EXPECT_EQ(QSettings().value("WebInterface/httpPort").toInt(), http);
    EXPECT_TRUE(QTest::qWaitFor(
        [http] { return httpStatus(QStringLiteral("http://127.0.0.1:%1/").arg(http)) == 200; },
        WaitMs))
        << "nginx answers on the port typed";
    for (const char *name : WebFields)
        EXPECT_FALSE(field(name)->isEnabled()) << name;
    EXPECT_FALSE(field("pushButtonStart")->isEnabled());
    EXPECT_TRUE(field("pushButtonStop")->isEnabled());
    EXPECT_TRUE(
        child<QLabel>(*dialog, "labelWebServerStatus")->text().contains(QString::number(http)));

    click(field("pushButtonStop"));
    EXPECT_FALSE(web->isRunning());
    for (const char *name : WebFields)
        EXPECT_TRUE(field(name)->isEnabled()) << name;
    EXPECT_TRUE(field("pushButtonStart")->isEnabled());
    EXPECT_FALSE(field("pushButtonStop")->isEnabled());
}

TEST_F(SettingsDialogTest, AFailedStartIsShownAndLeavesTheFieldsEditable)
{
    web->setWebServerDir(data.path() + "/no-webserver-here");
    open();
    click(field("pushButtonStart"));
    EXPECT_FALSE(web->isRunning());
    EXPECT_TRUE(field("pushButtonStart")->isEnabled());
    EXPECT_TRUE(field("spinBoxHttpPort")->isEnabled());
    const QString status = child<QLabel>(*dialog, "labelWebServerStatus")->text();
    EXPECT_TRUE(status.startsWith("The web page is not available: ") && status.size() > 32)
        << qPrintable(status);
}

TEST_F(SettingsDialogTest, ATakenPortIsShownInNginxsOwnWords)
{
    open();
    const quint16 http = freePort();
    QTcpServer other; // another program on the HTTP port
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, http));
    typeOver(field("spinBoxHttpPort"), QString::number(http));
    click(field("pushButtonStart"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !web->isStarting(); }, WaitMs));
    EXPECT_FALSE(web->isRunning());
    const QString status = child<QLabel>(*dialog, "labelWebServerStatus")->text();
    EXPECT_TRUE(status.startsWith("The web page is not available: ")) << qPrintable(status);
    EXPECT_TRUE(status.contains("Address already in use")) << qPrintable(status);
    EXPECT_TRUE(field("pushButtonStart")->isEnabled());
}

// The mail page on its own.

// Boxes are answered and recorded by TsMessageBox while a test of this group runs.
class MailerSettingsDialog : public ::testing::Test
{
protected:
    AnsweringDialogs answering;
};

TEST_F(MailerSettingsDialog, ChoosingAnEncryptionProposesItsPort)
{
    TsMailerSettingsDialog page;
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    EXPECT_EQ(page.windowTitle(), "Mailer Settings");
    EXPECT_FALSE(page.windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(child<QLineEdit>(page, "lineEditSenderName")->placeholderText(), "Tessaro");
    EXPECT_EQ(child<QLineEdit>(page, "lineEditSmtpPassword")->echoMode(), QLineEdit::Password);
    auto *encryption = child<QComboBox>(page, "comboBoxEncryption");
    auto *port = child<QSpinBox>(page, "spinBoxSmtpPort");
    EXPECT_EQ(encryption->currentText(), "None");
    EXPECT_EQ(port->value(), 25) << "no stored port yet";
    encryption->setFocus();
    QTest::keyClick(encryption, Qt::Key_Down);
    EXPECT_EQ(encryption->currentText(), "SSL");
    EXPECT_EQ(port->value(), 465);
    QTest::keyClick(encryption, Qt::Key_Down);
    EXPECT_EQ(encryption->currentText(), "TLS");
    EXPECT_EQ(port->value(), 587);
    EXPECT_EQ(page.settings().encryption(), TsMailerSettings::StartTls);
    typeOver(port, QStringLiteral("2525"));
    EXPECT_EQ(page.settings().smtpPort(), 2525) << "the port can be changed afterwards";
    QTest::keyClick(encryption, Qt::Key_Up);
    QTest::keyClick(encryption, Qt::Key_Up);
    EXPECT_EQ(port->value(), 25);

    // Filling the form keeps a stored port that is not the usual one.
    TsMailerSettings stored;
    stored.setEncryption(TsMailerSettings::Ssl);
    stored.setSmtpPort(10465);
    page.setSettings(stored);
    EXPECT_EQ(port->value(), 10465);
    EXPECT_EQ(encryption->currentText(), "SSL");
    // A store that never held a port says 0: the usual port of the encryption is proposed.
    stored.setSmtpPort(0);
    page.setSettings(stored);
    EXPECT_EQ(port->value(), 465);
    EXPECT_EQ(page.settings().smtpPort(), 465);
}

namespace {

TsMailerSettings settingsFor(const SmtpTestServer &server)
{
    TsMailerSettings settings;
    settings.setSmtpServer(QStringLiteral("127.0.0.1"));
    settings.setSmtpPort(server.port());
    settings.setSenderEmail(QStringLiteral("scope2@lab.example"));
    settings.setSenderName(QStringLiteral("Scope 2"));
    settings.setMailerDir(mailerDir());
    return settings;
}

} // namespace

TEST_F(MailerSettingsDialog, TheWayToNotifyRoundTripsAndItsRemindersFollowTheMode)
{
    TsMailerSettingsDialog page;
    auto *mode = child<QComboBox>(page, "comboBoxNotifyMode");
    auto *notice = child<QCheckBox>(page, "checkBoxRecoveryNotice");
    page.setSettings(TsMailerSettings());
    EXPECT_EQ(mode->currentText(), "Once") << "the default";
    EXPECT_TRUE(notice->isChecked());
    EXPECT_FALSE(notice->isEnabled()) << "no notices in the one-shot mode";

    // The numbers of the alarm settings: whether only reminders need them, and a value too small.
    using Set = void (TsMailerSettings::*)(int);
    using Get = int (TsMailerSettings::*)() const;
    const std::tuple<const char *, Set, Get, bool, int> numbers[] = {
        {"spinBoxReminderMinutes", &TsMailerSettings::setReminderMinutes,
         &TsMailerSettings::reminderMinutes, true, 0},
        {"spinBoxControllerLostSeconds", &TsMailerSettings::setControllerLostSeconds,
         &TsMailerSettings::controllerLostSeconds, false, 2}};
    for (const auto &[name, set, get, onlyReminders, tooSmall] : numbers) {
        SCOPED_TRACE(name);
        auto *field = child<QSpinBox>(page, name);
        page.setSettings(TsMailerSettings());
        EXPECT_EQ(field->value(), 30);
        EXPECT_EQ(field->isEnabled(), !onlyReminders);
        TsMailerSettings settings;
        settings.setNotifyMode(TsMailerSettings::NotifyUntilAcknowledged);
        settings.setRecoveryNotice(false);
        (settings.*set)(15);
        page.setSettings(settings);
        EXPECT_EQ(mode->currentText(), "Until acknowledged");
        EXPECT_TRUE(field->isEnabled());
        EXPECT_EQ((page.settings().*get)(), 15);
        EXPECT_FALSE(page.settings().recoveryNotice());
        typeOver(field, QStringLiteral("45"));
        EXPECT_EQ((page.settings().*get)(), 45);
        typeOver(field, QString::number(tooSmall));
        EXPECT_EQ((page.settings().*get)(), 45) << "too small: refused";
    }
}

TEST_F(MailerSettingsDialog, TestMailGoesOutWithTheSettingsAsTheyStandInTheForm)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1.0.0"));
    TsMailerSettingsDialog page;
    TsMailerSettings stored = settingsFor(server);
    stored.setSmtpServer(QStringLiteral("smtp.nowhere.example"));
    page.setSettings(stored);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    // Not saved anywhere yet: the test uses what the form shows.
    typeOver(child<QWidget>(page, "lineEditSmtpServer"), QStringLiteral("127.0.0.1"));

    QString asked;
    QString note;
    QPointer<QMessageBox> noteBox;
    whenModal<QInputDialog>([&](QInputDialog *input) {
        asked = input->windowTitle() + QLatin1Char('|') + input->labelText();
        // Wide enough that the title bar shows the title whole beside its buttons.
        EXPECT_GE(input->width(), QFontMetrics(input->font()).horizontalAdvance("Test-EMail") +
                                      TsInputDialog::TitleBarButtonsWidth);
        input->setTextValue(QStringLiteral("ann@lab.example"));
        input->accept();
        // Shown while the mail goes out, without waiting for an answer.
        whenModal<QMessageBox>([&](QMessageBox *box) {
            note = box->windowTitle() + QLatin1Char('|') + box->text();
            noteBox = box;
            EXPECT_EQ(box->icon(), QMessageBox::Information);
        });
    });
    click(child<QWidget>(page, "pushButtonTest"));
    const QList<TsMessageBox::Asked> answered = TsMessageBox::takeAsked();
    EXPECT_TRUE(noteBox.isNull() || !noteBox->isVisible()) << "the note is gone with the send";

    EXPECT_EQ(asked, "Test-EMail|Recipient Address");
    EXPECT_EQ(note, "Test-EMail|Sending to 'ann@lab.example' ...");
    ASSERT_EQ(answered.size(), 1);
    EXPECT_EQ(answered.at(0).title, "Test-EMail");
    EXPECT_EQ(answered.at(0).text, "Test-EMail successfully sent.");
    EXPECT_EQ(answered.at(0).icon, QMessageBox::Information);
    EXPECT_TRUE(QTest::qWaitFor([&noteBox] { return noteBox.isNull(); }, WaitMs))
        << "the note is gone";
    EXPECT_TRUE(child<QWidget>(page, "pushButtonTest")->isEnabled());

    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.at(0).header("to"), "ann@lab.example");
    EXPECT_EQ(mails.at(0).header("subject"), "Tessaro Test-EMail");
    EXPECT_EQ(mails.at(0).body.trimmed(),
              "This is an automatically generated email.\nIt seems that your mailer settings are "
              "correct.\n\nTessaro v1.1.0.0");
}

TEST_F(MailerSettingsDialog, CancelledAddressSendsNothing)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    TsMailerSettingsDialog page;
    page.setSettings(settingsFor(server));
    page.show();
    for (const QString &answer : {QString(), QStringLiteral("   ")}) {
        bool asked = false;
        whenModal<QInputDialog>([&](QInputDialog *input) {
            asked = true;
            if (answer.isNull()) {
                input->reject();
            } else {
                input->setTextValue(answer);
                input->accept();
            }
        });
        // Returns only once every window it opened was answered.
        click(child<QWidget>(page, "pushButtonTest"));
        EXPECT_TRUE(asked);
        EXPECT_TRUE(TsMessageBox::takeAsked().isEmpty());
    }
    QThreadPool::globalInstance()->waitForDone(SendTimeout);
    EXPECT_TRUE(server.mails().isEmpty());
}

TEST_F(SettingsDialogTest, RefusedTestMailShowsTheSendersWordsAndChangesNothing)
{
    SmtpTestServer::Options options;
    options.refused << QStringLiteral("gone@lab.example");
    SmtpTestServer server(options);
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    mailers->setMailerSettings(settingsFor(server));
    const TsMailerSettings before = mailers->mailerSettings();
    open();
    dialog->findChild<QTabWidget *>("tabWidget")->setCurrentIndex(1);
    QWidget *page = dialog->mailerPage();
    typeOver(child<QWidget>(*page, "lineEditSenderName"), QStringLiteral("Scope Two"));
    const TsMailerSettings shown = dialog->mailerPage()->settings();

    whenModal<QInputDialog>([](QInputDialog *input) {
        input->setTextValue(QStringLiteral("gone@lab.example"));
        input->accept();
    });
    click(child<QWidget>(*page, "pushButtonTest"));
    const QList<TsMessageBox::Asked> answered = TsMessageBox::takeAsked();

    ASSERT_EQ(answered.size(), 1);
    EXPECT_EQ(answered.at(0).title, "Test-EMail");
    EXPECT_EQ(answered.at(0).icon, QMessageBox::Critical);
    EXPECT_TRUE(answered.at(0).text.contains("550 5.1.1 <gone@lab.example>"))
        << answered.at(0).text.toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->mailerPage()->settings(), shown) << "the entries stay";
    EXPECT_EQ(mailers->mailerSettings(), before) << "a test changes no settings";
    EXPECT_FALSE(QSettings().contains("MailerSettings/senderName"));
    EXPECT_TRUE(server.mails().isEmpty());
}

// The whole way: settings entered in the dialog of the program's core, accepted, and then an
// alarm of the running experiment.
class SettingsDialogAlert : public viewtest::ViewFixture
{
protected:
    AnsweringDialogs answering;
};

TEST_F(SettingsDialogAlert, AlertMailStillGoesOutAfterTheDialogWasAccepted)
{
    SmtpTestServer server;
    ASSERT_TRUE(server.isReady()) << server.failure().toStdString();
    useChannels({viewtest::entry(stage, QStringLiteral("Stage"), true)});
    TsUserSettings userSettings;
    userSettings.setEmail(QStringLiteral("ann@lab.example"));
    ASSERT_TRUE(userSettings.save(TsCore::userDataFile(TsCore::currentUser())).isSuccess());
    TsCore::notifyUserDataChanged(TsCore::currentUser());
    TsMailerManager *mailers = TsCore::mailerManager();
    ASSERT_EQ(mailers->mailerSettings().mailerDir(), mailerDir());

    {
        TsSettingsDialog dialog;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QWidget *page = dialog.mailerPage();
        typeOver(child<QWidget>(*page, "lineEditSmtpServer"), QStringLiteral("127.0.0.1"));
        typeOver(child<QWidget>(*page, "spinBoxSmtpPort"), QString::number(server.port()));
        typeOver(child<QWidget>(*page, "lineEditSenderEmail"),
                 QStringLiteral("scope2@lab.example"));
        click(child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok));
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(mailers->mailerSettings().smtpPort(), server.port());

    QSignalSpy status(mailers->mailer(), &TsMailer::sendStatus);
    mailers->setEmailAlert(true);
    // Green for the band's 60 s, then out of the band: one alarm.
    plug("actual=\"370\"");
    runFor(62000);
    plug("actual=\"250\"");
    tick();
    clock.now += 138000;
    tick();
    ASSERT_TRUE(status.count() == 1 || status.wait(SendTimeout)) << "no alert mail sent";
    EXPECT_FALSE(mailers->isEmailAlertOn());
    const TsMail sent = status.at(0).at(0).value<TsMail>();
    EXPECT_TRUE(sent.result().isSuccess()) << sent.result().toString().toStdString();
    QThreadPool::globalInstance()->waitForDone(SendTimeout);
    const QList<ReceivedMail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails.at(0).header("to"), "ann@lab.example");
    EXPECT_TRUE(mails.at(0).header("from").contains("scope2@lab.example"));
}
