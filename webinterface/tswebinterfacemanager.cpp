#include "tswebinterfacemanager.h"

#include "config/tsconfigmanager.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "tsalarmpages.h"
#include "tscore.h"
#include "tsmetrics.h"
#include "tspublicaddress.h"
#include "tswebserverprocess.h"
#include "utils/web/fcgirequest.h"
#include "utils/web/fcgiserver.h"
#include "utils/web/prometheustext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const char SettingsGroup[] = "WebInterface";

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

// Fills a template's placeholders in one pass. Values are never scanned again, so a channel name
// that happens to contain a placeholder stays as written, and a page costs one copy of the
// template instead of one search of it per placeholder.
QByteArray fill(const QByteArray &text, const QList<QPair<const char *, QString>> &values)
{
    QByteArray out;
    out.reserve(text.size() + 512);
    const char *p = text.constData();
    const char *const end = p + text.size();
    while (p < end) {
        const auto *mark = static_cast<const char *>(std::memchr(p, '%', size_t(end - p)));
        if (!mark) {
            out.append(p, int(end - p));
            break;
        }
        out.append(p, int(mark - p));
        p = mark + 1;
        const auto *close = static_cast<const char *>(std::memchr(p, '%', size_t(end - p)));
        if (!close) {
            out.append('%');
            continue;
        }
        const size_t length = size_t(close - mark + 1);
        auto match = std::find_if(values.begin(), values.end(), [&](const auto &value) {
            return std::strlen(value.first) == length &&
                   std::memcmp(value.first, mark, length) == 0;
        });
        if (match == values.end()) {
            // Not one of ours: keep the mark; its partner may open the next placeholder.
            out.append('%');
            continue;
        }
        out.append(match->second.toUtf8());
        p = close + 1;
    }
    return out;
}

QString statusWord(int index)
{
    switch (index) {
    case TsExperimentChannel::StatusLoopOff:
        return QStringLiteral("off");
    case TsExperimentChannel::StatusGreen:
        return QStringLiteral("green");
    case TsExperimentChannel::StatusYellow:
        return QStringLiteral("yellow");
    case TsExperimentChannel::StatusOther:
        return QStringLiteral("red");
    default:
        return QStringLiteral("offline");
    }
}

} // namespace

struct TsWebInterfaceManager::Private
{
    TsWebInterfaceSettings settings;
    bool running = false;
    QPointer<QTemporaryFile> configFile;
    QString webServerDir;
    QString htmlDir;
    QString nginxExe;
    QPointer<QProcess> webServer;
    QScopedPointer<QTemporaryDir> runtimeDir;
    FCGIServer fcgiServer;
    QHash<QByteArray, QByteArray> templates;
    // The last answer of each script path with everything it was made of. A request whose
    // inputs are the same byte for byte gets the same answer without filling the templates again:
    // it is what a fresh rendering would give, so a page is never behind the desktop.
    struct Page
    {
        QByteArray inputs;
        QByteArray body;
    };
    QHash<QByteArray, Page> pages;
    TsEmailAlertSwitch *alertSwitch = nullptr;

    // Watching nginx while it runs.
    QString errorString;
    QByteArray output;     // what nginx said since it was last started
    bool watching = false; // an end of nginx now is unexpected
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

    // Everything of one run of nginx but the responder, which stop() and a failed start treat
    // differently.
    void forgetRun()
    {
        running = false;
        templates.clear();
        pages.clear();
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
            return QCoreApplication::translate("TsWebInterfaceManager", "it was killed or crashed");
        return QCoreApplication::translate("TsWebInterfaceManager", "it ended with exit code %1")
            .arg(webServer->exitCode());
    }

    QByteArray readTemplate(const QByteArray &name)
    {
        const auto cached = templates.constFind(name);
        if (cached != templates.constEnd())
            return cached.value();
        const QString fileName = htmlDir + QString::fromUtf8(name);
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("webinterface: no such template: %s", qPrintable(fileName));
            return QByteArray();
        }
        const QByteArray text = file.readAll();
        if (text.isEmpty()) {
            qWarning("webinterface: empty template: %s", qPrintable(fileName));
            return QByteArray();
        }
        templates.insert(name, text);
        return text;
    }
};

TsWebInterfaceManager::TsWebInterfaceManager(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->fcgiServer.setHandler([this](FCGIRequest *request) { handleRequest(request); });
    d->restartTimer = new QTimer(this);
    d->restartTimer->setSingleShot(true);
    connect(d->restartTimer, &QTimer::timeout, this, &TsWebInterfaceManager::restartWebServer);
    d->setWebServerDir(QCoreApplication::applicationDirPath() + QStringLiteral("/webserver"));

    const TsWebInterfaceSettings defaults = defaultSettings();
    QSettings store;
    store.beginGroup(QLatin1String(SettingsGroup));
    d->settings.autoStart = store.value(QStringLiteral("autoStart"), defaults.autoStart).toBool();
    // A stored port that is no port (edited by hand, say) would otherwise wrap around to another.
    const auto port = [&store](const char *key, quint16 fallback) {
        bool ok = false;
        const uint value = store.value(QLatin1String(key), fallback).toUInt(&ok);
        if (ok && value >= 1 && value <= 65535)
            return quint16(value);
        qWarning("webinterface: the stored \"%s\" value \"%s\" is no port; %u is used", key,
                 qPrintable(store.value(QLatin1String(key)).toString()), unsigned(fallback));
        return fallback;
    };
    d->settings.fcgiPort = port("fcgiPort", defaults.fcgiPort);
    d->settings.httpPort = port("httpPort", defaults.httpPort);
    d->settings.publicUrl = store.value(QStringLiteral("publicUrl"), defaults.publicUrl).toString();
    if (tsIsPlaceholderAddress(d->settings.publicUrl))
        d->settings.publicUrl.clear();
    store.endGroup();

    if (d->settings.autoStart)
        QTimer::singleShot(AutoStartDelay, this, &TsWebInterfaceManager::start);
}

TsWebInterfaceManager::~TsWebInterfaceManager()
{
    stop();
}

TsWebInterfaceSettings TsWebInterfaceManager::defaultSettings()
{
    TsWebInterfaceSettings defaults;
    defaults.fcgiPort = FCGIServer::DefaultPort;
#ifdef Q_OS_WIN
    defaults.httpPort = 80;
#else
    // Only a privileged user may listen on ports below 1024 here.
    defaults.httpPort = 8080;
#endif
    return defaults;
}

TsWebInterfaceSettings TsWebInterfaceManager::settings() const
{
    return d->settings;
}

void TsWebInterfaceManager::setSettings(const TsWebInterfaceSettings &settings)
{
    d->settings = settings;
    QSettings store;
    store.beginGroup(QLatin1String(SettingsGroup));
    store.setValue(QStringLiteral("autoStart"), settings.autoStart);
    store.setValue(QStringLiteral("fcgiPort"), int(settings.fcgiPort));
    store.setValue(QStringLiteral("httpPort"), int(settings.httpPort));
    // Unset, mails link to the host name and the HTTP port; the example address reaches nobody.
    if (settings.publicUrl.trimmed().isEmpty() || tsIsPlaceholderAddress(settings.publicUrl)) {
        d->settings.publicUrl.clear();
        store.remove(QStringLiteral("publicUrl"));
    } else {
        store.setValue(QStringLiteral("publicUrl"), settings.publicUrl);
    }
    store.endGroup();
}

bool TsWebInterfaceManager::isRunning() const
{
    return d->running;
}

QString TsWebInterfaceManager::webServerDir() const
{
    return d->webServerDir;
}

void TsWebInterfaceManager::setWebServerDir(const QString &dir)
{
    d->setWebServerDir(dir);
}

QString TsWebInterfaceManager::nginxExe() const
{
    return d->nginxExe;
}

QString TsWebInterfaceManager::runtimeDir() const
{
    return d->runtimeDir ? d->runtimeDir->path() : QString();
}

void TsWebInterfaceManager::setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch)
{
    d->alertSwitch = alertSwitch;
}

void TsWebInterfaceManager::start()
{
    if (d->running)
        return;
    d->errorString.clear();
    // nginx would pass the pages' requests to whatever holds the port: another Tessaro's data.
    if (!d->fcgiServer.start(d->settings.fcgiPort)) {
        failStart(
            tr("The FastCGI port %1 is in use by another program.").arg(d->settings.fcgiPort));
        return;
    }

    if (!d->webServer) {
        d->webServer = new TsWebServerProcess(this);
        d->webServer->setProcessChannelMode(QProcess::MergedChannels);
        // Passed on as it comes, so that a server that runs for weeks does not pile it up here.
        connect(d->webServer, &QProcess::readyRead, this, &TsWebInterfaceManager::webServerOutput);
        connect(d->webServer, &QProcess::readChannelFinished, this,
                &TsWebInterfaceManager::webServerOutput);
        connect(d->webServer, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                &TsWebInterfaceManager::onWebServerFinished);
    }
    if (d->webServer->state() != QProcess::NotRunning) {
        d->running = true;
        return;
    }
    if (!QFileInfo(d->nginxExe).isExecutable()) {
        failStart(tr("nginx is not installed ('%1' was not found).")
                      .arg(QDir::toNativeSeparators(d->nginxExe)));
        return;
    }

    const QString templateName = d->webServerDir + QStringLiteral("/conf/nginx.conf.tmpl");
    QFile templateFile(templateName);
    if (!templateFile.open(QIODevice::ReadOnly)) {
        qWarning("webinterface: can not read config-template '%s'", qPrintable(templateName));
        failStart(tr("The configuration template '%1' cannot be read.")
                      .arg(QDir::toNativeSeparators(templateName)));
        return;
    }
    if (!d->prepareRuntimeDir()) {
        failStart(tr("No runtime folder for the web server could be made in '%1'.")
                      .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return;
    }
    QString why;
    const QString runtimePath = configurablePath(d->runtimeDir->path(), QString(), &why);
    if (runtimePath.isEmpty()) {
        failStart(why);
        return;
    }
    QString served = d->servedDir();
    if (served.isEmpty()) {
        failStart(tr("'%1' could not be copied where the web server's workers can read it.")
                      .arg(QDir::toNativeSeparators(d->htmlDir)));
        return;
    }
    served = configurablePath(served, QStringLiteral("served"), &why);
    if (served.isEmpty()) {
        failStart(why);
        return;
    }
    const QByteArray config =
        nginxConfiguration(templateFile.readAll(), d->settings, served, runtimePath);

    if (d->configFile)
        d->configFile->deleteLater();
    d->configFile =
        new QTemporaryFile(d->runtimeDir->path() + QStringLiteral("/nginx-XXXXXX.conf"), this);
    if (!d->configFile->open() || d->configFile->write(config) != config.size() ||
        !d->configFile->flush()) {
        failStart(tr("The web server's configuration '%1' could not be written.")
                      .arg(QDir::toNativeSeparators(d->configFile->fileName())));
        return;
    }

    qDebug("webinterface: starting '%s'' with config '%s'", qPrintable(d->nginxExe),
           qPrintable(d->configFile->fileName()));
    // A build whose prefix is its working folder (the Windows one) writes the messages from
    // before the configuration is read to "logs/error.log" there: in the runtime folder.
    d->webServer->setWorkingDirectory(d->runtimeDir->path());
    d->restarts = 0;
    if (!launchWebServer()) {
        failStart(tr("The web server could not be started: %1").arg(d->endDescription()));
        return;
    }
    d->running = true;
}

void TsWebInterfaceManager::stop()
{
    if (!d->running)
        return;
    d->watching = false;
    d->restartTimer->stop();
    d->errorString.clear();
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
        webServerOutput();
    }
    // Workers of a master that was killed meanwhile.
    TsWebServerProcess::endGroup(d->masterPid);
    d->masterPid = 0;
    if (d->webServer) {
        d->webServer->deleteLater();
        d->webServer = nullptr;
    }
    d->fcgiServer.stop();
    d->forgetRun();
}

QStringList TsWebInterfaceManager::nginxArguments(const QString &configFile, bool stop)
{
    // Options every build since long ago knows; the error log is set in the configuration.
    QStringList arguments{QStringLiteral("-c"), configFile};
    if (stop)
        arguments << QStringLiteral("-s") << QStringLiteral("stop");
    return arguments;
}

QByteArray TsWebInterfaceManager::nginxPath(const QString &path, QChar nativeSeparator)
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

QByteArray TsWebInterfaceManager::nginxConfiguration(const QByteArray &templateText,
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

void TsWebInterfaceManager::webServerOutput()
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

QString TsWebInterfaceManager::errorString() const
{
    return d->errorString;
}

void TsWebInterfaceManager::setRestartDelays(const QList<int> &milliseconds)
{
    d->restartDelays = milliseconds;
}

bool TsWebInterfaceManager::launchWebServer()
{
    d->watching = false;
    d->output.clear();
    d->webServer->start(d->nginxExe, nginxArguments(d->configFile->fileName()));
    if (!d->webServer->waitForStarted(StartWait))
        return false;
    d->masterPid = d->webServer->processId();
    // nginx writes its pid file once it listens on every port; a port it cannot have it tries
    // for 2.5 s and then ends.
    const QString pidFile = d->runtimeDir->path() + QLatin1Char('/') + QLatin1String(NginxPidFile);
    QElapsedTimer waited;
    waited.start();
    while (TsWebServerProcess::pidInFile(pidFile) != d->masterPid &&
           d->webServer->state() != QProcess::NotRunning && waited.elapsed() < StartWait)
        d->webServer->waitForFinished(20);
    if (d->webServer->state() == QProcess::NotRunning) {
        webServerOutput();
        return false;
    }
    // What it said while coming up (a log it may not open, say) is no reason for a later end.
    webServerOutput();
    d->output.clear();
    d->watching = true;
    d->upSince.start();
    return true;
}

void TsWebInterfaceManager::failStart(const QString &message)
{
    d->watching = false;
    d->restartTimer->stop();
    if (d->webServer && d->webServer->state() != QProcess::NotRunning) {
        d->webServer->kill();
        d->webServer->waitForFinished(KillWait);
    }
    TsWebServerProcess::endGroup(d->masterPid);
    d->masterPid = 0;
    // The responder keeps listening, as after any start: a web server of the operator's own may
    // stand in for nginx. Only a responder that could not listen is not there.
    d->forgetRun();
    d->errorString = message;
    qDebug("webinterface: %s", qPrintable(message));
    emit webServerError(message);
}

void TsWebInterfaceManager::onWebServerFinished()
{
    if (!d->watching || !d->webServer)
        return;
    d->watching = false;
    webServerOutput();
    const QString why = d->endDescription();
    // A killed master's workers still hold the port the restart needs.
    TsWebServerProcess::endGroup(d->masterPid);
    if (d->upSince.isValid() && d->upSince.elapsed() >= StableAfter)
        d->restarts = 0;
    scheduleRestart(tr("The web server ended unexpectedly (%1).").arg(why));
}

void TsWebInterfaceManager::scheduleRestart(const QString &what)
{
    if (d->restarts >= d->restartDelays.size()) {
        failStart(what + QLatin1Char(' ') +
                  tr("After %1 restarts it is given up; the web page is not available.")
                      .arg(d->restarts));
        return;
    }
    const int delay = d->restartDelays.at(d->restarts++);
    d->errorString = what + QLatin1Char(' ') +
                     tr("It is started again in %1 s.").arg(QLocale().toString(delay / 1000.0));
    qDebug("webinterface: %s", qPrintable(d->errorString));
    emit webServerError(d->errorString);
    d->restartTimer->start(delay);
}

void TsWebInterfaceManager::restartWebServer()
{
    if (!d->running || !d->webServer || d->webServer->state() != QProcess::NotRunning)
        return;
    TsWebServerProcess::endGroup(d->masterPid);
    if (launchWebServer()) {
        d->errorString.clear();
        qDebug("webinterface: the web server runs again");
        emit webServerRestarted();
        return;
    }
    scheduleRestart(tr("The web server could not be started again (%1).").arg(d->endDescription()));
}

QString TsWebInterfaceManager::configurablePath(const QString &path, const QString &linkName,
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

QString TsWebInterfaceManager::htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString TsWebInterfaceManager::jsEscaped(const QString &text)
{
    QString js;
    js.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            js += QLatin1String("\\\\");
            break;
        case '\'':
            js += QLatin1String("\\'");
            break;
        case '\n':
            js += QLatin1String("\\n");
            break;
        case '\r':
            js += QLatin1String("\\r");
            break;
        case 0x2028: // line and paragraph separators end a script line in older browsers
            js += QLatin1String("\\u2028");
            break;
        case 0x2029:
            js += QLatin1String("\\u2029");
            break;
        default:
            js += c;
        }
    }
    // The string sits in a double-quoted attribute: markup and quotes must not end it.
    return js.toHtmlEscaped();
}

void TsWebInterfaceManager::handleRequest(FCGIRequest *request)
{
    const QByteArray script = request->param("SCRIPT_NAME");
    const QByteArray method = request->param("REQUEST_METHOD");
    QBuffer &out = request->stdoutBuffer();
    const bool get = method == "GET";
    const bool put = method == "PUT";
    if (script == "/metrics") {
        // Never cached: counters move although nothing on the pages changed.
        if (!get && method != "HEAD") {
            out.write("Status: 405 Method Not Allowed\nAllow: GET, HEAD\n\n");
            return;
        }
        out.write(QByteArray("Content-Type: ") + PrometheusText::ContentType + "\n\n");
        if (get)
            out.write(TsMetrics::render(TsMetrics::current()));
        return;
    }
    if (TsAlarmPages::handle(request))
        return;
    if (put && script != "/ts/emailalert.cgi")
        return;
    if (!(get || put) ||
        (script != "/ts/channels.cgi" && script != "/ts/user.cgi" &&
         script != "/ts/datarecording.cgi" && script != "/ts/dynamicexperiment.cgi" &&
         script != "/ts/emailalert.cgi")) {
        out.write("Status: 404 Not Found\n\n");
        request->stderrBuffer().write("Tessaro: bad request: " + script);
        return;
    }
    out.write("Content-type: text/html\n\n");
    if (put && d->alertSwitch)
        d->alertSwitch->setEmailAlertStatus(true);

    const QByteArray inputs = pageInputs(script);
    Private::Page &page = d->pages[script];
    if (page.inputs.isNull() || page.inputs != inputs) {
        bool complete = true;
        page.body = renderPage(script, complete);
        // A template that could not be read is tried again by the next request.
        page.inputs = complete ? inputs : QByteArray();
    }
    out.write(page.body);
}

namespace {

// Everything a page is made of, as bytes: two requests with the same bytes get the same page.
class PageInputs
{
public:
    PageInputs() { m_bytes.reserve(4096); }

    void add(const QString &text)
    {
        add(qint64(text.size()));
        m_bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    void add(qint64 number) { m_bytes.append(reinterpret_cast<const char *>(&number), 8); }
    // A sampled value as its text is made from it: its presence, and the number to the bit.
    void addValue(const QVariant &value)
    {
        bool ok = false;
        const double number = value.toDouble(&ok);
        add(qint64(value.isValid()) << 1 | qint64(ok));
        add(ok ? qint64(std::isnan(number)) : 0);
        qint64 bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        add(ok && !std::isnan(number) ? bits : 0);
    }
    QByteArray take() { return std::move(m_bytes); }

private:
    QByteArray m_bytes;
};

} // namespace

QByteArray TsWebInterfaceManager::pageInputs(const QByteArray &script) const
{
    // What renderPage reads for the page, and nothing else.
    PageInputs inputs;
    if (script == "/ts/channels.cgi") {
        const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
        inputs.add(experiment ? experiment->channels().size() : -1);
        if (experiment) {
            for (const TsExperimentChannel *channel : experiment->channels()) {
                inputs.add(channel->statusIndex());
                inputs.add(channel->name());
                inputs.add(channel->deviceName());
                inputs.add(channel->alert());
                inputs.add(channel->statusText());
                inputs.add(channel->statusDescription());
                inputs.add(channel->unit());
                inputs.addValue(channel->value(TsExperimentChannel::ActualValue));
                inputs.addValue(channel->value(TsExperimentChannel::SetpointValue));
                inputs.add(channel->loopControl());
            }
        }
    } else if (script == "/ts/user.cgi") {
        inputs.add(TsCore::currentUser());
        inputs.add(TsCore::currentProfile());
        inputs.add(tr("(n/a)"));
    } else if (script == "/ts/datarecording.cgi") {
        inputs.add(TsCore::configManager()->recordingStatusText());
    } else if (script == "/ts/dynamicexperiment.cgi") {
        inputs.add(TsCore::configManager()->dynamicExpStatusText());
    } else {
        inputs.add(d->alertSwitch && d->alertSwitch->emailAlertStatus());
    }
    return inputs.take();
}

QByteArray TsWebInterfaceManager::renderPage(const QByteArray &script, bool &complete) const
{
    const auto read = [&](const QByteArray &name) {
        const QByteArray text = d->readTemplate(name);
        complete = complete && !text.isEmpty();
        return text;
    };
    if (script == "/ts/channels.cgi") {
        const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
        if (!experiment)
            return QByteArray();
        QByteArray page;
        for (const TsExperimentChannel *channel : experiment->channels()) {
            const int index = channel->statusIndex();
            const QByteArray text =
                read(index == TsExperimentChannel::StatusOffline ? "/ts/channel_offline.tmpl"
                                                                 : "/ts/channel.tmpl");
            QList<QPair<const char *, QString>> values{
                {"%CH_STATUS%", statusWord(index)},
                {"%CH_NAME%", htmlEscaped(channel->name())},
                {"%CH_DEVICE_NAME%", htmlEscaped(channel->deviceName())},
                {"%CH_EMAILALERT_STATUS%",
                 channel->alert() ? QStringLiteral("on") : QStringLiteral("off")},
                {"%CH_STATUS_TEXT_JS%", jsEscaped(channel->statusText())},
                {"%CH_STATUS_DESC_JS%", jsEscaped(channel->statusDescription())},
                {"%CH_STATUS_TEXT%", htmlEscaped(channel->statusText())},
                {"%CH_STATUS_DESC%", htmlEscaped(channel->statusDescription())}};
            if (index != TsExperimentChannel::StatusOffline) {
                const bool loop = channel->loopControl();
                values +=
                    {{"%CH_ACTUAL_VALUE%",
                      htmlEscaped(channel->valueText(TsExperimentChannel::ActualValue, true))},
                     {"%CH_SETPOINT_VALUE%",
                      htmlEscaped(channel->valueText(TsExperimentChannel::SetpointValue, false))},
                     {"%CH_CONTROL_VALUE%", loop ? QStringLiteral("On") : QStringLiteral("Off")},
                     {"%CH_CONTROL_ICON%", loop ? QStringLiteral("green") : QStringLiteral("red")}};
            }
            page += fill(text, values);
        }
        return page;
    }
    if (script == "/ts/user.cgi") {
        const auto orNa = [](const QString &name) { return name.isEmpty() ? tr("(n/a)") : name; };
        return fill(read("/ts/user.tmpl"),
                    {{"%USERNAME%", htmlEscaped(orNa(TsCore::currentUser()))},
                     {"%PROFILENAME%", htmlEscaped(orNa(TsCore::currentProfile()))}});
    }
    if (script == "/ts/datarecording.cgi") {
        return fill(
            read("/ts/datarecording.tmpl"),
            {{"%DR_STATUS_TEXT%", htmlEscaped(TsCore::configManager()->recordingStatusText())}});
    }
    if (script == "/ts/dynamicexperiment.cgi") {
        return fill(
            read("/ts/dynamicexperiment.tmpl"),
            {{"%DE_STATUS_TEXT%", htmlEscaped(TsCore::configManager()->dynamicExpStatusText())}});
    }
    const bool on = d->alertSwitch && d->alertSwitch->emailAlertStatus();
    const QString none;
    const QString open = QStringLiteral("<!--");
    const QString close = QStringLiteral("-->");
    return fill(
        read("/ts/emailalert.tmpl"),
        {{"%EA_STATUS_TEXT%", on ? QStringLiteral("Activated") : QStringLiteral("Not activated")},
         {"%EA_STATUS%", on ? QStringLiteral("green") : QStringLiteral("red")},
         {"%EA_IF_ON_BEGIN%", on ? open : none},
         {"%EA_IF_ON_END%", on ? close : none},
         {"%EA_IF_OFF_BEGIN%", on ? none : open},
         {"%EA_IF_OFF_END%", on ? none : close}});
}
