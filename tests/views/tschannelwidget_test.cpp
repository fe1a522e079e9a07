// The channel tile against the real experiment and the controller simulation.
#include "viewtestsupport.h"

#include "device/tsdevicechannel.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "views/tschannelgraph.h"
#include "views/tschannelwidget.h"
#include "views/tssetpointeditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cmath>
#include <memory>

namespace {

using viewtest::entry;

class TsChannelWidgetTest : public viewtest::ViewFixture
{
protected:
    std::unique_ptr<TsChannelWidget> tileFor(const QString &id)
    {
        auto tile = std::make_unique<TsChannelWidget>();
        tile->setExperimentChannel(experimentChannel(id));
        tile->resize(220, 100);
        tile->show();
        tile->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(tile.get()));
        return tile;
    }
    static QLabel *setpointLabel(TsChannelWidget *tile)
    {
        return tile->findChild<QLabel *>(QStringLiteral("labelSetpointValue"));
    }
    static QLabel *statusLabel(TsChannelWidget *tile)
    {
        return tile->findChild<QLabel *>(QStringLiteral("labelStatus"));
    }
    static QPushButton *loopButton(TsChannelWidget *tile)
    {
        return tile->findChild<QPushButton *>(QStringLiteral("pushButtonLoopCtrl"));
    }
    static TsSetpointEditor *editor(TsChannelWidget *tile)
    {
        return tile->findChild<TsSetpointEditor *>(QStringLiteral("setpointValue"));
    }
    static void pressSetpoint(TsChannelWidget *tile)
    {
        QTest::mousePress(setpointLabel(tile), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseRelease(setpointLabel(tile), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    }
    // What the simulated controller keeps, read through the device layer.
    double controllerSetpoint(const QString &id) const
    {
        return deviceChannel(id)->value(TsDeviceChannel::SetpointValue).toDouble();
    }
    // The tile shows and stores the same status, and it is the one derivation the web uses.
    void expectStatusIndex(TsChannelWidget *tile, int index)
    {
        EXPECT_EQ(tile->statusIndex(), index);
        EXPECT_EQ(tile->experimentChannel()->statusIndex(), index);
        EXPECT_TRUE(tile->styleSheet().contains(TsChannelWidget::backgroundColor(index)))
            << qPrintable(tile->styleSheet());
    }
};

TEST_F(TsChannelWidgetTest, ColoursFollowTheStabilityClockThroughWhiteRedYellowGreen)
{
    plug("actual=\"370\"");
    useStandardChannels();
    auto tile = tileFor(stage);
    EXPECT_EQ(tile->titleText(), QStringLiteral("Stage"));
    EXPECT_EQ(tile->valueText(), QStringLiteral("37.0°C"));
    EXPECT_TRUE(tile->isEnabled());
    EXPECT_FALSE(tile->isCollapsed());

    // Binding reads the channel: loop on, but not yet long inside a band.
    expectStatusIndex(tile.get(), int(TsChannelState::Red));
    EXPECT_EQ(TsChannelWidget::backgroundColor(4), QStringLiteral("#ff0000"));
    runFor(15000);
    expectStatusIndex(tile.get(), int(TsChannelState::Yellow));
    runFor(60000);
    expectStatusIndex(tile.get(), int(TsChannelState::Green));

    // Loop switched off at the controller: white again at the next tick.
    // The device layer learns the loop state in the second half of a tick and judges the value in
    // the first half of the next.
    plug("actual=\"370\" control=\"0\"");
    tick(2);
    expectStatusIndex(tile.get(), int(TsChannelState::Off));
    EXPECT_EQ(TsChannelWidget::backgroundColor(1), QStringLiteral("#3f497f"));
    EXPECT_EQ(loopButton(tile.get())->text(), QStringLiteral("Off"));
    EXPECT_FALSE(loopButton(tile.get())->isChecked());
}

TEST_F(TsChannelWidgetTest, ValuesShowOneDecimalWithTheUnitAndNaNAsDashes)
{
    plug("actual=\"1055\" setpoint=\"5000\"");
    useStandardChannels();
    auto tile = tileFor(stage);
    EXPECT_EQ(tile->valueText(), QStringLiteral("105.5°C"));
    EXPECT_EQ(setpointLabel(tile.get())->text(), QStringLiteral("--.-"));
    EXPECT_FALSE(tile->graph()->valueAxis()->isMarkerVisible());
    // An unreadable setpoint is not offered as a number, and an edit left alone sends nothing.
    pressSetpoint(tile.get());
    ASSERT_TRUE(editor(tile.get())->isVisible());
    EXPECT_TRUE(editor(tile.get())->text().isEmpty());
    QTest::keyClick(editor(tile.get()), Qt::Key_Return);
    EXPECT_FALSE(editor(tile.get())->isVisible());
    EXPECT_TRUE(std::isnan(controllerSetpoint(stage)));

    // Raw values of 4096 and above are no reading.
    plug("actual=\"4096\" setpoint=\"370\"");
    tick();
    EXPECT_EQ(tile->valueText(), QStringLiteral("--.-°C"));
    EXPECT_EQ(setpointLabel(tile.get())->text(), QStringLiteral("37.0"));
    EXPECT_TRUE(tile->graph()->valueAxis()->isMarkerVisible());
    EXPECT_DOUBLE_EQ(tile->graph()->valueAxis()->markerValue(), 37.0);
}

TEST_F(TsChannelWidgetTest, AChannelWithoutDeviceIsAGreyCompactOfflineTile)
{
    useStandardChannels();
    auto tile = tileFor(missing);
    expectStatusIndex(tile.get(), int(TsChannelState::Offline));
    EXPECT_EQ(TsChannelWidget::backgroundColor(0), QStringLiteral("#a0a0a4"));
    EXPECT_EQ(tile->valueText(), QStringLiteral("offline"));
    EXPECT_EQ(tile->statusText(), QStringLiteral("offline"));
    EXPECT_EQ(tile->experimentChannel()->statusText(), QStringLiteral("offline"));
    EXPECT_FALSE(tile->isEnabled());
    EXPECT_TRUE(tile->isCollapsed());
    EXPECT_EQ(tile->height(), 30);
    EXPECT_TRUE(setpointLabel(tile.get())->text().isEmpty());
    EXPECT_EQ(tile->toolTip(),
              QStringLiteral("<b>Device</b><br>999X1<br>Channel 1<br><br>The device is currently "
                             "not connected or switched off."));
    // Pressing the setpoint of a dead channel opens nothing.
    pressSetpoint(tile.get());
    EXPECT_FALSE(editor(tile.get())->isVisible());

    // Unplugging a live channel turns its tile into the same.
    auto live = tileFor(stage);
    EXPECT_TRUE(live->isEnabled());
    unplug();
    EXPECT_FALSE(live->isEnabled());
    EXPECT_EQ(live->valueText(), QStringLiteral("offline"));
    EXPECT_EQ(live->height(), 30);
}

TEST_F(TsChannelWidgetTest, ADeviceFaultOutranksTheChannelStatusEverywhere)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    EXPECT_EQ(statusLabel(tile.get())->text(), QStringLiteral("OK"));
    EXPECT_EQ(statusLabel(tile.get())->property("alert").toString(), QStringLiteral("on"));
    plug("", "", "deviceStatus=\"0x83\"");
    // The experiment's tick refreshes the status; the tile shows what the channel holds.
    tick();
    EXPECT_EQ(statusLabel(tile.get())->text(), QStringLiteral("Application has crashed"));
    EXPECT_TRUE(tile->toolTip().contains(QStringLiteral("has crashed.<br/>Reprogram")))
        << qPrintable(tile->toolTip());
    EXPECT_EQ(tile->statusDescription(), experimentChannel(stage)->statusDescription());
    EXPECT_EQ(experimentChannel(stage)->statusText(), QStringLiteral("Application has crashed"));
}

TEST_F(TsChannelWidgetTest, AToolTipLosesAtMostTwoTrailingBreaks)
{
    // A status code without texts leaves the detail empty: both breaks of the format go.
    plug("status=\"66\"");
    useStandardChannels();
    tick(); // the experiment reads the status
    auto tile = tileFor(stage);
    EXPECT_TRUE(tile->statusDescription().isEmpty());
    EXPECT_EQ(tile->toolTip(), QStringLiteral("<b>Heat Unit H2</b><br>%1<br>Channel 1").arg(serial))
        << qPrintable(tile->toolTip());
    EXPECT_EQ(statusLabel(tile.get())->property("alert").toString(), QStringLiteral("on"));
    auto lidTile = tileFor(lid);
    EXPECT_EQ(statusLabel(lidTile.get())->property("alert").toString(), QStringLiteral("off"));
}

TEST_F(TsChannelWidgetTest, TheSetpointIsEditedInPlaceWithinTheChannelsRange)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    TsSetpointEditor *edit = editor(tile.get());
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(edit->isVisible());
    pressSetpoint(tile.get());
    ASSERT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->size(), setpointLabel(tile.get())->size());
    EXPECT_DOUBLE_EQ(edit->minimum(), 0.0);
    EXPECT_DOUBLE_EQ(edit->maximum(), 60.0);
    EXPECT_DOUBLE_EQ(edit->value(), 37.0);
    EXPECT_EQ(edit->decimals(), 1);

    // A second press while typing keeps what was typed.
    QTest::keyClicks(edit, QStringLiteral("38.5"));
    pressSetpoint(tile.get());
    EXPECT_EQ(edit->text(), QStringLiteral("38.5"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 38.5);
    EXPECT_EQ(setpointLabel(tile.get())->text(), QStringLiteral("38.5"));

    // Escape leaves without sending.
    pressSetpoint(tile.get());
    QTest::keyClicks(edit, QStringLiteral("20"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 38.5);
}

TEST_F(TsChannelWidgetTest, ASetpointTypedOutsideTheRangeIsRefusedNotCutShort)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    TsSetpointEditor *edit = editor(tile.get());
    pressSetpoint(tile.get());
    QTest::keyClicks(edit, QStringLiteral("75"));
    // Shown as typed: a plain spin box would have dropped the 5 and sent 7.
    EXPECT_EQ(edit->text(), QStringLiteral("75"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 37.0);
    EXPECT_TRUE(edit->isVisible()) << "still open for a correction";
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("75.0 is outside")))
        << qPrintable(QToolTip::text());
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("0.0 to 60.0")));

    QTest::keyClicks(edit, QStringLiteral("-3"));
    edit->clearFocus(); // the operator clicks elsewhere
    EXPECT_FALSE(edit->isVisible());
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 37.0);

    pressSetpoint(tile.get());
    QTest::keyClicks(edit, QStringLiteral("60"));
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 60.0);
}

TEST_F(TsChannelWidgetTest, ASetpointBeyondTheRangeIsNotPulledToTheLimitByAnUntouchedEdit)
{
    // The controller holds 65.0 with a range that ends at 60.0.
    plug("setpoint=\"650\"");
    useStandardChannels();
    auto tile = tileFor(stage);
    EXPECT_EQ(setpointLabel(tile.get())->text(), QStringLiteral("65.0"));
    pressSetpoint(tile.get());
    TsSetpointEditor *edit = editor(tile.get());
    EXPECT_DOUBLE_EQ(edit->value(), 60.0); // the spin box cannot show more
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 65.0);
    // One step down is the operator's choice, and it is sent.
    pressSetpoint(tile.get());
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 59.9);
}

TEST_F(TsChannelWidgetTest, AChannelThatVanishesWhileEditingReceivesNothing)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    TsSetpointEditor *edit = editor(tile.get());
    pressSetpoint(tile.get());
    QTest::keyClicks(edit, QStringLiteral("30"));
    unplug();
    EXPECT_FALSE(edit->isVisible());
    QTest::keyClick(edit, Qt::Key_Return);
    plug();
    EXPECT_TRUE(tile->isEnabled());
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 37.0);

    // Gone and back while the editor stayed open: the value was meant for the old channel.
    pressSetpoint(tile.get());
    ASSERT_TRUE(edit->isVisible());
    QTest::keyClicks(edit, QStringLiteral("31"));
    {
        const QSignalBlocker quiet(experimentChannel(stage));
        unplug();
        plug();
    }
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(edit->isVisible());
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 37.0);
}

TEST_F(TsChannelWidgetTest, TheLoopButtonShowsWhatTheControllerReportsAfterTheWrite)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    QPushButton *button = loopButton(tile.get());
    EXPECT_TRUE(button->isChecked());
    EXPECT_EQ(button->text(), QStringLiteral("On"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(button->text(), QStringLiteral("Off"));
    EXPECT_FALSE(deviceChannel(stage)->value(TsDeviceChannel::LoopControl).toBool());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->isChecked());

    // A controller that refuses loop control: the click's own toggle does not stay.
    plug("", "", "refuse=\"85\"");
    tick();
    const bool reported = deviceChannel(stage)->value(TsDeviceChannel::LoopControl).toBool();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(button->isChecked(), reported);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(button->isChecked(), reported);
    EXPECT_EQ(button->text(), reported ? QStringLiteral("On") : QStringLiteral("Off"));
}

TEST_F(TsChannelWidgetTest, DoubleClicksToggleCompactModeOnTheTitleAndTheGraphOnTheValue)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    const QPoint title = tile->titleRect().topLeft() + QPoint(5, 5);
    QTest::mouseDClick(tile.get(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_TRUE(tile->isCollapsed());
    EXPECT_EQ(tile->height(), 30);
    EXPECT_FALSE(loopButton(tile.get())->isVisible());
    QTest::mouseDClick(tile.get(), Qt::LeftButton, Qt::NoModifier, title);
    EXPECT_FALSE(tile->isCollapsed());
    EXPECT_TRUE(loopButton(tile.get())->isVisible());

    tile->resize(220, 100);
    QTest::mouseDClick(tile.get(), Qt::LeftButton, Qt::NoModifier, tile->valueRect().center());
    EXPECT_TRUE(tile->graph()->isVisible());
    // The graph takes the double click itself and hides again.
    QTest::mouseDClick(tile->graph(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_FALSE(tile->graph()->isVisible());
}

TEST_F(TsChannelWidgetTest, TheGraphTakesASampleEveryRefreshAndAGapWithoutDevice)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    QTimer *timer = TsChannelWidget::refreshTimer();
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    unplug();
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    const auto &samples = tile->graph()->lineSeries()->data()->samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_DOUBLE_EQ(samples[0].y(), 25.0);
    EXPECT_TRUE(std::isnan(samples[1].y()));
    // The temperature axis of the device specification.
    EXPECT_DOUBLE_EQ(tile->graph()->valueAxis()->minimum(), 19.0);
    EXPECT_DOUBLE_EQ(tile->graph()->valueAxis()->maximum(), 43.0);
}

} // namespace
