#include "graphtestsupport.h"

#include <QDateTime>
#include <QSignalSpy>

#include <cmath>
#include <limits>

namespace {

// Exposes where the axis puts its tick labels.
class ProbeAxis : public GraphVerticalAxis
{
public:
    using GraphVerticalAxis::GraphVerticalAxis;
    QRect tickLabelRect(int index) const
    {
        const double y = m_majorTickLines.at(index).y1();
        return labelRect(labelText(valueAtPixel(y)), y, m_majorTickLines.size(), index);
    }
};

class GraphAxisTest : public GraphFixture
{};

TEST_F(GraphAxisTest, VerticalMappingPutsMinimumAtBottomAndMaximumAtTop)
{
    axis->setRect(QRect(0, 10, 40, 101)); // top 10, bottom 110
    axis->setRange(0, 50);
    EXPECT_EQ(axis->mapToPixel(0), 110);
    EXPECT_EQ(axis->mapToPixel(50), 10);
    EXPECT_EQ(axis->mapToPixel(25), 60);
    EXPECT_DOUBLE_EQ(axis->valueAtPixel(60), 25);
    EXPECT_DOUBLE_EQ(axis->valueAtPixel(10), 50);
}

TEST_F(GraphAxisTest, HorizontalMappingPutsMinimumAtLeft)
{
    horizontal()->setRect(QRect(20, 0, 201, 30)); // left 20, right 220
    horizontal()->setRange(1000, 2000);
    EXPECT_EQ(horizontal()->mapToPixel(1000), 20);
    EXPECT_EQ(horizontal()->mapToPixel(2000), 220);
    EXPECT_EQ(horizontal()->mapToPixel(1500), 120);
    EXPECT_DOUBLE_EQ(horizontal()->valueAtPixel(70), 1250);
}

TEST_F(GraphAxisTest, ValuesFarOffTheAxisSaturateInsteadOfOverflowing)
{
    axis->setRect(QRect(0, 10, 40, 101));
    axis->setRange(0, 50);
    EXPECT_EQ(axis->mapToPixel(1e300), std::numeric_limits<int>::min());
    EXPECT_EQ(axis->mapToPixel(-1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(axis->mapToPixel(std::nan("")), std::numeric_limits<int>::min());
}

TEST_F(GraphAxisTest, ZeroWidthRangeKeepsThePreviousMapping)
{
    axis->setRect(QRect(0, 10, 40, 101));
    axis->setRange(0, 50);
    const double scale = axis->scale();
    const double intercept = axis->intercept();
    axis->setRange(7, 7);
    EXPECT_EQ(axis->scale(), scale);
    EXPECT_EQ(axis->intercept(), intercept);
}

TEST_F(GraphAxisTest, OneMajorAndFourMinorDivisionsGiveTwoEndLabelsAndThreeMinorMarks)
{
    auto *probe = new ProbeAxis(&widget);
    probe->setMajorDivisions(1);
    probe->setMinorDivisions(4);
    widget.ensureLayout();
    probe->setRect(QRect(probe->rect().left(), 10, probe->rect().width(), 101));
    probe->setRange(0, 50);
    probe->rebuildTicks();

    ASSERT_EQ(probe->majorTickLines().size(), 2);
    EXPECT_DOUBLE_EQ(probe->majorTickLines().at(0).y1(), 10);
    EXPECT_DOUBLE_EQ(probe->majorTickLines().at(1).y1(), 110);
    ASSERT_EQ(probe->minorTickLines().size(), 3);
    EXPECT_DOUBLE_EQ(probe->minorTickLines().at(0).y1(), 35);
    EXPECT_DOUBLE_EQ(probe->minorTickLines().at(1).y1(), 60);
    EXPECT_DOUBLE_EQ(probe->minorTickLines().at(2).y1(), 85);
    // Marks end at the axis's right edge and point left by their length.
    EXPECT_DOUBLE_EQ(probe->majorTickLines().at(0).x2(), probe->rect().right());
    EXPECT_DOUBLE_EQ(probe->majorTickLines().at(0).x1(), probe->rect().right() - 10);
    EXPECT_DOUBLE_EQ(probe->minorTickLines().at(0).x1(), probe->rect().right() - 3);
    EXPECT_EQ(probe->majorGridLines().size(), 2);
    EXPECT_EQ(probe->minorGridLines().size(), 3);

    EXPECT_EQ(probe->labelText(probe->valueAtPixel(10)), QStringLiteral("50"));
    EXPECT_EQ(probe->labelText(probe->valueAtPixel(110)), QStringLiteral("0"));
    EXPECT_EQ(probe->tickLabelRect(0).top(), 10);     // maximum hangs below the top line
    EXPECT_EQ(probe->tickLabelRect(1).bottom(), 110); // minimum sits above the bottom line
    EXPECT_EQ(probe->tickLabelRect(0).right(), probe->rect().right() - 10 - 2);
}

TEST_F(GraphAxisTest, ThreeOrMoreLabelsAreCentredOnTheirLines)
{
    auto *probe = new ProbeAxis(&widget);
    probe->setMajorDivisions(4);
    widget.ensureLayout();
    ASSERT_EQ(probe->majorTickLines().size(), 5);
    for (int i = 0; i < 5; ++i) {
        const QRect rect = probe->tickLabelRect(i);
        EXPECT_LE(std::abs(rect.center().y() - qRound(probe->majorTickLines().at(i).y1())), 1);
    }
}

TEST_F(GraphAxisTest, ZeroMajorDivisionsDrawNoTicks)
{
    axis->setMajorDivisions(0);
    widget.ensureLayout();
    EXPECT_TRUE(axis->majorTickLines().isEmpty());
    EXPECT_TRUE(axis->minorTickLines().isEmpty());
    EXPECT_TRUE(axis->majorGridLines().isEmpty());
    EXPECT_TRUE(axis->minorGridLines().isEmpty());
}

TEST_F(GraphAxisTest, HorizontalTicksHangDownFromTheAxisTop)
{
    widget.ensureLayout();
    const QRect rect = horizontal()->rect();
    ASSERT_EQ(horizontal()->majorTickLines().size(), 5);
    EXPECT_DOUBLE_EQ(horizontal()->majorTickLines().first().x1(), rect.left());
    EXPECT_DOUBLE_EQ(horizontal()->majorTickLines().last().x1(), rect.right());
    EXPECT_DOUBLE_EQ(horizontal()->majorTickLines().first().y1(), rect.top());
    EXPECT_DOUBLE_EQ(horizontal()->majorTickLines().first().y2(), rect.top() + 10);
    EXPECT_EQ(horizontal()->minorTickLines().size(), 4 * 3);
    EXPECT_DOUBLE_EQ(horizontal()->majorGridLines().first().y1(), plot().top() + 1);
    EXPECT_DOUBLE_EQ(horizontal()->majorGridLines().first().y2(), plot().bottom() - 1);
}

TEST_F(GraphAxisTest, LabelTextsInTheThreeModes)
{
    axis->setLabelDecimals(2);
    EXPECT_EQ(axis->labelText(3.14159), QStringLiteral("3.14"));
    EXPECT_EQ(axis->labelText(3.14159, 1), QStringLiteral("3.142"));
    EXPECT_EQ(axis->labelText(-2), QStringLiteral("-2.00"));

    axis->setLabelMode(GraphAxis::DateTimeLabels);
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9, 600));
    EXPECT_EQ(axis->labelText(double(when.toMSecsSinceEpoch())),
              QStringLiteral("05.03.24\n14:07:09"));

    axis->setLabelMode(GraphAxis::RelativeTimeLabels);
    axis->setOrigin(T0);
    EXPECT_EQ(axis->labelText(T0), QStringLiteral("00:00:00"));
    EXPECT_EQ(axis->labelText(T0 - 3725000), QStringLiteral("-01:02:05"));
    EXPECT_EQ(axis->labelText(T0 + 90000000), QStringLiteral("25:00:00"));
    EXPECT_EQ(axis->labelText(T0 + 59999), QStringLiteral("00:00:59")); // milliseconds dropped
}

TEST_F(GraphAxisTest, DateTimeLabelsTakeTwoLinesInTheHorizontalAxisHeight)
{
    widget.ensureLayout();
    const int oneLine = horizontal()->rect().height();
    horizontal()->setLabelMode(GraphAxis::DateTimeLabels);
    widget.ensureLayout();
    EXPECT_GT(horizontal()->rect().height(), oneLine);
    horizontal()->setLabelsShown(false);
    horizontal()->setTickLengths(0, 0);
    widget.ensureLayout();
    EXPECT_EQ(horizontal()->rect().height(), 5); // top = bottom - 0 - 0 - 4
    EXPECT_EQ(horizontal()->rect().bottom(), widget.height() - 1 - widget.bottomMargin());
}

TEST_F(GraphAxisTest, NonFiniteInputLeavesTheRangeAndTheTextsSane)
{
    axis->setRange(0, 10);
    axis->setRange(qQNaN(), 5);
    axis->setInitialRange(0, qInf());
    axis->pan(qQNaN());
    axis->zoomBy(-qInf());
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 10);
    EXPECT_EQ(axis->initialMaximum(), 100);

    // A window so low that the axis has no pixels: a drag along it measures no finite distance.
    axis->setRect(QRect(axis->rect().left(), 50, axis->rect().width(), 1));
    axis->setRange(0, 10);
    const QPoint onAxis(axis->rect().center().x(), 50);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, onAxis);
    moveMouse(&widget, onAxis + QPoint(0, 10), Qt::LeftButton);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, onAxis + QPoint(0, 10));
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 10);

    // Times beyond what a 64-bit millisecond count holds give no text rather than garbage.
    axis->setLabelMode(GraphAxis::DateTimeLabels);
    EXPECT_EQ(axis->labelText(1e300), QString());
    axis->setLabelMode(GraphAxis::RelativeTimeLabels);
    EXPECT_EQ(axis->labelText(-1e300), QString());
}

TEST_F(GraphAxisTest, RangesAreClampedToLimitsAndWrongLimitsIgnored)
{
    axis->setLimits(0, 50);
    axis->setRange(-10, 60);
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 50);

    axis->setLimits(80, 20);
    EXPECT_EQ(axis->lowerLimit(), 0);
    EXPECT_EQ(axis->upperLimit(), 50);
    axis->setLimits(5, 5);
    EXPECT_EQ(axis->lowerLimit(), 0);
}

TEST_F(GraphAxisTest, PanStopsAtALimitAndKeepsTheWidth)
{
    axis->setLimits(0, 100);
    axis->setRange(10, 30);
    axis->pan(-25);
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 20);
    axis->pan(95);
    EXPECT_EQ(axis->minimum(), 80);
    EXPECT_EQ(axis->maximum(), 100);
    axis->pan(-5);
    EXPECT_EQ(axis->minimum(), 75);
    EXPECT_EQ(axis->maximum(), 95);
}

TEST_F(GraphAxisTest, PanIsATranslationAndOtherChangesAreFull)
{
    QSignalSpy spy(axis, &GraphAxis::mappingChanged);
    axis->pan(5);
    axis->setRange(0, 10);
    axis->zoomBy(1);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(spy.at(1).at(0).toBool());
    EXPECT_FALSE(spy.at(2).at(0).toBool());
}

TEST_F(GraphAxisTest, ZoomHistoryReturnsStepByStepThenToTheInitialRange)
{
    axis->setInitialRange(0, 100);
    axis->pushZoom();
    axis->setRange(10, 90);
    axis->pushZoom();
    axis->setRange(20, 30);
    EXPECT_EQ(axis->zoomHistorySize(), 2);

    axis->zoomLast();
    EXPECT_EQ(axis->minimum(), 10);
    EXPECT_EQ(axis->maximum(), 90);
    axis->zoomLast();
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 100);

    axis->setRange(40, 45);
    axis->zoomLast(); // empty history: back to the initial range
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 100);

    axis->pushZoom();
    axis->setRange(1, 2);
    axis->zoomInitial();
    EXPECT_EQ(axis->minimum(), 0);
    EXPECT_EQ(axis->maximum(), 100);
    EXPECT_EQ(axis->zoomHistorySize(), 0);
}

TEST_F(GraphAxisTest, ZoomByWidensBothEndsAndReportsTheOrientation)
{
    QSignalSpy zoomed(&widget, &GraphWidget::zoomed);
    axis->setRange(10, 20);
    axis->zoomBy(5);
    EXPECT_EQ(axis->minimum(), 5);
    EXPECT_EQ(axis->maximum(), 25);
    horizontal()->zoomBy(-10);
    ASSERT_EQ(zoomed.count(), 2);
    EXPECT_EQ(zoomed.at(0).at(0).toInt(), 2);
    EXPECT_EQ(zoomed.at(1).at(0).toInt(), 1);
}

TEST_F(GraphAxisTest, MarkerShowsOnlyWhileEnabledAndTracksTheMapping)
{
    axis->setRect(QRect(0, 10, 40, 101));
    axis->setRange(0, 50);
    axis->setMarkerValue(25);
    EXPECT_EQ(axis->markerPixel(), 60);

    axis->setMarkerEnabled(false);
    axis->setMarkerVisible(true);
    EXPECT_FALSE(axis->isMarkerVisible());

    axis->setMarkerEnabled(true);
    axis->setMarkerVisible(true);
    EXPECT_TRUE(axis->isMarkerVisible());
    axis->setRange(0, 100);
    EXPECT_EQ(axis->markerPixel(), 85);
}

TEST_F(GraphAxisTest, MarkerLineIsDrawnOnlyInsideTheAxis)
{
    horizontal()->setMarkerLabelShown(false);
    horizontal()->setMarkerValue(T0 + 50000);
    horizontal()->setMarkerVisible(true);
    QImage image = renderGraph(widget);
    const int x = horizontal()->markerPixel();
    const int y = plot().center().y();
    EXPECT_TRUE(isRed(image.pixel(x, y)));

    horizontal()->setMarkerValue(T0 + 200000); // beyond the range
    image = renderGraph(widget);
    for (int px = plot().left() + 2; px < plot().right() - 1; ++px)
        ASSERT_FALSE(isRed(image.pixel(px, y))) << px;
}

TEST_F(GraphAxisTest, DraggingAnAxisPansItAndControlZooms)
{
    widget.ensureLayout();
    QSignalSpy zoomed(&widget, &GraphWidget::zoomed);
    const QPoint start(horizontal()->rect().center());
    const double perPixel = 1.0 / horizontal()->scale();

    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, start);
    moveMouse(&widget, start - QPoint(40, 0), Qt::LeftButton);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, start - QPoint(40, 0));
    // Dragging left by 40 pixels moves the view 40 pixels later in time.
    EXPECT_NEAR(horizontal()->minimum(), T0 + 40 * perPixel, 1e-3);
    EXPECT_NEAR(horizontal()->maximum() - horizontal()->minimum(), 100000, 1e-3);
    EXPECT_GE(zoomed.count(), 1);
    EXPECT_EQ(zoomed.last().at(0).toInt(), 1);

    const double width = axis->maximum() - axis->minimum();
    const double valuePerPixel = -1.0 / axis->scale();
    const QPoint onAxis(axis->rect().center());
    QTest::mousePress(&widget, Qt::LeftButton, Qt::ControlModifier, onAxis);
    moveMouse(&widget, onAxis + QPoint(0, 10), Qt::LeftButton, Qt::ControlModifier);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::ControlModifier, onAxis + QPoint(0, 10));
    // Dragging down with Control widens the range by the distance at both ends.
    EXPECT_NEAR(axis->maximum() - axis->minimum(), width + 2 * 10 * valuePerPixel, 1e-9);
    EXPECT_EQ(zoomed.last().at(0).toInt(), 2);
}

TEST_F(GraphAxisTest, RightButtonPlacesTheMarkerAndARightDoubleClickHidesIt)
{
    widget.ensureLayout();
    const QPoint onAxis(axis->rect().center().x(), plot().top() + 50);
    QTest::mousePress(&widget, Qt::RightButton, Qt::NoModifier, onAxis);
    EXPECT_TRUE(axis->isMarkerVisible());
    EXPECT_DOUBLE_EQ(axis->markerValue(), axis->valueAtPixel(onAxis.y()));
    moveMouse(&widget, onAxis + QPoint(0, 20), Qt::RightButton);
    EXPECT_DOUBLE_EQ(axis->markerValue(), axis->valueAtPixel(onAxis.y() + 20));
    QTest::mouseRelease(&widget, Qt::RightButton, Qt::NoModifier, onAxis + QPoint(0, 20));
    EXPECT_TRUE(axis->isMarkerVisible());

    QTest::mouseDClick(&widget, Qt::RightButton, Qt::NoModifier, onAxis);
    EXPECT_FALSE(axis->isMarkerVisible());
}

} // namespace
