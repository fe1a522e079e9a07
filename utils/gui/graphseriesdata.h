// The sample store behind one or more series: time-ordered points (x in milliseconds since the
// epoch, y the value) with running statistics. Appending notifies every observing series; a series
// may let pending events run meanwhile, and those may delete series, so append through a shared
// pointer of your own (series->data()->append(...)) rather than through a bare reference.
#pragma once

#include <QList>
#include <QPointF>
#include <QtGlobal>

#include <vector>

class GraphSeries;

class GraphSeriesData
{
public:
    GraphSeriesData();
    ~GraphSeriesData();

    void append(double x, double y);
    void reserve(std::size_t samples);

    const std::vector<QPointF> &samples() const { return m_samples; }
    std::size_t size() const { return m_samples.size(); }
    std::size_t capacity() const { return m_samples.capacity(); }

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

    std::vector<QPointF> m_samples;
    qint64 m_count = 0;
    double m_mean;
    double m_minimum;
    double m_maximum;
    double m_last;
    QList<GraphSeries *> m_observers;
};
