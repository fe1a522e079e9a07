#include "tsmailer.h"

#include "mailer/sender/senderoptions.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QTemporaryFile>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

namespace {

const char PassOption[] = "-pass";
const char Mask[] = "******";

#ifdef Q_OS_WIN
const char ProgramFile[] = "tessaro-mailsender.exe";
#else
const char ProgramFile[] = "tessaro-mailsender";
#endif

// The mailer's signals as seen from a running send: the mailer may be destroyed before the send
// ends, and then there is nobody left to tell.
struct SendNotifier
{
    QMutex mutex;
    TsMailer *mailer = nullptr;
};

QString statusText(const QxResult &result)
{
    return result.isSuccess() ? QStringLiteral("OK") : result.toString();
}

// Steps 1 to 3 of a send: the attempt, its result in the mail, the diagnostic line.
void deliver(TsMail &mail, const QStringList &command)
{
    const QxResult result = TsMailer::sendSync(mail, command, false);
    mail.setResult(result);
    mail.setSentTime(QDateTime::currentDateTime());
    const QByteArray line =
        QStringLiteral("TsMailer::sendMessage: '%1' - '%2' - %3")
            .arg(mail.to().join(QStringLiteral(", ")), mail.subject(), statusText(result))
            .toUtf8();
    if (result.isSuccess())
        qDebug("%s", line.constData());
    else
        qWarning("%s", line.constData());
}

// Our sender takes the password from its environment when "-pass" is missing: the command line of
// a process is readable by every local user, its environment only by the same user. Another
// program in its place gets the arguments unchanged.
QStringList withoutPassword(const QString &program, const QStringList &arguments,
                            QProcessEnvironment &environment)
{
    environment.remove(QString::fromLatin1(PasswordVariable));
    if (QFileInfo(program).fileName() != QLatin1String(ProgramFile))
        return arguments;
    QStringList result;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String(PassOption) && i + 1 < arguments.size()) {
            environment.insert(QString::fromLatin1(PasswordVariable), arguments.at(++i));
            continue;
        }
        result << arguments.at(i);
    }
    return result;
}

} // namespace

struct TsMailer::Private
{
    TsMailerSettings settings;
    QStringList command;
    std::shared_ptr<SendNotifier> notifier = std::make_shared<SendNotifier>();
};

TsMailer::TsMailer(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    // The signals cross threads as queued events.
    qRegisterMetaType<TsMail>();
    registerQxResultMetaType();
    d->notifier->mailer = this;
    setSettings(TsMailerSettings());
}

TsMailer::~TsMailer()
{
    QMutexLocker lock(&d->notifier->mutex);
    d->notifier->mailer = nullptr;
}

void TsMailer::setSettings(const TsMailerSettings &settings)
{
    d->settings = settings;
    QStringList command;
    command << programPath(settings.mailerDir());
    command << QStringLiteral("-smtp") << settings.smtpServer() << QStringLiteral("-port")
            << QString::number(settings.smtpPort());
    if (!settings.smtpUser().isEmpty())
        command << QStringLiteral("-auth") << QStringLiteral("-user") << settings.smtpUser();
    if (!settings.smtpPassword().isEmpty())
        command << QString::fromLatin1(PassOption) << settings.smtpPassword();
    if (settings.encryption() == TsMailerSettings::StartTls)
        command << QStringLiteral("-starttls");
    if (settings.encryption() == TsMailerSettings::Ssl)
        command << QStringLiteral("-ssl");
    if (!settings.senderEmail().isEmpty())
        command << QStringLiteral("-from") << settings.senderEmail();
    if (!settings.senderName().isEmpty())
        command << QStringLiteral("-name") << settings.senderName();
    command << QStringLiteral("-cs") << QStringLiteral("UTF-8");
    d->command = command;
}

TsMailerSettings TsMailer::settings() const
{
    return d->settings;
}

QStringList TsMailer::command() const
{
    return d->command;
}

QString TsMailer::programPath(const QString &mailerDir)
{
    // Not the working folder's: an unset folder means no program.
    if (mailerDir.isEmpty())
        return QString();
    return QFileInfo(QDir(mailerDir), QString::fromLatin1(ProgramFile)).absoluteFilePath();
}

void TsMailer::sendAsync(const TsMail &mail)
{
    std::shared_ptr<SendNotifier> notifier = d->notifier;
    const QStringList command = d->command;
    QtConcurrent::run([notifier, mail, command]() {
        TsMail sending = mail;
        deliver(sending, command);
        QMutexLocker lock(&notifier->mutex);
        if (TsMailer *mailer = notifier->mailer) {
            emit mailer->sendStatus(sending);
            emit mailer->sent();
        }
    });
}

void TsMailer::sendMessage(TsMail mail, const QStringList &command)
{
    deliver(mail, command);
    emit sendStatus(mail);
    emit sent();
}

QxResult TsMailer::sendSync(TsMail mail, const QStringList &command, bool verbose)
{
    const QString program = command.value(0);
    qDebug("TsMailer: exe: \"%s\"", qUtf8Printable(program));
    if (program.isEmpty() || !QFileInfo(program).isFile())
        return QxResult(NotStarted, tr("Invalid mailer settings"));

    QStringList arguments = command.mid(1);
    if (verbose)
        arguments << QStringLiteral("-v");
    if (!mail.to().isEmpty())
        arguments << QStringLiteral("-to") << mail.to().join(QLatin1Char(','));
    if (!mail.cc().isEmpty())
        arguments << QStringLiteral("-cc") << mail.cc().join(QLatin1Char(','));
    if (!mail.bcc().isEmpty())
        arguments << QStringLiteral("-bc") << mail.bcc().join(QLatin1Char(','));
    if (!mail.subject().isEmpty())
        arguments << QStringLiteral("-sub") << mail.subject();

    // Removed when the call ends, whatever the outcome.
    QTemporaryFile bodyFile(QDir::tempPath() + QStringLiteral("/tessaro-mail-XXXXXX.txt"));
    const QByteArray body = mail.body().toUtf8();
    if (!bodyFile.open() || bodyFile.write(body) != body.size() || !bodyFile.flush()) {
        return QxResult(
            NotStarted,
            tr("Cannot write the message to a temporary file: %1").arg(bodyFile.errorString()));
    }
    bodyFile.close();
    arguments
        << QStringLiteral("-attach")
        << QStringLiteral("%1,text/plain,i").arg(QDir::toNativeSeparators(bodyFile.fileName()));

    qDebug("TsMailer: args: %s", qUtf8Printable(maskedArguments(arguments).join(QLatin1Char(' '))));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    process.setProgram(program);
    process.setArguments(withoutPassword(program, arguments, environment));
    process.setProcessEnvironment(environment);

    QString errorText;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&process, verbose]() {
        const QByteArray out = process.readAllStandardOutput();
        if (verbose)
            qDebug("TsMailer: out: %s", out.constData());
    });
    QObject::connect(&process, &QProcess::readyReadStandardError,
                     [&process, &errorText, verbose]() {
                         const QByteArray err = process.readAllStandardError();
                         errorText += QString::fromLocal8Bit(err);
                         if (verbose)
                             qDebug("TsMailer: err: %s", err.constData());
                     });

    process.start();
    if (!process.waitForStarted(StartTimeout)) {
        process.kill();
        return QxResult(NotStarted, tr("Mailer not started correctly"));
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(FinishTimeout)) {
        process.kill();
        process.waitForFinished(StartTimeout);
        return QxResult(NotFinished, tr("Mailer not finished correctly"));
    }
    errorText += QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return QxResult();
    errorText = errorText.trimmed();
    if (errorText.isEmpty()) {
        errorText = process.exitStatus() == QProcess::NormalExit
                        ? tr("Mailer failed with exit code %1").arg(process.exitCode())
                        : tr("Mailer crashed");
    }
    return QxResult(SenderFailed, errorText);
}

QStringList TsMailer::maskedArguments(const QStringList &arguments)
{
    QStringList masked = arguments;
    for (int i = 0; i + 1 < masked.size(); ++i) {
        if (masked.at(i) == QLatin1String(PassOption))
            masked[++i] = QString::fromLatin1(Mask);
    }
    return masked;
}
