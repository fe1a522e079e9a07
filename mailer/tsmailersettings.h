// How the mailer reaches the mail server, and where its sender program lives. The password is
// held in plain here; only its stored form is scrambled.
#pragma once

#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>

class TsMailerSettingsData;

class TsMailerSettings
{
public:
    enum Encryption
    {
        NoEncryption = 0,
        Ssl = 1,     // TLS from the first byte (SMTPS)
        StartTls = 2 // plain connection upgraded with STARTTLS
    };

    // How alarms are mailed.
    enum NotifyMode
    {
        NotifyOnce = 0,              // one mail, then the alert switch goes off
        NotifyUntilAcknowledged = 1, // the switch stays armed; reminders until acknowledged
    };
    static constexpr int DefaultReminderMinutes = 30;
    // How long an alarm-enabled channel's controller may be gone before it is an alarm.
    static constexpr int DefaultControllerLostSeconds = 30;
    static constexpr int MinControllerLostSeconds = 5;
    static constexpr int MaxControllerLostSeconds = 3600;

    TsMailerSettings();
    TsMailerSettings(const TsMailerSettings &other);
    TsMailerSettings &operator=(const TsMailerSettings &other);
    ~TsMailerSettings();

    QString smtpServer() const;
    void setSmtpServer(const QString &server);
    int smtpPort() const;
    void setSmtpPort(int port);
    QString smtpUser() const;
    void setSmtpUser(const QString &user);
    QString smtpPassword() const;
    void setSmtpPassword(const QString &password);
    // One of Encryption; other values mean none.
    int encryption() const;
    void setEncryption(int encryption);
    QString senderName() const;
    void setSenderName(const QString &name);
    QString senderEmail() const;
    void setSenderEmail(const QString &address);
    // One of NotifyMode; other values mean once.
    int notifyMode() const;
    void setNotifyMode(int mode);
    // Between reminders of an unacknowledged alarm; at least 1.
    int reminderMinutes() const;
    void setReminderMinutes(int minutes);
    // A notice when an alarmed channel is stable again (until-acknowledged mode).
    bool recoveryNotice() const;
    void setRecoveryNotice(bool on);
    // In either mode; held within MinControllerLostSeconds and MaxControllerLostSeconds.
    int controllerLostSeconds() const;
    void setControllerLostSeconds(int seconds);
    // The folder of the sender program and the alert template; never stored.
    QString mailerDir() const;
    void setMailerDir(const QString &dir);

    bool operator==(const TsMailerSettings &other) const;
    bool operator!=(const TsMailerSettings &other) const { return !(*this == other); }

private:
    QSharedDataPointer<TsMailerSettingsData> d;
};

Q_DECLARE_METATYPE(TsMailerSettings)
