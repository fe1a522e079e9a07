#include "tsmailermanager.h"

#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "mailer/tsmail.h"
#include "mailer/tsmailer.h"
#include "utils/simplecrypt.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QPointer>
#include <QSettings>

namespace {

const char Group[] = "MailerSettings";
// The stored key names carry a historical misspelling; stored settings depend on it.
const char ServerKey[] = "smptServer";
const char PortKey[] = "smptPort";
const char UserKey[] = "smptUser";
const char PassKey[] = "smptPass";
const char EncryptionKey[] = "smptEncryption";
const char SenderNameKey[] = "senderName";
const char SenderEmailKey[] = "senderEMail";

const char TemplateFile[] = "/Email Alert.tmpl";

QString fillPlaceholders(QString body, const TsExperimentChannel *channel,
                         const TsMailerManager::AlertContext &context)
{
    // In this order: a value that happens to look like a later placeholder is replaced too.
    const QPair<const char *, QString> values[] = {
        {"%TS_DEVICE_ID%", channel->deviceId()},
        {"%TS_DEVICE_NAME%", channel->deviceName()},
        {"%TS_CHANNEL_NAME%", channel->name()},
        {"%TS_CHANNEL_ID%", channel->id()},
        {"%TS_CHANNEL_SETPOINT_VALUE%",
         channel->valueText(TsExperimentChannel::SetpointValue, true)},
        {"%TS_CHANNEL_ACTUAL_VALUE%", channel->valueText(TsExperimentChannel::ActualValue, true)},
        {"%TS_CHANNEL_UNIT%", channel->unit()},
        {"%TS_CHANNEL_STATUS_TEXT%", channel->statusText()},
        {"%TS_HTTP_PUBLIC_URL%", context.httpPublicUrl},
        {"%TS_HTTP_SERVERNAME%", context.httpServerName},
        {"%TS_CURRENT_DATETIME%", QDateTime::currentDateTime().toString(Qt::TextDate)},
        {"%TS_USER_NAME%", context.userName},
        {"%TS_USER_EMAIL%", context.userEmail},
        {"%TS_PROFILE_NAME%", context.profileName},
    };
    for (const auto &value : values)
        body.replace(QLatin1String(value.first), value.second, Qt::CaseSensitive);
    return body;
}

} // namespace

struct TsMailerManager::Private
{
    bool emailAlert = false;
    TsMailer *mailer = nullptr;
    QString mailerDir;
    AlertContextProvider contextProvider;
    QPointer<TsExperiment> experiment;
    // Alert mails handed to the mailer and not reported back yet; test mails of the settings go
    // through the same mailer and are not alerts.
    QList<TsMail> alertsInFlight;
    qint64 alertsSent = 0;
    qint64 alertsFailed = 0;
};

TsMailerManager::TsMailerManager(TsExperimentManager *experiments, QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->mailer = new TsMailer(this);
    d->mailerDir = QCoreApplication::applicationDirPath() + QStringLiteral("/mailer");
    // Reported from the sending thread; counted here, on ours.
    connect(d->mailer, &TsMailer::sendStatus, this, [this](const TsMail &mail) {
        if (!d->alertsInFlight.removeOne(mail))
            return;
        if (mail.result().isSuccess())
            ++d->alertsSent;
        else
            ++d->alertsFailed;
    });
    if (experiments) {
        followExperiment(experiments->currentExperiment());
        connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
                &TsMailerManager::followExperiment);
    }
    loadSettings();
}

TsMailerManager::~TsMailerManager()
{
    // The experiment may outlive us; it must not ask a switch that is gone.
    if (d->experiment && d->experiment->emailAlertSwitch() == this)
        d->experiment->setEmailAlertSwitch(nullptr);
}

void TsMailerManager::followExperiment(TsExperiment *experiment)
{
    if (d->experiment) {
        disconnect(d->experiment, &TsExperiment::channelsInstable, this,
                   &TsMailerManager::onChannelsInstable);
        if (d->experiment->emailAlertSwitch() == this)
            d->experiment->setEmailAlertSwitch(nullptr);
    }
    d->experiment = experiment;
    if (experiment) {
        connect(experiment, &TsExperiment::channelsInstable, this,
                &TsMailerManager::onChannelsInstable);
        experiment->setEmailAlertSwitch(this);
    }
}

void TsMailerManager::setAlertContextProvider(const AlertContextProvider &provider)
{
    d->contextProvider = provider;
}

QString TsMailerManager::mailerDir() const
{
    return d->mailerDir;
}

void TsMailerManager::setMailerDir(const QString &dir)
{
    d->mailerDir = dir;
    TsMailerSettings settings = d->mailer->settings();
    settings.setMailerDir(dir);
    d->mailer->setSettings(settings);
}

TsMailer *TsMailerManager::mailer() const
{
    return d->mailer;
}

void TsMailerManager::loadSettings()
{
    QSettings store;
    store.beginGroup(QLatin1String(Group));
    TsMailerSettings settings;
    settings.setSmtpServer(store.value(QLatin1String(ServerKey)).toString());
    settings.setSmtpPort(store.value(QLatin1String(PortKey), 0).toInt());
    settings.setSmtpUser(store.value(QLatin1String(UserKey)).toString());
    const QString scrambled = store.value(QLatin1String(PassKey)).toString();
    if (!scrambled.isEmpty()) {
        SimpleCrypt crypt(PasswordKey);
        settings.setSmtpPassword(crypt.decryptToString(scrambled));
        if (crypt.lastError() != SimpleCrypt::ErrorNoError)
            qWarning("TsMailerManager::loadSettings: the stored password cannot be read (error "
                     "%d); it must be entered again",
                     int(crypt.lastError()));
    }
    settings.setEncryption(store.value(QLatin1String(EncryptionKey), 0).toInt());
    settings.setSenderName(store.value(QLatin1String(SenderNameKey)).toString());
    settings.setSenderEmail(store.value(QLatin1String(SenderEmailKey)).toString());
    settings.setMailerDir(d->mailerDir);
    d->mailer->setSettings(settings);
}

void TsMailerManager::saveSettings()
{
    const TsMailerSettings settings = d->mailer->settings();
    SimpleCrypt crypt(PasswordKey);
    QSettings store;
    store.beginGroup(QLatin1String(Group));
    store.setValue(QLatin1String(ServerKey), settings.smtpServer());
    store.setValue(QLatin1String(PortKey), settings.smtpPort());
    store.setValue(QLatin1String(UserKey), settings.smtpUser());
    store.setValue(QLatin1String(PassKey), crypt.encryptToString(settings.smtpPassword()));
    store.setValue(QLatin1String(EncryptionKey), settings.encryption());
    store.setValue(QLatin1String(SenderNameKey), settings.senderName());
    store.setValue(QLatin1String(SenderEmailKey), settings.senderEmail());
}

TsMailerSettings TsMailerManager::mailerSettings() const
{
    return d->mailer->settings();
}

void TsMailerManager::setMailerSettings(const TsMailerSettings &settings)
{
    d->mailer->setSettings(settings);
}

bool TsMailerManager::isEmailAlertOn() const
{
    return d->emailAlert;
}

void TsMailerManager::setEmailAlert(bool on)
{
    if (d->emailAlert == on)
        return;
    d->emailAlert = on;
    emit emailAlertStatusChanged(on);
}

qint64 TsMailerManager::alertMailsSent() const
{
    return d->alertsSent;
}

qint64 TsMailerManager::alertMailsFailed() const
{
    return d->alertsFailed;
}

void TsMailerManager::onChannelsInstable(const QList<TsExperimentChannel *> &channels)
{
    if (!d->emailAlert || channels.isEmpty() || !channels.first())
        return;
    if (!d->contextProvider) {
        qWarning("TsMailerManager::onChannelsInstable: nobody tells the recipient; no alert mail");
        return;
    }
    const AlertContext context = d->contextProvider();
    if (context.userEmail.isEmpty()) {
        qDebug("TsMailerManager::onChannelsInstable: the current user has no e-mail address");
        return;
    }
    QFile file(d->mailerDir + QLatin1String(TemplateFile));
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug("TsMailerManager::onChannelsInstable: %s: %s", qUtf8Printable(file.fileName()),
               qUtf8Printable(file.errorString()));
        return;
    }
    const QString subject = QString::fromUtf8(file.readLine()).trimmed();
    const QString body = QString::fromUtf8(file.readAll()).trimmed();

    TsMail mail(context.userEmail, subject);
    mail.setBody(fillPlaceholders(body, channels.first(), context));
    d->alertsInFlight.append(mail);
    d->mailer->sendAsync(mail);
}
