#include "webinterface/tswebinterfacemanager.h"
#include "webinterface/tspublicaddress.h"

#include "utils/web/fcgiserver.h"
#include "webinterface/tswebpagerenderer.h"
#include "webinterface/tswebserversupervisor.h"

#include <QDebug>
#include <QSettings>
#include <QTimer>

namespace {

const char SettingsGroup[] = "WebInterface";

} // namespace

struct TsWebInterfaceManager::Private
{
    TsWebInterfaceSettings settings;
    bool running = false;
    FCGIServer fcgiServer;
    TsWebPageRenderer renderer;
    TsWebServerSupervisor *supervisor = nullptr;
    QString errorString;
};

TsWebInterfaceManager::TsWebInterfaceManager(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->fcgiServer.setHandler([this](FCGIRequest *request) { handleRequest(request); });
    d->supervisor = new TsWebServerSupervisor(this);
    d->renderer.setHtmlDir(d->supervisor->htmlDir());
    connect(d->supervisor, &TsWebServerSupervisor::started, this,
            &TsWebInterfaceManager::webServerStarted);
    connect(d->supervisor, &TsWebServerSupervisor::failed, this, &TsWebInterfaceManager::failStart);
    connect(d->supervisor, &TsWebServerSupervisor::restarting, this,
            [this](const QString &message) {
                d->errorString = message;
                emit webServerError(message);
            });
    connect(d->supervisor, &TsWebServerSupervisor::restarted, this, [this] {
        d->errorString.clear();
        emit webServerRestarted();
    });

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

bool TsWebInterfaceManager::isStarting() const
{
    return d->running && d->supervisor->isStarting();
}

QString TsWebInterfaceManager::webServerDir() const
{
    return d->supervisor->webServerDir();
}

void TsWebInterfaceManager::setWebServerDir(const QString &dir)
{
    d->supervisor->setWebServerDir(dir);
    d->renderer.setHtmlDir(d->supervisor->htmlDir());
}

QString TsWebInterfaceManager::nginxExe() const
{
    return d->supervisor->nginxExe();
}

QString TsWebInterfaceManager::runtimeDir() const
{
    return d->supervisor->runtimeDir();
}

void TsWebInterfaceManager::setEmailAlertSwitch(TsEmailAlertSwitch *alertSwitch)
{
    d->renderer.setEmailAlertSwitch(alertSwitch);
}

QString TsWebInterfaceManager::errorString() const
{
    return d->errorString;
}

void TsWebInterfaceManager::setRestartDelays(const QList<int> &milliseconds)
{
    d->supervisor->setRestartDelays(milliseconds);
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
    d->running = true;
    // A failure before nginx runs comes back through failStart() before this returns.
    d->supervisor->start(d->settings);
}

void TsWebInterfaceManager::stop()
{
    if (!d->running)
        return;
    d->errorString.clear();
    d->supervisor->stop();
    d->fcgiServer.stop();
    d->running = false;
    d->renderer.clear();
}

void TsWebInterfaceManager::failStart(const QString &message)
{
    // The responder keeps listening, as after any start: a web server of the operator's own may
    // stand in for nginx. Only a responder that could not listen is not there.
    d->running = false;
    d->renderer.clear();
    d->errorString = message;
    qDebug("webinterface: %s", qPrintable(message));
    emit webServerError(message);
}

void TsWebInterfaceManager::handleRequest(FCGIRequest *request)
{
    d->renderer.handle(request);
}

QString TsWebInterfaceManager::htmlEscaped(const QString &text)
{
    return TsWebPageRenderer::htmlEscaped(text);
}

QString TsWebInterfaceManager::jsEscaped(const QString &text)
{
    return TsWebPageRenderer::jsEscaped(text);
}
