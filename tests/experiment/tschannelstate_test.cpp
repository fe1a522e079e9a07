// A channel's state worked out by the experiment on its tick, with no view open: offline without a
// device, the stability colour for the state, the device's fault outranking the channel's own
// status text, and one device-status read per controller, however many of its channels are shown.
#include "experimenttestsupport.h"

#include "device/tsdevice.h"

#include <QSignalSpy>

namespace {

using namespace experimenttest;

class ChannelStateTest : public ExperimentFixture
{
protected:
    TsExperimentChannel *channel(const QString &id) const
    {
        TsExperimentChannel *found = experiment->channel(id);
        EXPECT_NE(found, nullptr) << qPrintable(id);
        return found;
    }
};

TEST_F(ChannelStateTest, AChannelWithoutDeviceIsOfflineAndAnUnplugIsSeenAtOnce)
{
    useStandardProfile();
    EXPECT_EQ(channel(missing)->state(), TsChannelState::Offline);
    EXPECT_EQ(channel(missing)->statusText(), "offline");
    EXPECT_EQ(channel(missing)->statusDescription(),
              "The device is currently not connected or switched off.");

    // The loop state arrives after the actual value in a tick, so the colour follows a tick later.
    experiment->sampleChannels();
    experiment->sampleChannels();
    EXPECT_EQ(channel(stage)->state(), TsChannelState::Red);
    EXPECT_EQ(channel(stage)->statusIndex(), 4) << "the stored and served number";
    QSignalSpy changed(channel(stage), &TsExperimentChannel::statusChanged);
    unplug();
    devices.populateDevices();
    // No tick between: a page or scrape now must not call the unplugged channel red.
    EXPECT_EQ(channel(stage)->state(), TsChannelState::Offline);
    EXPECT_EQ(channel(stage)->statusText(), "offline");
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ChannelStateTest, LoopOffAndOutOfBandAreReadFromTheControllerOnTheTick)
{
    plug("control=\"0\" status=\"1\"", "actual=\"250\" setpoint=\"370\"");
    devices.populateDevices();
    useStandardProfile();
    experiment->sampleChannels();
    experiment->sampleChannels();
    EXPECT_EQ(channel(stage)->state(), TsChannelState::Off);
    EXPECT_EQ(channel(stage)->statusText(), "No sensor") << "refreshed from the device";
    EXPECT_TRUE(channel(stage)->statusDescription().startsWith("There is no valid sensor signal."));
    // 25.0 against a setpoint of 37.0 with the loop on: far outside both bands.
    EXPECT_EQ(channel(lid)->state(), TsChannelState::Red);
    EXPECT_EQ(channel(lid)->statusText(), "OK");

    // The sensor comes back: the next tick says so, with no tile asking.
    plug("control=\"0\"", "actual=\"250\" setpoint=\"370\"");
    experiment->sampleChannels();
    EXPECT_EQ(channel(stage)->statusText(), "OK");
}

TEST_F(ChannelStateTest, ADeviceFaultOutranksTheChannelsStatusOnEveryChannel)
{
    plug("status=\"1\"");
    devices.populateDevices();
    useStandardProfile();
    experiment->sampleChannels();
    EXPECT_EQ(channel(stage)->statusText(), "No sensor");

    plug("status=\"1\"", "", "deviceStatus=\"0x81\"");
    experiment->sampleChannels();
    EXPECT_EQ(channel(stage)->statusText(), "RAM test error");
    EXPECT_TRUE(channel(stage)->statusDescription().startsWith(
        "The bootloader found an error in the device's RAM"));
    EXPECT_EQ(channel(lid)->statusText(), "RAM test error") << "the whole device, every channel";
}

// A controller whose reads the test counts.
class CountingDevice : public TsDevice
{
public:
    using TsDevice::addChannel;
    using TsDevice::TsDevice;
    QxResult open() override { return QxResult(); }
    QxResult close() override { return QxResult(); }
    QxResult updateStatus() override
    {
        ++deviceReads;
        return QxResult();
    }
    int deviceReads = 0;
};

class CountingChannel : public TsDeviceChannel
{
public:
    using TsDeviceChannel::TsDeviceChannel;
    QxResult setValue(int, const QVariant &) override { return QxResult(); }
    QVariant value(int) override { return QVariant(); }
    QxResult updateStatus() override
    {
        ++wholeRefreshes;
        return QxResult();
    }
    QxResult updateStatusAfterDeviceRead(const QxResult &) override
    {
        ++ownReads;
        return QxResult();
    }
    int wholeRefreshes = 0;
    int ownReads = 0;
};

TEST(ChannelStateReadsTest, OneDeviceStatusReadPerControllerAndTickForAllItsChannels)
{
    TsDeviceManager devices;
    TsExperimentManager manager(&devices);
    TsExperiment *experiment = manager.currentExperiment();
    experiment->stopSampling();
    TsDevice::Info info;
    info.serialNumber = QStringLiteral("999C1");
    CountingDevice device(info);
    QList<CountingChannel *> channels;
    QList<TsProfile::Channel> entries;
    for (int number = 1; number <= 3; ++number) {
        TsDeviceChannel::Info channelInfo;
        channelInfo.number = number;
        channelInfo.ready = true;
        channels.append(new CountingChannel(channelInfo, &device));
        device.addChannel(channels.last());
        entries.append(entry(channels.last()->id(), QStringLiteral("C%1").arg(number)));
    }
    TsProfile profile;
    profile.setChannels(entries);
    ASSERT_TRUE(experiment->setProfile(profile).isSuccess());
    experiment->onNewDevice(&device);

    for (int tick = 0; tick < 5; ++tick)
        experiment->sampleChannels();
    EXPECT_EQ(device.deviceReads, 5);
    for (CountingChannel *channel : channels) {
        EXPECT_EQ(channel->ownReads, 5);
        EXPECT_EQ(channel->wholeRefreshes, 0) << "each would read the device status again";
    }
    experiment->onDeviceRemoved(&device);
}

} // namespace
