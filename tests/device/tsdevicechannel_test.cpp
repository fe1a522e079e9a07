// The channel model and its stability monitor, on a channel whose "hardware" is the test.
#include "devicetestsupport.h"

#include "device/devicespec.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Level = TsStabilityMonitor::Level;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

class PlainDevice : public TsDevice
{
public:
    using TsDevice::addChannel;
    using TsDevice::TsDevice;
    QxResult open() override { return QxResult(); }
    QxResult close() override { return QxResult(); }
    QxResult updateStatus() override { return QxResult(); }
};

// Publishes what the test says the controller reports; its controller's setpoint is 37.
class ScriptedChannel : public TsDeviceChannel
{
public:
    using TsDeviceChannel::setActualValue;
    using TsDeviceChannel::setChannelStatus;
    using TsDeviceChannel::setLoopControl;
    using TsDeviceChannel::setSetpointValue;
    using TsDeviceChannel::TsDeviceChannel;
    using TsDeviceChannel::updateStableStatus;
    QxResult setValue(int, const QVariant &) override { return QxResult(); }
    QVariant value(int role) override
    {
        if (role == SetpointValue)
            setSetpointValue(37.0);
        return role == SetpointValue ? QVariant(37.0) : QVariant();
    }
    QxResult updateStatus() override { return QxResult(); }
};

// The shipped bands: green 0.2 for 60 s in and out, yellow 0.5 for 10 s in and 50 s out.
ChannelSpec shippedBands()
{
    ChannelSpec spec;
    spec.number = 1;
    spec.scale = 0.1;
    spec.green = StatusBandSpec{false, 0.2, 60000, 60000};
    spec.yellow = StatusBandSpec{false, 0.5, 10000, 50000};
    return spec;
}

class ChannelTest : public ::testing::Test
{
protected:
    ScriptedChannel *makeChannel(const ChannelSpec *spec, int number = 1)
    {
        TsDeviceChannel::Info info;
        info.number = number;
        info.ready = true;
        info.spec = spec;
        auto *channel = new ScriptedChannel(info, &device);
        channel->stabilityMonitor().setClock(clock.function());
        channel->initStability();
        device.addChannel(channel);
        return channel;
    }

    devicetest::MessageCapture quiet;
    PlainDevice device{TsDevice::Info{"A15X", "Heat Unit H2", 0x2E91, 1, nullptr}};
    ChannelSpec spec = shippedBands();
    devicetest::ManualClock clock;
};

TEST(TsStabilityMonitor, BandsNeedLimitsInOrderAndBothTimes)
{
    TsStabilityMonitor monitor;
    const struct
    {
        double low, high;
        int in, out;
        bool enabled;
    } cases[] = {{1, 2, 10, 10, true},
                 {2, 2, 10, 10, false},
                 {1, 2, 0, 10, false},
                 {1, 2, 10, 0, false},
                 {NaN, NaN, 1, 1, false}};
    for (const auto &c : cases) {
        monitor.setParameters(Level::Yellow, c.low, c.high, c.in, c.out);
        EXPECT_EQ(monitor.isEnabled(Level::Yellow), c.enabled) << c.low << " " << c.high;
    }
}

TEST(TsStabilityMonitor, NaNIsOutsideAndLimitsAreInside)
{
    TsStabilityMonitor monitor;
    devicetest::ManualClock clock;
    monitor.setClock(clock.function());
    monitor.setParameters(Level::Green, 36.8, 37.2, 100, 100);
    monitor.evaluate(36.8);
    clock.now = 100;
    EXPECT_EQ(monitor.evaluate(37.2), Level::Green);
    // New limits keep the timer; NaN leaves the band, and green holds for its time-out.
    monitor.setLimits(Level::Green, 36.9, 37.3);
    EXPECT_EQ(monitor.evaluate(NaN), Level::Green);
    clock.now = 199;
    EXPECT_EQ(monitor.evaluate(NaN), Level::Green);
    clock.now = 200;
    EXPECT_EQ(monitor.evaluate(NaN), Level::Unstable);
}

TEST_F(ChannelTest, IdentifiersAndOrderOfChannels)
{
    ScriptedChannel *second = makeChannel(&spec, 2);
    ScriptedChannel *first = makeChannel(nullptr, 1);
    EXPECT_EQ(first->id(), "A15X:1");
    EXPECT_EQ(second->id(), "A15X:2");
    EXPECT_EQ(device.channels().values(), (QList<TsDeviceChannel *>{first, second}));
    EXPECT_EQ(first->parent(), &device);
    EXPECT_DOUBLE_EQ(first->scale(), 1.0) << "no model data: scale 1";
    EXPECT_DOUBLE_EQ(second->scale(), 0.1);
}

TEST_F(ChannelTest, ActualValuesSignalEveryNaNButARepeatedNumberOnce)
{
    ScriptedChannel *channel = makeChannel(&spec);
    QSignalSpy spy(channel, &TsDeviceChannel::actualValueChanged);
    for (double v : {NaN, NaN, 36.9, 36.9, NaN})
        channel->setActualValue(v);
    EXPECT_EQ(spy.count(), 4);
}

TEST_F(ChannelTest, SetpointsMoveTheLimitsOnlyWhenTheyChange)
{
    ScriptedChannel *channel = makeChannel(&spec);
    TsStabilityMonitor &monitor = channel->stabilityMonitor();
    EXPECT_DOUBLE_EQ(monitor.low(Level::Yellow), 36.5) << "initStability reads the setpoint";
    EXPECT_DOUBLE_EQ(monitor.high(Level::Green), 37.2);

    // In yellow long enough; re-sending the same setpoint must not restart anything.
    channel->setLoopControl(true);
    channel->updateStableStatus(37.4);
    clock.now = 10000;
    QSignalSpy spy(channel, &TsDeviceChannel::setpointValueChanged);
    channel->setSetpointValue(37.0);
    channel->updateStableStatus(37.4);
    EXPECT_EQ(channel->stableStatus(), Qt::yellow);
    EXPECT_EQ(spy.count(), 0);

    channel->setSetpointValue(NaN);
    channel->setSetpointValue(NaN);
    EXPECT_EQ(spy.count(), 1) << "NaN after NaN is no change";
    EXPECT_TRUE(std::isnan(channel->setpointValue()));
    EXPECT_DOUBLE_EQ(monitor.low(Level::Yellow), 36.5) << "an unread setpoint keeps the bands";
    channel->updateStableStatus(37.4);
    EXPECT_EQ(channel->stableStatus(), Qt::yellow);
}

TEST_F(ChannelTest, WithoutUsableBandsALoopingChannelStaysRed)
{
    spec.yellow = spec.green = StatusBandSpec{true, 0.05, 1, 1};
    ScriptedChannel *relative = makeChannel(&spec, 1);
    ScriptedChannel *bare = makeChannel(nullptr, 2);
    relative->setSetpointValue(0.0);
    for (ScriptedChannel *channel : {relative, bare}) {
        channel->setLoopControl(true);
        channel->updateStableStatus(0.0);
        clock.now += 1000000;
        channel->updateStableStatus(0.0);
        EXPECT_EQ(channel->stableStatus(), Qt::red);
    }
    bare->setChannelStatus(0x0A);
    EXPECT_TRUE(bare->channelStatusText().isEmpty());

    // Around a negative setpoint a relative band is -10.5 to -9.5, not empty.
    relative->setSetpointValue(-10.0);
    EXPECT_DOUBLE_EQ(relative->stabilityMonitor().low(Level::Yellow), -10.5);
    EXPECT_DOUBLE_EQ(relative->stabilityMonitor().high(Level::Yellow), -9.5);
    relative->updateStableStatus(-10.2);
    clock.now += 1;
    relative->updateStableStatus(-10.2);
    EXPECT_EQ(relative->stableStatus(), Qt::green);
}

} // namespace
