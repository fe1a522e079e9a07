#include "utils/gui/graphseriesdata.h"

#include "utils/gui/graphseries.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t SampleStep = 4096;

bool nearlyEqual(double a, double b)
{
    return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
}

} // namespace

GraphSeriesData::GraphSeriesData()
    : m_mean(qQNaN())
    , m_minimum(qQNaN())
    , m_maximum(qQNaN())
    , m_last(qQNaN())
{
    m_samples.reserve(SampleStep);
}

GraphSeriesData::~GraphSeriesData() = default;

void GraphSeriesData::reserve(std::size_t samples)
{
    m_samples.reserve(samples);
}

void GraphSeriesData::append(double x, double y)
{
    // Fixed steps keep at most one step of unused room per store, which matters more over a
    // recording of days than the copy every 4096 samples (a few milliseconds an hour at 1 Hz).
    if (m_samples.size() == m_samples.capacity())
        m_samples.reserve(m_samples.capacity() + SampleStep);
    m_samples.emplace_back(x, y);

    if (!std::isnan(y)) {
        ++m_count;
        if (m_count == 1) {
            m_mean = m_minimum = m_maximum = y;
        } else {
            m_minimum = std::min(m_minimum, y);
            m_maximum = std::max(m_maximum, y);
            const double n = double(m_count);
            m_mean = (m_mean * (n - 1) + y) / n;
        }
        m_last = y;
    }

    // A series may let events run while it converts (see GraphLineSeries::dataAppended), and such
    // an event may delete series. Walk a snapshot and skip those that are gone meanwhile.
    const QList<GraphSeries *> observers = m_observers;
    for (GraphSeries *series : observers) {
        if (m_observers.contains(series))
            series->dataAppended();
    }
}

double GraphSeriesData::valueAt(double x) const
{
    const auto it = std::lower_bound(m_samples.begin(), m_samples.end(), x,
                                     [](const QPointF &p, double t) { return p.x() < t; });
    if (it == m_samples.end())
        return qQNaN();
    if (nearlyEqual(it->x(), x))
        return it->y();
    if (it == m_samples.begin())
        return qQNaN();
    const QPointF &before = *(it - 1);
    const QPointF &after = *it;
    if (nearlyEqual(before.x(), after.x()))
        return qQNaN();
    const double f = (x - before.x()) / (after.x() - before.x());
    return before.y() + f * (after.y() - before.y());
}

void GraphSeriesData::addObserver(GraphSeries *series)
{
    if (!m_observers.contains(series))
        m_observers.append(series);
}

void GraphSeriesData::removeObserver(GraphSeries *series)
{
    m_observers.removeAll(series);
}
