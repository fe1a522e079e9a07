#include "viewtestsupport.h"

#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "tscore.h"

#include <QCoreApplication>
#include <QDir>

namespace viewtest {

namespace {

// The library reads the simulation's name once, at its first USB call.
const bool simulationReady = (devicetest::simulation(), true);

const char User[] = "Operator";
const char Profile[] = "Test";

// Loaded once per process: the core keeps its device manager for the life of the program.
void ensureSpecs()
{
    static const bool loaded = [] {
        EXPECT_TRUE(simulationReady);
        const QxResult result =
            TsCore::deviceManager()->loadDeviceSpecs(TsSpecParser::builtInPath());
        EXPECT_TRUE(result.isSuccess()) << qPrintable(result.message());
        return true;
    }();
    Q_UNUSED(loaded)
}

} // namespace

TsProfile::Channel entry(const QString &id, const QString &name, bool alert, const QColor &color)
{
    TsProfile::Channel channel;
    channel.id = id;
    channel.name = name;
    channel.alert = alert;
    channel.color = color;
    return channel;
}

ViewFixture::ViewFixture()
    : serial(q(devicetest::freshHeatSerial()))
    , stage(serial + QStringLiteral(":1"))
    , lid(serial + QStringLiteral(":2"))
{
    ensureSpecs();
    experiment()->stopSampling();
    plug();
}

ViewFixture::~ViewFixture()
{
    TsCore::setCurrentProfile(QString());
    unplug();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ViewFixture::plug(const std::string &stageAttributes, const std::string &lidAttributes,
                       const std::string &controllerAttributes)
{
    devicetest::simulation().write(
        devicetest::heatUnit(serial.toStdString(), controllerAttributes,
                             devicetest::channel(1, "Stage", stageAttributes) +
                                 devicetest::channel(2, "Lid", lidAttributes)) +
        otherControllers);
    rescan();
}

void ViewFixture::unplug()
{
    otherControllers.clear();
    plug("", "", "present=\"0\"");
}

void ViewFixture::rescan()
{
    devices()->populateDevices();
    const QMap<QString, TsDevice *> found = devices()->devices();
    for (TsDevice *device : found) {
        for (TsDeviceChannel *channel : device->channels()) {
            // Setting a clock restarts the monitor: only channels new to this scan get it.
            if (channel->property("viewtestClock").toBool())
                continue;
            channel->stabilityMonitor().setClock(clock.function());
            channel->setProperty("viewtestClock", true);
        }
    }
}

void ViewFixture::useChannels(const QList<TsProfile::Channel> &channels)
{
    const QString user = QString::fromLatin1(User);
    const QString name = QString::fromLatin1(Profile);
    ASSERT_TRUE(TsCore::makeUserFolders(user));
    TsCore::instance()->reloadUsers();
    if (TsCore::currentUser() != user) {
        ASSERT_TRUE(TsCore::setCurrentUser(user).isSuccess());
    }
    TsProfile profile;
    profile.setName(name);
    profile.setValid(true);
    profile.setChannels(channels);
    ASSERT_TRUE(profile.save(TsCore::profileFile(user, name)).isSuccess());
    TsCore::instance()->reloadProfiles();
    ASSERT_TRUE(TsCore::setCurrentProfile(name).isSuccess());
    ASSERT_EQ(experiment()->channels().size(), channels.size());
}

void ViewFixture::useStandardChannels()
{
    useChannels({entry(stage, QStringLiteral("Stage"), true, QColor(Qt::red)),
                 entry(lid, QStringLiteral("Lid"), false),
                 entry(missing, QStringLiteral("Missing"))});
}

TsDeviceManager *ViewFixture::devices()
{
    return TsCore::deviceManager();
}

TsExperiment *ViewFixture::experiment()
{
    return TsCore::experimentManager()->currentExperiment();
}

TsExperimentChannel *ViewFixture::experimentChannel(const QString &id) const
{
    return experiment()->channel(id);
}

TsDeviceChannel *ViewFixture::deviceChannel(const QString &id) const
{
    return devices()->channel(id);
}

void ViewFixture::tick(int count)
{
    for (int i = 0; i < count; ++i) {
        clock.now += 1000;
        experiment()->sampleChannels();
    }
}

} // namespace viewtest
