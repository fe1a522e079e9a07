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

#include "startup.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

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
    // Opens the tile's setpoint editor and types into it, as the operator does.
    static TsSetpointEditor *typeSetpoint(TsChannelWidget *tile, const QString &text)
    {
        pressSetpoint(tile);
        TsSetpointEditor *edit = editor(tile);
        QTest::keyClicks(edit, text);
        return edit;
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
        const TsChannelState state = static_cast<TsChannelState>(index);
        EXPECT_EQ(tile->channelState(), state);
        // What is on the screen, left of the title, below the top corners.
        const QImage shot = tile->grab().toImage();
        EXPECT_EQ(QColor(shot.pixel(2, tile->height() / 2)).name(),
                  TsChannelWidget::backgroundColor(state).name());
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
    EXPECT_EQ(TsChannelWidget::backgroundColor(TsChannelState::Red).name(),
              QStringLiteral("#ff0000"));
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
    EXPECT_EQ(TsChannelWidget::backgroundColor(TsChannelState::Off).name(),
              QStringLiteral("#3f497f"));
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

// A tile keeps its texts laid out from one repaint to the next; whatever changed in between is
// still drawn exactly as a tile made afresh in that state draws it.
TEST_F(TsChannelWidgetTest, ARepaintedTileLooksLikeANewTileInTheSameState)
{
    plug("actual=\"370\" setpoint=\"370\"");
    useStandardChannels();
    const std::vector<std::pair<const char *, std::function<void(TsChannelWidget *)>>> changes = {
        {"value", [](TsChannelWidget *t) { t->setActualValue(105.5); }},
        {"setpoint", [](TsChannelWidget *t) { t->setSetpointValue(12.3); }},
        {"status and colour",
         [](TsChannelWidget *t) {
             t->experimentChannel()->setStatus(TsChannelState::Red,
                                               QStringLiteral("a status far too long for the line"),
                                               QString());
         }},
        {"narrower", [](TsChannelWidget *t) { t->resize(170, 100); }},
    };
    for (const auto &change : changes) {
        SCOPED_TRACE(change.first);
        const auto makeTile = [this] {
            auto tile = std::make_unique<TsChannelWidget>();
            tile->setExperimentChannel(experimentChannel(stage));
            tile->resize(220, 100);
            return tile;
        };
        auto painted = makeTile();
        const QImage before = painted->grab().toImage();
        change.second(painted.get());
        const QImage after = painted->grab().toImage();
        EXPECT_NE(after, before);
        auto fresh = makeTile();
        change.second(fresh.get());
        EXPECT_EQ(after, fresh->grab().toImage());
        experimentChannel(stage)->setStatus(TsChannelState::Green, QString(), QString());
    }
}

TEST_F(TsChannelWidgetTest, AChannelWithoutDeviceIsAGreyCompactOfflineTile)
{
    useStandardChannels();
    auto tile = tileFor(missing);
    expectStatusIndex(tile.get(), int(TsChannelState::Offline));
    EXPECT_EQ(TsChannelWidget::backgroundColor(TsChannelState::Offline).name(),
              QStringLiteral("#a0a0a4"));
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

// Contrast of two colours as for text on a background: 1 (none) to 21 (black on white).
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class TsSetpointEditorLookTest
    : public TsChannelWidgetTest,
      public ::testing::WithParamInterface<std::tuple<bool, TsChannelState>>
{
protected:
    ~TsSetpointEditorLookTest() override { qApp->setStyleSheet(QString()); }
};

// In either style and on every tile colour, the digits being typed are on the screen, whole, in
// a colour that stands out from their field as body text must.
TEST_P(TsSetpointEditorLookTest, WhatIsTypedIsDrawnWholeAndLegible)
{
    loadStyle(std::get<0>(GetParam()));
    useStandardChannels();
    auto tile = tileFor(stage);
    tile->setChannelState(std::get<1>(GetParam()));
    QLineEdit *field = typeSetpoint(tile.get(), QStringLiteral("37.5"))->findChild<QLineEdit *>();
    const QImage shot =
        tile->grab(QRect(field->mapTo(tile.get(), QPoint()), field->size())).toImage();
    const QColor paper = shot.pixel(1, shot.height() / 2); // left of the right-aligned digits
    int left = shot.width(), right = -1;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (contrast(shot.pixel(x, y), paper) >= 4.5)
                left = std::min(left, x), right = std::max(right, x);
        }
    }
    const int wanted = QFontMetrics(field->font()).horizontalAdvance(QStringLiteral("37.5"));
    EXPECT_GE(right - left + 1, wanted * 4 / 5)
        << "legible ink spans " << right - left + 1 << " of " << wanted << " pixels in a field "
        << shot.width() << " wide, of " << qPrintable(paper.name());
}

INSTANTIATE_TEST_SUITE_P(
    BothStylesFiveColours, TsSetpointEditorLookTest,
    ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(TsChannelStates)),
    [](const ::testing::TestParamInfo<std::tuple<bool, TsChannelState>> &info) {
        return std::string(std::get<0>(info.param) ? "Light_" : "Dark_") +
               tsChannelStateName(std::get<1>(info.param)).toStdString();
    });

TEST_F(TsChannelWidgetTest, DestroyingATileWhileItsEditorHasTheFocusSendsNothing)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    ASSERT_TRUE(typeSetpoint(tile.get(), QStringLiteral("30"))->hasFocus());
    // A window of its own, as any tile may be: destroying it hides it, which takes the focus.
    tile.reset();
    EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 37.0);
}

TEST_F(TsChannelWidgetTest, AssistiveTechnologyHearsTheValueTheStateAndTheStatus)
{
    useStandardChannels();
    auto tile = tileFor(stage);
    const auto said = [](QWidget *widget, QAccessible::Text text) {
        return QAccessible::queryAccessibleInterface(widget)->text(text);
    };
    EXPECT_EQ(said(tile.get(), QAccessible::Name), QStringLiteral("Stage: 25.0°C"));
    EXPECT_EQ(said(tile.get(), QAccessible::Description),
              QStringLiteral("Not stable. Setpoint 37.0°C. Status: OK."));
    plug("actual=\"370\" control=\"0\"");
    tick(2);
    EXPECT_EQ(said(tile.get(), QAccessible::Name), QStringLiteral("Stage: 37.0°C"));
    EXPECT_EQ(said(tile.get(), QAccessible::Description),
              QStringLiteral("Regulation off. Setpoint 37.0°C. Status: OK."));
    EXPECT_EQ(said(loopButton(tile.get()), QAccessible::Name), QStringLiteral("Regulation loop"));
    EXPECT_EQ(said(typeSetpoint(tile.get(), QString()), QAccessible::Name),
              QStringLiteral("Setpoint of Stage"));
    auto offline = tileFor(missing);
    EXPECT_EQ(said(offline.get(), QAccessible::Name), QStringLiteral("Missing: offline"));
    EXPECT_EQ(said(offline.get(), QAccessible::Description),
              QStringLiteral("Offline. Status: offline."));
}

struct TypedCase
{
    const char *name;
    const char *locale;
    const char *typed;
    const char *controller; // at the moment of Enter, not yet noticed by a scan
    const char *refusal;    // empty: sent as the number typed
};

class TsSetpointTypedTest : public TsChannelWidgetTest,
                            public ::testing::WithParamInterface<TypedCase>
{
protected:
    void TearDown() override { QLocale::setDefault(previous); }
    const QLocale previous;
};

// A number is read with the operator's decimal mark only, and sent only as meant: what could be
// read two ways, or what the controller did not take, is said on the tile and stays in the field.
TEST_P(TsSetpointTypedTest, IsSentOnlyAsMeantAndKeptWhenNot)
{
    const TypedCase &c = GetParam();
    QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
    useStandardChannels();
    auto tile = tileFor(stage);
    TsSetpointEditor *edit = typeSetpoint(tile.get(), QString::fromLatin1(c.typed));
    devicetest::simulation().write(devicetest::heatUnit(serial.toStdString(), c.controller,
                                                        devicetest::channel(1, "Stage", "") +
                                                            devicetest::channel(2, "Lid", "")));
    QTest::keyClick(edit, Qt::Key_Return);
    if (!*c.refusal) {
        EXPECT_FALSE(edit->isVisible());
        EXPECT_DOUBLE_EQ(controllerSetpoint(stage),
                         QLocale().toDouble(QString::fromLatin1(c.typed)));
        return;
    }
    const double kept = controllerSetpoint(stage); // NaN from a controller that is gone
    EXPECT_TRUE(kept == 37.0 || std::isnan(kept)) << kept;
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->text(), QString::fromLatin1(c.typed));
    EXPECT_TRUE(QToolTip::text().contains(QString::fromLatin1(c.refusal)))
        << qPrintable(QToolTip::text());
    if (std::string(c.controller).find("refuse") != std::string::npos) {
        plug(); // takes setpoints again: Enter sends what is still in the field
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_DOUBLE_EQ(controllerSetpoint(stage), 38.5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    MarksAndFailures, TsSetpointTypedTest,
    ::testing::Values(TypedCase{"PointWherePoint", "en_US", "3.6", "", ""},
                      TypedCase{"CommaWherePoint", "en_US", "3,6", "", "could mean 3.6 or 36"},
                      TypedCase{"TwoDigitsAfterComma", "en_US", "3,65", "", "3.65 or 365"},
                      TypedCase{"CommaWhereComma", "de_DE", "3,6", "", ""},
                      TypedCase{"PointWhereComma", "de_DE", "37.5", "", "could mean 37,5 or 375"},
                      TypedCase{"Refused", "en_US", "38.5", "refuse=\"83\"", "38.5 was not set ("},
                      TypedCase{"Unplugged", "en_US", "38.5", "present=\"0\"",
                                "38.5 was not set ("}),
    [](const ::testing::TestParamInfo<TypedCase> &info) { return std::string(info.param.name); });

} // namespace
