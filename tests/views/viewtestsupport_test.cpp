// The ground the view tests stand on must itself hold: the profile reaches the experiment through
// the core, and the stability clock moves only when the test says so.
#include "testenvironment.h"
#include "viewtestsupport.h"

#include "device/tsdevicechannel.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "tscore.h"

#include <QSettings>

namespace {

class ViewFixtureTest : public viewtest::ViewFixture
{};

TEST_F(ViewFixtureTest, RunsInATemporaryHome)
{
    EXPECT_TRUE(QSettings().fileName().startsWith(testHome()))
        << qPrintable(QSettings().fileName());
    EXPECT_TRUE(TsCore::dataRoot().startsWith(testHome()));
}

TEST_F(ViewFixtureTest, TheProfileReachesTheExperimentAndTheClockDrivesStability)
{
    plug("actual=\"370\"");
    useStandardChannels();
    EXPECT_EQ(TsCore::currentProfile(), QStringLiteral("Test"));
    ASSERT_NE(experimentChannel(stage), nullptr);
    EXPECT_TRUE(experimentChannel(stage)->isConnected());
    EXPECT_FALSE(experimentChannel(missing)->isConnected());
    // The first tick learns that the loop is on; until then the channel counts as loop off.
    tick();
    EXPECT_EQ(deviceChannel(stage)->stableStatus(), Qt::white);
    tick();
    EXPECT_EQ(deviceChannel(stage)->stableStatus(), Qt::red);
    runFor(15000);
    EXPECT_EQ(deviceChannel(stage)->stableStatus(), Qt::yellow);
    runFor(60000);
    EXPECT_EQ(deviceChannel(stage)->stableStatus(), Qt::green);
    // The lid is 12 degrees off its setpoint.
    EXPECT_EQ(deviceChannel(lid)->stableStatus(), Qt::red);
}

TEST_F(ViewFixtureTest, UnplugAndReplugFollowThroughTheExperiment)
{
    useStandardChannels();
    unplug();
    EXPECT_FALSE(experimentChannel(stage)->isConnected());
    plug();
    EXPECT_TRUE(experimentChannel(stage)->isConnected());
}

} // namespace
