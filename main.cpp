// The program's entry point. With a display it is the desktop program: the main window on the
// controllers it finds. Without one, or with --headless, it runs the core alone on the controllers
// it finds (the built-in demonstration controllers when no simulation file is named) with a
// demonstration user and profile and the web interface, all in a folder of its own so that an
// operator's settings and data are never touched.
#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "experiment/tschannelstatus.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptactionchannelbase.h"
#include "experiment/tsexperimentscriptactionsetchannelloopctrl.h"
#include "experiment/tsexperimentscriptactionsetchannelvalue.h"
#include "startup.h"
#include "tscore.h"
#include "tsmainwindow.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const char DemoUser[] = "Demo";
const char DemoProfile[] = "Demo";

bool s_verbose = false;

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

void messageFilter(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg && !s_verbose)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Settings store and data under home, whatever HOME and the XDG variables say.
void isolate(const QString &home)
{
    const QString settings = home + QStringLiteral("/settings");
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, settings);
        QSettings::setPath(format, QSettings::SystemScope, settings + QStringLiteral("/system"));
    }
    QSettings().setValue(QStringLiteral("dataPath"), home + QStringLiteral("/data"));
}

// The demonstration profile holds every channel of the controllers seen so far: one that appears
// after the start (a simulation file mended, a unit plugged in) is added, so that the profile
// never stays empty for good. Entries already there are the operator's and stay as they are; a
// profile that cannot be read is left untouched (the configuration manager says why). Returns
// true when the file changed.
bool addPresentChannels(const QString &file)
{
    TsProfile profile;
    const bool exists = QFileInfo::exists(file);
    if (exists) {
        if (profile.load(file).isError())
            return false;
    } else {
        profile.setName(QString::fromLatin1(DemoProfile));
        profile.setDescription(QStringLiteral("Every channel of the controllers found"));
        profile.setValid(true);
    }
    QList<TsProfile::Channel> channels = profile.channels();
    QSet<QString> known;
    for (const TsProfile::Channel &entry : qAsConst(channels))
        known.insert(entry.id);
    bool added = false;
    const auto devices = TsCore::deviceManager()->devices();
    for (TsDevice *device : devices) {
        for (TsDeviceChannel *channel : device->channels()) {
            if (known.contains(channel->id()))
                continue;
            TsProfile::Channel entry;
            entry.id = channel->id();
            entry.name = channel->name();
            entry.unit = channel->unit();
            // NaN for a channel without a setpoint: nothing is stored for it.
            entry.setpoint = channel->value(TsDeviceChannel::SetpointValue).toDouble();
            entry.control = channel->value(TsDeviceChannel::LoopControl).toBool();
            entry.alert = true;
            channels.append(entry);
            added = true;
        }
    }
    if (exists && !added)
        return false;
    profile.setChannels(channels);
    const QxResult saved = profile.save(file);
    if (!saved.isSuccess()) {
        std::fprintf(stderr, "tessaro: the demonstration profile '%s' could not be saved: %s\n",
                     qPrintable(QDir::toNativeSeparators(file)),
                     qPrintable(saved.toString(QStringLiteral(": "))));
        return false;
    }
    return true;
}

void ensureDemoUserAndProfile()
{
    const QString user = QString::fromLatin1(DemoUser);
    TsCore::makeUserFolders(user);
    TsCore::instance()->reloadUsers();
    addPresentChannels(TsCore::profileFile(user, QString::fromLatin1(DemoProfile)));
    TsCore::setCurrentUser(user);
    TsCore::setCurrentProfile(QString::fromLatin1(DemoProfile));
}

// A controller found later joins the demonstration profile and the running experiment. Its
// values are the controller's own: the profile is taken up again without applying it.
void followNewControllers(QObject *context)
{
    QObject::connect(
        TsCore::deviceManager(), &TsDeviceManager::newDevice, context,
        [] {
            const QString user = QString::fromLatin1(DemoUser);
            const QString profile = QString::fromLatin1(DemoProfile);
            if (TsCore::currentUser() != user || TsCore::currentProfile() != profile ||
                !addPresentChannels(TsCore::profileFile(user, profile)))
                return;
            const bool apply = TsCore::applyValues();
            TsCore::setApplyValues(false);
            TsCore::setCurrentProfile(QString());
            TsCore::setCurrentProfile(profile);
            TsCore::setApplyValues(apply);
            std::printf("Tessaro now shows %d channels.\n",
                        TsCore::experimentManager()->currentExperiment()
                            ? TsCore::experimentManager()->currentExperiment()->channels().size()
                            : 0);
            std::fflush(stdout);
        },
        Qt::QueuedConnection);
}

// How regularly the sampling tick came, for the benchmark: the web pages are answered on the same
// thread and must not push the tick off its rhythm.
struct TickStatistics
{
    QElapsedTimer clock;
    qint64 last = -1;
    int intervals = 0;
    double sum = 0;
    qint64 worstDeviation = 0;

    void tick()
    {
        if (!clock.isValid())
            clock.start();
        const qint64 now = clock.elapsed();
        if (last >= 0) {
            const qint64 interval = now - last;
            ++intervals;
            sum += interval;
            worstDeviation =
                std::max(worstDeviation, std::abs(interval - qint64(TsExperiment::SampleInterval)));
        }
        last = now;
    }
    void print() const
    {
        if (intervals > 0) {
            std::printf("sampling tick: %d intervals, mean %.1f ms, worst deviation from %d ms: "
                        "%lld ms\n",
                        intervals, sum / intervals, TsExperiment::SampleInterval,
                        static_cast<long long>(worstDeviation));
        }
    }
};

TickStatistics s_ticks;

// Without a channel widget nothing else keeps the channels' tile status current for mails and
// web pages; the experiment's sampling tick is the moment their values change.
void updateChannelStatus()
{
    if (TsExperiment *experiment = TsCore::experimentManager()->currentExperiment()) {
        for (TsExperimentChannel *channel : experiment->channels())
            TsChannelStatus::update(channel);
    }
}

void followSamplingTick(QObject *context)
{
    static QMetaObject::Connection tick;
    const auto follow = [context](TsExperiment *experiment) {
        QObject::disconnect(tick);
        if (experiment) {
            tick = QObject::connect(experiment->sampleTimer(), &QTimer::timeout, context, [] {
                s_ticks.tick();
                updateChannelStatus();
            });
        }
        updateChannelStatus();
    };
    QObject::connect(TsCore::experimentManager(), &TsExperimentManager::currentExperimentChanged,
                     context, follow);
    follow(TsCore::experimentManager()->currentExperiment());
}

} // namespace

int runHeadless(int argc, char **argv)
{
    // Before the application object, so that nothing reads the operator's settings first.
    QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
    QCoreApplication app(argc, argv);
    setApplicationIdentity();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the experiment on the controllers found and shows it in the web interface."));
    parser.addHelpOption();
    const QCommandLineOption homeOption(
        QStringLiteral("home"),
        QStringLiteral("Folder of the settings store and the data (default: beside the program)."),
        QStringLiteral("folder"));
    const QCommandLineOption httpOption(QStringLiteral("http-port"),
                                        QStringLiteral("Port of the web pages."),
                                        QStringLiteral("port"));
    const QCommandLineOption fcgiOption(QStringLiteral("fcgi-port"),
                                        QStringLiteral("Port of the program's FastCGI responder."),
                                        QStringLiteral("port"));
    const QCommandLineOption ticksOption(
        QStringLiteral("tick-statistics"),
        QStringLiteral("At exit, tell how regularly the sampling tick came."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Show the diagnostic lines."));
    parser.addOptions({homeOption, httpOption, fcgiOption, ticksOption, verboseOption});
    parser.process(app);
    s_verbose = parser.isSet(verboseOption);
    qInstallMessageHandler(messageFilter);

    const QString home = QDir::cleanPath(
        QFileInfo(parser.isSet(homeOption)
                      ? parser.value(homeOption)
                      : QCoreApplication::applicationDirPath() + QStringLiteral("/../demo-home"))
            .absoluteFilePath());
    if (!QDir().mkpath(home)) {
        std::fprintf(stderr, "tessaro: cannot make the folder %s\n", qPrintable(home));
        return 1;
    }
    isolate(home);

    if (!quitOnTerminationSignals(app))
        return 1;

    TsDeviceManager *devices = TsCore::deviceManager();
    const QxResult specs = devices->loadDeviceSpecs();
    if (!specs.isSuccess())
        std::fprintf(stderr, "tessaro: %s\n", qPrintable(specs.message()));

    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    TsWebInterfaceSettings settings = web->settings();
    bool portsOk = true;
    const auto port = [&](const QCommandLineOption &option, quint16 &value) {
        if (!parser.isSet(option))
            return;
        const uint number = parser.value(option).toUInt(&portsOk);
        portsOk = portsOk && number > 0 && number <= 65535;
        value = quint16(number);
    };
    port(httpOption, settings.httpPort);
    if (portsOk)
        port(fcgiOption, settings.fcgiPort);
    if (!portsOk) {
        std::fprintf(stderr, "tessaro: a port is a number from 1 to 65535\n");
        return 1;
    }
    web->setSettings(settings);

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
        ensureDemoUserAndProfile();
        followNewControllers(&app);
        followSamplingTick(&app);
        web->start();
        const int channels =
            TsCore::experimentManager()->currentExperiment()
                ? TsCore::experimentManager()->currentExperiment()->channels().size()
                : 0;
        if (web->isRunning()) {
            std::printf("Tessaro is running on %d channels. Open http://localhost:%u/ in a "
                        "browser; Ctrl+C stops.\n",
                        channels, unsigned(web->settings().httpPort));
        } else {
            // Never an address: another program may serve it, another Tessaro's data even.
            std::printf("Tessaro is running on %d channels, but the web page is not available: "
                        "%s\nCtrl+C stops.\n",
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

    const int status = app.exec();
    web->stop();
    if (parser.isSet(ticksOption))
        s_ticks.print();
    std::printf("Tessaro stopped.\n");
    std::fflush(stdout);
    return status;
}

namespace {

const char DemoDynamicExp[] = "Demo";

// Five steps over five minutes on the demonstration's channels: a temperature step up and back,
// the lid heater switched on, and the gas setpoint stated again. Written once, like the profile.
void ensureDemoDynamicExperiment()
{
    const QString user = QString::fromLatin1(DemoUser);
    const QString file = TsCore::dynamicExpFile(user, QString::fromLatin1(DemoDynamicExp));
    QList<TsDeviceChannel *> channels;
    const auto devices = TsCore::deviceManager()->devices();
    for (TsDevice *device : devices)
        channels.append(device->channels().values());
    if (!QFileInfo::exists(file) && channels.size() >= 3) {
        TsExperimentScript script;
        QList<TsExperimentScriptAction *> actions;
        const auto step = [&](TsExperimentScriptAction *action, int minute,
                              TsDeviceChannel *channel, const QVariant &value,
                              const QString &comment) {
            action->setTime(qint64(minute) * 60 * 1000);
            action->setActive(true);
            action->setComment(comment);
            action->setParameter(TsExperimentScriptActionChannelBase::ChannelIdParameter,
                                 channel->id());
            action->setParameter(TsExperimentScriptActionChannelBase::ChannelValueParameter, value);
            actions.append(action);
        };
        TsDeviceChannel *stage = channels.at(0);
        TsDeviceChannel *lid = channels.at(1);
        TsDeviceChannel *gas = channels.at(2);
        const double stageSetpoint = stage->value(TsDeviceChannel::SetpointValue).toDouble();
        const double gasSetpoint = gas->value(TsDeviceChannel::SetpointValue).toDouble();
        step(new TsExperimentScriptActionSetChannelValue(&script), 0, stage, stageSetpoint,
             QStringLiteral("Start at the profile's temperature"));
        step(new TsExperimentScriptActionSetChannelValue(&script), 1, stage, stageSetpoint + 0.5,
             QStringLiteral("Half a degree warmer"));
        step(new TsExperimentScriptActionSetChannelLoopCtrl(&script), 2, lid, true,
             QStringLiteral("Lid heater on against condensation"));
        step(new TsExperimentScriptActionSetChannelValue(&script), 3, stage, stageSetpoint,
             QStringLiteral("Back to the start temperature"));
        step(new TsExperimentScriptActionSetChannelValue(&script), 5, gas, gasSetpoint,
             QStringLiteral("Gas setpoint confirmed"));
        script.setName(QString::fromLatin1(DemoDynamicExp));
        script.setActions(actions);
        qDeleteAll(actions);
        const QxResult saved = script.save(file);
        if (!saved.isSuccess())
            qWarning("tessaro: cannot write the dynamic experiment '%s': %s", qPrintable(file),
                     qPrintable(saved.message()));
    }
    TsCore::instance()->reloadDynamicExps();
    TsCore::setCurrentDynamicExp(QString::fromLatin1(DemoDynamicExp));
}

// The demonstration on top of what the configuration manager restored: user, profile, dynamic
// experiment, a recording under way and the web page.
void setUpDemonstration()
{
    TsCore::deviceManager()->populateDevices();
    ensureDemoUserAndProfile();
    ensureDemoDynamicExperiment();
    if (TsExperiment *experiment = TsCore::experimentManager()->currentExperiment()) {
        // Into "Demo_<start time>.csv" in the user's log folder, unless a prefix was chosen; the
        // recorder view takes the prefix from here rather than asking for one.
        TsConfigManager *config = TsCore::configManager();
        if (config->logFilePrefix(TsConfigManager::TemporaryLevel).isEmpty())
            config->setLogFilePrefix(TsConfigManager::TemporaryLevel,
                                     QString::fromLatin1(DemoProfile));
        experiment->recorder()->setFilePrefix(
            config->logFilePrefix(TsConfigManager::TemporaryLevel));
        experiment->startRecorder();
    }
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    web->start();
    if (web->isRunning()) {
        std::printf("The web page is at http://localhost:%u/\n",
                    unsigned(web->settings().httpPort));
    } else {
        std::printf("The web page is not available: %s\n", qPrintable(web->errorString()));
    }
    std::fflush(stdout);
}

// The platforms that draw on a screen need an X or Wayland display; offscreen and the like do not.
bool hasDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The desktop program. Its command line is read only for --home (settings and data in a folder
// of their own, as scripts/run and the tests use it) and --demo (the demonstration's user,
// profile and dynamic experiment, a recording and the web page started).
int runDesktop(int argc, char **argv)
{
    QString home;
    QString recording; // --open FILE: a past recording in a graph window beside the main window
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("--demo"))
            demo = true;
        else if (argument == QLatin1String("--open") && i + 1 < argc)
            recording = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (argument == QLatin1String("--home") && i + 1 < argc)
            home = QString::fromLocal8Bit(argv[++i]);
        else if (argument.startsWith(QLatin1String("--home=")))
            home = argument.mid(7);
    }
    if (!home.isEmpty()) {
        // Before anything reads the settings store: the one under home is the only one used.
        QCoreApplication::setOrganizationName(QStringLiteral("Varon"));
        QCoreApplication::setApplicationName(QStringLiteral("Tessaro"));
        home = QDir::cleanPath(QFileInfo(home).absoluteFilePath());
        if (!QDir().mkpath(home)) {
            std::fprintf(stderr, "tessaro: cannot make the folder %s\n", qPrintable(home));
            return 1;
        }
        isolate(home);
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    return runApplication(argc, argv, [demo, recording]() -> QWidget * {
        // A panel that is hidden or docked must not end the program when a message box closes.
        QApplication::setQuitOnLastWindowClosed(false);
        if (!quitOnTerminationSignals(*QCoreApplication::instance()))
            return nullptr;
        auto *window = new TsMainWindow;
        // The web page and the alert mail show the tiles' states whichever views the profile
        // shows, the channels view hidden as well.
        followSamplingTick(window);
        // Ended from outside (SIGTERM, the session's end): the window's place is kept as on a
        // confirmed quit.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window,
                         &TsMainWindow::writeSettings);
        if (demo)
            QTimer::singleShot(TsConfigManager::LoadDelay, window, [] { setUpDemonstration(); });
        if (!recording.isEmpty())
            QTimer::singleShot(2 * TsConfigManager::LoadDelay, window, [window, recording] {
                TsRecorderGraphDialog::openRecording(recording, window);
            });
        return window;
    });
}

} // namespace

int main(int argc, char **argv)
{
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || std::strcmp(argv[i], "--headless") == 0;
    if (!headless && !hasDisplay()) {
        std::fprintf(stderr, "tessaro: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                             "running without a window, serving the web page only\n");
        headless = true;
    }
    if (!headless)
        return runDesktop(argc, argv);
    // Without a window the demonstration is always on, and the two words choose nothing more.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") != 0 && std::strcmp(argv[i], "--demo") != 0)
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return runHeadless(argc, argv);
}
