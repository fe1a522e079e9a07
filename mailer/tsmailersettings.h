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
    // The folder of the sender program and the alert template; never stored.
    QString mailerDir() const;
    void setMailerDir(const QString &dir);

    bool operator==(const TsMailerSettings &other) const;
    bool operator!=(const TsMailerSettings &other) const { return !(*this == other); }

private:
    QSharedDataPointer<TsMailerSettingsData> d;
};

Q_DECLARE_METATYPE(TsMailerSettings)
