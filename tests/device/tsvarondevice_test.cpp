// The binding through the real device-access library and its controller simulation.
#include "devicetestsupport.h"

#include "device/devicespec.h"
#include "device/tsspecparser.h"
#include "device/tsvaronchannel.h"
#include "device/tsvarondevice.h"

#include "zdx7000/zdx7000.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using devicetest::channel;
using devicetest::heatUnit;
using TsChannel = TsDeviceChannel;

const bool simulationReady = (devicetest::simulation(), true);

class VaronTest : public ::testing::Test
{
protected:
    VaronTest()
    {
        qRegisterMetaType<Qt::GlobalColor>();
        EXPECT_TRUE(simulationReady && parser.load(TsSpecParser::builtInPath()).isSuccess());
    }

    void write(const std::string &controllers) { devicetest::simulation().write(controllers); }

    std::unique_ptr<TsVaronDevice> heatDevice(const std::string &serial)
    {
        const TsDevice::Info info{QString::fromStdString(serial), "Heat Unit H2", 0x2E91, 1,
                                  parser.specs().devices().front().get()};
        return std::make_unique<TsVaronDevice>(info);
    }

    // Opens a fresh serial's device on a controller with these attributes and channels.
    std::unique_ptr<TsVaronDevice> open(const std::string &attributes = "",
                                        const std::string &channels = channel(1, "Stage") +
                                                                      channel(2, "Lid"))
    {
        serial = devicetest::freshHeatSerial();
        write(heatUnit(serial, attributes, channels));
        auto device = heatDevice(serial);
        const QxResult result = device->open();
        EXPECT_TRUE(result.isSuccess()) << qPrintable(result.toString());
        return device;
    }

    TsChannel *stageOf(TsDevice &device) { return device.channel(1); }

    devicetest::MessageCapture messages;
    TsSpecParser parser;
    std::string serial;
};

TEST_F(VaronTest, OpeningMakesTheModelsChannelsOnly)
{
    auto device = open("", channel(1, "Stage", "minimum=\"-50\" maximum=\"655\"") +
                               channel(2, "Lid") + channel(3, "Extra"));
    EXPECT_EQ(device->state(), TsDevice::Ready);
    ASSERT_EQ(device->channels().keys(), (QList<int>{1, 2})) << "the model lists two";
    TsChannel *stage = stageOf(*device);
    EXPECT_EQ(stage->name(), "Stage");
    EXPECT_TRUE(stage->isReady());
    EXPECT_DOUBLE_EQ(stage->minValue(), -5.0);
    EXPECT_DOUBLE_EQ(stage->maxValue(), 65.5);
    EXPECT_DOUBLE_EQ(stage->setpointValue(), 37.0);
    EXPECT_EQ(stage->channelStatusText(), "OK");
    EXPECT_EQ(device->open().message(), "already open");
}

TEST_F(VaronTest, ANameWithAccentsInTheSimulationShowsAsWritten)
{
    auto device = open("", channel(1, "Temp\u00e9rature \u00b0C") + channel(2, "Lid"));
    EXPECT_EQ(stageOf(*device)->name(), QString::fromUtf8("Temp\u00e9rature \u00b0C"));
}

TEST_F(VaronTest, RawValuesBecomeDisplayValues)
{
    auto device = open("", channel(1, "Stage", "actual=\"370\"") +
                               channel(2, "Lid", "actual=\"4096\" setpoint=\"5000\""));
    TsChannel *stage = stageOf(*device);
    TsChannel *lid = device->channel(2);
    EXPECT_DOUBLE_EQ(stage->value(TsChannel::ActualValue).toDouble(), 37.0);
    EXPECT_TRUE(std::isnan(lid->value(TsChannel::ActualValue).toDouble()));
    EXPECT_TRUE(std::isnan(lid->value(TsChannel::SetpointValue).toDouble()));
    EXPECT_FALSE(stage->value(42).isValid());

    write(heatUnit(serial, "", channel(1, "Stage", "actual=\"-50\" control=\"0\"")));
    EXPECT_DOUBLE_EQ(stage->value(TsChannel::ActualValue).toDouble(), -5.0);
    EXPECT_FALSE(stage->value(TsChannel::LoopControl).toBool());
    EXPECT_TRUE(stage->setValue(TsChannel::LoopControl, true).isSuccess());
    EXPECT_TRUE(stage->loopControl());
    EXPECT_TRUE(stage->value(TsChannel::LoopControl).toBool()) << "the controller keeps it";
}

TEST_F(VaronTest, SetpointsAreSentAsRoundedRawValuesAndPublishedAsAnswered)
{
    auto device = open("", channel(1, "Stage", "minimum=\"-32768\" maximum=\"32767\""));
    TsChannel *stage = stageOf(*device);
    ASSERT_TRUE(stage->setValue(TsChannel::SetpointValue, 30.0).isSuccess());
    QSignalSpy spy(stage, &TsChannel::setpointValueChanged);
    EXPECT_TRUE(stage->setValue(TsChannel::SetpointValue, 37.04).isSuccess());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(spy.last().at(0).toDouble(), 37.0);
    EXPECT_DOUBLE_EQ(stage->value(TsChannel::SetpointValue).toDouble(), 37.0) << "raw 370 kept";

    const std::pair<QVariant, double> rounding[] = {{37.05, 37.1},
                                                    {-0.05, 0.0},
                                                    {QStringLiteral("36.5"), 36.5},
                                                    {409.5, 409.5},
                                                    {-3276.8, -3276.8}};
    for (const auto &[sent, kept] : rounding) {
        EXPECT_TRUE(stage->setValue(TsChannel::SetpointValue, sent).isSuccess());
        EXPECT_DOUBLE_EQ(stage->value(TsChannel::SetpointValue).toDouble(), kept);
    }
}

TEST_F(VaronTest, SetpointsThatDoNotFitSixteenBitsAreRefusedUnsent)
{
    auto device = open();
    TsChannel *stage = stageOf(*device);
    ASSERT_TRUE(stage->setValue(TsChannel::SetpointValue, 37.0).isSuccess());
    // 6553.9 would wrap to raw 3 (0.3 degrees) and -3276.9 to raw 32767.
    const QVariant refused[] = {6553.9, 3276.8, -3276.9, 1e300, std::nan(""), "warm", QVariant()};
    for (const QVariant &value : refused) {
        EXPECT_TRUE(stage->setValue(TsChannel::SetpointValue, value).isError());
        EXPECT_DOUBLE_EQ(stage->value(TsChannel::SetpointValue).toDouble(), 37.0)
            << "sent for " << qPrintable(value.toString());
    }
    EXPECT_TRUE(stage->setValue(TsChannel::SetpointValue, 6553.9).message().contains("16-bit"));
}

TEST_F(VaronTest, ABootloaderMakesChannelsNotOperational)
{
    auto device = open("deviceStatus=\"0x80\"");
    EXPECT_EQ(device->state(), TsDevice::Bootloader);
    ASSERT_EQ(device->channels().size(), 2);
    for (TsChannel *c : device->channels()) {
        EXPECT_TRUE(c->name().isEmpty());
        EXPECT_FALSE(c->isReady());
        EXPECT_TRUE(std::isnan(c->minValue()) && std::isnan(c->maxValue()));
        EXPECT_EQ(c->channelStatus(), -1);
        EXPECT_EQ(c->channelStatusText(), "Not operational");
        EXPECT_EQ(c->deviceStatusText(), "Bootloader active");
        EXPECT_EQ(c->statusText(), "bootloader");
        EXPECT_TRUE(std::isnan(c->value(TsChannel::ActualValue).toDouble()));
        EXPECT_EQ(c->setValue(TsChannel::LoopControl, true).message(), "Channel not ready");
    }
}

TEST_F(VaronTest, ADeviceErrorWhileRunningMakesItsChannelsNotOperationalForGood)
{
    auto device = open("", channel(1, "Stage", "status=\"10\""));
    TsChannel *stage = stageOf(*device);
    EXPECT_EQ(stage->channelStatusText(), "Change filter");

    write(heatUnit(serial, "deviceStatus=\"0x81\""));
    EXPECT_TRUE(stage->updateStatus().isSuccess());
    EXPECT_FALSE(stage->isReady());
    EXPECT_EQ(stage->channelStatusText(), "Not operational") << "shown at once, not a poll later";
    EXPECT_EQ(stage->deviceStatusText(), "RAM test error");
    EXPECT_EQ(device->state(), TsDevice::BootloaderError);

    write(heatUnit(serial));
    EXPECT_TRUE(stage->updateStatus().isSuccess());
    EXPECT_FALSE(stage->isReady()) << "until the device object is made anew";
}

TEST_F(VaronTest, ReadFailuresGiveNaNAndADebugLine)
{
    auto device = open();
    TsChannel *stage = stageOf(*device);
    ASSERT_TRUE(stage->value(TsChannel::LoopControl).toBool());
    write(heatUnit(serial, "refuse=\"81,83,85,87\""));
    EXPECT_TRUE(std::isnan(stage->value(TsChannel::ActualValue).toDouble()));
    EXPECT_TRUE(std::isnan(stage->value(TsChannel::SetpointValue).toDouble()));
    const QVariant loop = stage->value(TsChannel::LoopControl);
    EXPECT_FALSE(loop.toBool());
    EXPECT_FALSE(loop.isValid()) << "no value, which a recording shows as missing";
    EXPECT_TRUE(stage->loopControl()) << "a failed read is not a loop switched off";
    EXPECT_EQ(stage->stableStatus(), Qt::red);
    const QString line =
        QStringLiteral("TsDeviceChannel[Stage/%1:1] %2 Operation failure detected");
    for (const char *label : {"actualValue  :", "setpointValue:", "loopControl  :"})
        EXPECT_EQ(messages.count(line.arg(serial.c_str(), label)), 1) << label;
    EXPECT_EQ(stage->updateStatus().code(), ZDX_OPERATION_FAILURE);
    EXPECT_EQ(stage->setValue(TsChannel::SetpointValue, 36.0).message(),
              "Operation failure detected");
}

TEST_F(VaronTest, AFailedSetpointReadDoesNotCostAStableChannelItsColour)
{
    auto device = open();
    TsChannel *stage = stageOf(*device);
    devicetest::ManualClock clock;
    stage->stabilityMonitor().setClock(clock.function());
    write(heatUnit(serial, "", channel(1, "Stage", "actual=\"370\"")));
    ASSERT_TRUE(stage->value(TsChannel::LoopControl).toBool());
    stage->value(TsChannel::ActualValue);
    clock.now = 60000;
    stage->value(TsChannel::ActualValue);
    ASSERT_EQ(stage->stableStatus(), Qt::green);

    // One refused setpoint read between two samples of a value that never left its setpoint.
    write(heatUnit(serial, "refuse=\"83\"", channel(1, "Stage", "actual=\"370\"")));
    EXPECT_TRUE(std::isnan(stage->value(TsChannel::SetpointValue).toDouble()));
    write(heatUnit(serial, "", channel(1, "Stage", "actual=\"370\"")));
    clock.now = 61000;
    stage->value(TsChannel::ActualValue);
    EXPECT_EQ(stage->stableStatus(), Qt::green) << "a red here would raise a false alarm";
    EXPECT_DOUBLE_EQ(stage->value(TsChannel::SetpointValue).toDouble(), 37.0);
}

TEST_F(VaronTest, OpeningFailuresLeaveTheDeviceInStateError)
{
    write(heatUnit(devicetest::freshHeatSerial()));
    auto absent = heatDevice("150NOPE");
    EXPECT_EQ(absent->open().message(), "Illegal device handle");
    EXPECT_EQ(absent->state(), TsDevice::Error);
    EXPECT_EQ(absent->lastError().code(), ZDX_ILLEGAL_HANDLE);

    const std::string serial = devicetest::freshHeatSerial();
    write(heatUnit(serial, "openFailures=\"1\""));
    auto failing = heatDevice(serial);
    EXPECT_EQ(failing->open().message(), "Function call failed");
    EXPECT_EQ(failing->handle(), -1);
    EXPECT_TRUE(failing->open().isSuccess()) << "the same object opens on a later try";
    EXPECT_EQ(failing->state(), TsDevice::Ready);
    EXPECT_TRUE(failing->lastError().isSuccess());
}

TEST_F(VaronTest, TheModelDecidesWhichChannelsAndBandsExist)
{
    // Channel 9 is beyond what a controller can have; channel 2 has no yellow band.
    TsSpecParser custom;
    ASSERT_TRUE(custom
                    .parse(R"(<DeviceSpecs><DeviceSpec name="Heat Unit H2" id="usb@2E91/0001/150">
<Channels>
  <Channel number="2" scale="0.1"><StatusGreen delta="0.2" timeIn="60" timeOut="60"/></Channel>
  <Channel number="9" scale="0.1"/>
</Channels></DeviceSpec></DeviceSpecs>)")
                    .isSuccess());
    serial = devicetest::freshHeatSerial();
    std::string channels;
    for (int number = 1; number <= 9; ++number)
        channels += channel(number, "C" + std::to_string(number), "actual=\"370\"");
    write(heatUnit(serial, "", channels));
    TsVaronDevice device(TsDevice::Info{QString::fromStdString(serial), "Heat Unit H2", 0x2E91, 1,
                                        custom.specs().devices().front().get()});
    ASSERT_TRUE(device.open().isSuccess());
    ASSERT_EQ(device.channels().keys(), QList<int>{2});

    TsChannel *two = device.channel(2);
    devicetest::ManualClock clock;
    two->stabilityMonitor().setClock(clock.function());
    ASSERT_TRUE(two->value(TsChannel::LoopControl).toBool());
    QSignalSpy colours(two, &TsChannel::stableStatusChanged);
    for (qint64 ms : {0, 10000, 59999, 60000}) {
        clock.now = ms;
        two->value(TsChannel::ActualValue);
    }
    ASSERT_EQ(colours.count(), 2) << "red, then green: the missing yellow band never shows";
    EXPECT_EQ(colours.at(0).at(0).value<Qt::GlobalColor>(), Qt::red);
    EXPECT_EQ(colours.at(1).at(0).value<Qt::GlobalColor>(), Qt::green);
}

// The shipped bands: yellow 36.5..37.5 (10 s in, 50 s out), green 36.8..37.2 (60 s in and out).
TEST_F(VaronTest, StableColoursFollowTheActualValueOverTime)
{
    auto device = open();
    TsChannel *stage = stageOf(*device);
    devicetest::ManualClock clock;
    stage->stabilityMonitor().setClock(clock.function());
    QSignalSpy colours(stage, &TsChannel::stableStatusChanged);
    auto actualAt = [&](int raw, qint64 ms) {
        write(heatUnit(serial, "", channel(1, "Stage", "actual=\"" + std::to_string(raw) + "\"")));
        clock.now = ms;
        stage->value(TsChannel::ActualValue);
        return stage->stableStatus();
    };

    EXPECT_EQ(actualAt(370, 0), Qt::white) << "loop not read yet: off";
    ASSERT_TRUE(stage->value(TsChannel::LoopControl).toBool());
    EXPECT_EQ(actualAt(250, 0), Qt::red);
    EXPECT_EQ(actualAt(368, 1000), Qt::red) << "enters both bands at 1 s";
    EXPECT_EQ(actualAt(372, 10999), Qt::red);
    EXPECT_EQ(actualAt(372, 11000), Qt::yellow);
    EXPECT_EQ(actualAt(370, 60999), Qt::yellow);
    EXPECT_EQ(actualAt(370, 61000), Qt::green);
    EXPECT_EQ(actualAt(374, 70000), Qt::green) << "out of green, still in yellow";
    EXPECT_EQ(actualAt(374, 129999), Qt::green);
    EXPECT_EQ(actualAt(374, 130000), Qt::yellow);
    EXPECT_EQ(actualAt(300, 130000), Qt::yellow) << "out of both";
    EXPECT_EQ(actualAt(300, 179999), Qt::yellow);
    EXPECT_EQ(actualAt(300, 180000), Qt::red);
    ASSERT_TRUE(stage->setValue(TsChannel::LoopControl, false).isSuccess());
    EXPECT_EQ(actualAt(370, 500000), Qt::white);
    ASSERT_TRUE(stage->setValue(TsChannel::LoopControl, true).isSuccess());
    EXPECT_EQ(actualAt(370, 500000), Qt::red) << "the bands start over";
    EXPECT_EQ(actualAt(370, 510000), Qt::yellow);
    EXPECT_EQ(colours.count(), 8);
}

} // namespace
