// The sample store behind one or more series: time-ordered samples (x in milliseconds since the
// epoch, y the value) with running statistics. Appending notifies every observing series; a series
// may let pending events run meanwhile, and those may delete series, so append through a shared
// pointer of your own (series->data()->append(...)) rather than through a bare reference.
//
// A week at one sample a second is 604 800 samples a line, so a sample is held small: the value
// as a 32-bit float (a relative precision of 6e-8, far below a pixel and below the one decimal a
// recording keeps), the time as a 64-bit double in a time column that stores appended in step may
// share. A store that shares a column appends its time only when it is the first to reach a row;
// one whose times part from the column's takes a copy of its own from then on.
#pragma once

#include <QList>
#include <QPointF>
#include <QSharedPointer>
#include <QtGlobal>

#include <memory>
#include <vector>

class GraphSeries;

// The times of a store, ascending, in milliseconds since the epoch.
using GraphTimeColumn = std::vector<double>;

// The samples of a store as points, read in place.
class GraphSamples
{
public:
    GraphSamples(const double *x, const float *y, std::size_t size)
        : m_x(x)
        , m_y(y)
        , m_size(size)
    {}
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    QPointF operator[](std::size_t i) const { return QPointF(m_x[i], double(m_y[i])); }
    QPointF front() const { return (*this)[0]; }
    QPointF back() const { return (*this)[m_size - 1]; }

    class const_iterator
    {
    public:
        const_iterator(const GraphSamples *samples, std::size_t i)
            : m_samples(samples)
            , m_i(i)
        {}
        QPointF operator*() const { return (*m_samples)[m_i]; }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator!=(const const_iterator &other) const { return m_i != other.m_i; }

    private:
        const GraphSamples *m_samples;
        std::size_t m_i;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, m_size); }

private:
    const double *m_x;
    const float *m_y;
    std::size_t m_size;
};

class GraphSeriesData
{
public:
    // A store with a time column of its own.
    GraphSeriesData();
    // A store appended in step with others on the same time column.
    explicit GraphSeriesData(const std::shared_ptr<GraphTimeColumn> &times);
    // A finished store: one value for each time of the column, taken over without a copy.
    GraphSeriesData(const std::shared_ptr<GraphTimeColumn> &times, std::vector<float> &&values);
    ~GraphSeriesData();

    void append(double x, double y);
    void reserve(std::size_t samples);

    GraphSamples samples() const { return GraphSamples(x(), y(), size()); }
    std::size_t size() const { return m_values.size(); }
    bool isEmpty() const { return m_values.empty(); }
    std::size_t capacity() const { return m_values.capacity(); }
    // The times and values, size() of each.
    const double *x() const { return m_times->data(); }
    const float *y() const { return m_values.data(); }
    std::shared_ptr<const GraphTimeColumn> timeColumn() const { return m_times; }
    // What the values and their block summaries hold and, when the time column is this store's
    // alone, the column too.
    std::size_t bytesHeld() const;
    bool sharesTimeColumn() const { return m_times.use_count() > 1; }

    // The values summarized by blocks of BlockSize samples (the last block may be partial): their
    // extremes over the valid samples, and whether any sample is no point to draw (a NaN or
    // infinite value, or the null point). A column of thousands of samples is drawn from these.
    static constexpr std::size_t BlockSize = 64;
    struct Block
    {
        float minimum;
        float maximum;
        bool gap;
    };
    const Block *blocks() const { return m_blocks.data(); }

    // The index of the first sample whose time is not less than x (size() when there is none).
    std::size_t lowerBound(double x) const;

    // Statistics over the appended y values that are not NaN; NaN while there are none.
    qint64 count() const { return m_count; }
    double mean() const { return m_mean; }
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    double last() const { return m_last; }

    // The y at x, interpolated linearly between the two samples around it; NaN outside the
    // samples. Expects the samples in ascending x.
    double valueAt(double x) const;

    void addObserver(GraphSeries *series);
    void removeObserver(GraphSeries *series);
    QList<GraphSeries *> observers() const { return m_observers; }

private:
    Q_DISABLE_COPY(GraphSeriesData)

    void count(double y);
    void appendTime(double x);
    void summarize(std::size_t i);

    std::shared_ptr<GraphTimeColumn> m_times;
    std::vector<float> m_values;
    std::vector<Block> m_blocks;
    qint64 m_count = 0;
    double m_mean;
    double m_minimum;
    double m_maximum;
    double m_last;
    QList<GraphSeries *> m_observers;
};
