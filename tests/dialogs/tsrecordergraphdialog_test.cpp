// The recorder's graph window on the real core and a recording over the controller simulation:
// axes and lines from the device specification, samples becoming points, the time zoom and its
// clamps, auto scroll switched off by the mouse, and the window reopening after a restart.
#include "dialogs/tsrecordergraphdialog.h"

#include "viewtestsupport.h"

#include "config/tsprofile.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "tscore.h"
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlegend.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using viewtest::entry;

constexpr qint64 Minute = 60000;
constexpr qint64 Day = 86400000;

void moveMouse(QWidget *widget, const QPoint &pos, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, buttons,
                      modifiers);
    QApplication::sendEvent(widget, &event);
}

class RecorderGraphDialogTest : public viewtest::ViewFixture
{
protected:
    RecorderGraphDialogTest()
    {
        QSettings settings;
        for (const char *key : {"graphGeometry", "graphMaximized", "graphVisible"})
            settings.remove(QString::fromLatin1(key));
        // A gas unit beside the heat unit: CO2 at 5.0 % and O2 at 18.9 %.
        otherControllers =
            devicetest::controller("154G1", "Gas Unit G2", "0004",
                                   devicetest::channel(1, "CO2", "actual=\"50\"") +
                                       devicetest::channel(2, "O2", "actual=\"189\""));
        plug("actual=\"371\"");
        recorder = experiment()->recorder();
        recorder->setFilePrefix(QString());
        recorder->setClocks([this] { return monotonic; }, [this] { return wall; });
    }
    ~RecorderGraphDialogTest() override
    {
        dialog.reset();
        recorder->stop();
        recorder->setClocks({}, {});
    }

    // Stage temperature, a channel of a controller that is not there, CO2 and O2.
    void useStandardProfile()
    {
        useChannels({entry(stage, "Stage", true, Qt::red), entry(missing, "Missing"),
                     entry("154G1:1", "CO2", true, Qt::darkGreen), entry("154G1:2", "O2")});
    }
    void makeDialog(bool sized = true)
    {
        dialog.reset(new TsRecorderGraphDialog);
        dialog->setClock([this] { return wall.toMSecsSinceEpoch(); });
        if (sized)
            dialog->resize(800, 500);
    }
    void step()
    {
        monotonic += 1000;
        wall = wall.addMSecs(1000);
        tick();
    }
    GraphHorizontalAxis *time() const { return dialog->graph()->horizontalAxis(); }
    QAction *action(const char *name) const { return dialog->findChild<QAction *>(name); }
    // The window's time span after one action on a window of `span` ms.
    double spanAfter(const char *name, double span)
    {
        time()->setRange(T, T + span);
        action(name)->trigger();
        return time()->maximum() - time()->minimum();
    }

    const double T = 1.7e12;
    qint64 monotonic = 5000000;
    QDateTime wall = QDateTime(QDate(2026, 3, 2), QTime(9, 0, 0));
    TsExperimentRecorder *recorder = nullptr;
    QScopedPointer<TsRecorderGraphDialog> dialog;
};

TEST_F(RecorderGraphDialogTest, ARecordingMakesOneAxisPerGraphAxisAndALinePerChannel)
{
    useStandardProfile();
    makeDialog();
    ASSERT_EQ(dialog->axes().size(), 1); // the placeholder until a recording starts
    EXPECT_FALSE(dialog->axes().first()->isMarkerEnabled());
    EXPECT_EQ(dialog->graph()->legend()->options(), int(GraphLegend::MarkerValues));

    recorder->start();
    ASSERT_TRUE(recorder->isRunning());
    const QList<GraphVerticalAxis *> axes = dialog->axes();
    ASSERT_EQ(axes.size(), 2);
    EXPECT_EQ(dialog->graph()->verticalAxes(), axes);
    EXPECT_EQ(axes.at(0)->text(), QStringLiteral("Temp [°C]"));
    EXPECT_EQ(axes.at(0)->unit(), QStringLiteral("°C"));
    EXPECT_EQ(axes.at(0)->minimum(), 19);
    EXPECT_EQ(axes.at(0)->maximum(), 43);
    EXPECT_EQ(axes.at(0)->upperLimit(), 70);
    EXPECT_EQ(axes.at(0)->majorDivisions(), 8);
    EXPECT_EQ(axes.at(0)->minorDivisions(), 3);
    EXPECT_EQ(axes.at(0)->labelDecimals(), 1);
    EXPECT_EQ(axes.at(0)->color(), QColor(Qt::red));
    EXPECT_FALSE(axes.at(0)->isMarkerEnabled());
    EXPECT_EQ(axes.at(1)->text(), QStringLiteral("CO2/O2 [%]"));
    EXPECT_EQ(axes.at(1)->maximum(), 25);

    // The missing channel has no device, hence no unit and no axis: no line.
    const QList<GraphLineSeries *> lines = dialog->lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.at(0)->text(), QStringLiteral("Stage"));
    EXPECT_EQ(lines.at(0)->valueAxis(), axes.at(0));
    EXPECT_EQ(lines.at(0)->color(), QColor(Qt::red));
    EXPECT_EQ(lines.at(1)->text(), QStringLiteral("CO2"));
    EXPECT_EQ(lines.at(1)->valueAxis(), axes.at(1));
    EXPECT_EQ(lines.at(2)->valueAxis(), axes.at(1));
    EXPECT_EQ(lines.at(1)->color(), QColor(Qt::darkGreen));
    EXPECT_EQ(lines.at(0)->property("captureIndex").toInt(), 0);
    EXPECT_EQ(lines.at(1)->property("captureIndex").toInt(), 2);
    EXPECT_EQ(lines.at(2)->property("captureIndex").toInt(), 3);

    // The time window starts at the start of recording and counts relative time from there.
    EXPECT_EQ(time()->minimum(), double(wall.toMSecsSinceEpoch()));
    EXPECT_EQ(time()->maximum() - time()->minimum(), 3600000.0);
    EXPECT_EQ(time()->origin(), time()->minimum());

    // Each recorded sample becomes one point per line: the actual value at the sample's time.
    step();
    step();
    ASSERT_EQ(lines.at(0)->data()->size(), 2u);
    // Values are held as 32-bit floats.
    EXPECT_EQ(lines.at(0)->data()->samples().back().x(), double(wall.toMSecsSinceEpoch()));
    EXPECT_EQ(float(lines.at(0)->data()->samples().back().y()), 37.1f);
    EXPECT_EQ(lines.at(0)->data()->timeColumn(), lines.at(2)->data()->timeColumn())
        << "the lines share one time column";
    EXPECT_DOUBLE_EQ(lines.at(1)->data()->last(), 5.0);
    EXPECT_DOUBLE_EQ(lines.at(2)->data()->last(), 18.9);

    // A controller that goes away leaves gaps, not values.
    otherControllers.clear();
    plug("actual=\"371\"");
    step();
    EXPECT_TRUE(std::isnan(lines.at(1)->data()->samples().back().y()));
    EXPECT_FLOAT_EQ(float(lines.at(0)->data()->samples().back().y()), 37.1f);

    // The next start builds everything anew, with empty stores.
    recorder->stop();
    useChannels({entry(lid, "Lid")});
    recorder->start();
    ASSERT_EQ(dialog->axes().size(), 1);
    ASSERT_EQ(dialog->lines().size(), 1);
    EXPECT_EQ(dialog->lines().at(0)->data()->size(), 0u);
    EXPECT_EQ(dialog->graph()->series().size(), 1);
}

TEST_F(RecorderGraphDialogTest, TheTimeZoomStepsAreClampedAndKeepTheStart)
{
    useChannels({});
    makeDialog();
    EXPECT_EQ(spanAfter("actionZoom_In", 90000), 30000); // 90 - max(45, 60) s
    EXPECT_EQ(spanAfter("actionZoom_In", 50000), 50000); // too narrow to zoom in
    EXPECT_EQ(spanAfter("actionZoom_In", 60000), 60000); // a step would leave nothing
    EXPECT_EQ(spanAfter("actionZoom_In", 120 * Minute), 60 * Minute);
    EXPECT_EQ(spanAfter("actionZoom_In_Fine", 30 * Minute), 20 * Minute);
    EXPECT_EQ(spanAfter("actionZoom_In", 20 * Day), 16 * Day); // at most four days
    EXPECT_EQ(spanAfter("actionZoom_Out", 8 * Day), 8 * Day);  // wider than a week
    EXPECT_EQ(spanAfter("actionZoom_Out", 6 * Day), 10 * Day); // grows by four days
    EXPECT_EQ(spanAfter("actionZoom_Out", 10000), 70000);      // at least a minute
    EXPECT_EQ(spanAfter("actionZoom_Out_fine", 60 * Minute), 90 * Minute);
    EXPECT_EQ(time()->minimum(), T);

    // An upper limit of the axis stops the growth.
    time()->setLimits(T - Day, T + 100 * Minute);
    EXPECT_EQ(spanAfter("actionZoom_Out", 60 * Minute), 100 * Minute);
}

TEST_F(RecorderGraphDialogTest, MouseZoomSwitchesTheMatchingAutoScrollOff)
{
    useStandardProfile();
    makeDialog();
    dialog->show();
    recorder->start();
    GraphWidget *graph = dialog->graph();
    graph->ensureLayout();
    EXPECT_TRUE(action("actionScrollTimeAxis")->isChecked());
    EXPECT_TRUE(action("actionScrollYAxes")->isChecked());

    // Ctrl-drag on the time axis zooms it: only the time axis stops following.
    const QPoint onTime = time()->rect().center();
    QTest::mousePress(graph, Qt::LeftButton, Qt::ControlModifier, onTime);
    moveMouse(graph, onTime + QPoint(20, 0), Qt::LeftButton, Qt::ControlModifier);
    QTest::mouseRelease(graph, Qt::LeftButton, Qt::ControlModifier, onTime + QPoint(20, 0));
    EXPECT_FALSE(action("actionScrollTimeAxis")->isChecked());
    EXPECT_FALSE(time()->followsNewest());
    EXPECT_TRUE(action("actionScrollYAxes")->isChecked());
    for (GraphVerticalAxis *axis : dialog->axes())
        EXPECT_TRUE(axis->followsNewest());

    // A rubber band in the plot area zooms both.
    action("actionScrollTimeAxis")->trigger();
    EXPECT_TRUE(time()->followsNewest());
    const QRect plot = graph->plotArea()->rect();
    const QPoint from = plot.topLeft() + QPoint(20, 40);
    QTest::mousePress(graph, Qt::LeftButton, Qt::NoModifier, from);
    moveMouse(graph, from + QPoint(40, 40), Qt::LeftButton);
    moveMouse(graph, from + QPoint(80, 80), Qt::LeftButton);
    QTest::mouseRelease(graph, Qt::LeftButton, Qt::NoModifier, from + QPoint(80, 80));
    EXPECT_FALSE(action("actionScrollTimeAxis")->isChecked());
    EXPECT_FALSE(action("actionScrollYAxes")->isChecked());
    EXPECT_FALSE(time()->followsNewest());
    for (GraphVerticalAxis *axis : dialog->axes())
        EXPECT_FALSE(axis->followsNewest());

    // The next recording follows the newest sample again, as its checked actions say.
    recorder->stop();
    recorder->start();
    EXPECT_TRUE(action("actionScrollTimeAxis")->isChecked());
    EXPECT_TRUE(time()->followsNewest());

    action("actionRelative_Absolute")->trigger();
    EXPECT_EQ(time()->labelMode(), GraphAxis::RelativeTimeLabels);
    EXPECT_EQ(time()->text(), QStringLiteral("Relative Time"));
    action("actionRelative_Absolute")->trigger();
    EXPECT_EQ(time()->labelMode(), GraphAxis::DateTimeLabels);
    EXPECT_EQ(time()->text(), QStringLiteral("Absolute Time"));
}

TEST_F(RecorderGraphDialogTest, AWindowOpenAtQuitOpensAgainAfterTheNextStart)
{
    useChannels({});
    makeDialog();
    dialog->setGeometry(40, 50, 640, 420);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.data()));
    const QRect geometry = dialog->geometry();
    dialog.reset(); // the application quits with the window open
    EXPECT_TRUE(QSettings().value("graphVisible").toBool());

    makeDialog(false);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->geometry(), geometry);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->isVisible(); }, 2000));

    // Closed by the operator, it stays closed next time.
    dialog->close();
    EXPECT_FALSE(QSettings().value("graphVisible").toBool());
    dialog.reset();
    EXPECT_FALSE(QSettings().value("graphVisible").toBool());
    makeDialog();
    QTest::qWait(2 * TsRecorderGraphDialog::ShowDelay);
    EXPECT_FALSE(dialog->isVisible());

    // A minimized window is brought back by the next show.
    dialog->show();
    dialog->showMinimized();
    dialog->show();
    EXPECT_FALSE(dialog->windowState() & Qt::WindowMinimized);
}

TEST_F(RecorderGraphDialogTest, TheFirstShowRestoresAMaximizedWindow)
{
    QSettings().setValue("graphMaximized", true);
    useChannels({});
    makeDialog();
    dialog->show();
    EXPECT_TRUE(dialog->windowState() & Qt::WindowMaximized);
    dialog->showNormal();
    dialog->show();
    EXPECT_FALSE(dialog->windowState() & Qt::WindowMaximized);
}

} // namespace
