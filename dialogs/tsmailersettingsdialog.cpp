#include "tsmailersettingsdialog.h"
#include "ui_tsmailersettingsdialog.h"

#include "dialogs/tsinputdialog.h"
#include "dialogs/tsmessagebox.h"
#include "mailer/tsmail.h"
#include "mailer/tsmailer.h"
#include "utils/emailvalidator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>

TsMailerSettingsDialog::TsMailerSettingsDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsMailerSettingsDialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->lineEditSenderEmail->setValidator(new Utils::EMail::Validator(ui->lineEditSenderEmail));
    // Only a choice of the operator moves the port: filling the form sets the index first.
    connect(ui->comboBoxEncryption, QOverload<int>::of(&QComboBox::activated), this,
            &TsMailerSettingsDialog::encryptionChosen);
    // Reminders and notices belong to the until-acknowledged mode only.
    connect(ui->comboBoxNotifyMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int mode) {
                const bool untilAcknowledged = mode == TsMailerSettings::NotifyUntilAcknowledged;
                ui->spinBoxReminderMinutes->setEnabled(untilAcknowledged);
                ui->checkBoxRecoveryNotice->setEnabled(untilAcknowledged);
            });
    ui->spinBoxReminderMinutes->setEnabled(false);
    ui->checkBoxRecoveryNotice->setEnabled(false);
    // The form and the stored value keep to the same range.
    ui->spinBoxControllerLostSeconds->setRange(TsMailerSettings::MinControllerLostSeconds,
                                               TsMailerSettings::MaxControllerLostSeconds);
}

TsMailerSettingsDialog::~TsMailerSettingsDialog() = default;

int TsMailerSettingsDialog::usualPort(int encryption)
{
    switch (encryption) {
    case TsMailerSettings::Ssl:
        return 465;
    case TsMailerSettings::StartTls:
        return 587;
    default:
        return 25;
    }
}

void TsMailerSettingsDialog::setSettings(const TsMailerSettings &settings)
{
    m_settings = settings;
    const int encryption = settings.encryption() == TsMailerSettings::Ssl ||
                                   settings.encryption() == TsMailerSettings::StartTls
                               ? settings.encryption()
                               : int(TsMailerSettings::NoEncryption);
    ui->lineEditSmtpServer->setText(settings.smtpServer());
    ui->comboBoxEncryption->setCurrentIndex(encryption);
    // A store that never held a port says 0, which no server listens on.
    const int port = settings.smtpPort();
    ui->spinBoxSmtpPort->setValue(port >= 1 && port <= 65535 ? port : usualPort(encryption));
    ui->lineEditSenderEmail->setText(settings.senderEmail());
    ui->lineEditSenderName->setText(settings.senderName());
    ui->lineEditSmtpUser->setText(settings.smtpUser());
    ui->lineEditSmtpPassword->setText(settings.smtpPassword());
    ui->comboBoxNotifyMode->setCurrentIndex(settings.notifyMode());
    ui->spinBoxReminderMinutes->setValue(settings.reminderMinutes());
    ui->checkBoxRecoveryNotice->setChecked(settings.recoveryNotice());
    ui->spinBoxControllerLostSeconds->setValue(settings.controllerLostSeconds());
}

TsMailerSettings TsMailerSettingsDialog::settings() const
{
    TsMailerSettings settings = m_settings;
    settings.setSmtpServer(ui->lineEditSmtpServer->text().trimmed());
    settings.setSmtpPort(ui->spinBoxSmtpPort->value());
    settings.setEncryption(ui->comboBoxEncryption->currentIndex());
    settings.setSenderEmail(ui->lineEditSenderEmail->text().trimmed());
    settings.setSenderName(ui->lineEditSenderName->text().trimmed());
    settings.setSmtpUser(ui->lineEditSmtpUser->text());
    // Blanks may belong to a password.
    settings.setSmtpPassword(ui->lineEditSmtpPassword->text());
    settings.setNotifyMode(ui->comboBoxNotifyMode->currentIndex());
    settings.setReminderMinutes(ui->spinBoxReminderMinutes->value());
    settings.setRecoveryNotice(ui->checkBoxRecoveryNotice->isChecked());
    settings.setControllerLostSeconds(ui->spinBoxControllerLostSeconds->value());
    return settings;
}

void TsMailerSettingsDialog::keyPressEvent(QKeyEvent *event)
{
    // As a page of another dialog, Escape and Return belong to that dialog: handled here they
    // would hide the page or do nothing.
    if (isWindow())
        QDialog::keyPressEvent(event);
    else
        QWidget::keyPressEvent(event);
}

void TsMailerSettingsDialog::encryptionChosen(int index)
{
    ui->spinBoxSmtpPort->setValue(usualPort(index));
}

void TsMailerSettingsDialog::on_pushButtonTest_clicked()
{
    bool ok = false;
    const QString address =
        TsInputDialog::getText(this, tr("Test-EMail"), tr("Recipient Address"), QString(), &ok)
            .trimmed();
    if (!ok || address.isEmpty())
        return;

    TsMail mail(address, tr("Tessaro Test-EMail"));
    mail.setBody(tr("This is an automatically generated email.\nIt seems that your mailer settings "
                    "are correct.\n\nTessaro v%1")
                     .arg(QCoreApplication::applicationVersion()));
    // Its own mailer: the settings under test must not reach the one that sends the alerts.
    auto *mailer = new TsMailer;
    mailer->setSettings(settings());

    auto *sending =
        new QMessageBox(QMessageBox::Information, tr("Test-EMail"),
                        tr("Sending to '%1' ...").arg(address), QMessageBox::NoButton, this);
    // Without buttons it cannot be closed: it goes when the send has ended.
    sending->setStandardButtons(QMessageBox::NoButton);
    sending->show();

    // sent() comes from the sending thread; every receiver here lives in this one, so each
    // reaction is queued to it.
    QEventLoop loop;
    bool finished = false;
    // Hidden at once: its deletion waits for an event loop of its level, after the result box.
    connect(mailer, &TsMailer::sent, sending, &QWidget::hide);
    connect(mailer, &TsMailer::sent, sending, &QObject::deleteLater);
    connect(mailer, &TsMailer::sent, mailer, &QObject::deleteLater);
    connect(mailer, &TsMailer::sent, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    ui->pushButtonTest->setEnabled(false);
    const QPointer<TsMailerSettingsDialog> self(this);
    mailer->sendAsync(mail);
    loop.exec();
    // The program may be quitting (every event loop ends then) and take the form with it.
    if (!self)
        return;
    ui->pushButtonTest->setEnabled(true);
    if (!finished)
        return;

    const QxResult result = mail.result();
    if (result.isSuccess())
        TsMessageBox::information(this, tr("Test-EMail"), tr("Test-EMail successfully sent."));
    else
        TsMessageBox::critical(this, tr("Test-EMail"), result.toString());
}
