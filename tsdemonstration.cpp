#include "tsdemonstration.h"

#include "config/tsconfigmanager.h"
#include "config/tsprofile.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptactionchannelbase.h"
#include "experiment/tsexperimentscriptactionsetchannelloopctrl.h"
#include "experiment/tsexperimentscriptactionsetchannelvalue.h"
#include "tscore.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

const char DemoUser[] = "Demo";
const char DemoProfile[] = "Demo";
const char DemoDynamicExp[] = "Demo";

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
    // Earlier versions stored every line of the demonstration black: those get the graph colours.
    const bool allBlack = std::all_of(channels.begin(), channels.end(), [](const auto &entry) {
        return entry.color == QColor(Qt::black);
    });
    if (allBlack && !channels.isEmpty()) {
        for (TsProfile::Channel &entry : channels)
            entry.color = QColor();
        added = true;
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

} // namespace

namespace TsDemonstration {

void ensureUserAndProfile()
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

// Reports once whether the web page came up: at once when the start is already decided, else when
// nginx listens or has failed; the start never holds up the event loop.
void whenWebPageKnown(TsWebInterfaceManager *web, QObject *context,
                      const std::function<void(bool up)> &report)
{
    if (!web->isStarting()) {
        report(web->isRunning());
        return;
    }
    auto done = std::make_shared<bool>(false);
    const auto once = [done, report](bool up) {
        if (*done)
            return;
        *done = true;
        report(up);
    };
    QObject::connect(web, &TsWebInterfaceManager::webServerStarted, context,
                     [once] { once(true); });
    QObject::connect(web, &TsWebInterfaceManager::webServerError, context, [once] { once(false); });
}

} // namespace TsDemonstration

namespace {

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

} // namespace

namespace TsDemonstration {

// The demonstration on top of what the configuration manager restored: user, profile, dynamic
// experiment, a recording under way and the web page.
void setUp()
{
    TsCore::deviceManager()->populateDevices();
    ensureUserAndProfile();
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
    whenWebPageKnown(web, web, [web](bool up) {
        if (up) {
            std::printf("The web page is at http://localhost:%u/\n",
                        unsigned(web->settings().httpPort));
        } else {
            std::printf("The web page is not available: %s\n", qPrintable(web->errorString()));
        }
        std::fflush(stdout);
    });
}

} // namespace TsDemonstration
