// A series drawn as a polyline from a cache of pixel lines. Samples are converted once, several
// samples in one pixel column collapse into one vertical stretch, NaN samples leave gaps, and all
// cached lines are relative to the pixel position of a reference point, so that a pan only moves
// that origin. Conversions after appends are throttled.
//
// The cache holds the lines of the samples around the time axis's range (one range's width on
// either side), not of the whole store: a week of samples at an hour's zoom would otherwise cost
// a line a sample. A paint that finds its range outside the cache builds it anew around the range.
// A column of many samples is converted at once (its first and last sample, its extremes and which
// of them came first), which draws the same lines as converting sample by sample.
#pragma once

#include "utils/gui/graphseries.h"

#include <QElapsedTimer>
#include <QLineF>
#include <QPointF>
#include <QTimer>

#include <vector>

class GraphLineSeries : public GraphSeries
{
    Q_OBJECT
public:
    explicit GraphLineSeries(GraphVerticalAxis *valueAxis, QSharedPointer<GraphSeriesData> data =
                                                               QSharedPointer<GraphSeriesData>());
    ~GraphLineSeries() override;

    // Cached lines, relative to origin(); they are valid for the mapping they were built with.
    const std::vector<QLineF> &lines() const { return m_lines; }
    QPointF origin() const { return m_origin; }
    std::size_t convertedCount() const { return m_converted; }
    // The range of lines the last paint drew.
    int firstVisibleLine() const { return m_firstVisible; }
    int visibleLineCount() const { return m_visibleCount; }
    // Full conversions so far; pans must not add to them.
    int rebuildCount() const { return m_rebuilds; }
    // The samples the cache holds the lines of: [first, convertedCount()).
    std::size_t firstCachedSample() const { return m_cacheBegin; }
    // Times the cache was built anew around the range because a paint found the range outside it.
    int recenterCount() const { return m_recenters; }

    // How soon after a conversion an append may convert again at once (default 100 ms), and when
    // the timer catches the samples held back meanwhile (default 125 ms).
    void setThrottle(int intervalMs, int timerMs);
    int throttleInterval() const { return m_throttleInterval; }
    int throttleTimer() const { return m_timer.interval(); }

    void paint(QPainter *painter, int flags) override;
    void rebuild() override;
    void dataAppended() override;
    void clearLines() override;

public slots:
    void mappingChanged(bool translationOnly) override;
    void timeout();

private:
    void convertPending();
    // Builds the cache for the samples around the time axis's range.
    void buildAroundRange();
    // Appends the lines of samples [begin, end), continuing from m_previous.
    void convertRange(std::size_t begin, std::size_t end, double originX);
    // Whether the cache holds every line that a paint of the current range draws.
    bool coversRange() const;
    void followNewest();
    void updateOrigin();
    void appendLine(const QPointF &from, const QPointF &to);

    std::vector<QLineF> m_lines;
    std::size_t m_cacheBegin = 0;
    std::size_t m_converted = 0;
    // Appends extend the cache only while it ends with the newest sample.
    bool m_cacheAtEnd = true;
    int m_recenters = 0;
    int m_firstVisible = 0;
    int m_visibleCount = 0;
    int m_rebuilds = 0;
    // The previous converted point, relative to the origin; invalid after a gap.
    QPointF m_previous;
    bool m_hasPrevious = false;
    // The cache is relative to the pixel position of (m_referenceX, 0): the first sample's time
    // and value zero, which stays finite when the first value is NaN.
    double m_referenceX = 0;
    QPointF m_origin;
    // The origin's x when the scale last changed: where the pixel columns are counted from.
    double m_columnOrigin = 0;
    bool m_columnOriginSet = false;
    double m_builtScaleX = 0;
    double m_builtScaleY = 0;
    QElapsedTimer m_stopwatch;
    QTimer m_timer;
    int m_throttleInterval = 100;
};
