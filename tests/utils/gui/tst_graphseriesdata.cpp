#include "graphtestsupport.h"

#include <QPointer>

#include <cmath>

namespace {

TEST(GraphSeriesDataTest, StatisticsSkipNaNValues)
{
    GraphSeriesData data;
    EXPECT_EQ(data.count(), 0);
    EXPECT_TRUE(std::isnan(data.mean()));
    EXPECT_TRUE(std::isnan(data.minimum()));
    EXPECT_TRUE(std::isnan(data.last()));

    data.append(T0, std::nan(""));
    EXPECT_EQ(data.count(), 0);
    EXPECT_TRUE(std::isnan(data.mean()));

    data.append(T0 + 1000, 4);
    data.append(T0 + 2000, -2);
    data.append(T0 + 3000, std::nan(""));
    data.append(T0 + 4000, 10);
    EXPECT_EQ(data.size(), 5u);
    EXPECT_EQ(data.count(), 3);
    EXPECT_DOUBLE_EQ(data.mean(), 4);
    EXPECT_EQ(data.minimum(), -2);
    EXPECT_EQ(data.maximum(), 10);
    EXPECT_EQ(data.last(), 10);
    data.append(T0 + 5000, std::nan(""));
    EXPECT_EQ(data.last(), 10);
}

TEST(GraphSeriesDataTest, ValueAtInterpolatesBetweenNeighbours)
{
    GraphSeriesData data;
    data.append(T0, 20.0);
    data.append(T0 + 10000, 30.0);
    data.append(T0 + 20000, 10.0);
    EXPECT_DOUBLE_EQ(data.valueAt(T0 + 2500), 22.5);
    EXPECT_DOUBLE_EQ(data.valueAt(T0 + 15000), 20.0);
    EXPECT_DOUBLE_EQ(data.valueAt(T0), 20.0);
    EXPECT_DOUBLE_EQ(data.valueAt(T0 + 10000), 30.0);
    EXPECT_DOUBLE_EQ(data.valueAt(T0 + 20000), 10.0);
    // Times match within a relative 1e-12, about 1.7 ms at these times.
    EXPECT_DOUBLE_EQ(data.valueAt(T0 - 1), 20.0);
    EXPECT_TRUE(std::isnan(data.valueAt(T0 - 1000)));
    EXPECT_TRUE(std::isnan(data.valueAt(T0 + 21000)));
}

TEST(GraphSeriesDataTest, ValueAtHandlesGapsDuplicatesAndAnEmptyStore)
{
    GraphSeriesData empty;
    EXPECT_TRUE(std::isnan(empty.valueAt(T0)));

    GraphSeriesData data;
    data.append(T0, 1.0);
    data.append(T0 + 1000, std::nan(""));
    data.append(T0 + 2000, 3.0);
    data.append(T0 + 2000, 5.0);
    data.append(T0 + 3000, 7.0);
    EXPECT_TRUE(std::isnan(data.valueAt(T0 + 500))); // next to a gap
    EXPECT_DOUBLE_EQ(data.valueAt(T0 + 2000), 3.0);  // the first of equal times
    EXPECT_DOUBLE_EQ(data.valueAt(T0 + 2500), 6.0);
}

TEST(GraphSeriesDataTest, ValueAtInterpolatesNextToTimeZero)
{
    // Relative tolerances degenerate at zero; a series that starts at time 0 still interpolates.
    GraphSeriesData data;
    data.append(0, 0.0);
    data.append(10, 10.0);
    EXPECT_DOUBLE_EQ(data.valueAt(5), 5.0);
    EXPECT_DOUBLE_EQ(data.valueAt(0), 0.0);
}

class GraphSeriesDataObserverTest : public GraphFixture
{};

TEST_F(GraphSeriesDataObserverTest, SharedStoreFeedsEverySeriesUntilOneIsDeleted)
{
    auto data = QSharedPointer<GraphSeriesData>::create();
    GraphLineSeries *first = blueSeries(data);
    GraphLineSeries *second = blueSeries(data);
    EXPECT_EQ(data->observers().size(), 2);
    data->append(T0 + 1000, 50);
    EXPECT_EQ(first->convertedCount(), 1u);
    EXPECT_EQ(second->convertedCount(), 1u);

    delete first;
    EXPECT_EQ(data->observers().size(), 1);
    EXPECT_EQ(widget.series().size(), 1);
    data->append(T0 + 2000, 60);
    EXPECT_EQ(second->convertedCount(), 2u);
}

TEST_F(GraphSeriesDataObserverTest, EventsThatDeleteSeriesDuringAnAppendAreSurvived)
{
    // Samples flood in: the first series converts at once and lets pending events run; they
    // delete both series, the one still to be told and the one that is telling.
    auto data = QSharedPointer<GraphSeriesData>::create();
    QPointer<GraphLineSeries> first = blueSeries(data);
    QPointer<GraphLineSeries> second = blueSeries(data);
    data->append(T0, 40);
    QMetaObject::invokeMethod(
        &widget, [&] { delete second.data(); }, Qt::QueuedConnection);
    data->append(T0 + 1000, 50);
    EXPECT_TRUE(second.isNull());
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first->convertedCount(), 2u);

    QMetaObject::invokeMethod(
        &widget, [&] { delete first.data(); }, Qt::QueuedConnection);
    data->append(T0 + 2000, 60);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(data->observers().isEmpty());
    EXPECT_TRUE(widget.series().isEmpty());
    data->append(T0 + 3000, 70);
    EXPECT_EQ(data->size(), 4u);
}

TEST(GraphSeriesDataTest, StoreGrowsInStepsAndKeepsEverySample)
{
    GraphSeriesData data;
    EXPECT_GE(data.capacity(), 4096u);
    for (int i = 0; i < 20000; ++i)
        data.append(T0 + i, i);
    ASSERT_EQ(data.size(), 20000u);
    // Fixed steps: never more than one step of unused room, whatever the length.
    EXPECT_EQ(data.capacity() % 4096, 0u);
    EXPECT_LT(data.capacity() - data.size(), 4096u);
    EXPECT_EQ(data.samples()[12345].y(), 12345);
    EXPECT_EQ(data.samples().back().x(), T0 + 19999);
}

} // namespace
