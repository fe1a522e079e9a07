// A real SMTP server on a free loopback port for the mailer tests (aiosmtpd, started through
// smtpserver.py), and what arrived in its Maildir, decoded.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct ReceivedMail
{
    QMap<QByteArray, QString> headers; // names lowered; encoded words decoded
    QString body;                      // the text/plain part, decoded, line ends as "\n"
    QByteArray raw;                    // as stored
    QString header(const char *name) const { return headers.value(QByteArray(name).toLower()); }
};

class SmtpTestServer
{
public:
    struct Options
    {
        QString user; // with a password: authentication required
        QString password;
        bool startTls = false; // STARTTLS required before anything else
        bool smtps = false;    // TLS from the first byte
        QStringList refused;   // recipients answered with 550
    };

    explicit SmtpTestServer(const Options &options);
    SmtpTestServer()
        : SmtpTestServer(Options())
    {}
    ~SmtpTestServer();

    bool isReady() const { return m_port > 0; }
    int port() const { return m_port; }
    // The server's output when it did not come up.
    QString failure() const { return m_failure; }
    QList<ReceivedMail> mails() const;

    // A certificate for 127.0.0.1 and localhost, made once per test run; it is its own authority.
    static QString certificateFile();
    static QString keyFile();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_failure;
};

ReceivedMail parseMail(const QByteArray &raw);
