// The experiment and its channels on the controller simulation: building channels from a profile,
// sampling, devices coming and going, the e-mail alarm and the dynamic experiment's start and stop
// rules for the recorder.
#include "experimenttestsupport.h"

#include "device/tsdevice.h"
#include "experiment/tsexperimentscript.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>

namespace {

using namespace experimenttest;

// The mailer manager's alert switch as the alarm check sees it.
class AlertSwitch : public TsEmailAlertSwitch
{
public:
    bool emailAlertStatus() const override { return on; }
    void setEmailAlertStatus(bool status) override
    {
        on = status;
        ++switches;
    }
    bool on = true;
    int switches = 0;
};

class ExperimentTest : public ExperimentFixture
{};

TEST_F(ExperimentTest, TheManagerMakesItsExperimentCurrentAndSamplingRuns)
{
    TsDeviceManager otherDevices;
    TsExperimentManager other(&otherDevices);
    ASSERT_NE(other.currentExperiment(), nullptr);
    EXPECT_EQ(other.currentExperiment()->parent(), &other);
    EXPECT_TRUE(other.currentExperiment()->isSampling());
    EXPECT_EQ(other.currentExperiment()->sampleTimer()->interval(), 1000);
    EXPECT_TRUE(other.currentExperiment()->statusTimer()->isActive());
    EXPECT_EQ(other.property("currentExperiment").value<TsExperiment *>(),
              other.currentExperiment());

    QSignalSpy changed(&other, &TsExperimentManager::currentExperimentChanged);
    TsExperiment *first = other.currentExperiment();
    other.setCurrentExperiment(first);
    other.setCurrentExperiment(experiment); // a child of another manager
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(other.currentExperiment(), first);

    QPointer<TsExperiment> old = first;
    auto *second = new TsExperiment(&otherDevices, &other);
    EXPECT_FALSE(second->isSampling());
    other.setCurrentExperiment(second);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<TsExperiment *>(), second);
    EXPECT_TRUE(second->isSampling());
    EXPECT_FALSE(old.isNull()) << "deleted later, not inside the call";
    EXPECT_FALSE(old->isSampling());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
}

TEST_F(ExperimentTest, AChannelSplitsItsIdentifier)
{
    TsExperimentChannel channel(stage, "Name", nullptr, &devices);
    EXPECT_EQ(channel.deviceId(), serial);
    EXPECT_EQ(channel.channelNumber(), 1);
    EXPECT_EQ(channel.deviceName(), "Heat Unit H2") << "from the model of the serial prefix";
    EXPECT_FALSE(channel.isConnected());
    EXPECT_FALSE(channel.isStable());
    EXPECT_FALSE(channel.color().isValid());
    EXPECT_EQ(channel.statusIndex(), 0);

    TsExperimentChannel bare("12345", "Bare", nullptr, &devices);
    EXPECT_EQ(bare.deviceId(), "12345");
    EXPECT_EQ(bare.channelNumber(), 0);
    EXPECT_EQ(bare.deviceName(), "");
    TsExperimentChannel odd("150:x", "Odd", nullptr, &devices);
    EXPECT_EQ(odd.channelNumber(), 0);

    EXPECT_EQ(channel.label(0), "Name: Actual Value");
    EXPECT_EQ(channel.label(1), "Name: Setpoint Value");
    EXPECT_EQ(channel.label(2), "Name: Control");
    EXPECT_EQ(channel.label(7), "Name: unknown");
    EXPECT_FALSE(channel.value(0).isValid());
    EXPECT_EQ(channel.valueText(0), "--.-");
    EXPECT_TRUE(channel.setValue(1, 37.0).isError());
    EXPECT_EQ(channel.channelSpec()->unit, "") << "the shared default description";
}

TEST_F(ExperimentTest, AProfileBuildsConnectedAndUnconnectedChannelsInItsOrder)
{
    QSignalSpy config(experiment, &TsExperiment::configChanged);
    useStandardProfile();
    EXPECT_EQ(config.count(), 1);
    const QList<TsExperimentChannel *> channels = experiment->channels();
    ASSERT_EQ(channels.size(), 3);
    EXPECT_EQ(channels[0]->id(), stage);
    EXPECT_EQ(channels[0]->name(), "Stage") << "the device channel's name wins";
    EXPECT_EQ(channels[0]->color(), QColor(Qt::red));
    EXPECT_TRUE(channels[0]->alert());
    EXPECT_FALSE(channels[1]->alert());
    EXPECT_TRUE(channels[0]->isConnected());
    EXPECT_EQ(channels[0]->unit(), "°C");
    EXPECT_EQ(channels[0]->deviceName(), "Heat Unit H2");
    EXPECT_EQ(channels[2]->name(), "Missing");
    EXPECT_FALSE(channels[2]->isConnected());
    EXPECT_EQ(experiment->channel(lid), channels[1]);
    EXPECT_EQ(experiment->channel("nothing"), nullptr);

    EXPECT_FALSE(channels[0]->value(0).isValid()) << "nothing sampled yet";
    experiment->sampleChannels();
    EXPECT_DOUBLE_EQ(channels[0]->value(0).toDouble(), 25.0);
    EXPECT_DOUBLE_EQ(channels[0]->value(1).toDouble(), 37.0);
    EXPECT_EQ(channels[0]->value(2), QVariant(true));
    EXPECT_TRUE(channels[0]->loopControl());
    EXPECT_TRUE(channels[0]->sampleTime().isValid());
    EXPECT_EQ(channels[0]->valueText(0), "25.0°C");
    EXPECT_EQ(channels[0]->valueText(1, false), "37.0");
    EXPECT_FALSE(channels[2]->value(0).isValid());

    EXPECT_TRUE(channels[1]->setValue(1, 36.5).isSuccess());
    experiment->sampleChannels();
    EXPECT_DOUBLE_EQ(channels[1]->value(1).toDouble(), 36.5);

    // Another profile replaces the channel objects.
    QPointer<TsExperimentChannel> gone = channels[0];
    ASSERT_TRUE(experiment->setProfile(profile({entry(lid, "Only lid")})).isSuccess());
    EXPECT_TRUE(gone.isNull());
    ASSERT_EQ(experiment->channels().size(), 1);
    EXPECT_EQ(experiment->profile().channels().size(), 1);
}

TEST_F(ExperimentTest, ANotANumberReadingStaysNotANumber)
{
    plug("setpoint=\"4096\"");
    useStandardProfile();
    experiment->sampleChannels();
    TsExperimentChannel *channel = experiment->channel(stage);
    EXPECT_TRUE(std::isnan(channel->value(1).toDouble()));
    EXPECT_EQ(channel->valueText(1), "--.-°C");
}

TEST_F(ExperimentTest, UnpluggingAndPluggingReconnectsWithoutRebuildingTheList)
{
    useStandardProfile();
    const QList<TsExperimentChannel *> before = experiment->channels();
    QSignalSpy config(experiment, &TsExperiment::configChanged);
    QSignalSpy stageStatus(before[0], &TsExperimentChannel::connectionStatusChanged);
    QSignalSpy missingStatus(before[2], &TsExperimentChannel::connectionStatusChanged);
    experiment->sampleChannels();

    unplug();
    devices.populateDevices();
    EXPECT_EQ(config.count(), 1) << "once for both channels";
    ASSERT_EQ(stageStatus.count(), 1);
    EXPECT_EQ(stageStatus.at(0).at(0), QVariant(false));
    EXPECT_FALSE(before[0]->isConnected());
    EXPECT_FALSE(before[1]->isConnected());
    EXPECT_FALSE(before[0]->value(0).isValid());
    EXPECT_TRUE(before[0]->setValue(1, 30.0).isError());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(before[0]->deviceChannel(), nullptr);
    experiment->sampleChannels(); // unconnected channels are skipped

    plug();
    devices.populateDevices();
    EXPECT_EQ(config.count(), 2);
    ASSERT_EQ(stageStatus.count(), 2);
    EXPECT_EQ(stageStatus.at(1).at(0), QVariant(true));
    EXPECT_EQ(experiment->channels(), before) << "the same objects, not a new list";
    EXPECT_TRUE(before[0]->isConnected());
    EXPECT_EQ(before[0]->deviceChannel(), devices.channel(stage));
    EXPECT_EQ(missingStatus.count(), 0);
    experiment->sampleChannels();
    EXPECT_DOUBLE_EQ(before[0]->value(0).toDouble(), 25.0);

    // The same device announced again changes nothing.
    experiment->onNewDevice(devices.devices().value(serial));
    EXPECT_EQ(config.count(), 2);
    EXPECT_EQ(stageStatus.count(), 2);
}

TEST_F(ExperimentTest, AProfileChangeIsRefusedWhileRecording)
{
    useStandardProfile();
    experiment->startRecorder();
    ASSERT_TRUE(experiment->recorder()->isRunning());
    const QList<TsExperimentChannel *> before = experiment->channels();
    const QxResult refused = experiment->setProfile(profile({entry(lid, "Only lid")}));
    EXPECT_TRUE(refused.isError());
    EXPECT_EQ(refused.message(), "system is running");
    EXPECT_EQ(experiment->channels(), before);
    EXPECT_EQ(experiment->profile().channels().size(), 3);
    experiment->stopRecorder();
    EXPECT_FALSE(experiment->recorder()->isRunning());
    EXPECT_TRUE(experiment->setProfile(profile({entry(lid, "Only lid")})).isSuccess());
}

TEST_F(ExperimentTest, TheProfileHandsItsRecorderSettingsToTheRecorder)
{
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(';');
    TsRecorderLogSettings log;
    log.setInterval(5000);
    log.setStopMode(TsRecorderLogSettings::StopAfter);
    log.setStopAfter(60000);
    useStandardProfile(csv, log);
    EXPECT_EQ(experiment->recorder()->csvSettings(), csv);
    EXPECT_EQ(experiment->recorder()->logSettings(), log);
}

class AlarmTest : public ExperimentFixture
{
protected:
    AlarmTest()
    {
        useStandardProfile();
        // Both heat unit channels with the alarm on; the clock of both monitors is the test's.
        TsProfile p = profile({entry(stage, "Stage"), entry(lid, "Lid"), entry(missing, "M")});
        EXPECT_TRUE(experiment->setProfile(p).isSuccess());
        for (const QString &id : {stage, lid})
            devices.channel(id)->stabilityMonitor().setClock(clock.function());
        experiment->setEmailAlertSwitch(&alertSwitch);
    }

    // Both channels at raw value stageRaw / lidRaw, sampled at time ms.
    void tick(int stageRaw, int lidRaw, qint64 ms)
    {
        plug("actual=\"" + std::to_string(stageRaw) + "\"",
             "actual=\"" + std::to_string(lidRaw) + "\"");
        clock.now = ms;
        experiment->sampleChannels();
    }
    Qt::GlobalColor colour(const QString &id) const { return devices.channel(id)->stableStatus(); }

    devicetest::ManualClock clock;
    AlertSwitch alertSwitch;
    QSignalSpy instable{experiment, &TsExperiment::channelsInstable};
};

// The shipped bands: green 36.8..37.2 for 60 s in and out; setpoint 37.0.
TEST_F(AlarmTest, FiresOnceWhenAChannelGoesGreenThenRed)
{
    tick(250, 250, 0);
    EXPECT_EQ(colour(stage), Qt::white) << "the loop is read after the actual value";
    tick(250, 250, 1000);
    EXPECT_EQ(colour(stage), Qt::red);
    EXPECT_EQ(instable.count(), 0) << "red without green before: no alarm";
    tick(370, 250, 2000);
    tick(370, 250, 62000);
    EXPECT_EQ(colour(stage), Qt::green);
    EXPECT_TRUE(experiment->channel(stage)->isStable());
    EXPECT_FALSE(experiment->channel(lid)->isStable());
    tick(250, 250, 63000);
    tick(250, 250, 200000);
    EXPECT_EQ(colour(stage), Qt::red);
    ASSERT_EQ(instable.count(), 1);
    const auto list = instable.at(0).at(0).value<QList<TsExperimentChannel *>>();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0]->id(), stage);
    EXPECT_FALSE(alertSwitch.on) << "alerts are switched off after firing";
    EXPECT_EQ(alertSwitch.switches, 1);

    // Off: every stable flag is reset, nothing fires.
    tick(370, 370, 201000);
    tick(370, 370, 300000);
    tick(250, 250, 301000);
    tick(250, 250, 500000);
    EXPECT_EQ(instable.count(), 1);

    // Re-armed while red: a channel has to be green once more first.
    alertSwitch.on = true;
    tick(250, 250, 501000);
    EXPECT_EQ(instable.count(), 0 + 1);
    tick(370, 250, 502000);
    tick(370, 250, 600000);
    EXPECT_TRUE(experiment->channel(stage)->isStable());
    tick(250, 250, 601000);
    tick(250, 250, 700000);
    EXPECT_EQ(instable.count(), 2);
}

TEST_F(AlarmTest, AControllerPluggedBackKeepsItsColumnsAndAlarmsOncePerLoss)
{
    // New device channels are timed by the test's clock too.
    QObject::connect(&devices, &TsDeviceManager::newDevice, [this](TsDevice *device) {
        for (TsDeviceChannel *channel : device->channels())
            channel->stabilityMonitor().setClock(clock.function());
    });
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TsExperimentRecorder *recorder = experiment->recorder();
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(quint8(';'));
    csv.setDateTimeFormat(QStringLiteral("relative-time"));
    recorder->setCsvSettings(csv);
    recorder->setFilePrefix(folder.path() + "/run");
    recorder->setClocks([this] { return clock.now; }, {});
    const QList<TsExperimentChannel *> channels = experiment->channels();
    recorder->start();
    int ticks = 0;
    auto at = [&](qint64 ms) {
        clock.now = ms;
        experiment->sampleChannels();
        ++ticks;
        // The operator arms the alert again at once: only the alarm logic may keep a loss to one.
        alertSwitch.on = true;
    };

    for (qint64 ms = 0; ms <= 62000; ms += 1000)
        tick(370, 370, ms), ++ticks;
    ASSERT_EQ(colour(stage), Qt::green);
    unplug();
    at(63000);
    plug("actual=\"370\"", "actual=\"370\"");
    at(64000);
    EXPECT_TRUE(devices.channel(stage)->device()->isConnectionLost());
    devices.populateDevices();
    ASSERT_TRUE(channels[0]->isConnected()) << "back at the next scan";
    EXPECT_EQ(experiment->channels(), channels);
    for (qint64 ms = 65000; ms <= 400000; ms += 1000)
        at(ms);
    EXPECT_EQ(colour(stage), Qt::green);
    EXPECT_DOUBLE_EQ(channels[0]->value(0).toDouble(), 37.0);
    EXPECT_EQ(instable.count(), 1) << "one loss, one alarm";
    recorder->stop();

    QFile file(recorder->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), ticks + 1) << "a header and one row a tick";
    const int fields = lines.first().split(';').size();
    for (const QString &line : qAsConst(lines))
        ASSERT_EQ(line.split(';').size(), fields) << qPrintable(line);
    // Columns: time, then stage, lid and the missing channel with three values each.
    EXPECT_EQ(lines.at(63).split(';').mid(1, 6),
              QStringList({"37.0", "37.0", "On", "37.0", "37.0", "On"}));
    for (int row : {64, 65}) {
        const QStringList values = lines.at(row).split(';');
        EXPECT_EQ(values.mid(1, 3), QStringList({"", "", ""}))
            << "no made-up value during the loss: " << qPrintable(lines.at(row));
    }
    EXPECT_EQ(lines.last().split(';').mid(1, 6), lines.at(63).split(';').mid(1, 6));
}

TEST_F(AlarmTest, TwoChannelsLosingStabilityInOneTickMakeOneAlarm)
{
    tick(370, 370, 0);
    tick(370, 370, 1000);
    tick(370, 370, 61000);
    ASSERT_EQ(colour(stage), Qt::green);
    ASSERT_EQ(colour(lid), Qt::green);
    tick(250, 250, 62000);
    tick(250, 250, 200000);
    ASSERT_EQ(instable.count(), 1);
    const auto list = instable.at(0).at(0).value<QList<TsExperimentChannel *>>();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0]->id(), stage);
    EXPECT_EQ(list[1]->id(), lid);
    EXPECT_EQ(alertSwitch.switches, 1);
    EXPECT_EQ(messages.count("stable lost"), 2);
}

TEST_F(AlarmTest, ChannelsWithoutTheAlertFlagOrWithoutASwitchRaiseNothing)
{
    TsProfile p = profile({entry(stage, "Stage", false), entry(lid, "Lid")});
    ASSERT_TRUE(experiment->setProfile(p).isSuccess());
    experiment->setEmailAlertSwitch(nullptr);
    tick(370, 370, 0);
    tick(370, 370, 1000);
    tick(370, 370, 61000);
    EXPECT_FALSE(experiment->channel(lid)->isStable()) << "no mailer manager: no check at all";
    experiment->setEmailAlertSwitch(&alertSwitch);
    tick(370, 370, 62000);
    EXPECT_FALSE(experiment->channel(stage)->isStable());
    EXPECT_TRUE(experiment->channel(lid)->isStable());
    tick(250, 370, 63000);
    tick(250, 370, 200000);
    EXPECT_EQ(instable.count(), 0);
}

// A script file with one action at time 0 that sets the lid's setpoint.
QString writeScript(const QString &folder, const QString &channelId, const char *value = "36.5")
{
    const QString path = folder + "/Dyn.tsx";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\" standalone=\"yes\"?>\n"
               "<TsDynamicExperiment name=\"Dyn\"><ScriptActions>"
               "<ScriptAction type=\"setChannelValue\" comment=\"\" time=\"0\" active=\"1\">"
               "<ActionParameters>"
               "<ActionParameter name=\"channel.id\" type=\"QString\" value=\"" +
               channelId.toUtf8() +
               "\"/>"
               "<ActionParameter name=\"channel.value\" type=\"double\" value=\"" +
               QByteArray(value) +
               "\"/>"
               "</ActionParameters></ScriptAction></ScriptActions></TsDynamicExperiment>\n");
    return path;
}

TEST_F(ExperimentTest, TheScriptRunsFirstInATickAndDrivesTheRecorder)
{
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    log.setStopMode(TsRecorderLogSettings::StopWithDynamicExp);
    useStandardProfile(TsRecorderCSVSettings(), log);
    QTemporaryDir folder;
    TsExperimentScript *script = experiment->script();
    ASSERT_TRUE(script->load(writeScript(folder.path(), lid)).isSuccess());
    devicetest::ManualClock clock;
    script->setClock(clock.function());

    ASSERT_TRUE(experiment->startDynamic());
    EXPECT_TRUE(script->isRunning());
    EXPECT_TRUE(experiment->recorder()->isRunning()) << "start mode 1 starts the recorder";

    // The action runs before sampling, so the same tick reads the new setpoint; the script then
    // ends by itself, which stops the recorder (stop mode 1).
    clock.now = 1;
    experiment->sampleChannels();
    EXPECT_DOUBLE_EQ(experiment->channel(lid)->value(1).toDouble(), 36.5);
    EXPECT_FALSE(script->isRunning());
    EXPECT_FALSE(experiment->recorder()->isRunning());
    script->setClock({});
}

TEST_F(ExperimentTest, StoppingTheDynamicExperimentStopsTheRecorderOnlyInStopModeOne)
{
    QTemporaryDir folder;
    TsExperimentScript *script = experiment->script();
    for (int stopMode : {0, 1, 2}) {
        TsRecorderLogSettings log;
        log.setStopMode(stopMode);
        log.setStopAfter(3600000);
        useStandardProfile(TsRecorderCSVSettings(), log);
        ASSERT_TRUE(script->load(writeScript(folder.path(), lid)).isSuccess());
        ASSERT_TRUE(experiment->startDynamic());
        EXPECT_FALSE(experiment->recorder()->isRunning()) << "start mode 0 leaves it to the user";
        experiment->startRecorder();
        experiment->stopDynamic();
        EXPECT_FALSE(script->isRunning());
        EXPECT_EQ(experiment->recorder()->isRunning(), stopMode != 1) << stopMode;
        experiment->stopRecorder();
    }
}

TEST_F(ExperimentTest, ADynamicExperimentThatCannotStartLeavesTheRecorderAlone)
{
    TsRecorderLogSettings log;
    log.setStartMode(TsRecorderLogSettings::StartWithDynamicExp);
    useStandardProfile(TsRecorderCSVSettings(), log);
    QTemporaryDir folder;
    // The action names a channel the experiment does not have.
    ASSERT_TRUE(experiment->script()->load(writeScript(folder.path(), "777X7:1")).isSuccess());
    EXPECT_FALSE(experiment->startDynamic());
    EXPECT_FALSE(experiment->recorder()->isRunning());
}

} // namespace
