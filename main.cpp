// The program's entry point until the main window exists: the core on the controllers it finds
// (the built-in demonstration controllers when no simulation file is named), a demonstration user
// and profile, and the web interface, all in a folder of its own so that an operator's settings
// and data are never touched.
#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "experiment/tschannelstatus.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"
#include "startup.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

// SIGINT and SIGTERM end the event loop, so that nginx is stopped and the settings are saved as at
// any other exit.
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

// A profile of every channel the device manager knows, with the setpoints and loop states the
// controllers have, written once; an existing profile is the operator's to change and is left as
// it is.
void ensureDemoUserAndProfile()
{
    const QString user = QString::fromLatin1(DemoUser);
    TsCore::makeUserFolders(user);
    TsCore::instance()->reloadUsers();
    const QString file = TsCore::profileFile(user, QString::fromLatin1(DemoProfile));
    if (!QFileInfo::exists(file)) {
        QList<TsProfile::Channel> channels;
        const auto devices = TsCore::deviceManager()->devices();
        for (TsDevice *device : devices) {
            for (TsDeviceChannel *channel : device->channels()) {
                TsProfile::Channel entry;
                entry.id = channel->id();
                entry.name = channel->name();
                entry.unit = channel->unit();
                entry.setpoint = channel->value(TsDeviceChannel::SetpointValue).toDouble();
                entry.control = channel->value(TsDeviceChannel::LoopControl).toBool();
                entry.alert = true;
                channels.append(entry);
            }
        }
        TsProfile profile;
        profile.setName(QString::fromLatin1(DemoProfile));
        profile.setDescription(QStringLiteral("Every channel of the controllers found"));
        profile.setValid(true);
        profile.setChannels(channels);
        const QxResult saved = profile.save(file);
        if (!saved.isSuccess())
            qWarning("tessaro: cannot write the profile '%s': %s", qPrintable(file),
                     qPrintable(saved.message()));
    }
    TsCore::setCurrentUser(user);
    TsCore::setCurrentProfile(QString::fromLatin1(DemoProfile));
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

int main(int argc, char **argv)
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

    // After the configuration manager has read the last user and profile (its timer was made
    // first with the same delay), so that the demonstration's choice is the one that stands.
    QTimer::singleShot(TsConfigManager::LoadDelay, &app, [&] {
        devices->populateDevices();
        ensureDemoUserAndProfile();
        followSamplingTick(&app);
        web->start();
        if (web->isRunning()) {
            std::printf("Tessaro is running on %d channels. Open http://localhost:%u/ in a "
                        "browser; Ctrl+C stops.\n",
                        TsCore::experimentManager()->currentExperiment()
                            ? TsCore::experimentManager()->currentExperiment()->channels().size()
                            : 0,
                        unsigned(web->settings().httpPort));
        } else {
            std::printf("Tessaro is running, but the web server could not be started (is nginx "
                        "installed?). Ctrl+C stops.\n");
        }
        std::fflush(stdout);
    });

    const int status = app.exec();
    web->stop();
    if (parser.isSet(ticksOption))
        s_ticks.print();
    std::printf("Tessaro stopped.\n");
    std::fflush(stdout);
    return status;
}
