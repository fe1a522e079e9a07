// The manager's scan through the real device-access library and its controller simulation.
#include "devicetestsupport.h"

#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsdevicemodel.h"
#include "device/tsspecparser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using devicetest::channel;
using devicetest::controller;
using devicetest::freshHeatSerial;
using devicetest::heatUnit;
using devicetest::MessageCapture;

const bool simulationReady = (devicetest::simulation(), true);

// Runs the deferred deletions of removed devices, and nothing else: no timer fires.
void deleteDeferred()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QString q(const std::string &s)
{
    return QString::fromStdString(s);
}

class ManagerTest : public ::testing::Test
{
protected:
    ManagerTest()
    {
        EXPECT_TRUE(simulationReady);
        write("");
        EXPECT_TRUE(manager.loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
    }
    ~ManagerTest() override { deleteDeferred(); }

    void write(const std::string &controllers) { devicetest::simulation().write(controllers); }

    MessageCapture messages;
    TsDeviceManager manager;
    QSignalSpy added{&manager, &TsDeviceManager::newDevice};
    QSignalSpy removed{&manager, &TsDeviceManager::deviceRemoved};
    QSignalSpy errors{&manager, &TsDeviceManager::deviceError};
};

TEST_F(ManagerTest, PluggingAndUnpluggingFollowTheSimulation)
{
    const std::string serial = freshHeatSerial();
    const QString id1 = q(serial + ":1");
    TsDeviceModel model(&manager);

    write(heatUnit(serial));
    manager.populateDevices();
    ASSERT_EQ(added.count(), 1);
    auto *device = added.last().at(0).value<TsDevice *>();
    EXPECT_EQ(manager.devices().value(q(serial)), device);
    ASSERT_NE(manager.channel(id1), nullptr);
    EXPECT_EQ(manager.channel(id1)->device(), device);
    EXPECT_EQ(manager.channel(q(serial + ":2"))->name(), "Lid");
    EXPECT_EQ(manager.channel(q(serial + ":3")), nullptr);

    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex row = model.index(0, 0);
    EXPECT_EQ(row.data().toString(), q(serial));
    EXPECT_EQ(row.data(TsDeviceModel::DeviceRole).value<TsDevice *>(), device);
    ASSERT_EQ(model.rowCount(row), 2);
    EXPECT_EQ(model.index(1, 0, row).data(TsDeviceModel::ChannelRole).value<TsDeviceChannel *>(),
              device->channel(2));

    manager.populateDevices();
    EXPECT_EQ(added.count(), 1) << "a scan that changes nothing signals nothing";

    write(heatUnit(serial, "present=\"0\""));
    manager.populateDevices();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.last().at(0).value<TsDevice *>(), device);
    EXPECT_EQ(manager.channel(id1), nullptr);
    EXPECT_EQ(model.rowCount(), 0);
    QPointer<TsDevice> gone = device;
    deleteDeferred();
    EXPECT_TRUE(gone.isNull()) << "deleted once the receivers have run";

    write(heatUnit(serial));
    manager.populateDevices();
    ASSERT_EQ(added.count(), 2);
    EXPECT_EQ(manager.channel(id1)->name(), "Stage") << "the same identifiers come back";
    EXPECT_EQ(TsDeviceModel(&manager).rowCount(), 1);
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(ManagerTest, OnlyKnownModelsAreOpenedAndEachControllerIsADevice)
{
    const std::string a = freshHeatSerial();
    const std::string b = freshHeatSerial();
    write(controller("150U1", "Heat Unit H9", "0001", channel(1, "A")) +
          controller("150U2", "Heat Unit H2", "0002", channel(1, "A")) +
          controller("15U03", "Heat Unit H2", "0001", channel(1, "A")) + heatUnit(a) +
          controller(b, "heat unit h2", "0001", channel(1, "Other stage")));
    manager.populateDevices();
    manager.populateDevices();
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(manager.devices().keys(), (QStringList{q(a), q(b)}));
    TsDeviceChannel *second = manager.channel(q(b + ":1"));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->name(), "Other stage");
    EXPECT_NE(manager.channel(q(a + ":1"))->device(), second->device());
    EXPECT_EQ(manager.specForSerial(q(b))->name, "Heat Unit H2");
    EXPECT_EQ(messages.count("failed:"), 0);

    // Rows follow the devices, not their positions: dropping the first leaves the second's row.
    TsDeviceModel model(&manager);
    ASSERT_EQ(model.rowCount(), 2);
    write(heatUnit(a, "present=\"0\"") +
          controller(b, "heat unit h2", "0001", channel(1, "Other stage")));
    manager.populateDevices();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0, 0).data(TsDeviceModel::SerialNumberRole).toString(), q(b));
    EXPECT_EQ(model.index(0, 0).data(TsDeviceModel::DeviceRole).value<TsDevice *>(),
              second->device());
}

TEST_F(ManagerTest, AControllerThatNeverOpensIsGivenUpAfterThirtyTries)
{
    const std::string serial = freshHeatSerial();
    // 31 failures: the thirty of the first round and one after being forgiven.
    write(heatUnit(serial, "openFailures=\"31\"") + heatUnit(freshHeatSerial()));
    for (int scan = 1; scan <= 29; ++scan)
        manager.populateDevices();
    EXPECT_EQ(messages.count("failed:"), 29);
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(manager.openFailures(), 29);

    manager.populateDevices();
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.last().at(0).value<TsDevice *>()->serialNumber(), q(serial));
    EXPECT_EQ(errors.last().at(1).toString(), "Function call failed");

    // Not tried again while any controller stays attached, even alone.
    for (int scan = 0; scan < 3; ++scan)
        manager.populateDevices();
    write(heatUnit(serial, "openFailures=\"31\""));
    manager.populateDevices();
    EXPECT_EQ(messages.count("failed:"), 29);
    EXPECT_EQ(errors.count(), 1);

    // A scan with no controller at all forgives it; it starts again from a count of 0.
    write("");
    manager.populateDevices();
    write(heatUnit(serial, "openFailures=\"31\""));
    manager.populateDevices();
    EXPECT_EQ(messages.count("(attempt 1 of 30)"), 2);
    manager.populateDevices();
    EXPECT_TRUE(manager.devices().contains(q(serial)));
}

TEST_F(ManagerTest, APendingControllerKeepsItsCountWhileUnplugged)
{
    const std::string serial = freshHeatSerial();
    write(heatUnit(serial, "openFailures=\"29\""));
    for (int scan = 0; scan < 20; ++scan)
        manager.populateDevices();
    write(heatUnit(serial, "openFailures=\"29\" present=\"0\"") + heatUnit(freshHeatSerial()));
    manager.populateDevices();
    write(heatUnit(serial, "openFailures=\"29\""));
    for (int scan = 0; scan < 10; ++scan)
        manager.populateDevices();
    EXPECT_EQ(messages.count("(attempt 29 of 30)"), 1);
    EXPECT_EQ(errors.count(), 0) << "the 30th open succeeds";
    EXPECT_TRUE(manager.devices().contains(q(serial)));
}

double actual(TsDeviceChannel *channel)
{
    return channel->value(TsDeviceChannel::ActualValue).toDouble();
}

TEST_F(ManagerTest, AControllerPluggedBackBetweenTwoScansIsOpenedAnew)
{
    const std::string serial = freshHeatSerial();
    const QString id1 = q(serial + ":1");
    write(heatUnit(serial));
    manager.populateDevices();
    ASSERT_EQ(added.count(), 1);
    QPointer<TsDevice> before = manager.devices().value(q(serial));
    TsDeviceChannel *stage = manager.channel(id1);
    ASSERT_NE(stage, nullptr);
    EXPECT_DOUBLE_EQ(actual(stage), 25.0);

    // Unplugged and plugged in again while the scan was not looking: the enumeration lists the
    // controller all along, but the old handle reaches nothing.
    write(heatUnit(serial, "present=\"0\""));
    EXPECT_TRUE(std::isnan(actual(stage)));
    write(heatUnit(serial));
    EXPECT_TRUE(std::isnan(actual(stage)));
    EXPECT_FALSE(before->isConnectionLost()) << "two failures may be a disturbance";
    EXPECT_TRUE(std::isnan(actual(stage)));
    EXPECT_TRUE(before->isConnectionLost());
    stage->updateStatus();
    EXPECT_EQ(stage->channelStatusText(), "No answer") << "not the last status read";
    EXPECT_TRUE(std::isnan(stage->actualValue()));
    EXPECT_TRUE(std::isnan(stage->setpointValue()));

    manager.populateDevices();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.last().at(0).value<TsDevice *>(), before.data());
    ASSERT_EQ(added.count(), 2) << "found again in the same scan";
    TsDeviceChannel *again = manager.channel(id1);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again->device(), before.data());
    EXPECT_DOUBLE_EQ(actual(again), 25.0);
    EXPECT_EQ(again->channelStatusText(), "OK");
    deleteDeferred();
    EXPECT_TRUE(before.isNull());
    manager.populateDevices();
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(ManagerTest, AControllerSilentForLongerThanThirtyScansComesBack)
{
    const std::string serial = freshHeatSerial();
    const QString id2 = q(serial + ":2");
    write(heatUnit(serial));
    manager.populateDevices();
    TsDeviceChannel *lid = manager.channel(id2);
    ASSERT_NE(lid, nullptr);

    write(heatUnit(serial, "silent=\"1\""));
    // A refusal is an answer: it does not count towards a lost link.
    for (int read = 0; read < 2; ++read)
        EXPECT_FALSE(lid->value(TsDeviceChannel::LoopControl).toBool());
    write(heatUnit(serial, "refuse=\"85\""));
    EXPECT_FALSE(lid->value(TsDeviceChannel::LoopControl).toBool());
    write(heatUnit(serial, "silent=\"1\""));
    for (int read = 0; read < 2; ++read)
        lid->value(TsDeviceChannel::ActualValue);
    EXPECT_FALSE(lid->device()->isConnectionLost());
    lid->value(TsDeviceChannel::ActualValue);
    EXPECT_TRUE(lid->device()->isConnectionLost());

    for (int scan = 0; scan < 40; ++scan)
        manager.populateDevices();
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(manager.channel(id2), nullptr) << "no channel while it does not answer";
    EXPECT_EQ(errors.count(), 0) << "a controller that answered once is not given up";
    EXPECT_EQ(messages.count("reconnecting"), 1) << "said once, not on every scan";

    // After the first attempts it is tried every few scans only: a controller that does not
    // answer blocks each attempt for the read time-out.
    write(heatUnit(serial));
    for (int scan = 0; scan < TsDeviceManager::ReconnectBackOff && added.count() < 2; ++scan)
        manager.populateDevices();
    ASSERT_EQ(added.count(), 2);
    ASSERT_NE(manager.channel(id2), nullptr);
    EXPECT_DOUBLE_EQ(actual(manager.channel(id2)), 25.0);
    EXPECT_EQ(errors.count(), 0);
}

// The one test on real timers: it waits for the scans the manager schedules by itself.
TEST(TsDeviceManagerTimers, TheFirstScanComesSoonAfterStartThenOneEverySecond)
{
    MessageCapture quiet;
    const std::string serial = freshHeatSerial();
    devicetest::simulation().write(heatUnit(serial));
    QElapsedTimer sinceStart;
    sinceStart.start();
    TsDeviceManager manager;
    ASSERT_TRUE(manager.loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
    QSignalSpy added(&manager, &TsDeviceManager::newDevice);
    QSignalSpy removed(&manager, &TsDeviceManager::deviceRemoved);
    ASSERT_TRUE(added.wait(800)) << "no scan before the one-second timer";

    devicetest::simulation().write(heatUnit(serial, "present=\"0\""));
    ASSERT_TRUE(removed.wait(3000));
    EXPECT_GE(sinceStart.elapsed(), 900) << "the scan after the first is the timer's";
    EXPECT_EQ(added.count(), 1);
    deleteDeferred();
}

TEST_F(ManagerTest, ScansDoNotNestInsideTheirOwnSignals)
{
    // A receiver that runs a nested event loop (a message box) lets the timer call the scan
    // again while this one is still emitting; the inner call must leave the outer one alone.
    write(heatUnit(freshHeatSerial()) + heatUnit(freshHeatSerial()));
    QList<int> devicesSeen;
    QObject::connect(&manager, &TsDeviceManager::newDevice, [&] {
        manager.populateDevices();
        devicesSeen << manager.devices().size();
    });
    manager.populateDevices();
    EXPECT_EQ(devicesSeen, (QList<int>{1, 2})) << "the inner call opened nothing";
}

TEST_F(ManagerTest, DevicesKeepTheirModelAcrossASpecificationReload)
{
    const std::string serial = freshHeatSerial();
    write(heatUnit(serial));
    manager.populateDevices();
    TsDeviceChannel *stage = manager.channel(q(serial + ":1"));
    ASSERT_NE(stage, nullptr);
    ASSERT_TRUE(manager.loadDeviceSpecs("/nonexistent/devicespec.xml").isError());
    EXPECT_EQ(stage->unit(), QStringLiteral("°C"));
    EXPECT_DOUBLE_EQ(stage->value(TsDeviceChannel::ActualValue).toDouble(), 25.0);
    EXPECT_EQ(stage->device()->spec()->name, "Heat Unit H2");
}

} // namespace
