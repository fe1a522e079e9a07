#include "graphtestsupport.h"

#include <QTest>
#include <QTimer>

#include <cmath>
#include <random>

namespace {

class GraphLineSeriesTest : public GraphFixture
{
protected:
    double pixelX(double x) { return x * horizontal()->scale() + horizontal()->intercept(); }
    // The pixel an antialiased one-pixel line at a painter coordinate mostly covers: pixel i spans
    // the coordinates i to i + 1, so rounding would miss it by one at half-pixel positions.
    static int pixelAt(double coordinate) { return int(std::floor(coordinate)); }
    int rowOf(double value) { return pixelAt(value * axis->scale() + axis->intercept()); }
};

TEST_F(GraphLineSeriesTest, TenSamplesInOneColumnMakeOneVerticalStretch)
{
    GraphLineSeries *series = blueSeries();
    const double values[] = {40, 55, 35, 60, 45, 50, 38, 58, 42, 52};
    for (int i = 0; i < 10; ++i)
        series->data()->append(T0 + 50000 + i, values[i]);

    ASSERT_EQ(series->lines().size(), 1u);
    const QLineF line = series->lines().front().translated(series->origin());
    EXPECT_DOUBLE_EQ(line.x1(), line.x2());
    EXPECT_NEAR(std::min(line.y1(), line.y2()), axis->mapToPixel(60), 0.5);
    EXPECT_NEAR(std::max(line.y1(), line.y2()), axis->mapToPixel(35), 0.5);

    const QImage image = renderGraph(widget);
    const int x = pixelAt(line.x1());
    for (int y = axis->mapToPixel(60) + 1; y < axis->mapToPixel(35); ++y)
        ASSERT_TRUE(isBlue(image.pixel(x, y))) << y;
    EXPECT_FALSE(isBlue(image.pixel(x, axis->mapToPixel(60) - 4)));
    EXPECT_FALSE(isBlue(image.pixel(x, axis->mapToPixel(35) + 4)));
    EXPECT_FALSE(isBlue(image.pixel(x + 4, axis->mapToPixel(50))));
}

TEST_F(GraphLineSeriesTest, ColumnAfterAConnectorGetsItsOwnStretch)
{
    GraphLineSeries *series = blueSeries();
    series->data()->append(T0 + 10000, 50);
    series->data()->append(T0 + 30000, 20); // a new column: connector
    series->data()->append(T0 + 30001, 80); // same column: stretch from the connector's end
    series->data()->append(T0 + 30002, 30);
    ASSERT_EQ(series->lines().size(), 3u);
    const QLineF connector = series->lines()[1].translated(series->origin());
    const QLineF stretch = series->lines()[2].translated(series->origin());
    EXPECT_NEAR(connector.y2(), axis->mapToPixel(20), 0.5); // still ends at the first sample
    EXPECT_DOUBLE_EQ(stretch.x1(), connector.x2());
    EXPECT_NEAR(std::min(stretch.y1(), stretch.y2()), axis->mapToPixel(80), 0.5);
    EXPECT_NEAR(std::max(stretch.y1(), stretch.y2()), axis->mapToPixel(20), 0.5);
}

TEST_F(GraphLineSeriesTest, LinesAreBoundedByThePlotWidthNotBySamples)
{
    GraphLineSeries *series = blueSeries();
    auto data = series->data();
    series->setThrottle(3600000, 125); // convert once at the end
    for (int i = 0; i < 100000; ++i)
        data->append(T0 + i, 50 + 40 * std::sin(i * 0.01));
    series->timeout();
    EXPECT_EQ(series->convertedCount(), 100000u);
    EXPECT_LE(series->lines().size(), std::size_t(2 * horizontal()->rect().width() + 2));
    EXPECT_GE(series->lines().size(), std::size_t(horizontal()->rect().width() - 2));
}

TEST_F(GraphLineSeriesTest, NaNSampleBreaksTheLine)
{
    const int y = rowOf(50);
    auto rowHasBlueBetween = [&](const QImage &image) {
        const int from = qRound(pixelX(T0 + 20000)) + 5;
        const int to = qRound(pixelX(T0 + 80000)) - 5;
        for (int x = from; x <= to; ++x) {
            if (isBlue(image.pixel(x, y)))
                return true;
        }
        return false;
    };

    GraphLineSeries *joined = blueSeries();
    joined->data()->append(T0 + 20000, 50);
    joined->data()->append(T0 + 80000, 50);
    EXPECT_TRUE(rowHasBlueBetween(renderGraph(widget)));
    delete joined;

    GraphLineSeries *broken = blueSeries();
    broken->data()->append(T0 + 20000, 50);
    broken->data()->append(T0 + 50000, std::nan(""));
    broken->data()->append(T0 + 80000, 50);
    ASSERT_EQ(broken->lines().size(), 2u);
    for (const QLineF &line : broken->lines())
        EXPECT_EQ(line.length(), 0.0);
    EXPECT_FALSE(rowHasBlueBetween(renderGraph(widget)));
}

TEST_F(GraphLineSeriesTest, LeadingNaNStillDrawsTheValuesAfterIt)
{
    GraphLineSeries *series = blueSeries();
    series->data()->append(T0 + 10000, std::nan(""));
    series->data()->append(T0 + 20000, 50);
    series->data()->append(T0 + 60000, 50);
    ASSERT_EQ(series->lines().size(), 2u);
    EXPECT_TRUE(std::isfinite(series->origin().y()));
    const QImage image = renderGraph(widget);
    EXPECT_TRUE(isBlue(image.pixel(pixelAt(pixelX(T0 + 40000)), rowOf(50))));
}

TEST_F(GraphLineSeriesTest, PanReusesTheCacheAndMatchesAFullRebuild)
{
    auto *series = new GraphLineSeries(axis);
    widget.ensureLayout();
    const int rebuilds = series->rebuildCount();
    for (int i = 0; i < 2000; ++i)
        series->data()->append(T0 + 50 * i, 50 + 30 * std::sin(i * 0.05));
    series->timeout();
    ASSERT_EQ(series->convertedCount(), 2000u);
    const std::vector<QLineF> before = series->lines();
    const QPointF origin = series->origin();
    const QLineF *storage = series->lines().data();

    const double pixels = 37; // whole pixels keep the column boundaries where they were
    horizontal()->pan(-pixels / horizontal()->scale());
    axis->pan(-10);
    EXPECT_EQ(series->rebuildCount(), rebuilds);
    EXPECT_EQ(series->lines().data(), storage);
    EXPECT_EQ(series->lines(), before);
    EXPECT_NEAR(series->origin().x(), origin.x() + pixels, 1e-6);
    EXPECT_NEAR(series->origin().y(), origin.y() + 10 * axis->scale(), 1e-6);

    series->rebuild();
    ASSERT_EQ(series->lines().size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(series->lines()[i], before[i]) << i;
}

TEST_F(GraphLineSeriesTest, PansByAnyDistanceOnEitherAxisKeepTheCache)
{
    // Follow-newest and the operator pan by arbitrary distances, and value ranges straddle zero;
    // the shifted range ends then round differently, which must not count as a rescale.
    auto *series = new GraphLineSeries(axis);
    widget.ensureLayout();
    for (int i = 0; i < 500; ++i)
        series->data()->append(T0 + 200 * i, 50 + 30 * std::sin(i * 0.05));
    series->timeout();
    int rebuilds = series->rebuildCount();
    const double scaleX = horizontal()->scale();
    const double scaleY = axis->scale();

    std::mt19937 random(7);
    std::uniform_real_distribution<double> time(-5000, 5000), value(-3, 3);
    for (int i = 0; i < 300; ++i) {
        horizontal()->pan(time(random));
        axis->pan(value(random));
    }
    EXPECT_EQ(series->rebuildCount(), rebuilds);
    EXPECT_EQ(horizontal()->scale(), scaleX);
    EXPECT_EQ(axis->scale(), scaleY);

    // Values that keep leaving the range make the value axis follow them, by pans as well.
    series->setThrottle(0, 125);
    axis->setRange(-0.3, 0.7);
    horizontal()->setRange(T0, T0 + 100000);
    rebuilds = series->rebuildCount();
    for (int i = 0; i < 200; ++i)
        series->data()->append(T0 + 100000 + 10 * i, (i % 2 ? 1 : -1) * (1 + 0.013 * i));
    EXPECT_EQ(series->rebuildCount(), rebuilds);
    EXPECT_GT(axis->maximum(), 3.5); // it did follow
}

TEST_F(GraphLineSeriesTest, FullMappingChangeRebuildsTheCache)
{
    GraphLineSeries *series = blueSeries();
    series->data()->append(T0 + 10000, 10);
    series->data()->append(T0 + 90000, 90);
    const QLineF before = series->lines()[1];
    horizontal()->setRange(T0, T0 + 200000);
    EXPECT_NEAR(series->lines()[1].dx(), before.dx() / 2, 0.01);
}

TEST_F(GraphLineSeriesTest, AFineZoomCachesOnlyTheLinesAroundTheView)
{
    // 20 000 samples over 2000 s: shown 10 s wide, a cache of every sample would hold a line a
    // sample; it holds those of the view and a view's width on either side, and a pan beyond
    // that builds it anew around the new view. Shown whole, about two lines a column.
    auto data = QSharedPointer<GraphSeriesData>::create();
    for (int i = 0; i < 20000; ++i)
        data->append(T0 + 100 * i, 50 + 30 * std::sin(i * 0.3));
    GraphLineSeries *series = blueSeries(data);
    horizontal()->setRange(T0 + 1000000, T0 + 1010000);
    EXPECT_LE(series->lines().size(), 3 * 100u + 8);
    EXPECT_GE(series->lines().size(), 3 * 100u - 8);
    EXPECT_GT(series->firstCachedSample(), 0u);
    EXPECT_LT(series->convertedCount(), 20000u);

    const int recenters = series->recenterCount();
    horizontal()->pan(5000);
    renderGraph(widget);
    EXPECT_EQ(series->recenterCount(), recenters);
    horizontal()->pan(20000);
    renderGraph(widget);
    EXPECT_EQ(series->recenterCount(), recenters + 1);
    EXPECT_LT(data->x()[series->firstCachedSample()], horizontal()->minimum());
    EXPECT_GT(data->x()[series->convertedCount() - 1], horizontal()->maximum());

    horizontal()->setRange(T0, T0 + 2000000);
    EXPECT_EQ(series->firstCachedSample(), 0u);
    EXPECT_EQ(series->convertedCount(), 20000u);
    EXPECT_LE(series->lines().size(), std::size_t(2 * horizontal()->rect().width() + 4));
}

TEST_F(GraphLineSeriesTest, PaintDrawsOnlyTheLinesInsideTheTimeAxis)
{
    GraphLineSeries *series = blueSeries();
    for (int i = 0; i <= 100; ++i)
        series->data()->append(T0 + 1000 * i, 50 + (i % 2) * 20);
    const int total = int(series->lines().size());
    // Narrow the view through pans and full changes alike, then check the drawn window.
    horizontal()->setRange(T0 + 40000, T0 + 60000);
    renderGraph(widget);
    const int first = series->firstVisibleLine();
    const int count = series->visibleLineCount();
    EXPECT_GT(count, 0);
    EXPECT_LT(count, total / 2);
    const double left = horizontal()->rect().left() - series->origin().x();
    const double right = horizontal()->rect().right() - series->origin().x();
    EXPECT_GE(series->lines()[first].x2(), left);
    if (first > 0) {
        EXPECT_LT(series->lines()[first - 1].x2(), left);
    }
    EXPECT_LE(series->lines()[first + count - 1].x1(), right);
    if (first + count < total) {
        EXPECT_GT(series->lines()[first + count].x1(), right);
    }
}

TEST_F(GraphLineSeriesTest, FollowNewestMovesTheTimeAxisToTheLastSample)
{
    GraphLineSeries *series = blueSeries();
    series->data()->append(T0 + 100000 + 5000, 50);
    EXPECT_DOUBLE_EQ(horizontal()->maximum(), T0 + 105000);
    EXPECT_DOUBLE_EQ(horizontal()->minimum(), T0 + 5000);

    horizontal()->setFollowNewest(false);
    series->data()->append(T0 + 200000, 50);
    EXPECT_DOUBLE_EQ(horizontal()->maximum(), T0 + 105000);
}

TEST_F(GraphLineSeriesTest, FollowNewestKeepsTheLastValueInsideTheValueAxis)
{
    GraphLineSeries *series = blueSeries();
    axis->setRange(0, 10);
    series->data()->append(T0 + 1000, 20);
    EXPECT_DOUBLE_EQ(axis->maximum(), 21);
    EXPECT_DOUBLE_EQ(axis->minimum(), 11);

    series->data()->append(T0 + 2000, -5);
    EXPECT_DOUBLE_EQ(axis->minimum(), -6);
    EXPECT_DOUBLE_EQ(axis->maximum(), 4);

    series->data()->append(T0 + 3000, std::nan(""));
    EXPECT_DOUBLE_EQ(axis->minimum(), -6);

    axis->setFollowNewest(false);
    series->data()->append(T0 + 4000, 100);
    EXPECT_DOUBLE_EQ(axis->maximum(), 4);
}

TEST_F(GraphLineSeriesTest, FollowNewestWaitsWhileTheOperatorDragsTheAxis)
{
    GraphLineSeries *series = blueSeries();
    const QPoint onAxis = horizontal()->rect().center();
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, onAxis);
    series->data()->append(T0 + 150000, 50);
    EXPECT_DOUBLE_EQ(horizontal()->maximum(), T0 + 100000);
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, onAxis);
    series->data()->append(T0 + 160000, 50);
    EXPECT_DOUBLE_EQ(horizontal()->maximum(), T0 + 160000);
}

TEST_F(GraphLineSeriesTest, AppendsWithinTheIntervalWaitForTheTimer)
{
    GraphLineSeries *series = blueSeries();
    series->setThrottle(3600000, 125);
    series->data()->append(T0 + 1000, 10); // the first append converts at once
    EXPECT_EQ(series->convertedCount(), 1u);
    series->data()->append(T0 + 2000, 20);
    series->data()->append(T0 + 3000, 30);
    EXPECT_EQ(series->convertedCount(), 1u);
    series->timeout();
    EXPECT_EQ(series->convertedCount(), 3u);
    EXPECT_EQ(series->lines().size(), 3u);
}

TEST_F(GraphLineSeriesTest, OnlyAFloodOfSamplesMakesAnAppendProcessEvents)
{
    // Eight lines that each processed events at every append would repaint the window eight
    // times per sample.
    GraphLineSeries *series = blueSeries();
    series->setThrottle(0, 125);
    int delivered = 0;
    QTimer::singleShot(0, [&] { ++delivered; });
    series->data()->append(T0 + 1000, 10);
    EXPECT_EQ(series->convertedCount(), 1u);
    series->timeout(); // a second later the timer has long fired
    series->data()->append(T0 + 2000, 20);
    EXPECT_EQ(series->convertedCount(), 2u);
    EXPECT_EQ(delivered, 0);
    // Right after a conversion the timer still runs: a flood, and the window gets its turn.
    series->data()->append(T0 + 3000, 30);
    EXPECT_EQ(series->convertedCount(), 3u);
    EXPECT_EQ(delivered, 1);
}

TEST_F(GraphLineSeriesTest, EmptyStoreDrawsNothingAndClearLinesEmptiesTheCache)
{
    GraphLineSeries *series = blueSeries();
    const QImage image = renderGraph(widget);
    EXPECT_EQ(series->visibleLineCount(), 0);
    for (int x = plot().left() + 2; x < plot().right() - 1; x += 3)
        ASSERT_FALSE(isBlue(image.pixel(x, plot().center().y())));

    series->data()->append(T0 + 1000, 10);
    series->data()->append(T0 + 9000, 10);
    EXPECT_EQ(series->lines().size(), 2u);
    series->clearLines();
    EXPECT_TRUE(series->lines().empty());
    series->rebuild();
    EXPECT_EQ(series->lines().size(), 2u);
}

} // namespace
