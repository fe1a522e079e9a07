// The manager's scan on controllers of emulated USB, with no simulation configured: what an
// operator meets with real controllers, a missing udev rule among them.
#include "usbtestbed.h"

#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using zdx::test::UsbTestBed;

UsbTestBed *s_bed = nullptr;

class ManagerUsbTest : public ::testing::Test
{
protected:
    ManagerUsbTest()
    {
        EXPECT_TRUE(manager.loadDeviceSpecs(TsSpecParser::builtInPath()).isSuccess());
    }
    ~ManagerUsbTest() override
    {
        for (int controller : plugged)
            s_bed->unplug(controller);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    int add(const std::string &model, const std::string &serial)
    {
        plugged.push_back(s_bed->add(UsbTestBed::model(model, serial)));
        return plugged.back();
    }

    // Hot-plug reaches the library through libusb's event thread: scan until the manager agrees.
    bool scanUntil(const std::function<bool()> &done)
    {
        return QTest::qWaitFor(
            [&] {
                manager.populateDevices();
                return done();
            },
            5000);
    }

    std::vector<int> plugged;
    TsDeviceManager manager;
    QSignalSpy added{&manager, &TsDeviceManager::newDevice};
    QSignalSpy removed{&manager, &TsDeviceManager::deviceRemoved};
    QSignalSpy errors{&manager, &TsDeviceManager::deviceError};
};

TEST_F(ManagerUsbTest, AMissingPermissionIsReportedOnceAndTheOthersWorkOn)
{
    const int heat = add("H2", "150M1");
    s_bed->denyAccess(heat, true);
    s_bed->unplug(heat);
    s_bed->plug(heat);
    add("G1", "153M2");
    ASSERT_TRUE(scanUntil([&] { return manager.devices().contains("153M2"); }));
    for (int scan = 0; scan < 5; ++scan)
        manager.populateDevices();

    ASSERT_EQ(errors.count(), 1) << "once, not once a scan";
    const QString text = errors.first().at(1).toString();
    EXPECT_TRUE(text.contains("150M1")) << qPrintable(text);
    EXPECT_TRUE(text.contains(QString::fromStdString(s_bed->node(heat)))) << qPrintable(text);
    EXPECT_TRUE(text.contains("70-tessaro.rules")) << qPrintable(text);
    EXPECT_FALSE(manager.devices().contains("150M1"));
    ASSERT_NE(manager.channel("153M2:1"), nullptr);
    EXPECT_DOUBLE_EQ(manager.channel("153M2:1")->value(TsDeviceChannel::ActualValue).toDouble(),
                     5.0);

    // The rule installed and the controller plugged in again: it opens, without a restart and
    // however many scans failed before.
    s_bed->denyAccess(heat, false);
    s_bed->unplug(heat);
    s_bed->plug(heat);
    ASSERT_TRUE(scanUntil([&] { return manager.devices().contains("150M1"); }));
    EXPECT_EQ(errors.count(), 1);
    ASSERT_NE(manager.channel("150M1:2"), nullptr);
}

TEST_F(ManagerUsbTest, AControllerPluggedInIsFoundAndOneUnpluggedIsDropped)
{
    ASSERT_TRUE(scanUntil([&] { return manager.devices().isEmpty(); }));
    const int heat = add("H2", "150M3");
    ASSERT_TRUE(scanUntil([&] { return added.count() == 1; }));
    EXPECT_EQ(manager.channel("150M3:1")->name(), "Stage Heater");

    s_bed->unplug(heat);
    ASSERT_TRUE(scanUntil([&] { return removed.count() == 1; }));
    EXPECT_EQ(manager.channel("150M3:1"), nullptr);

    s_bed->plug(heat);
    ASSERT_TRUE(scanUntil([&] { return added.count() == 2; }));
    EXPECT_NE(manager.channel("150M3:1"), nullptr);
    EXPECT_EQ(errors.count(), 0);
}

} // namespace

int main(int argc, char **argv)
{
    if (!UsbTestBed::enterWithRealUsb(argv))
        return 1;
    QCoreApplication app(argc, argv);
    UsbTestBed bed;
    s_bed = &bed;
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    s_bed = nullptr;
    return result;
}
