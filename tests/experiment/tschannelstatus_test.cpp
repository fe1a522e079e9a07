// A channel's tile status on the controller simulation: offline without a device, the stability
// colour for the index, and the device's fault outranking the channel's own status text.
#include "experimenttestsupport.h"

#include "experiment/tschannelstatus.h"

namespace {

using namespace experimenttest;

class ChannelStatusTest : public ExperimentFixture
{
protected:
    TsChannelStatus updated(const QString &id)
    {
        TsExperimentChannel *channel = experiment->channel(id);
        EXPECT_NE(channel, nullptr) << qPrintable(id);
        const TsChannelStatus status = TsChannelStatus::update(channel);
        // What mails and web pages read is exactly what was derived.
        EXPECT_EQ(channel->statusIndex(), status.index);
        EXPECT_EQ(channel->statusText(), status.text);
        EXPECT_EQ(channel->statusDescription(), status.description);
        return status;
    }
};

TEST_F(ChannelStatusTest, AChannelWithoutDeviceIsOfflineWithTheDesktopsTexts)
{
    useStandardProfile();
    experiment->channel(missing)->setStatus(TsExperimentChannel::StatusGreen, "old", "old");
    const TsChannelStatus status = updated(missing);
    EXPECT_EQ(status.index, TsExperimentChannel::StatusOffline);
    EXPECT_EQ(status.text, "offline");
    EXPECT_EQ(status.description, "The device is currently not connected or switched off.");

    // A controller unplugged while the experiment runs turns its channels offline too. The
    // loop state arrives after the actual value in a tick, so the colour follows a tick later.
    experiment->sampleChannels();
    experiment->sampleChannels();
    EXPECT_EQ(updated(stage).index, TsExperimentChannel::StatusOther);
    unplug();
    devices.populateDevices();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    experiment->sampleChannels();
    EXPECT_EQ(updated(stage).text, "offline");
    EXPECT_EQ(experiment->channel(stage)->statusIndex(), TsExperimentChannel::StatusOffline);
}

TEST_F(ChannelStatusTest, LoopOffIsItsOwnIndexAndTheChannelsStatusTextIsShown)
{
    plug("control=\"0\" status=\"1\"", "actual=\"250\" setpoint=\"370\"");
    devices.populateDevices();
    useStandardProfile();
    experiment->sampleChannels();
    experiment->sampleChannels();

    const TsChannelStatus off = updated(stage);
    EXPECT_EQ(off.index, TsExperimentChannel::StatusLoopOff);
    EXPECT_EQ(off.text, "No sensor") << "refreshed from the device, not the stale text";
    EXPECT_TRUE(off.description.startsWith("There is no valid sensor signal."));

    // 25.0 against a setpoint of 37.0 with the loop on: far outside both bands.
    const TsChannelStatus out = updated(lid);
    EXPECT_EQ(out.index, TsExperimentChannel::StatusOther);
    EXPECT_EQ(out.text, "OK");
}

TEST_F(ChannelStatusTest, ADeviceFaultOutranksTheChannelsStatus)
{
    plug("status=\"1\"");
    devices.populateDevices();
    useStandardProfile();
    experiment->sampleChannels();
    EXPECT_EQ(updated(stage).text, "No sensor");

    plug("status=\"1\"", "", "deviceStatus=\"0x81\"");
    const TsChannelStatus fault = updated(stage);
    EXPECT_EQ(fault.text, "RAM test error");
    EXPECT_TRUE(fault.description.startsWith("The bootloader found an error in the device's RAM"));
    EXPECT_EQ(updated(lid).text, "RAM test error") << "the whole device, every channel";
}

TEST(ChannelStatusIndexTest, StabilityColoursMapToTheTileIndex)
{
    EXPECT_EQ(TsChannelStatus::indexForStableStatus(Qt::white), TsExperimentChannel::StatusLoopOff);
    EXPECT_EQ(TsChannelStatus::indexForStableStatus(Qt::green), TsExperimentChannel::StatusGreen);
    EXPECT_EQ(TsChannelStatus::indexForStableStatus(Qt::yellow), TsExperimentChannel::StatusYellow);
    for (Qt::GlobalColor other : {Qt::red, Qt::darkGray, Qt::black, Qt::darkYellow})
        EXPECT_EQ(TsChannelStatus::indexForStableStatus(other), TsExperimentChannel::StatusOther);
    EXPECT_EQ(TsChannelStatus::of(nullptr).index, TsExperimentChannel::StatusOffline);
}

} // namespace
