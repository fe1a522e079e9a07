// The program's entry point. With a display it is the desktop program: the main window on the
// controllers it finds. Without one, or with --headless, it runs the core alone on the controllers
// it finds (on USB; with --demo the built-in demonstration controllers unless a simulation file
// is named) with the demonstration and the web interface, all in a folder of its own so that an
// operator's settings and data are never touched. Both read one command line.
#include "config/tsconfigmanager.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "startup.h"
#include "tscore.h"
#include "tsdemonstration.h"
#include "tsmainwindow.h"
#include "utils/tickstatistics.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
int s_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop picks the signal up from the pipe.
void onTerminationSignal(int signal)
{
    const char byte = char(signal);
    (void)!::write(s_signalPipe[0], &byte, 1);
}

// SIGINT, SIGTERM and SIGHUP (a closed terminal or ssh session) end the event loop, so that nginx
// is stopped and the settings are saved as at any other exit.
bool quitOnTerminationSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) != 0) {
        std::perror("tessaro: socketpair");
        return false;
    }
    auto *notifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        (void)!::read(s_signalPipe[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    return true;
}
#else
bool quitOnTerminationSignals(QCoreApplication &)
{
    return true;
}
#endif

// What the command line asked for, read once for both ways of running.
struct CommandLine
{
    bool headless = false;
    bool demo = false;
    bool tickStatistics = false;
    bool verbose = false;
    QString home;
    QString recording;    // --open: a past recording beside the main window
    quint16 httpPort = 0; // 0: the stored one
    quint16 fcgiPort = 0;
};

// Qt's own options, which the application object takes: accepted here, not listed.
const char *const QtOptions[] = {"platform",        "platformpluginpath",
                                 "platformtheme",   "plugin",
                                 "qwindowgeometry", "qwindowtitle",
                                 "qwindowicon",     "style",
                                 "stylesheet",      "display",
                                 "session",         "reverse"};
const char *const QtFlags[] = {"reverse"};

enum class Parsed
{
    Run,
    Answered, // --help or --version: said, nothing more to do
    Refused,
};

// Reads the command line before any application object exists, so that --help, --version and a
// mistake are answered at once and never handed over to a running instance.
Parsed parseCommandLine(int argc, char **argv, CommandLine &line)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Runs and watches live-cell incubation: the main window on the controllers found, or "
        "without a display (or with --headless) the demonstration in the web interface."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window: the demonstration, shown in the web interface."));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("The demonstration's user, profile, dynamic experiment, a recording and "
                       "the web page (always on without a window)."));
    const QCommandLineOption home(
        QStringLiteral("home"),
        QStringLiteral("Folder of the settings store and the data (without a window, the default "
                       "is demo-home beside the program's folder)."),
        QStringLiteral("folder"));
    const QCommandLineOption http(QStringLiteral("http-port"),
                                  QStringLiteral("Port of the web pages (stored)."),
                                  QStringLiteral("port"));
    const QCommandLineOption fcgi(
        QStringLiteral("fcgi-port"),
        QStringLiteral("Port of the program's FastCGI responder (stored)."),
        QStringLiteral("port"));
    const QCommandLineOption ticks(
        QStringLiteral("tick-statistics"),
        QStringLiteral("At exit, tell how regularly the sampling tick came (without a window)."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"), QStringLiteral("Show the diagnostic lines (without a window)."));
    const QCommandLineOption open(
        QStringLiteral("open"),
        QStringLiteral("A past recording (a CSV file of the recorder) in a graph window of its own "
                       "beside the main window; Tessaro opens it when it runs already."),
        QStringLiteral("file"));
    parser.addOptions({headless, demo, home, open, http, fcgi, ticks, verbose});
    for (const char *name : QtOptions) {
        const bool flag = std::any_of(std::begin(QtFlags), std::end(QtFlags),
                                      [name](const char *f) { return std::strcmp(f, name) == 0; });
        QCommandLineOption option(QString::fromLatin1(name));
        if (!flag)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool ok = parser.parse(arguments);
    QString error = ok ? QString() : parser.errorText();
    if (ok && !parser.positionalArguments().isEmpty())
        error =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    const auto port = [&](const QCommandLineOption &option, quint16 &value) {
        if (!error.isEmpty() || !parser.isSet(option))
            return;
        bool number = false;
        const uint given = parser.value(option).toUInt(&number);
        if (!number || given < 1 || given > 65535)
            error = QStringLiteral("--%1: a port is a number from 1 to 65535.")
                        .arg(option.names().first());
        value = quint16(given);
    };
    port(http, line.httpPort);
    port(fcgi, line.fcgiPort);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tessaro: %s\nTry 'tessaro --help'.\n", qPrintable(error));
        return Parsed::Refused;
    }
    // --help-all is the help option's sibling: the same text with Qt's own options.
    const bool helpAll = parser.optionNames().contains(QStringLiteral("help-all"));
    if (parser.isSet(help) || helpAll || parser.isSet(version)) {
        // The help text names the program from the application object's arguments.
        QCoreApplication app(argc, argv);
        setApplicationIdentity();
        if (parser.isSet(version)) {
            std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                        qPrintable(QCoreApplication::applicationVersion()));
        } else {
            std::printf("%s", qPrintable(parser.helpText()));
        }
        std::fflush(stdout);
        return Parsed::Answered;
    }
    line.headless = parser.isSet(headless);
    line.demo = parser.isSet(demo);
    line.tickStatistics = parser.isSet(ticks);
    line.verbose = parser.isSet(verbose);
    line.home = parser.value(home);
    if (parser.isSet(open))
        line.recording = QFileInfo(parser.value(open)).absoluteFilePath();
    return Parsed::Run;
}

// The ports given on the command line, kept in the settings as the settings dialog keeps them.
void applyPorts(const CommandLine &line)
{
    if (!line.httpPort && !line.fcgiPort)
        return;
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    TsWebInterfaceSettings settings = web->settings();
    if (line.httpPort)
        settings.httpPort = line.httpPort;
    if (line.fcgiPort)
        settings.fcgiPort = line.fcgiPort;
    web->setSettings(settings);
}

TickStatistics s_ticks(TsExperiment::SampleInterval);

void followSamplingTick(QObject *context)
{
    static QMetaObject::Connection tick;
    const auto follow = [context](TsExperiment *experiment) {
        QObject::disconnect(tick);
        if (experiment) {
            tick = QObject::connect(experiment->sampleTimer(), &QTimer::timeout, context,
                                    [] { s_ticks.tick(); });
        }
    };
    QObject::connect(TsCore::experimentManager(), &TsExperimentManager::currentExperimentChanged,
                     context, follow);
    follow(TsCore::experimentManager()->currentExperiment());
}

int runHeadless(int argc, char **argv, const CommandLine &line)
{
    // Before the application object, so that nothing reads the operator's settings first.
    QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
    QCoreApplication app(argc, argv);
    setApplicationIdentity();

    setMessageOutput(line.verbose ? MessageOutput::All : MessageOutput::AllButDebug);

    const QString home =
        QDir::cleanPath(QFileInfo(!line.home.isEmpty() ? line.home
                                                       : QCoreApplication::applicationDirPath() +
                                                             QStringLiteral("/../demo-home"))
                            .absoluteFilePath());
    if (!QDir().mkpath(home)) {
        std::fprintf(stderr, "tessaro: cannot make the folder %s\n", qPrintable(home));
        return 1;
    }
    keepSettingsUnder(home);

    if (!quitOnTerminationSignals(app))
        return 1;

    TsDeviceManager *devices = TsCore::deviceManager();
    const QxResult specs = devices->loadDeviceSpecs();
    if (!specs.isSuccess())
        std::fprintf(stderr, "tessaro: %s\n", qPrintable(specs.message()));

    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    applyPorts(line);

    // Every file the program could not save or read is said on standard error as it happens.
    QObject::connect(
        TsCore::configManager(), &TsConfigManager::fileError, TsCore::configManager(),
        [](const QString &message) { std::fprintf(stderr, "tessaro: %s\n", qPrintable(message)); });
    QObject::connect(web, &TsWebInterfaceManager::webServerRestarted, &app, [web] {
        std::printf("The web server runs again: http://localhost:%u/\n",
                    unsigned(web->settings().httpPort));
        std::fflush(stdout);
    });

    // After the configuration manager has read the last user and profile (its timer was made
    // first with the same delay), so that the demonstration's choice is the one that stands.
    QTimer::singleShot(TsConfigManager::LoadDelay, &app, [&] {
        devices->populateDevices();
        TsDemonstration::ensureUserAndProfile();
        TsDemonstration::followNewControllers(&app);
        followSamplingTick(&app);
        web->start();
        TsDemonstration::whenWebPageKnown(web, &app, [&app, web, devices](bool up) {
            const int channels =
                TsCore::experimentManager()->currentExperiment()
                    ? TsCore::experimentManager()->currentExperiment()->channels().size()
                    : 0;
            if (up) {
                std::printf("Tessaro is running on %d channels. Open http://localhost:%u/ in a "
                            "browser; Ctrl+C stops.\n",
                            channels, unsigned(web->settings().httpPort));
            } else {
                // Never an address: another program may serve it, another Tessaro's data even.
                std::printf("Tessaro is running on %d channels, but the web page is not "
                            "available: %s\nCtrl+C stops.\n",
                            channels, qPrintable(web->errorString()));
            }
            if (devices->devices().isEmpty())
                std::printf("No controllers are connected yet; they are shown as they appear.\n");
            std::fflush(stdout);
            // Later troubles of the web server: an nginx that died, restarts, giving up.
            QObject::connect(web, &TsWebInterfaceManager::webServerError, &app,
                             [](const QString &message) {
                                 std::fprintf(stderr, "tessaro: %s\n", qPrintable(message));
                             });
        });
    });

    const int status = app.exec();
    web->stop();
    if (line.tickStatistics)
        s_ticks.print();
    std::printf("Tessaro stopped.\n");
    std::fflush(stdout);
    return status;
}

// The desktop program: settings and data in a folder of their own with --home (as scripts/run and
// the tests use it), the demonstration with --demo, the ports as given.
int runDesktop(int argc, char **argv, const CommandLine &line)
{
    if (!line.home.isEmpty()) {
        // Before anything reads the settings store: the one under home is the only one used.
        QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
        QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
        const QString home = QDir::cleanPath(QFileInfo(line.home).absoluteFilePath());
        if (!QDir().mkpath(home)) {
            std::fprintf(stderr, "tessaro: cannot make the folder %s\n", qPrintable(home));
            return 1;
        }
        keepSettingsUnder(home);
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    return runApplication(
        argc, argv,
        [line]() -> QWidget * {
            // A panel that is hidden or docked must not end the program when a message box closes.
            QApplication::setQuitOnLastWindowClosed(false);
            if (!quitOnTerminationSignals(*QCoreApplication::instance()))
                return nullptr;
            auto *window = new TsMainWindow;
            applyPorts(line);
            // Ended from outside (SIGTERM, the session's end): the window's place is kept as on a
            // confirmed quit.
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                             &TsMainWindow::writeSettings);
            if (line.demo)
                QTimer::singleShot(TsConfigManager::LoadDelay, window,
                                   [] { TsDemonstration::setUp(); });
            return window;
        },
        StartRequest{line.recording});
}

} // namespace

int main(int argc, char **argv)
{
    CommandLine line;
    switch (parseCommandLine(argc, argv, line)) {
    case Parsed::Answered:
        return 0;
    case Parsed::Refused:
        return 1;
    case Parsed::Run:
        break;
    }
    if (line.demo)
        useDemonstrationControllers();
    bool headless = line.headless;
    if (!headless && !hasDisplay()) {
        std::fprintf(stderr, "tessaro: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                             "running without a window, serving the web page only\n");
        headless = true;
    }
    if (headless && !line.recording.isEmpty())
        std::fprintf(stderr, "tessaro: --open shows a recording in a window; without one it is "
                             "not opened\n");
    return headless ? runHeadless(argc, argv, line) : runDesktop(argc, argv, line);
}
