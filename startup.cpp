#include "startup.h"

#include "tscore.h"
#include "utils/qtsingleapplication.h"
#include "views/tsstylepalette.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QScopedPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

namespace {

QtMessageHandler s_defaultHandler = nullptr;

// Silent, except that the reason for a fatal error still reaches the default output before the
// program aborts.
void discardMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg && s_defaultHandler)
        s_defaultHandler(type, context, message);
}

} // namespace

HostSystem hostSystem()
{
#if defined(Q_OS_WIN)
    return HostSystem::Windows;
#elif defined(Q_OS_MACOS)
    return HostSystem::MacOS;
#else
    return HostSystem::Other;
#endif
}

bool hasDisplay(HostSystem system, const QProcessEnvironment &environment)
{
    if (system != HostSystem::Other)
        return true;
    const QString platform = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")) &&
        !platform.startsWith(QLatin1String("wayland")))
        return true;
    return !environment.value(QStringLiteral("DISPLAY")).isEmpty() ||
           !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

bool hasDisplay()
{
    return hasDisplay(hostSystem(), QProcessEnvironment::systemEnvironment());
}

void keepSettingsUnder(const QString &home, HostSystem system)
{
    // Default-constructed QSettings use the default format; the native one ignores setPath on
    // Windows and macOS.
    QSettings::setDefaultFormat(system == HostSystem::Other ? QSettings::NativeFormat
                                                            : QSettings::IniFormat);
    const QString settings = home + QStringLiteral("/settings");
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, settings);
        QSettings::setPath(format, QSettings::SystemScope, settings + QStringLiteral("/system"));
    }
    QSettings().setValue(QStringLiteral("dataPath"), home + QStringLiteral("/data"));
}

void useDemonstrationControllers()
{
    const QByteArray chosen = qgetenv("ZDX7000_SIMULATION");
    if (chosen.isEmpty() || chosen == "demo")
        qputenv("ZDX7000_SIMULATION", "demo");
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("varon-incubation.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessaro"));
    // The project's version, set once in CMakeLists.txt.
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));
}

void initEnvironment()
{
    const bool debugMessages = QSettings().value(QStringLiteral("debugMessages"), false).toBool();
    if (debugMessages) {
        qInstallMessageHandler(nullptr);
    } else {
        QtMessageHandler previous = qInstallMessageHandler(discardMessage);
        if (previous != discardMessage)
            s_defaultHandler = previous;
    }

    const QString documents =
        QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0);
    if (!documents.isEmpty())
        QDir::setCurrent(documents);

    TsCore::makeUserFolders(QString());
    // What a sheet cannot say (placeholders, links) follows every sheet the user chooses.
    setStyleSheetFollower(&TsStylePalette::followStyleSheet);
    loadStyle(false);
}

bool handOverToRunningInstance(QtSingleApplication &app)
{
    if (!app.isRunning())
        return false;
    // Written before any message handler is installed, so it is never suppressed.
    qDebug("tessaro: instance already running");
    app.sendMessage(QString(), 5000);
    return true;
}

int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow)
{
    QtSingleApplication app(argc, argv, true);
    if (handOverToRunningInstance(app))
        return 0;

    setApplicationIdentity();
    initEnvironment();

    QScopedPointer<QWidget> window(createMainWindow ? createMainWindow() : nullptr);
    if (!window) {
        qCritical("tessaro: no main window");
        return 1;
    }
    window->show();
    app.setActivationWindow(window.data(), true);

    const int result = app.exec();
    // The window's views still talk to the core and the managers; it goes first, while the
    // application object that they need is still there.
    app.setActivationWindow(nullptr);
    window.reset();
    return result;
}
