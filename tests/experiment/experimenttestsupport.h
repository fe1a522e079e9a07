// An experiment on the controller simulation: one heat unit whose two channels the profile names,
// plus a channel of a controller that is not plugged in. Sampling by the timer is off; tests call
// the tick themselves.
#pragma once

#include "device/devicetestsupport.h"

#include "config/tsprofile.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace experimenttest {

inline const bool simulationReady = (devicetest::simulation(), true);

inline QString q(const std::string &s)
{
    return QString::fromStdString(s);
}

inline TsProfile::Channel entry(const QString &id, const QString &name, bool alert = true,
                                const QColor &color = QColor())
{
    TsProfile::Channel channel;
    channel.id = id;
    channel.name = name;
    channel.alert = alert;
    channel.color = color;
    return channel;
}

class ExperimentFixture : public ::testing::Test
{
protected:
    ExperimentFixture()
    {
        EXPECT_TRUE(simulationReady);
        plug();
        EXPECT_TRUE(devices.loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
        devices.populateDevices();
        experiment = manager.currentExperiment();
        experiment->stopSampling();
    }
    ~ExperimentFixture() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The heat unit with its two channels; attributes of channel 1 and 2 as given.
    void plug(const std::string &stageAttributes = "", const std::string &lidAttributes = "",
              const std::string &controllerAttributes = "")
    {
        devicetest::simulation().write(
            devicetest::heatUnit(serial.toStdString(), controllerAttributes,
                                 devicetest::channel(1, "Stage", stageAttributes) +
                                     devicetest::channel(2, "Lid", lidAttributes)));
    }
    void unplug() { plug("", "", "present=\"0\""); }

    TsProfile profile(const QList<TsProfile::Channel> &channels) const
    {
        TsProfile p;
        p.setName(QStringLiteral("Test"));
        p.setValid(true);
        p.setChannels(channels);
        return p;
    }
    // Stage, lid and the missing channel, with the names the profile gives them.
    void useStandardProfile(const TsRecorderCSVSettings &csv = TsRecorderCSVSettings(),
                            const TsRecorderLogSettings &log = TsRecorderLogSettings())
    {
        TsProfile p = profile({entry(stage, "Profile stage", true, QColor(Qt::red)),
                               entry(lid, "Profile lid", false), entry(missing, "Missing")});
        p.setCsvSettings(csv);
        p.setLogSettings(log);
        ASSERT_TRUE(experiment->setProfile(p).isSuccess());
    }

    devicetest::MessageCapture messages;
    const QString serial = q(devicetest::freshHeatSerial());
    const QString stage = serial + QStringLiteral(":1");
    const QString lid = serial + QStringLiteral(":2");
    const QString missing = QStringLiteral("999X1:1");
    TsDeviceManager devices;
    TsExperimentManager manager{&devices};
    TsExperiment *experiment = nullptr;
};

} // namespace experimenttest
