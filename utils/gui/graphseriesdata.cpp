#include "utils/gui/graphseriesdata.h"

#include "utils/gui/graphseries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::size_t SampleStep = 4096;

bool nearlyEqual(double a, double b)
{
    return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
}

// Fixed steps keep at most one step of unused room per store, which matters more over a
// recording of days than the copy every 4096 samples (a few milliseconds an hour at 1 Hz).
template <typename T>
void growByStep(std::vector<T> &column)
{
    if (column.size() == column.capacity())
        column.reserve(column.capacity() + SampleStep);
}

} // namespace

GraphSeriesData::GraphSeriesData()
    : GraphSeriesData(std::shared_ptr<GraphTimeColumn>())
{}

GraphSeriesData::GraphSeriesData(const std::shared_ptr<GraphTimeColumn> &times)
    : m_times(times ? times : std::make_shared<GraphTimeColumn>())
    , m_mean(qQNaN())
    , m_minimum(qQNaN())
    , m_maximum(qQNaN())
    , m_last(qQNaN())
{
    m_values.reserve(SampleStep);
    if (m_times->capacity() < SampleStep)
        m_times->reserve(SampleStep);
}

GraphSeriesData::GraphSeriesData(const std::shared_ptr<GraphTimeColumn> &times,
                                 std::vector<float> &&values)
    : m_times(times ? times : std::make_shared<GraphTimeColumn>())
    , m_values(std::move(values))
    , m_mean(qQNaN())
    , m_minimum(qQNaN())
    , m_maximum(qQNaN())
    , m_last(qQNaN())
{
    // A column shorter than the values would leave samples without a time.
    if (m_values.size() > m_times->size())
        m_values.resize(m_times->size());
    // One pass without a division a value: a week of many lines is taken over at once.
    double sum = 0;
    double minimum = qInf();
    double maximum = -qInf();
    for (float y : m_values) {
        if (std::isnan(y))
            continue;
        ++m_count;
        sum += double(y);
        minimum = std::min(minimum, double(y));
        maximum = std::max(maximum, double(y));
        m_last = double(y);
    }
    if (m_count > 0) {
        m_mean = sum / double(m_count);
        m_minimum = minimum;
        m_maximum = maximum;
    }
    m_blocks.reserve((m_values.size() + BlockSize - 1) / BlockSize);
    for (std::size_t i = 0; i < m_values.size(); ++i)
        summarize(i);
}

GraphSeriesData::~GraphSeriesData() = default;

void GraphSeriesData::reserve(std::size_t samples)
{
    m_values.reserve(samples);
    if (m_times->capacity() < samples)
        m_times->reserve(samples);
}

std::size_t GraphSeriesData::bytesHeld() const
{
    std::size_t bytes = m_values.capacity() * sizeof(float) + m_blocks.capacity() * sizeof(Block);
    if (m_times.use_count() == 1)
        bytes += m_times->capacity() * sizeof(double);
    return bytes;
}

void GraphSeriesData::appendTime(double x)
{
    const std::size_t n = m_values.size();
    if (n == m_times->size()) {
        // The first store to reach this row, or the only one.
        growByStep(*m_times);
        m_times->push_back(x);
        return;
    }
    const double shared = (*m_times)[n];
    if (shared == x || (std::isnan(shared) && std::isnan(x)))
        return;
    // This store's times part from the others': from now on it keeps a column of its own.
    auto own = std::make_shared<GraphTimeColumn>();
    own->reserve((n / SampleStep + 1) * SampleStep);
    own->assign(m_times->begin(), m_times->begin() + std::ptrdiff_t(n));
    own->push_back(x);
    m_times = own;
}

void GraphSeriesData::summarize(std::size_t i)
{
    if (i % BlockSize == 0) {
        if (m_blocks.size() == m_blocks.capacity())
            m_blocks.reserve(m_blocks.capacity() + SampleStep / BlockSize);
        m_blocks.push_back(Block{std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(), false});
    }
    Block &block = m_blocks.back();
    const float y = m_values[i];
    if (!std::isfinite(y) || (y == 0 && (*m_times)[i] == 0)) {
        block.gap = true;
        return;
    }
    block.minimum = std::min(block.minimum, y);
    block.maximum = std::max(block.maximum, y);
}

void GraphSeriesData::count(double y)
{
    if (std::isnan(y))
        return;
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

void GraphSeriesData::append(double x, double y)
{
    appendTime(x);
    growByStep(m_values);
    m_values.push_back(float(y));
    summarize(m_values.size() - 1);
    // Over the values as given: the statistics lose nothing to the narrower store.
    count(y);

    // A series may let events run while it converts (see GraphLineSeries::dataAppended), and such
    // an event may delete series. Walk a snapshot and skip those that are gone meanwhile.
    const QList<GraphSeries *> observers = m_observers;
    for (GraphSeries *series : observers) {
        if (m_observers.contains(series))
            series->dataAppended();
    }
}

std::size_t GraphSeriesData::lowerBound(double x) const
{
    const double *begin = m_times->data();
    return std::size_t(std::lower_bound(begin, begin + size(), x) - begin);
}

double GraphSeriesData::valueAt(double x) const
{
    const std::size_t i = lowerBound(x);
    if (i == size())
        return qQNaN();
    const double *times = m_times->data();
    if (nearlyEqual(times[i], x))
        return double(m_values[i]);
    if (i == 0)
        return qQNaN();
    const double before = times[i - 1];
    const double after = times[i];
    if (nearlyEqual(before, after))
        return qQNaN();
    const double f = (x - before) / (after - before);
    const double from = double(m_values[i - 1]);
    return from + f * (double(m_values[i]) - from);
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
