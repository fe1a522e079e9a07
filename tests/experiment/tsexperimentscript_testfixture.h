// An experiment whose profile names both channels of one simulated heat unit and one channel of
// a controller that is not plugged in, with a script whose clock the test moves by hand.
#pragma once

#include "device/devicetestsupport.h"

#include "config/tsprofile.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentscript.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace scripttest {

inline const bool simulationReady = (devicetest::simulation(), true);

inline TsProfile::Channel profileChannel(const QString &id, const QString &name)
{
    TsProfile::Channel channel;
    channel.id = id;
    channel.name = name;
    return channel;
}

class ScriptFixture : public ::testing::Test
{
protected:
    ScriptFixture()
    {
        EXPECT_TRUE(simulationReady);
        devicetest::simulation().write(devicetest::heatUnit(serial.toStdString()));
        EXPECT_TRUE(devices.loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
        devices.populateDevices();
        experiment = manager.currentExperiment();
        setProfile({stage, lid, missing});
        script = experiment->script();
        script->setClock(clock.function());
    }
    ~ScriptFixture() override
    {
        script->setClock({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void setProfile(const QStringList &ids)
    {
        QList<TsProfile::Channel> channels;
        for (const QString &id : ids)
            channels << profileChannel(id, QStringLiteral("Profile name of ") + id);
        TsProfile profile;
        profile.setChannels(channels);
        ASSERT_TRUE(experiment->setProfile(profile).isSuccess());
    }
    TsDeviceChannel *deviceChannel(const QString &id) const { return devices.channel(id); }
    QString file(const QString &name) const { return folder.filePath(name); }

    devicetest::MessageCapture messages;
    const QString serial = QString::fromStdString(devicetest::freshHeatSerial());
    const QString stage = serial + QStringLiteral(":1");
    const QString lid = serial + QStringLiteral(":2");
    const QString missing = QStringLiteral("999X1:1");
    devicetest::ManualClock clock;
    QTemporaryDir folder;
    TsDeviceManager devices;
    TsExperimentManager manager{&devices};
    TsExperiment *experiment = nullptr;
    TsExperimentScript *script = nullptr;
};

} // namespace scripttest
