#include "graphtestsupport.h"

#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

class GraphWidgetTest : public GraphFixture
{
protected:
    void drag(const QPoint &from, const QPoint &to,
              Qt::KeyboardModifiers pressModifiers = Qt::NoModifier,
              Qt::KeyboardModifiers moveModifiers = Qt::NoModifier)
    {
        QTest::mousePress(&widget, Qt::LeftButton, pressModifiers, from);
        moveMouse(&widget, (from + to) / 2, Qt::LeftButton, moveModifiers);
        moveMouse(&widget, to, Qt::LeftButton, moveModifiers);
        QTest::mouseRelease(&widget, Qt::LeftButton, moveModifiers, to);
    }

    bool rangesAre(double hMin, double hMax, double vMin, double vMax)
    {
        return std::abs(horizontal()->minimum() - hMin) < 1e-6 &&
               std::abs(horizontal()->maximum() - hMax) < 1e-6 &&
               std::abs(axis->minimum() - vMin) < 1e-9 && std::abs(axis->maximum() - vMax) < 1e-9;
    }
};

TEST_F(GraphWidgetTest, LayoutTilesTheElementsBetweenTheMargins)
{
    auto *second = new GraphVerticalAxis(&widget);
    widget.ensureLayout();
    const QRect first = axis->rect();
    EXPECT_EQ(first.left(), widget.leftMargin());
    EXPECT_EQ(second->rect().left(), first.right());
    EXPECT_EQ(second->index(), 1);

    const QRect h = horizontal()->rect();
    EXPECT_EQ(h.bottom(), widget.height() - 1 - widget.bottomMargin());
    EXPECT_EQ(h.left(), second->rect().right());
    EXPECT_LE(h.right(), widget.width() - 1 - widget.rightMargin());

    const QRect title = widget.title()->rect();
    EXPECT_EQ(title.top(), widget.topMargin());
    EXPECT_GT(title.height(), 5); // "Graph" takes a line
    EXPECT_EQ(first.top(), title.bottom());
    EXPECT_EQ(first.bottom(), h.top());
    EXPECT_EQ(plot(), QRect(QPoint(h.left(), title.bottom()), QPoint(h.right(), h.top())));

    widget.title()->setText(QString());
    widget.ensureLayout();
    EXPECT_EQ(widget.title()->rect().height(), 5);
    EXPECT_EQ(widget.windowTitle(), QString());

    delete second;
    widget.ensureLayout();
    EXPECT_EQ(widget.verticalAxes().size(), 1);
    EXPECT_EQ(horizontal()->rect().left(), axis->rect().right());
}

TEST_F(GraphWidgetTest, VerticalAxisWidthFollowsItsLabelsAndText)
{
    widget.ensureLayout();
    const int narrow = axis->rect().width();
    axis->setRange(-100000, 100000);
    axis->setText(QStringLiteral("Temp [°C]"));
    widget.ensureLayout();
    EXPECT_GT(axis->rect().width(), narrow);
    axis->setLabelsShown(false);
    axis->setText(QString());
    widget.ensureLayout();
    EXPECT_EQ(axis->rect().width(), 10 + 3);
}

TEST_F(GraphWidgetTest, DragRightAndDownZoomsToTheBand)
{
    QSignalSpy zoomed(&widget, &GraphWidget::zoomed);
    const QPoint from = plot().topLeft() + QPoint(40, 30);
    const QPoint to = from + QPoint(100, 60);
    const double hMin = horizontal()->valueAtPixel(from.x());
    const double hMax = horizontal()->valueAtPixel(to.x());
    const double vMax = axis->valueAtPixel(from.y());
    const double vMin = axis->valueAtPixel(to.y());

    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, from);
    moveMouse(&widget, to, Qt::LeftButton);
    EXPECT_TRUE(widget.plotArea()->isBandActive());
    EXPECT_EQ(widget.plotArea()->gesture(), GraphPlotArea::ZoomArea);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, to);

    EXPECT_FALSE(widget.plotArea()->isBandActive());
    EXPECT_TRUE(rangesAre(hMin, hMax, vMin, vMax));
    EXPECT_EQ(horizontal()->zoomHistorySize(), 1);
    EXPECT_EQ(axis->zoomHistorySize(), 1);
    ASSERT_EQ(zoomed.count(), 1);
    EXPECT_EQ(zoomed.at(0).at(0).toInt(), 3);
}

TEST_F(GraphWidgetTest, DragLeftAndUpUndoesTheLastZoomAndRightAndUpReturnsToTheStart)
{
    const QPoint a = plot().topLeft() + QPoint(40, 30);
    drag(a, a + QPoint(100, 60));
    const double hMin = horizontal()->minimum(), hMax = horizontal()->maximum();
    const double vMin = axis->minimum(), vMax = axis->maximum();
    drag(a, a + QPoint(80, 80));
    ASSERT_FALSE(rangesAre(hMin, hMax, vMin, vMax));

    QSignalSpy zoomed(&widget, &GraphWidget::zoomed);
    drag(a + QPoint(100, 100), a);
    EXPECT_TRUE(rangesAre(hMin, hMax, vMin, vMax));
    EXPECT_EQ(zoomed.count(), 1);

    drag(a + QPoint(0, 100), a + QPoint(100, 0));
    EXPECT_TRUE(rangesAre(T0, T0 + 100000, 0, 100));
    EXPECT_EQ(horizontal()->zoomHistorySize(), 0);
    EXPECT_EQ(zoomed.count(), 2);
}

TEST_F(GraphWidgetTest, DragLeftAndDownOrWithoutHeightChangesNothing)
{
    QSignalSpy zoomed(&widget, &GraphWidget::zoomed);
    const QPoint a = plot().topLeft() + QPoint(150, 30);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, a);
    moveMouse(&widget, a + QPoint(-100, 60), Qt::LeftButton);
    EXPECT_EQ(widget.plotArea()->gesture(), GraphPlotArea::NoZoom);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, a + QPoint(-100, 60));
    // A purely horizontal band would collapse the value axis to one value.
    drag(a, a + QPoint(100, 0));
    EXPECT_TRUE(rangesAre(T0, T0 + 100000, 0, 100));
    EXPECT_EQ(zoomed.count(), 0);
    EXPECT_EQ(widget.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(GraphWidgetTest, ControlPressPansBothAxesAndHonoursTheMask)
{
    const QPoint a = plot().center();
    const double perPixelX = 1.0 / horizontal()->scale();
    const double perPixelY = 1.0 / axis->scale();
    drag(a, a + QPoint(-50, 20), Qt::ControlModifier, Qt::NoModifier);
    EXPECT_NEAR(horizontal()->minimum(), T0 + 50 * perPixelX, 1e-3);
    EXPECT_NEAR(axis->minimum(), -20 * perPixelY, 1e-9); // the view follows the hand
    EXPECT_NEAR(axis->maximum() - axis->minimum(), 100, 1e-9);
    EXPECT_EQ(horizontal()->zoomHistorySize(), 0);

    widget.plotArea()->setMarkerGestureMask(GraphPlotArea::HorizontalMarker);
    const double vMin = axis->minimum();
    drag(a, a + QPoint(10, 30), Qt::ControlModifier, Qt::ShiftModifier);
    EXPECT_NEAR(horizontal()->minimum(), T0 + 47.5 * perPixelX, 1e-3); // a quarter of 10 px back
    EXPECT_EQ(axis->minimum(), vMin);
}

TEST_F(GraphWidgetTest, RightPressShowsTheTimeMarkerAndTheLegendValue)
{
    widget.legend()->setOptions(GraphLegend::MarkerValues);
    GraphLineSeries *series = blueSeries();
    series->setText(QStringLiteral("Temperature"));
    axis->setUnit(QStringLiteral("°C"));
    series->data()->append(T0 + 10000, 20.0);
    series->data()->append(T0 + 20000, 30.0);
    widget.ensureLayout();
    ASSERT_EQ(widget.legend()->entryCount(), 1);
    EXPECT_FALSE(widget.legend()->entry(0).hasValue);
    const int legendWidth = widget.legend()->rect().width();

    const QPoint at(horizontal()->mapToPixel(T0 + 15000), plot().bottom() - 20);
    QTest::mousePress(&widget, Qt::RightButton, Qt::NoModifier, at);
    EXPECT_TRUE(horizontal()->isMarkerVisible());
    EXPECT_TRUE(axis->isMarkerVisible());
    widget.ensureLayout();
    const GraphLegend::Entry &entry = widget.legend()->entry(0);
    EXPECT_TRUE(entry.hasValue);
    const double t = horizontal()->markerValue();
    EXPECT_NEAR(entry.value, 20.0 + (t - (T0 + 10000)) / 1000.0, 1e-9);
    EXPECT_GT(widget.legend()->rect().width(), legendWidth);

    moveMouse(&widget, at + QPoint(3, 0), Qt::RightButton);
    EXPECT_DOUBLE_EQ(horizontal()->markerValue(), horizontal()->valueAtPixel(at.x() + 3));
    QTest::mouseRelease(&widget, Qt::RightButton, Qt::NoModifier, at + QPoint(3, 0));

    horizontal()->setMarkerValue(T0 + 12500);
    widget.ensureLayout();
    EXPECT_EQ(widget.legend()->valueText(widget.legend()->entry(0)), QStringLiteral("22.5°C"));
    horizontal()->setMarkerValue(T0 + 25000); // after the last sample
    widget.ensureLayout();
    EXPECT_EQ(widget.legend()->valueText(widget.legend()->entry(0)), QStringLiteral("--.-°C"));
    // A sample that arrives later gives the marker's time a value.
    series->data()->append(T0 + 30000, 40.0);
    widget.ensureLayout();
    EXPECT_EQ(widget.legend()->valueText(widget.legend()->entry(0)), QStringLiteral("35.0°C"));
}

TEST_F(GraphWidgetTest, LegendMakesRoomForValuesWiderThanItsTemplate)
{
    // A value column sized for "00.0°C" alone would clip "123.4°C" to a false "23.4°C".
    axis->setUnit(QStringLiteral("°C"));
    GraphLineSeries *hot = blueSeries();
    hot->setText(QStringLiteral("Heater"));
    hot->data()->append(T0 + 10000, 123.4);
    hot->data()->append(T0 + 20000, 123.4);
    GraphLineSeries *cold = blueSeries();
    cold->setText(QStringLiteral("Cooler"));
    cold->data()->append(T0 + 10000, -12.3);
    cold->data()->append(T0 + 20000, -12.3);
    horizontal()->setMarkerValue(T0 + 15000);
    horizontal()->setMarkerVisible(true);
    widget.ensureLayout();

    const QFontMetrics metrics(widget.legend()->font());
    ASSERT_EQ(widget.legend()->entryCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const GraphLegend::Entry &entry = widget.legend()->entry(i);
        const QString text = widget.legend()->valueText(entry);
        EXPECT_GE(entry.valueRect.width(), metrics.horizontalAdvance(text)) << qPrintable(text);
        EXPECT_TRUE(widget.legend()->rect().contains(entry.valueRect)) << i;
    }
    EXPECT_EQ(widget.legend()->valueText(widget.legend()->entry(0)), QStringLiteral("123.4°C"));
}

TEST_F(GraphWidgetTest, LegendSitsInTheTopRightCornerAndWinsTheHitTest)
{
    GraphLineSeries *a = blueSeries();
    a->setText(QStringLiteral("CO2"));
    GraphLineSeries *b = blueSeries();
    b->setText(QStringLiteral("O2 concentration"));
    widget.ensureLayout();
    const QRect legend = widget.legend()->rect();
    EXPECT_EQ(legend.right(), plot().right() - 4);
    EXPECT_EQ(legend.top(), plot().top() + 4);
    EXPECT_EQ(widget.legend()->entry(1).nameRect.top(),
              widget.legend()->entry(0).nameRect.bottom() + 1 + 2);
    EXPECT_EQ(widget.objectAt(legend.center()), widget.legend());
    EXPECT_EQ(widget.objectAt(plot().center()), widget.plotArea());
    EXPECT_EQ(widget.objectAt(axis->rect().center()), axis);
    EXPECT_EQ(widget.objectAt(QPoint(1, 1)), nullptr);

    widget.legend()->setVisible(false);
    EXPECT_EQ(widget.objectAt(legend.center()), widget.plotArea());

    delete a;
    widget.ensureLayout();
    ASSERT_EQ(widget.legend()->entryCount(), 1);
    EXPECT_EQ(widget.legend()->entry(0).series, b);
}

TEST_F(GraphWidgetTest, LegendOptionsChooseWhichValuesRowsShowAndWhetherAClickHidesALine)
{
    axis->setUnit(QStringLiteral("%"));
    GraphLineSeries *co2 = blueSeries();
    co2->setText(QStringLiteral("CO2"));
    GraphLineSeries *o2 = blueSeries();
    o2->setText(QStringLiteral("O2"));
    co2->data()->append(T0 + 10000, 5.0);
    co2->data()->append(T0 + 20000, 5.2);
    o2->data()->append(T0 + 10000, 20.0);
    o2->data()->append(T0 + 20000, qQNaN());
    GraphLegend *legend = widget.legend();

    // By default a row without the marker shows the newest value; a newest sample that is a gap
    // reads as no value, not as the last good one.
    widget.ensureLayout();
    EXPECT_TRUE(legend->entry(0).hasValue);
    EXPECT_EQ(legend->valueText(legend->entry(0)), QStringLiteral("5.2%"));
    EXPECT_EQ(legend->valueText(legend->entry(1)), QStringLiteral("--.-%"));
    co2->data()->append(T0 + 30000, 5.4);
    widget.ensureLayout();
    EXPECT_EQ(legend->valueText(legend->entry(0)), QStringLiteral("5.4%"));

    // Without MarkerValues the marker shows no values at all.
    legend->setOptions(GraphLegend::LatestValues);
    horizontal()->setMarkerValue(T0 + 15000);
    horizontal()->setMarkerVisible(true);
    widget.ensureLayout();
    EXPECT_FALSE(legend->entry(0).hasValue);

    // A click on a row hides that line and a second click shows it again, only with
    // ToggleSeries; a hidden line keeps its row.
    const QPoint onCo2 = legend->entry(0).nameRect.center();
    QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, onCo2);
    EXPECT_TRUE(co2->isVisible());
    legend->setOptions(GraphLegend::ToggleSeries);
    QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, onCo2);
    EXPECT_FALSE(co2->isVisible());
    EXPECT_TRUE(o2->isVisible());
    EXPECT_EQ(legend->entryCount(), 2);
    QTest::mouseClick(&widget, Qt::LeftButton, Qt::NoModifier, onCo2);
    EXPECT_TRUE(co2->isVisible());
}

TEST_F(GraphWidgetTest, AHiddenLineIsNotDrawn)
{
    widget.legend()->setVisible(false);
    GraphLineSeries *series = blueSeries();
    series->data()->append(T0 + 10000, 50.0);
    series->data()->append(T0 + 50000, 50.0);
    widget.ensureLayout();
    const auto blueIn = [this](const QImage &image) {
        const int y = axis->mapToPixel(50.0);
        for (int x = plot().left() + 1; x < plot().right(); ++x) {
            if (isBlue(image.pixel(x, y)))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(blueIn(renderGraph(widget)));
    series->setVisible(false);
    EXPECT_FALSE(blueIn(renderGraph(widget)));
}

TEST_F(GraphWidgetTest, DoubleClickWithoutInteractionOnlyEmitsTheSignal)
{
    widget.setInteractive(false);
    QSignalSpy doubleClicked(&widget, &GraphWidget::doubleClicked);
    QSignalSpy zoomed(&widget, &GraphWidget::zoomed);
    QTest::mouseDClick(&widget, Qt::RightButton, Qt::NoModifier, plot().center());
    drag(plot().center(), plot().center() + QPoint(50, 50));
    QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, axis->rect().center());

    EXPECT_EQ(doubleClicked.count(), 2);
    EXPECT_EQ(zoomed.count(), 0);
    EXPECT_FALSE(horizontal()->isMarkerVisible());
    EXPECT_FALSE(axis->isMarkerVisible());
    EXPECT_TRUE(rangesAre(T0, T0 + 100000, 0, 100));
    EXPECT_EQ(widget.mouseHolder(), nullptr);

    widget.setInteractive(true);
    QTest::mouseDClick(&widget, Qt::LeftButton, Qt::NoModifier, plot().center());
    EXPECT_EQ(doubleClicked.count(), 2);
}

TEST_F(GraphWidgetTest, PressHighlightsTheElementUntilTheRelease)
{
    const QPoint onAxis = axis->rect().center();
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, onAxis);
    EXPECT_EQ(widget.mouseHolder(), axis);
    EXPECT_TRUE(axis->isPressed());
    const QImage image = renderGraph(widget);
    // The highlight is light grey over the white background.
    const QRgb pixel = image.pixel(axis->rect().left() + 2, axis->rect().top() + 3);
    EXPECT_EQ(qRed(pixel), qGreen(pixel));
    EXPECT_LT(qRed(pixel), 255);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, onAxis);
    EXPECT_FALSE(axis->isPressed());
    EXPECT_EQ(widget.mouseHolder(), nullptr);

    // A second button pressed over the plot area takes the mouse over from the axis.
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, onAxis);
    QTest::mousePress(&widget, Qt::RightButton, Qt::NoModifier, plot().center());
    EXPECT_EQ(widget.mouseHolder(), widget.plotArea());
    EXPECT_FALSE(axis->isPressed());
    QTest::mouseRelease(&widget, Qt::RightButton, Qt::NoModifier, plot().center());
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, plot().center());
    EXPECT_FALSE(axis->isPressed());
}

TEST_F(GraphWidgetTest, DeletingTheWidgetDeletesItsElements)
{
    auto *owner = new GraphWidget;
    auto *valueAxis = new GraphVerticalAxis(owner);
    QPointer<GraphLineSeries> series = new GraphLineSeries(valueAxis);
    QPointer<GraphVerticalAxis> watched = valueAxis;
    QPointer<GraphLegend> legend = owner->legend();
    auto data = series->data();
    delete owner;
    EXPECT_TRUE(series.isNull());
    EXPECT_TRUE(watched.isNull());
    EXPECT_TRUE(legend.isNull());
    EXPECT_TRUE(data->observers().isEmpty());
    data->append(T0, 1); // no series left to notify
}

} // namespace
