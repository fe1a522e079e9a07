#include "startup.h"

#include "tscore.h"
#include "utils/qtsingleapplication.h"
#include "views/tsstylepalette.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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

// The sheets (made at build time) and their glyphs live in the static library; its resources must
// be registered by name, and outside any namespace. Registering twice would stack a second copy.
static void initStyleResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(styles);
        Q_INIT_RESOURCE(stylesheets);
        return true;
    }();
    Q_UNUSED(registered)
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("varon-incubation.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessaro"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1.0.0"));
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
    loadStyle(false);
}

void loadStyle(bool light)
{
    initStyleResources();
    const QString name = light ? QStringLiteral("light") : QStringLiteral("dark");
    QFile file(QStringLiteral(":/styles/%1-style.css").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString sheet = QString::fromUtf8(file.readAll());
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        app->setStyleSheet(sheet);
        TsStylePalette::followStyleSheet();
        app->setProperty("styleName", name);
    }
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
