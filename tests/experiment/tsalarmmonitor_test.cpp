// The alarms of the experiment's channels on the controller simulation, with the stability bands,
// the loss timer and the journal all on the test's clock: the silent losses each raise one alarm
// naming its cause, and an alarm lives until it is acknowledged.
#include "experiment/experimenttestsupport.h"

#include "device/tsdevice.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"

#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

using namespace experimenttest;

class Switch : public TsEmailAlertSwitch
{
public:
    bool emailAlertStatus() const override { return on; }
    void setEmailAlertStatus(bool status) override { on = status; }
    bool staysArmed() const override { return stays; }
    bool on = true;
    bool stays = true;
};

class AlarmMonitorTest : public ExperimentFixture
{
protected:
    AlarmMonitorTest()
    {
        EXPECT_TRUE(
            experiment->setProfile(profile({entry(stage, "Stage"), entry(lid, "Lid", false)}))
                .isSuccess());
        QObject::connect(&devices, &TsDeviceManager::newDevice, [this](TsDevice *device) {
            for (TsDeviceChannel *channel : device->channels())
                channel->stabilityMonitor().setClock(clock.function());
        });
        for (const QString &id : {stage, lid})
            devices.channel(id)->stabilityMonitor().setClock(clock.function());
        alarms = experiment->alarmMonitor();
        alarms->setClock(clock.function());
        EXPECT_TRUE(folder.isValid());
        journal.setPath(folder.path() + "/alarms.csv");
        alarms->setJournal(&journal);
        experiment->setEmailAlertSwitch(&alertSwitch);
    }

    // The stage channel with these attributes in the file, sampled at ms.
    void tick(qint64 ms, const std::string &stageAttributes = "actual=\"370\"")
    {
        plug(stageAttributes);
        at(ms);
    }
    void at(qint64 ms)
    {
        clock.now = ms;
        experiment->sampleChannels();
    }
    // Green: in the band for its 60 s.
    void settle(qint64 from = 0, const std::string &attributes = "actual=\"370\"")
    {
        for (qint64 ms = from; ms <= from + 62000; ms += 1000)
            tick(ms, attributes);
        ASSERT_EQ(devices.channel(stage)->stableStatus(), Qt::green);
    }
    QStringList events() const
    {
        QStringList list;
        for (const TsAlarmJournal::Entry &entry : TsAlarmJournal::read(journal.path()))
            list << entry.event + ":" + entry.channel;
        return list;
    }

    devicetest::ManualClock clock;
    Switch alertSwitch;
    TsAlarmMonitor *alarms = nullptr;
    QTemporaryDir folder;
    TsAlarmJournal journal;
    QSignalSpy instable{experiment, &TsExperiment::channelsInstable};
};

class SilentLossTest;

struct SilentLoss
{
    const char *name;
    TsAlarmCause cause;
    const char *causeWords;
    // What happens at the controller after the channel settled, from 70 s on.
    std::function<void(SilentLossTest *)> happen;
    bool restorable;
};

class SilentLossTest : public AlarmMonitorTest, public ::testing::WithParamInterface<SilentLoss>
{
public:
    using AlarmMonitorTest::at;
    using AlarmMonitorTest::plug;
    using AlarmMonitorTest::tick;
    using AlarmMonitorTest::unplug;
    TsDeviceManager &deviceManager() { return devices; }
    QString stageId() const { return stage; }
    TsExperiment *theExperiment() const { return experiment; }
};

TEST_P(SilentLossTest, RaisesOneAlarmNamingItsCause)
{
    settle();
    const SilentLoss &loss = GetParam();
    loss.happen(static_cast<SilentLossTest *>(this));
    for (qint64 ms = 200000; ms <= 260000; ms += 1000)
        at(ms);
    ASSERT_EQ(instable.count(), 1) << loss.name;
    const TsAlarm alarm = alarms->alarm(stage);
    EXPECT_EQ(alarm.state, TsAlarmState::Unacknowledged);
    EXPECT_EQ(alarm.cause, loss.cause) << events().join(" | ").toStdString();
    EXPECT_TRUE(alarm.causeText.contains(loss.causeWords)) << alarm.causeText.toStdString();
    EXPECT_EQ(alarm.restorable, loss.restorable);
    EXPECT_GE(alarm.token.size(), 22) << "at least 128 bits";
    EXPECT_TRUE(alertSwitch.on) << "stays armed until acknowledged";
    EXPECT_EQ(events().filter("alarm:").size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, SilentLossTest,
    ::testing::Values(
        SilentLoss{"unplugged", TsAlarmCause::ControllerLost, "controller lost for more than 30 s",
                   [](SilentLossTest *s) {
                       s->unplug();
                       s->deviceManager().populateDevices();
                       s->at(100000);
                   },
                   false},
        SilentLoss{"loop off at the controller", TsAlarmCause::LoopOff,
                   "loop switched off at the controller",
                   [](SilentLossTest *s) { s->tick(100000, "actual=\"370\" control=\"0\""); },
                   true},
        SilentLoss{"setpoint changed at the controller", TsAlarmCause::SetpointChanged,
                   "from 37.0 to 30.0",
                   [](SilentLossTest *s) { s->tick(100000, "actual=\"370\" setpoint=\"300\""); },
                   true},
        SilentLoss{"controller back after a reset", TsAlarmCause::ControllerReturned,
                   "came back with setpoint 38.0",
                   [](SilentLossTest *s) {
                       // The program had written 36.9; the controller comes back with 37.0.
                       auto *channel = s->theExperiment()->channel(s->stageId());
                       EXPECT_TRUE(channel->setValue(1, 36.9).isSuccess());
                       s->tick(100000);
                       s->unplug();
                       s->deviceManager().populateDevices();
                       s->at(101000);
                       s->tick(102000, "actual=\"370\" setpoint=\"380\"");
                       s->deviceManager().populateDevices();
                       s->tick(103000, "actual=\"370\" setpoint=\"380\"");
                   },
                   true},
        // Its channels stop being ready and their loop reads false: no loop switched off.
        SilentLoss{"device fault at the controller", TsAlarmCause::DeviceFault,
                   "controller reports a fault: RAM test error",
                   [](SilentLossTest *s) {
                       s->plug("actual=\"370\"", "", "deviceStatus=\"0x81\"");
                       s->at(100000);
                   },
                   false}),
    [](const ::testing::TestParamInfo<SilentLoss> &info) {
        std::string name = info.param.name;
        for (char &c : name)
            if (c == ' ')
                c = '_';
        return name;
    });

// A controller that reports a fault is one alarm in either way of notifying, named by the fault
// and never by the loop, and over once the controller is opened anew without it and is stable.
class DeviceFaultTest : public AlarmMonitorTest, public ::testing::WithParamInterface<bool>
{};

TEST_P(DeviceFaultTest, IsOneAlarmUntilClearedAndStableInEitherMode)
{
    alertSwitch.stays = GetParam();
    settle();
    plug("actual=\"370\"", "", "deviceStatus=\"0x81\"");
    for (qint64 ms = 100000; ms <= 200000; ms += 1000)
        at(ms);
    ASSERT_EQ(instable.count(), 1);
    EXPECT_EQ(alarms->alarm(stage).cause, TsAlarmCause::DeviceFault);
    EXPECT_EQ(alertSwitch.on, GetParam()) << "\"Once\" switches the alert off";
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Unacknowledged) << "not over while it lasts";

    QSignalSpy returned(alarms, &TsAlarmMonitor::returnedToNormal);
    unplug();
    devices.populateDevices();
    plug();
    devices.populateDevices();
    settle(201000);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::ReturnedUnacknowledged);
    EXPECT_EQ(returned.count(), 1);
    const QList<TsAlarmJournal::Entry> entries = TsAlarmJournal::read(journal.path());
    ASSERT_EQ(events(), QStringList({"alarm:" + stage, "returned to normal:" + stage}));
    EXPECT_EQ(entries.first().details, "controller reports a fault: RAM test error");
    EXPECT_EQ(entries.first().value, QString::fromUtf8("--.-°C")) << "no value from a fault";
}

INSTANTIATE_TEST_SUITE_P(Modes, DeviceFaultTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "UntilAcknowledged" : "Once");
                         });

TEST_F(AlarmMonitorTest, WhatTheProgramWritesOrABriefLossRaisesNothing)
{
    settle();
    TsExperimentChannel *channel = experiment->channel(stage);
    ASSERT_TRUE(channel->setValue(TsExperimentChannel::LoopControl, false).isSuccess());
    tick(63000);
    ASSERT_TRUE(channel->setValue(TsExperimentChannel::SetpointValue, 36.9).isSuccess());
    ASSERT_TRUE(channel->setValue(TsExperimentChannel::LoopControl, true).isSuccess());
    tick(64000);
    unplug();
    devices.populateDevices();
    at(65000);
    at(80000); // 15 s away
    tick(81000, "actual=\"369\"");
    devices.populateDevices();
    for (qint64 ms = 82000; ms < 90000; ms += 1000)
        tick(ms, "actual=\"369\"");
    // Red while it settles again is the stable band's alarm, nothing more.
    EXPECT_LE(instable.count(), 1);
    EXPECT_NE(alarms->alarm(stage).cause, TsAlarmCause::ControllerLost);
    EXPECT_NE(alarms->alarm(stage).cause, TsAlarmCause::ControllerReturned);
    EXPECT_FALSE(alarms->alarm(stage).restorable) << "the controller came back with 36.9";
}

TEST_F(AlarmMonitorTest, AnAlarmLivesUntilAcknowledgedAndReturnsToNormal)
{
    settle();
    tick(63000, "actual=\"250\"");
    tick(200000, "actual=\"250\"");
    ASSERT_EQ(alarms->state(stage), TsAlarmState::Unacknowledged);
    EXPECT_EQ(alarms->alarm(stage).cause, TsAlarmCause::StableLost);
    EXPECT_EQ(alarms->activeUnacknowledged().size(), 1);

    // Back in the band before anybody looked: returned, still unacknowledged.
    QSignalSpy returned(alarms, &TsAlarmMonitor::returnedToNormal);
    settle(201000);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::ReturnedUnacknowledged);
    EXPECT_EQ(returned.count(), 1);
    EXPECT_TRUE(alarms->activeUnacknowledged().isEmpty());
    EXPECT_TRUE(alarms->acknowledge(stage, "ann"));
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Normal);

    // Once more, acknowledged while in alarm: acknowledged, then normal when stable again.
    tick(300000, "actual=\"250\"");
    tick(400000, "actual=\"250\"");
    ASSERT_EQ(alarms->state(stage), TsAlarmState::Unacknowledged);
    EXPECT_EQ(instable.count(), 2);
    EXPECT_EQ(alarms->acknowledgeAll("ann"), 1);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Acknowledged);
    EXPECT_FALSE(alarms->acknowledge(stage, "ann")) << "nothing left to acknowledge";
    settle(401000);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Normal);

    const QList<TsAlarmJournal::Entry> entries = TsAlarmJournal::read(journal.path());
    QStringList who;
    for (const auto &entry : entries)
        who << entry.event + "/" + entry.who;
    EXPECT_EQ(who, QStringList({"alarm/", "returned to normal/", "acknowledged/ann", "alarm/",
                                "acknowledged/ann", "returned to normal/"}));
    EXPECT_EQ(entries.first().value, QString::fromUtf8("25.0°C"));
    EXPECT_EQ(entries.first().setpoint, QString::fromUtf8("37.0°C"));
    EXPECT_EQ(entries.first().details, "left its stable band");
}

TEST_F(AlarmMonitorTest, ATokenAcknowledgesItsOwnAlarmOnceAndNothingElse)
{
    settle();
    tick(63000, "actual=\"250\"");
    tick(200000, "actual=\"250\"");
    const QString token = alarms->alarm(stage).token;
    ASSERT_FALSE(token.isEmpty());
    QString channel;
    EXPECT_EQ(alarms->acknowledgeByToken(token.left(token.size() - 1) + "x", "mail link"),
              TsAlarmMonitor::TokenUnknown);
    EXPECT_EQ(alarms->acknowledgeByToken(QString(), "mail link"), TsAlarmMonitor::TokenUnknown);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Unacknowledged)
        << "a wrong token changes nothing";
    EXPECT_EQ(alarms->acknowledgeByToken(token, "mail link 10.0.0.7", &channel),
              TsAlarmMonitor::TokenAcknowledged);
    EXPECT_EQ(channel, stage);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Acknowledged);
    EXPECT_EQ(alarms->acknowledgeByToken(token, "mail link"), TsAlarmMonitor::TokenUsed);
    EXPECT_EQ(TsAlarmJournal::read(journal.path()).last().who, "mail link 10.0.0.7");

    // The next alarm of the same channel has a token of its own.
    settle(201000);
    tick(300000, "actual=\"250\"");
    tick(400000, "actual=\"250\"");
    EXPECT_NE(alarms->alarm(stage).token, token);
    EXPECT_FALSE(alarms->alarm(stage).token.isEmpty());
}

TEST_F(AlarmMonitorTest, RestoreWritesBackWhatTheProgramHadWritten)
{
    settle();
    tick(100000, "actual=\"370\" setpoint=\"300\" control=\"0\"");
    ASSERT_EQ(alarms->state(stage), TsAlarmState::Unacknowledged);
    ASSERT_TRUE(alarms->alarm(stage).restorable);
    ASSERT_TRUE(alarms->restore(stage, "ann").isSuccess());
    // The file still says 30.0 and off; the controller keeps what was written until it changes.
    for (qint64 ms = 101000; ms <= 170000; ms += 1000)
        tick(ms, "actual=\"370\" setpoint=\"300\" control=\"0\"");
    EXPECT_DOUBLE_EQ(devices.channel(stage)->setpointValue(), 37.0);
    EXPECT_TRUE(devices.channel(stage)->loopControl());
    EXPECT_FALSE(alarms->alarm(stage).restorable);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::ReturnedUnacknowledged);
    EXPECT_EQ(events().filter("restored").size(), 1);
}

TEST_F(AlarmMonitorTest, DisarmedNothingIsRaisedAndTheControllersValuesAreTaken)
{
    settle();
    alertSwitch.on = false;
    tick(100000, "actual=\"370\" setpoint=\"300\"");
    unplug();
    devices.populateDevices();
    for (qint64 ms = 101000; ms < 200000; ms += 1000)
        at(ms);
    EXPECT_EQ(instable.count(), 0);
    EXPECT_EQ(alarms->state(stage), TsAlarmState::Normal);
    EXPECT_TRUE(events().isEmpty());
}

} // namespace
