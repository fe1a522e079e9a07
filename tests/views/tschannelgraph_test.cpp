// The tile's graph: a one-hour window of wall-clock time that follows the newest sample.
#include "device/devicespec.h"
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "views/tschannelgraph.h"

#include <QDateTime>
#include <QTest>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

class TsChannelGraphTest : public ::testing::Test
{
protected:
    TsChannelGraphTest()
    {
        now = QDateTime(QDate(2026, 3, 2), QTime(10, 0)).toMSecsSinceEpoch();
        TsChannelGraph::setWallClock([this] { return now; });
    }
    ~TsChannelGraphTest() override { TsChannelGraph::setWallClock({}); }
    qint64 at(int h, int m, int s) const
    {
        return QDateTime(QDate(2026, 3, 2), QTime(h, m, s)).toMSecsSinceEpoch();
    }
    qint64 now = 0;
};

TEST_F(TsChannelGraphTest, ShowsTheHourFromItsCreationAndFollowsTheNewestSample)
{
    TsChannelGraph graph;
    graph.resize(140, 50);
    graph.lineSeries()->setThrottle(0, 0);
    graph.ensureLayout();
    GraphHorizontalAxis *time = graph.horizontalAxis();
    EXPECT_DOUBLE_EQ(time->minimum(), double(at(10, 0, 0)));
    EXPECT_DOUBLE_EQ(time->maximum(), double(at(11, 0, 0)));
    EXPECT_FALSE(graph.isInteractive());
    EXPECT_FALSE(time->areLabelsShown());

    now = at(10, 30, 0);
    graph.addSample(37.0);
    EXPECT_DOUBLE_EQ(time->maximum(), double(at(11, 0, 0)));
    now = at(11, 0, 5);
    graph.addSample(37.1);
    EXPECT_DOUBLE_EQ(time->maximum(), double(at(11, 0, 5)));
    EXPECT_DOUBLE_EQ(time->maximum() - time->minimum(), double(TsChannelGraph::WindowMs));
}

TEST_F(TsChannelGraphTest, TakesTheAxisRangeAndTheSetpointLineAndLeavesGapsForNaN)
{
    TsChannelGraph graph;
    graph.resize(140, 50);
    graph.lineSeries()->setThrottle(0, 0);
    graph.ensureLayout();
    GraphVerticalAxis *values = graph.valueAxis();
    graph.setAxisRange(nullptr);
    EXPECT_DOUBLE_EQ(values->minimum(), -10.0);
    GraphAxisSpec temperature;
    temperature.min = 19;
    temperature.max = 43;
    graph.setAxisRange(&temperature);
    EXPECT_DOUBLE_EQ(values->minimum(), 19.0);
    EXPECT_DOUBLE_EQ(values->maximum(), 43.0);

    graph.setSetpointMarker(37.0);
    EXPECT_TRUE(values->isMarkerVisible());
    EXPECT_DOUBLE_EQ(values->markerValue(), 37.0);
    graph.setSetpointMarker(NaN);
    EXPECT_FALSE(values->isMarkerVisible());

    // Far apart, so that each sample has a pixel column of its own.
    graph.addSample(30.0);
    now += 20 * 60 * 1000;
    graph.addSample(NaN);
    now += 20 * 60 * 1000;
    graph.addSample(32.0);
    ASSERT_EQ(graph.lineSeries()->data()->size(), 3u);
    EXPECT_TRUE(std::isnan(graph.lineSeries()->data()->samples()[1].y()));
    // Two zero-length runs: nothing joins the samples on either side of the gap.
    for (const QLineF &line : graph.lineSeries()->lines())
        EXPECT_EQ(line.length(), 0.0);
}

} // namespace

TEST_F(TsChannelGraphTest, KeepsOnlyWhatItsWindowCanShowForAsLongAsItRuns)
{
    TsChannelGraph graph;
    graph.resize(140, 50);
    graph.lineSeries()->setThrottle(0, 0);
    graph.ensureLayout();
    // A day of the tile's 5-second samples.
    const qint64 start = now;
    for (int i = 0; i < 24 * 720; ++i) {
        now = start + qint64(i) * 5000;
        graph.addSample(36.0 + (i % 2));
        ASSERT_LE(graph.lineSeries()->data()->size(), 2u * 720u + 2u) << "at sample " << i;
    }
    const GraphSamples kept = graph.lineSeries()->data()->samples();
    EXPECT_DOUBLE_EQ(kept.back().x(), double(now));
    EXPECT_LE(kept.front().x(), double(now - TsChannelGraph::WindowMs))
        << "the line still enters at the window's left edge";
    EXPECT_EQ(graph.lineSeries()->throttleInterval(), 0) << "the new store's series kept its pace";
    GraphHorizontalAxis *time = graph.horizontalAxis();
    EXPECT_DOUBLE_EQ(time->maximum(), double(now));
    // Drawn as a graph that only ever saw the last hour draws it.
    const qint64 end = now;
    now = end - TsChannelGraph::WindowMs - 5000;
    TsChannelGraph fresh;
    fresh.resize(140, 50);
    fresh.lineSeries()->setThrottle(0, 0);
    fresh.ensureLayout();
    for (qint64 t = now; t <= end; t += 5000) {
        now = t;
        fresh.addSample(36.0 + ((t - start) / 5000 % 2));
    }
    graph.grab(); // paints
    fresh.grab();
    EXPECT_GT(graph.lineSeries()->visibleLineCount(), 100);
    EXPECT_EQ(graph.lineSeries()->visibleLineCount(), fresh.lineSeries()->visibleLineCount());
}
