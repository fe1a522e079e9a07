#include "webinterface/tswebserversupervisor.h"

#include "webinterface/tswebinterfacemanager.h"
#include "webinterface/tswebserverprocess.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

namespace {

const char RuntimePattern[] = "tessaro-web-*";
// The program's pid in its runtime folder: a folder whose program is gone is removed at the next
// start.
const char OwnerFile[] = "tessaro.pid";
const char NginxPidFile[] = "nginx.pid";

// nginx's own message from its output: the first line it marked as an emergency, else the first
// alert or critical error, else its last line.
QByteArray errorLine(const QByteArray &output)
{
    // "bind() to 0.0.0.0:8080 failed (98: Address already in use)" comes first, "still could not
    // bind()" last; an alert about a log file it could not open may come before either.
    QByteArray alert;
    QByteArray last;
    for (const QByteArray &raw : output.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.contains("[emerg]"))
            return line;
        if (alert.isEmpty() && (line.contains("[alert]") || line.contains("[crit]")))
            alert = line;
        last = line;
    }
    return alert.isEmpty() ? last : alert;
}

// nginx creates only the last element of a temporary path, so all of them exist beforehand.
const char *const RuntimeFolders[] = {"logs", "client_body", "proxy", "fastcgi", "uwsgi", "scgi"};

} // namespace

struct TsWebServerSupervisor::Private
{
    bool active = false;
    QPointer<QTemporaryFile> configFile;
    QString webServerDir;
    QString htmlDir;
    QString nginxExe;
    QPointer<QProcess> webServer;
    QScopedPointer<QTemporaryDir> runtimeDir;

    QString errorString;
    QByteArray output;     // what nginx said since it was last started
    bool watching = false; // an end of nginx now is unexpected
    bool launching = false;
    bool relaunch = false; // the launch under way is a restart
    QElapsedTimer launchedAt;
    QTimer *pollTimer = nullptr;
    qint64 masterPid = 0;  // leader of nginx's process group
    QElapsedTimer upSince; // since nginx last came up
    int restarts = 0;      // since it last ran StableAfter ms
    QList<int> restartDelays = {1000, 2000, 5000, 10000, 30000};
    QTimer *restartTimer = nullptr;

    void setWebServerDir(const QString &dir)
    {
        webServerDir = dir;
        htmlDir = dir + QStringLiteral("/html");
        nginxExe = findNginx(dir);
    }

    static QString findNginx(const QString &dir)
    {
#ifdef Q_OS_WIN
        const QString beside = dir + QStringLiteral("/nginx.exe");
#else
        const QString beside = dir + QStringLiteral("/nginx");
#endif
        if (QFileInfo(beside).isExecutable())
            return beside;
        QString onPath = QStandardPaths::findExecutable(QStringLiteral("nginx"));
        if (onPath.isEmpty()) {
            // An unprivileged user's path often lacks the system's sbin folders.
            onPath = QStandardPaths::findExecutable(
                QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        }
        return onPath.isEmpty() ? beside : onPath;
    }

    // The folder whose "html" nginx serves: the installation's, or, when nginx's workers could
    // not read that (run as root, they are an unprivileged user, and an installation under a
    // private home folder is closed to them), a copy in the runtime folder.
    QString servedDir() const
    {
        if (!TsWebServerProcess::workersRunAsOtherUser() ||
            TsWebServerProcess::readableByAnyone(htmlDir))
            return webServerDir;
        const QString copy = runtimeDir->path() + QStringLiteral("/webserver");
        const QString html = copy + QStringLiteral("/html");
        const QFile::Permissions folder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::ExeOther;
        const QFile::Permissions file =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        if (!QDir().mkpath(html) || !QFile::setPermissions(copy, folder) ||
            !QFile::setPermissions(html, folder))
            return QString();
        QDirIterator it(htmlDir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString source = it.next();
            const QString target = html + source.mid(htmlDir.size());
            const bool copied =
                it.fileInfo().isDir()
                    ? QDir().mkpath(target) && QFile::setPermissions(target, folder)
                    : QFile::copy(source, target) && QFile::setPermissions(target, file);
            if (!copied)
                return QString();
        }
        qDebug("webinterface: serving a copy of '%s' that nginx's workers can read",
               qPrintable(htmlDir));
        return copy;
    }

    bool prepareRuntimeDir()
    {
        // Folders of a program that was killed, with any nginx it left behind.
        const QStringList stale = TsWebServerProcess::removeStaleRuntimeFolders(
            QDir::tempPath(), QLatin1String(RuntimePattern), QLatin1String(OwnerFile),
            QLatin1String(NginxPidFile));
        for (const QString &folder : stale)
            qDebug("webinterface: removed the runtime folder '%s' of an earlier run",
                   qPrintable(folder));
        runtimeDir.reset(
            new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tessaro-web-XXXXXX")));
        if (!runtimeDir->isValid())
            return false;
        // Run as root, nginx's workers are nobody: they must reach their temporary folders.
        QFile::setPermissions(runtimeDir->path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadGroup |
                                                      QFile::ExeGroup | QFile::ReadOther |
                                                      QFile::ExeOther);
        QDir dir(runtimeDir->path());
        for (const char *folder : RuntimeFolders) {
            if (!dir.mkpath(QString::fromLatin1(folder)))
                return false;
        }
        QFile owner(dir.filePath(QLatin1String(OwnerFile)));
        return owner.open(QIODevice::WriteOnly) &&
               owner.write(QByteArray::number(QCoreApplication::applicationPid())) > 0;
    }

    void forgetRun()
    {
        active = false;
        if (configFile)
            configFile->deleteLater();
        configFile = nullptr;
        runtimeDir.reset();
    }

    // Why nginx is not running, in its own words where it left any.
    QString endDescription() const
    {
        const QByteArray line = errorLine(output);
        if (!line.isEmpty())
            return QString::fromLocal8Bit(line);
        if (!webServer)
            return QString();
        if (webServer->error() == QProcess::FailedToStart)
            return webServer->errorString();
        if (webServer->exitStatus() == QProcess::CrashExit)
            return QCoreApplication::translate("TsWebServerSupervisor", "it was killed or crashed");
        return QCoreApplication::translate("TsWebServerSupervisor", "it ended with exit code %1")
            .arg(webServer->exitCode());
    }
};

TsWebServerSupervisor::TsWebServerSupervisor(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->restartTimer = new QTimer(this);
    d->restartTimer->setSingleShot(true);
    connect(d->restartTimer, &QTimer::timeout, this, &TsWebServerSupervisor::restart);
    d->pollTimer = new QTimer(this);
    d->pollTimer->setInterval(StartPollInterval);
    connect(d->pollTimer, &QTimer::timeout, this, &TsWebServerSupervisor::pollStart);
    d->setWebServerDir(QCoreApplication::applicationDirPath() + QStringLiteral("/webserver"));
}

TsWebServerSupervisor::~TsWebServerSupervisor()
{
    stop();
}

QString TsWebServerSupervisor::webServerDir() const
{
    return d->webServerDir;
}

void TsWebServerSupervisor::setWebServerDir(const QString &dir)
{
    d->setWebServerDir(dir);
}

QString TsWebServerSupervisor::htmlDir() const
{
    return d->htmlDir;
}

QString TsWebServerSupervisor::nginxExe() const
{
    return d->nginxExe;
}

QString TsWebServerSupervisor::runtimeDir() const
{
    return d->runtimeDir ? d->runtimeDir->path() : QString();
}

void TsWebServerSupervisor::setRestartDelays(const QList<int> &milliseconds)
{
    d->restartDelays = milliseconds;
}

bool TsWebServerSupervisor::isActive() const
{
    return d->active;
}

bool TsWebServerSupervisor::isStarting() const
{
    return d->launching && !d->relaunch;
}

QString TsWebServerSupervisor::errorString() const
{
    return d->errorString;
}

void TsWebServerSupervisor::start(const TsWebInterfaceSettings &settings)
{
    if (d->active)
        return;
    d->errorString.clear();
    if (!d->webServer) {
        d->webServer = new TsWebServerProcess(this);
        d->webServer->setProcessChannelMode(QProcess::MergedChannels);
        // Passed on as it comes, so that a server that runs for weeks does not pile it up here.
        connect(d->webServer, &QProcess::readyRead, this, &TsWebServerSupervisor::onOutput);
        connect(d->webServer, &QProcess::readChannelFinished, this,
                &TsWebServerSupervisor::onOutput);
        connect(d->webServer, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                &TsWebServerSupervisor::onFinished);
        connect(d->webServer, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart && d->launching)
                launchDone(false);
        });
    }
    if (d->webServer->state() != QProcess::NotRunning) {
        d->active = true;
        return;
    }
    if (!QFileInfo(d->nginxExe).isExecutable()) {
        fail(tr("nginx is not installed ('%1' was not found).")
                 .arg(QDir::toNativeSeparators(d->nginxExe)));
        return;
    }

    const QString templateName = d->webServerDir + QStringLiteral("/conf/nginx.conf.tmpl");
    QFile templateFile(templateName);
    if (!templateFile.open(QIODevice::ReadOnly)) {
        qWarning("webinterface: can not read config-template '%s'", qPrintable(templateName));
        fail(tr("The configuration template '%1' cannot be read.")
                 .arg(QDir::toNativeSeparators(templateName)));
        return;
    }
    if (!d->prepareRuntimeDir()) {
        fail(tr("No runtime folder for the web server could be made in '%1'.")
                 .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return;
    }
    QString why;
    const QString runtimePath = configurablePath(d->runtimeDir->path(), QString(), &why);
    if (runtimePath.isEmpty()) {
        fail(why);
        return;
    }
    QString served = d->servedDir();
    if (served.isEmpty()) {
        fail(tr("'%1' could not be copied where the web server's workers can read it.")
                 .arg(QDir::toNativeSeparators(d->htmlDir)));
        return;
    }
    served = configurablePath(served, QStringLiteral("served"), &why);
    if (served.isEmpty()) {
        fail(why);
        return;
    }
    const QByteArray config =
        nginxConfiguration(templateFile.readAll(), settings, served, runtimePath);

    if (d->configFile)
        d->configFile->deleteLater();
    d->configFile =
        new QTemporaryFile(d->runtimeDir->path() + QStringLiteral("/nginx-XXXXXX.conf"), this);
    if (!d->configFile->open() || d->configFile->write(config) != config.size() ||
        !d->configFile->flush()) {
        fail(tr("The web server's configuration '%1' could not be written.")
                 .arg(QDir::toNativeSeparators(d->configFile->fileName())));
        return;
    }

    qDebug("webinterface: starting '%s' with config '%s'", qPrintable(d->nginxExe),
           qPrintable(d->configFile->fileName()));
    // A build whose prefix is its working folder (the Windows one) writes the messages from
    // before the configuration is read to "logs/error.log" there: in the runtime folder.
    d->webServer->setWorkingDirectory(d->runtimeDir->path());
    d->restarts = 0;
    d->active = true;
    d->relaunch = false;
    launch();
}

void TsWebServerSupervisor::stop()
{
    const bool wasActive = d->active;
    d->watching = false;
    d->launching = false;
    d->pollTimer->stop();
    d->restartTimer->stop();
    d->errorString.clear();
    if (!wasActive)
        return;
    if (d->webServer && d->webServer->state() != QProcess::NotRunning) {
        // A killed master leaves its workers serving the port: it is asked to stop first, and
        // only killed when it does not. "-s stop" signals whatever process the pid file names,
        // so it is used only when that is this nginx.
        bool asked = false;
        if (TsWebServerProcess::pidInFile(d->runtimeDir->path() + QLatin1Char('/') +
                                          QLatin1String(NginxPidFile)) ==
            d->webServer->processId()) {
            QProcess stopper;
            stopper.setWorkingDirectory(d->runtimeDir->path());
            stopper.start(d->nginxExe, nginxArguments(d->configFile->fileName(), true));
            asked = stopper.waitForFinished(StopWait) &&
                    stopper.exitStatus() == QProcess::NormalExit && stopper.exitCode() == 0;
        }
        // Without a pid file yet (a stop right after the start), the stop is not delivered; the
        // master is then told directly, as "-s stop" would have done.
        if (!asked || !d->webServer->waitForFinished(StopWait)) {
            d->webServer->terminate();
            if (!d->webServer->waitForFinished(KillWait)) {
                d->webServer->kill();
                d->webServer->waitForFinished(KillWait);
            }
        }
        onOutput();
    }
    // Workers of a master that was killed meanwhile.
    TsWebServerProcess::endGroup(d->masterPid);
    d->masterPid = 0;
    if (d->webServer) {
        d->webServer->deleteLater();
        d->webServer = nullptr;
    }
    d->forgetRun();
}

QStringList TsWebServerSupervisor::nginxArguments(const QString &configFile, bool stop)
{
    // Options every build since long ago knows; the error log is set in the configuration.
    QStringList arguments{QStringLiteral("-c"), configFile};
    if (stop)
        arguments << QStringLiteral("-s") << QStringLiteral("stop");
    return arguments;
}

QByteArray TsWebServerSupervisor::nginxPath(const QString &path, QChar nativeSeparator)
{
    // nginx reads "\t", "\n" and "\r" in a quoted string as escapes, so a Windows path such as
    // "...\Temp\tessaro-web-..." would name another file: its separators become '/', which
    // nginx takes on every platform. A backslash that is part of a name is escaped, as is a quote.
    QString text = path;
    if (nativeSeparator == QLatin1Char('\\'))
        text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return text.toLocal8Bit();
}

QByteArray TsWebServerSupervisor::nginxConfiguration(const QByteArray &templateText,
                                                     const TsWebInterfaceSettings &settings,
                                                     const QString &servedDir,
                                                     const QString &runtimeDir,
                                                     QChar nativeSeparator)
{
    QByteArray config = templateText;
    config.replace("%HTTPPORT%", QByteArray::number(settings.httpPort));
    config.replace("%FCGIPORT%", QByteArray::number(settings.fcgiPort));
    config.replace("%SERVERNAME%", "_");
    config.replace("%SERVERPATH%", nginxPath(servedDir, nativeSeparator));
    config.replace("%RUNTIMEPATH%", nginxPath(runtimeDir, nativeSeparator));
    return config;
}

void TsWebServerSupervisor::onOutput()
{
    if (!d->webServer)
        return;
    const QByteArray output = d->webServer->readAll().trimmed();
    if (!output.isEmpty()) {
        qDebug("webserver: %s", output.constData());
        // Kept for the error line of an nginx that does not start or ends.
        d->output.append(output).append('\n');
        if (d->output.size() > 8192)
            d->output.remove(0, d->output.size() - 8192);
    }
}

void TsWebServerSupervisor::launch()
{
    d->watching = false;
    d->output.clear();
    d->launching = true;
    d->masterPid = 0;
    d->launchedAt.start();
    d->webServer->start(d->nginxExe, nginxArguments(d->configFile->fileName()));
    // nginx writes its pid file once it listens on every port; a port it cannot have it tries
    // for 2.5 s and then ends. Both are watched from the event loop, never waited for.
    d->pollTimer->start();
}

void TsWebServerSupervisor::pollStart()
{
    if (!d->launching || !d->webServer) {
        d->pollTimer->stop();
        return;
    }
    if (d->webServer->state() == QProcess::Starting)
        return;
    if (d->webServer->state() == QProcess::NotRunning) {
        launchDone(false);
        return;
    }
    d->masterPid = d->webServer->processId();
    const QString pidFile = d->runtimeDir->path() + QLatin1Char('/') + QLatin1String(NginxPidFile);
    if (TsWebServerProcess::pidInFile(pidFile) == d->masterPid)
        launchDone(true);
    else if (d->launchedAt.elapsed() >= StartWait)
        launchDone(false);
}

void TsWebServerSupervisor::launchDone(bool up)
{
    if (!d->launching)
        return;
    d->launching = false;
    d->pollTimer->stop();
    onOutput();
    if (up) {
        // What it said while coming up (a log it may not open, say) is no reason for a later end.
        d->output.clear();
        d->watching = true;
        d->upSince.start();
        if (d->relaunch) {
            d->errorString.clear();
            qDebug("webinterface: the web server runs again");
            emit restarted();
        } else {
            emit started();
        }
        return;
    }
    if (d->relaunch) {
        scheduleRestart(
            tr("The web server could not be started again (%1).").arg(d->endDescription()));
        return;
    }
    fail(tr("The web server could not be started: %1").arg(d->endDescription()));
}

void TsWebServerSupervisor::fail(const QString &message)
{
    d->watching = false;
    d->launching = false;
    d->pollTimer->stop();
    d->restartTimer->stop();
    if (d->webServer && d->webServer->state() != QProcess::NotRunning) {
        // Killed, it ends at once: this wait is no wait for nginx's own doing.
        d->webServer->kill();
        d->webServer->waitForFinished(KillWait);
    }
    TsWebServerProcess::endGroup(d->masterPid);
    d->masterPid = 0;
    d->forgetRun();
    d->errorString = message;
    qDebug("webinterface: %s", qPrintable(message));
    emit failed(message);
}

void TsWebServerSupervisor::onFinished()
{
    if (d->launching) {
        launchDone(false);
        return;
    }
    if (!d->watching || !d->webServer)
        return;
    d->watching = false;
    onOutput();
    const QString why = d->endDescription();
    // A killed master's workers still hold the port the restart needs.
    TsWebServerProcess::endGroup(d->masterPid);
    if (d->upSince.isValid() && d->upSince.elapsed() >= StableAfter)
        d->restarts = 0;
    scheduleRestart(tr("The web server ended unexpectedly (%1).").arg(why));
}

void TsWebServerSupervisor::scheduleRestart(const QString &what)
{
    if (d->restarts >= d->restartDelays.size()) {
        fail(what + QLatin1Char(' ') +
             tr("After %1 restarts it is given up; the web page is not available.")
                 .arg(d->restarts));
        return;
    }
    const int delay = d->restartDelays.at(d->restarts++);
    d->errorString = what + QLatin1Char(' ') +
                     tr("It is started again in %1 s.").arg(QLocale().toString(delay / 1000.0));
    qDebug("webinterface: %s", qPrintable(d->errorString));
    emit restarting(d->errorString);
    d->restartTimer->start(delay);
}

void TsWebServerSupervisor::restart()
{
    if (!d->active || !d->webServer || d->webServer->state() != QProcess::NotRunning)
        return;
    TsWebServerProcess::endGroup(d->masterPid);
    d->relaunch = true;
    launch();
}

QString TsWebServerSupervisor::configurablePath(const QString &path, const QString &linkName,
                                                QString *why) const
{
    // In a quoted string nginx takes "$" for a variable (in "root"), and a quote or a backslash
    // for the end of the string or an escape; it has no way to write them literally.
    const auto takes = [](const QString &candidate) {
        for (const QChar c : candidate) {
            if (c == QLatin1Char('$') || c == QLatin1Char('"') || c.unicode() < 0x20 ||
                (c == QLatin1Char('\\') && QDir::separator() != QLatin1Char('\\')))
                return false;
        }
        return QString::fromLocal8Bit(candidate.toLocal8Bit()) == candidate;
    };
    if (takes(path))
        return path;
    if (!linkName.isEmpty() && d->runtimeDir) {
        const QString link = d->runtimeDir->path() + QLatin1Char('/') + linkName;
        if (takes(link) && QFile::link(path, link)) {
            qDebug("webinterface: serving '%s' through the link '%s'", qPrintable(path),
                   qPrintable(link));
            return link;
        }
    }
    *why = tr("The web server cannot take the path '%1': nginx has no way to write a \"$\", a "
              "quote, a backslash or a control character in it, nor one the system's encoding "
              "cannot hold.")
               .arg(QDir::toNativeSeparators(path));
    return QString();
}
