// The experiment on a controller of emulated USB, with no simulation configured: unplugged in the
// middle of a transaction it goes offline at once with one alarm, and plugged back it is recorded
// in the same CSV columns.
#include "usbtestbed.h"

#include "config/tsprofile.h"
#include "device/devicetestsupport.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using zdx::test::UsbTestBed;

UsbTestBed *s_bed = nullptr;

class AlertSwitch : public TsEmailAlertSwitch
{
public:
    bool emailAlertStatus() const override { return on; }
    void setEmailAlertStatus(bool status) override { on = status; }
    bool on = true;
};

TsProfile::Channel entry(const QString &id)
{
    TsProfile::Channel channel;
    channel.id = id;
    channel.name = id;
    channel.alert = true;
    return channel;
}

TEST(ExperimentUsbTest, AControllerUnpluggedInATransactionAlarmsOnceAndKeepsItsColumns)
{
    auto unit = UsbTestBed::model("H2", "150E1");
    unit.channels[0].actual = 370; // at its setpoint: green once the band's time has passed
    const int heat = s_bed->add(unit);

    devicetest::MessageCapture messages;
    devicetest::ManualClock clock;
    TsDeviceManager devices;
    ASSERT_TRUE(devices.loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
    // Hot-plug reaches the library through libusb's event thread.
    const auto scanUntil = [&](const std::function<bool()> &done) {
        return QTest::qWaitFor(
            [&] {
                devices.populateDevices();
                return done();
            },
            5000);
    };
    QObject::connect(&devices, &TsDeviceManager::newDevice, [&](TsDevice *device) {
        for (TsDeviceChannel *channel : device->channels())
            channel->stabilityMonitor().setClock(clock.function());
    });
    ASSERT_TRUE(scanUntil([&] { return devices.channel("150E1:1") != nullptr; }));

    TsExperimentManager manager{&devices};
    TsExperiment *experiment = manager.currentExperiment();
    experiment->stopSampling();
    TsProfile profile;
    profile.setName(QStringLiteral("Usb"));
    profile.setValid(true);
    profile.setChannels({entry("150E1:1"), entry("150E1:2")});
    ASSERT_TRUE(experiment->setProfile(profile).isSuccess());
    AlertSwitch alertSwitch;
    experiment->setEmailAlertSwitch(&alertSwitch);
    QSignalSpy instable{experiment, &TsExperiment::channelsInstable};

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TsExperimentRecorder *recorder = experiment->recorder();
    TsRecorderCSVSettings csv;
    csv.setEnabled(true);
    csv.setColumnSeparator(quint8(';'));
    csv.setDateTimeFormat(QStringLiteral("relative-time"));
    recorder->setCsvSettings(csv);
    recorder->setFilePrefix(folder.path() + "/run");
    recorder->setClocks([&] { return clock.now; }, {});
    recorder->start();
    int ticks = 0;
    const auto at = [&](qint64 ms) {
        clock.now = ms;
        experiment->sampleChannels();
        ++ticks;
        alertSwitch.on = true; // armed again at once: only the alarm logic keeps a loss to one
    };
    for (qint64 ms = 0; ms <= 62000; ms += 1000)
        at(ms);
    ASSERT_EQ(devices.channel("150E1:1")->stableStatus(), Qt::green);

    s_bed->cutOnNextRequest(heat);
    at(63000);
    EXPECT_TRUE(s_bed->isCut(heat));
    EXPECT_TRUE(devices.channel("150E1:1")->device()->isConnectionLost())
        << "transport failures, not time-outs: lost within the tick";
    s_bed->unplug(heat);
    ASSERT_TRUE(scanUntil([&] { return devices.channel("150E1:1") == nullptr; }));
    at(64000);
    s_bed->plug(heat);
    ASSERT_TRUE(scanUntil([&] { return devices.channel("150E1:1") != nullptr; }));
    for (qint64 ms = 65000; ms <= 400000; ms += 5000)
        at(ms);
    EXPECT_EQ(devices.channel("150E1:1")->stableStatus(), Qt::green);
    EXPECT_DOUBLE_EQ(experiment->channel("150E1:1")->value(0).toDouble(), 37.0);
    EXPECT_EQ(instable.count(), 1) << "one loss, one alarm";
    recorder->stop();

    QFile file(recorder->fileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), ticks + 1) << "a header and one row a tick";
    const int fields = lines.first().split(';').size();
    for (const QString &line : lines)
        ASSERT_EQ(line.split(';').size(), fields) << qPrintable(line);
    EXPECT_EQ(lines.at(63).split(';').mid(1, 6),
              QStringList({"37.0", "37.0", "On", "25.0", "37.0", "On"}));
    EXPECT_EQ(lines.at(65).split(';').mid(1, 3), QStringList({"", "", ""}))
        << "no made-up value while it is away";
    EXPECT_EQ(lines.last().split(';').mid(1, 6), lines.at(63).split(';').mid(1, 6));
    s_bed->unplug(heat);
}

} // namespace

int main(int argc, char **argv)
{
    if (!UsbTestBed::enterWithRealUsb(argv))
        return 1;
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    isolateEnvironment(home.path());
    QCoreApplication app(argc, argv);
    settleIdentityAndDataPath(home.path());
    UsbTestBed bed;
    s_bed = &bed;
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    s_bed = nullptr;
    return result;
}
