#include "startup.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "tscore.h"
#include "utils/qtsingleapplication.h"
#include "views/tsstylepalette.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QScopedPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdio>

namespace {

// Messages may come from any thread.
std::atomic<MessageOutput> s_messageOutput{MessageOutput::All};
QtMessageHandler s_qtOutput = nullptr;

// The program's one message handler: what output lets through goes on to Qt's own output; the
// reason for a fatal error always does, before the program aborts.
void writeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const MessageOutput output = s_messageOutput.load();
    const bool shown = type == QtFatalMsg || output == MessageOutput::All ||
                       (output == MessageOutput::AllButDebug && type != QtDebugMsg);
    if (shown && s_qtOutput)
        s_qtOutput(type, context, message);
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

void setMessageOutput(MessageOutput output)
{
    s_messageOutput = output;
    const QtMessageHandler previous = qInstallMessageHandler(writeMessage);
    if (previous != writeMessage)
        s_qtOutput = previous;
}

void initEnvironment()
{
    const bool debugMessages = QSettings().value(QStringLiteral("debugMessages"), false).toBool();
    setMessageOutput(debugMessages ? MessageOutput::All : MessageOutput::None);

    const QString documents =
        QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0);
    if (!documents.isEmpty())
        QDir::setCurrent(documents);

    TsCore::makeUserFolders(QString());
    // What a sheet cannot say (placeholders, links) follows every sheet the user chooses.
    setStyleSheetFollower(&TsStylePalette::followStyleSheet);
    loadStyle(false);
}

namespace {

const QString OpenRecordingCommand = QStringLiteral("open-recording\n");

// The recordings asked for, opened beside the main window one after another: each read runs an
// event loop of its own behind its progress dialog, in which the next request may arrive. None
// opens before the user's profile is loaded, so that known channels take its colours.
class RecordingQueue
{
public:
    explicit RecordingQueue(QWidget *window)
        : m_window(window)
    {
        m_since.start();
    }

    void add(const QString &path)
    {
        m_paths << path;
        schedule();
    }

private:
    // Never at once: a request arrives in the handler of the socket that brought it.
    void schedule()
    {
        const qint64 wait = qMax<qint64>(0, 2 * TsConfigManager::LoadDelay - m_since.elapsed());
        QTimer::singleShot(int(wait), m_window, [this] { openNext(); });
    }

    void openNext()
    {
        if (m_opening || m_paths.isEmpty())
            return;
        m_opening = true;
        TsRecorderGraphDialog::openRecording(m_paths.takeFirst(), m_window);
        m_opening = false;
        if (!m_paths.isEmpty())
            schedule();
    }

    QWidget *m_window;
    QStringList m_paths;
    QElapsedTimer m_since;
    bool m_opening = false;
};

} // namespace

QString StartRequest::toMessage() const
{
    return recording.isEmpty() ? QString() : OpenRecordingCommand + recording;
}

StartRequest StartRequest::fromMessage(const QString &message)
{
    StartRequest request;
    if (message.startsWith(OpenRecordingCommand)) {
        const QString path = message.mid(OpenRecordingCommand.size());
        if (QDir::isAbsolutePath(path))
            request.recording = path;
        else
            qWarning("StartRequest::fromMessage: not an absolute path: '%s'", qPrintable(path));
    } else if (!message.isEmpty()) {
        qWarning("StartRequest::fromMessage: unknown request '%s'", qPrintable(message.left(40)));
    }
    return request;
}

HandOver handOverToRunningInstance(QtSingleApplication &app, const StartRequest &request)
{
    if (!app.isRunning())
        return HandOver::FirstInstance;
    // Written before any message handler is installed, so it is never suppressed.
    qDebug("tessaro: instance already running");
    return app.sendMessage(request.toMessage(), 5000) ? HandOver::Delivered : HandOver::Undelivered;
}

int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow,
                   const StartRequest &request)
{
    QtSingleApplication app(argc, argv, true);
    switch (handOverToRunningInstance(app, request)) {
    case HandOver::FirstInstance:
        break;
    case HandOver::Delivered:
        return 0;
    case HandOver::Undelivered:
        if (request.recording.isEmpty()) {
            std::fprintf(stderr, "tessaro: the running instance did not answer within 5 s\n");
            return 0;
        }
        std::fprintf(stderr,
                     "tessaro: the running instance did not answer within 5 s; %s was not "
                     "opened\n",
                     qPrintable(QDir::toNativeSeparators(request.recording)));
        return 1;
    }

    setApplicationIdentity();
    initEnvironment();

    QScopedPointer<QWidget> window(createMainWindow ? createMainWindow() : nullptr);
    if (!window) {
        qCritical("tessaro: no main window");
        return 1;
    }
    window->show();
    app.setActivationWindow(window.data(), true);
    RecordingQueue recordings(window.data());
    if (!request.recording.isEmpty())
        recordings.add(request.recording);
    QObject::connect(&app, &QtSingleApplication::messageReceived, window.data(),
                     [&recordings](const QString &message) {
                         const StartRequest asked = StartRequest::fromMessage(message);
                         if (!asked.recording.isEmpty())
                             recordings.add(asked.recording);
                     });

    const int result = app.exec();
    // The window's views still talk to the core and the managers; it goes first, while the
    // application object that they need is still there.
    app.setActivationWindow(nullptr);
    window.reset();
    return result;
}
