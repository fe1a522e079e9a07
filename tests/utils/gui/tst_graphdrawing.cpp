// What a line series draws must not depend on how its cache is made. The reference below converts
// every sample of the store one by one into one cache of the whole store, as the series did before
// it kept only the lines around the view and converted whole columns at once; both are drawn into
// the same widget at many zooms and pans, and the images must be equal pixel for pixel.
#include "graphtestsupport.h"

#include <QPainter>

#include <array>
#include <cmath>
#include <optional>
#include <random>

namespace {

class ReferenceLineSeries : public GraphSeries
{
public:
    ReferenceLineSeries(GraphVerticalAxis *axis, QSharedPointer<GraphSeriesData> data)
        : GraphSeries(axis, data)
    {}

    void rebuild() override
    {
        m_lines.clear();
        m_previous.reset();
        const double first = m_data->x()[0];
        m_referenceX = std::isfinite(first) ? first : 0.0;
        const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
        m_origin = QPointF(m_referenceX * horizontal->scale() + horizontal->intercept(),
                           m_valueAxis->intercept());
        const double scaleX = m_scaleX = horizontal->scale();
        const double scaleY = m_scaleY = m_valueAxis->scale();
        const auto column = [](double x) { return std::floor(x + 0.5); };
        const GraphSamples samples = m_data->samples();
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const QPointF sample = samples[i];
            if (sample.isNull() || !std::isfinite(sample.x()) || !std::isfinite(sample.y())) {
                m_previous.reset();
                continue;
            }
            const QPointF point((sample.x() - m_referenceX) * scaleX, sample.y() * scaleY);
            if (!m_previous) {
                m_lines.emplace_back(point, point);
            } else if (column(point.x() + m_origin.x()) != column(m_previous->x() + m_origin.x())) {
                m_lines.emplace_back(*m_previous, point);
            } else {
                QLineF *line = &m_lines.back();
                if (line->x1() != line->x2()) {
                    m_lines.emplace_back(line->p2(), line->p2());
                    line = &m_lines.back();
                }
                if (point.y() < std::min(line->y1(), line->y2())) {
                    if (line->y1() <= line->y2())
                        line->setP1(QPointF(line->x1(), point.y()));
                    else
                        line->setP2(QPointF(line->x2(), point.y()));
                } else if (point.y() > std::max(line->y1(), line->y2())) {
                    if (line->y1() >= line->y2())
                        line->setP1(QPointF(line->x1(), point.y()));
                    else
                        line->setP2(QPointF(line->x2(), point.y()));
                }
            }
            m_previous = point;
        }
    }

    void mappingChanged(bool translationOnly) override
    {
        const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
        if (translationOnly && horizontal->scale() == m_scaleX &&
            m_valueAxis->scale() == m_scaleY) {
            m_origin = QPointF(m_referenceX * horizontal->scale() + horizontal->intercept(),
                               m_valueAxis->intercept());
            return;
        }
        if (!m_widget->isLayoutPending())
            rebuild();
    }

    void paint(QPainter *painter, int) override
    {
        const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
        const double left = horizontal->rect().left() - m_origin.x();
        const double right = horizontal->rect().right() - m_origin.x();
        const auto first =
            std::lower_bound(m_lines.begin(), m_lines.end(), left,
                             [](const QLineF &line, double x) { return line.x2() < x; });
        const auto end =
            std::upper_bound(first, m_lines.end(), right,
                             [](double x, const QLineF &line) { return x < line.x1(); });
        if (end <= first)
            return;
        painter->translate(m_origin);
        painter->drawLines(&*first, int(end - first));
    }

private:
    std::vector<QLineF> m_lines;
    std::optional<QPointF> m_previous;
    double m_referenceX = 0;
    double m_scaleX = 0;
    double m_scaleY = 0;
    QPointF m_origin;
};

struct Graph
{
    explicit Graph(const QSharedPointer<GraphSeriesData> &data, bool reference)
    {
        widget.resize(900, 400);
        widget.setBackground(Qt::white);
        widget.legend()->setVisible(false);
        axis = new GraphVerticalAxis(&widget);
        axis->setInitialRange(20, 45);
        GraphSeries *series = reference
                                  ? static_cast<GraphSeries *>(new ReferenceLineSeries(axis, data))
                                  : new GraphLineSeries(axis, data);
        series->setColor(Qt::darkBlue);
        axis->setFollowNewest(false);
        widget.horizontalAxis()->setFollowNewest(false);
        widget.ensureLayout();
    }
    QImage show(double from, double to, double low, double high)
    {
        axis->setRange(low, high);
        widget.horizontalAxis()->setRange(from, to);
        return renderGraph(widget);
    }
    QImage pan(double by)
    {
        widget.horizontalAxis()->pan(by);
        return renderGraph(widget);
    }
    GraphWidget widget;
    GraphVerticalAxis *axis = nullptr;
};

// A day at one sample a second: a slow swing with noise, flat stretches, gaps of NaN, a single
// sample between two gaps, and a sparse hour at one sample a minute.
QSharedPointer<GraphSeriesData> dayOfSamples()
{
    auto data = QSharedPointer<GraphSeriesData>::create();
    std::mt19937 random(3);
    std::uniform_real_distribution<double> noise(-0.3, 0.3);
    double time = T0;
    for (int i = 0; i < 86400; ++i) {
        double value = 33 + 4 * std::sin(i / 2000.0) + noise(random);
        if (i % 5000 < 300)
            value = 35; // flat
        if (i % 7919 < 20 && i % 7919 != 10)
            value = qQNaN();
        data->append(time, value);
        time += i > 40000 && i < 43600 ? 60000 : 1000;
    }
    return data;
}

// Empty when the images are equal, else how many pixels differ and where the first one is.
std::string difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return "sizes differ";
    int differ = 0;
    QPoint first;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y) && differ++ == 0)
                first = QPoint(x, y);
        }
    }
    if (differ == 0)
        return std::string();
    if (qEnvironmentVariableIsSet("GRAPH_DRAWING_DUMP")) {
        a.save(qEnvironmentVariable("GRAPH_DRAWING_DUMP") + "-a.png");
        b.save(qEnvironmentVariable("GRAPH_DRAWING_DUMP") + "-b.png");
    }
    return std::to_string(differ) + " pixels differ, the first at " + std::to_string(first.x()) +
           "," + std::to_string(first.y());
}

using View = std::array<double, 4>; // seconds from T0 to seconds from T0, value range

class GraphDrawingTest : public ::testing::TestWithParam<View>
{};

TEST_P(GraphDrawingTest, EveryZoomDrawsAsEverySampleConvertedOneByOne)
{
    const QSharedPointer<GraphSeriesData> data = dayOfSamples();
    Graph today(data, true);
    Graph cached(data, false);
    const View view = GetParam();
    const double from = T0 + view[0] * 1000;
    const double to = T0 + view[1] * 1000;
    ASSERT_EQ(
        difference(cached.show(from, to, view[2], view[3]), today.show(from, to, view[2], view[3])),
        "");
    // Pans within the cache, beyond it, and back.
    const double span = to - from;
    for (double by : {span / 7, span * 1.5, -span * 3.3, span / 3})
        ASSERT_EQ(difference(cached.pan(by), today.pan(by)), "") << by;
}

INSTANTIATE_TEST_SUITE_P(Zooms, GraphDrawingTest,
                         ::testing::Values(View{-3600, 90000, 20, 45}, View{0, 86400, 28, 38},
                                           View{20000, 63200, 30, 40}, View{30000, 37200, 20, 45},
                                           View{39000, 44000, 20, 45}, View{50000, 53600, 31, 37},
                                           View{60000, 60600, 20, 45}, View{70000, 70060, 30, 40},
                                           View{86000, 90000, 20, 45}, View{-600, 600, 20, 45}));

TEST(GraphDrawing, AppendsExtendTheCacheAsConvertingAllAgainWould)
{
    // Live samples into a column the cache ended in, and into new columns.
    const QSharedPointer<GraphSeriesData> source = dayOfSamples();
    auto data = QSharedPointer<GraphSeriesData>::create();
    Graph cached(data, false);
    auto *series = qobject_cast<GraphLineSeries *>(cached.widget.series().first());
    series->setThrottle(0, 125);
    cached.show(T0 + 10000, T0 + 13600, 20, 45);
    const GraphSamples samples = source->samples();
    for (std::size_t i = 0; i < 14000; ++i)
        data->append(samples[i].x(), samples[i].y());
    series->timeout();
    const QImage appended = renderGraph(cached.widget);
    Graph today(data, true);
    EXPECT_EQ(difference(appended, today.show(T0 + 10000, T0 + 13600, 20, 45)), "");
}

} // namespace
