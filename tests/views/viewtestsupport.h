// The ground of the view and dialog tests: the real core in a temporary home (settings store and
// data folder), one heat unit of the controller simulation behind it, the operator "Operator" with
// a profile that the tests fill, and a stability clock the tests drive. Sampling by the timer is
// off; tests run the ticks themselves, each tick one simulated second on the stability clock.
#pragma once

#include "device/devicetestsupport.h"

#include "config/tsprofile.h"

#include <QColor>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

class TsDeviceChannel;
class TsDeviceManager;
class TsExperiment;
class TsExperimentChannel;

namespace viewtest {

inline QString q(const std::string &s)
{
    return QString::fromStdString(s);
}

// A profile entry; unit empty, so that making the profile current writes nothing to the devices.
TsProfile::Channel entry(const QString &id, const QString &name, bool alert = true,
                         const QColor &color = QColor());

// Public throughout, so that the screenshot program can stand on it as well.
class ViewFixture : public ::testing::Test
{
public:
    // A fresh heat unit (serial never used before in this process) is plugged and found.
    ViewFixture();
    // Empties the profile and unplugs the heat unit, so that the next test starts clean.
    ~ViewFixture() override;

    // Rewrites the heat unit; the attributes go to the Stage channel, the Lid channel and the
    // controller (see the simulation's file format: actual="370", control="0", deviceStatus="3",
    // refuse="83", present="0" ...). Then scans once, as the device manager's timer would.
    void plug(const std::string &stageAttributes = "", const std::string &lidAttributes = "",
              const std::string &controllerAttributes = "");
    void unplug();
    // Further controllers (devicetest::controller() elements) written beside the heat unit from the
    // next plug() on.
    std::string otherControllers;
    // One scan of the device manager; every channel found gets the test's stability clock.
    void rescan();

    // Writes the profile "Test" with these channels for "Operator" and makes it current through
    // the core, as the users view does.
    void useChannels(const QList<TsProfile::Channel> &channels);
    // Stage, lid and a channel of a controller that is not plugged in.
    void useStandardChannels();

    static TsDeviceManager *devices();
    static TsExperiment *experiment();
    TsExperimentChannel *experimentChannel(const QString &id) const;
    TsDeviceChannel *deviceChannel(const QString &id) const;

    // Runs count sampling ticks, moving the stability clock one second before each.
    void tick(int count = 1);
    // Ticks until ms of stability-clock time have passed.
    void runFor(int ms) { tick((ms + 999) / 1000); }

    devicetest::ManualClock clock;
    const QString serial;
    const QString stage;
    const QString lid;
    const QString missing = QStringLiteral("999X1:1");
};

} // namespace viewtest
