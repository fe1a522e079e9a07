#include "tsmailersettings.h"

class TsMailerSettingsData : public QSharedData
{
public:
    QString smtpServer;
    int smtpPort = 0;
    QString smtpUser;
    QString smtpPassword;
    int encryption = TsMailerSettings::NoEncryption;
    QString senderName;
    QString senderEmail;
    QString mailerDir;
    int notifyMode = TsMailerSettings::NotifyOnce;
    int reminderMinutes = TsMailerSettings::DefaultReminderMinutes;
    bool recoveryNotice = true;
    int controllerLostSeconds = TsMailerSettings::DefaultControllerLostSeconds;
};

TsMailerSettings::TsMailerSettings()
    : d(new TsMailerSettingsData)
{}

TsMailerSettings::TsMailerSettings(const TsMailerSettings &other) = default;
TsMailerSettings &TsMailerSettings::operator=(const TsMailerSettings &other) = default;
TsMailerSettings::~TsMailerSettings() = default;

QString TsMailerSettings::smtpServer() const
{
    return d->smtpServer;
}

void TsMailerSettings::setSmtpServer(const QString &server)
{
    d->smtpServer = server;
}

int TsMailerSettings::smtpPort() const
{
    return d->smtpPort;
}

void TsMailerSettings::setSmtpPort(int port)
{
    d->smtpPort = port;
}

QString TsMailerSettings::smtpUser() const
{
    return d->smtpUser;
}

void TsMailerSettings::setSmtpUser(const QString &user)
{
    d->smtpUser = user;
}

QString TsMailerSettings::smtpPassword() const
{
    return d->smtpPassword;
}

void TsMailerSettings::setSmtpPassword(const QString &password)
{
    d->smtpPassword = password;
}

int TsMailerSettings::encryption() const
{
    return d->encryption;
}

void TsMailerSettings::setEncryption(int encryption)
{
    d->encryption = encryption;
}

QString TsMailerSettings::senderName() const
{
    return d->senderName;
}

void TsMailerSettings::setSenderName(const QString &name)
{
    d->senderName = name;
}

QString TsMailerSettings::senderEmail() const
{
    return d->senderEmail;
}

void TsMailerSettings::setSenderEmail(const QString &address)
{
    d->senderEmail = address;
}

int TsMailerSettings::notifyMode() const
{
    return d->notifyMode == NotifyUntilAcknowledged ? NotifyUntilAcknowledged : NotifyOnce;
}

void TsMailerSettings::setNotifyMode(int mode)
{
    d->notifyMode = mode;
}

int TsMailerSettings::reminderMinutes() const
{
    return qMax(1, d->reminderMinutes);
}

void TsMailerSettings::setReminderMinutes(int minutes)
{
    d->reminderMinutes = minutes;
}

bool TsMailerSettings::recoveryNotice() const
{
    return d->recoveryNotice;
}

void TsMailerSettings::setRecoveryNotice(bool on)
{
    d->recoveryNotice = on;
}

int TsMailerSettings::controllerLostSeconds() const
{
    return qBound(int(MinControllerLostSeconds), d->controllerLostSeconds,
                  int(MaxControllerLostSeconds));
}

void TsMailerSettings::setControllerLostSeconds(int seconds)
{
    d->controllerLostSeconds = seconds;
}

QString TsMailerSettings::mailerDir() const
{
    return d->mailerDir;
}

void TsMailerSettings::setMailerDir(const QString &dir)
{
    d->mailerDir = dir;
}

bool TsMailerSettings::operator==(const TsMailerSettings &other) const
{
    return d == other.d ||
           (d->smtpServer == other.d->smtpServer && d->smtpPort == other.d->smtpPort &&
            d->smtpUser == other.d->smtpUser && d->smtpPassword == other.d->smtpPassword &&
            d->encryption == other.d->encryption && d->senderName == other.d->senderName &&
            d->senderEmail == other.d->senderEmail && d->mailerDir == other.d->mailerDir &&
            notifyMode() == other.notifyMode() && reminderMinutes() == other.reminderMinutes() &&
            d->recoveryNotice == other.d->recoveryNotice &&
            controllerLostSeconds() == other.controllerLostSeconds());
}
