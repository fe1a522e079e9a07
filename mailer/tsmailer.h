// Sends e-mail through the sender program in the mailer folder beside the program, one process
// per mail, on a thread of the global thread pool so that nobody waits for the mail server.
#pragma once

#include "mailer/tsmail.h"
#include "mailer/tsmailersettings.h"
#include "utils/qxresult.h"

#include <QObject>
#include <QScopedPointer>
#include <QStringList>

class TsMailer : public QObject
{
    Q_OBJECT

public:
    static constexpr int StartTimeout = 5000;   // ms
    static constexpr int FinishTimeout = 30000; // ms

    // Codes of a failed send.
    enum ErrorCode
    {
        NotStarted = 1,  // no program, or it did not start
        NotFinished = 2, // killed after FinishTimeout
        SenderFailed = 3 // the program's own error text is the message
    };

    explicit TsMailer(QObject *parent = nullptr);
    // Sends still running finish, but their signals are no longer emitted.
    ~TsMailer() override;

    // Stores the settings and rebuilds the command from them.
    void setSettings(const TsMailerSettings &settings);
    TsMailerSettings settings() const;
    // The sender program's absolute path, then the server and sender arguments.
    QStringList command() const;

    // The sender program in that folder.
    static QString programPath(const QString &mailerDir);

    // Returns at once; the result arrives through sendStatus and sent.
    void sendAsync(const TsMail &mail);
    // Sends in the calling thread, stores the result and the time in the mail, then emits.
    void sendMessage(TsMail mail, const QStringList &command);
    // Runs the program of command[0] with the rest of command and the mail's recipients,
    // subject and body. Blocks for up to StartTimeout + FinishTimeout.
    static QxResult sendSync(TsMail mail, const QStringList &command, bool verbose);

    // The arguments as they may be logged: the value after "-pass" becomes "******".
    static QStringList maskedArguments(const QStringList &arguments);

signals:
    // After every send attempt, from the thread that sent; the mail carries the result.
    void sendStatus(const TsMail &mail);
    void sent();

private:
    struct Private;
    QScopedPointer<Private> d;
};
