// The small graph inside a channel tile: the channel's actual value every five seconds against
// wall-clock time over a one-hour window that follows the newest sample, with the setpoint as a
// dotted line. Not interactive: a double click only signals, and the tile hides the graph.
#pragma once

#include "utils/gui/graphwidget.h"

#include <QSharedPointer>

#include <functional>

struct GraphAxisSpec;
class GraphLineSeries;
class GraphSeriesData;
class GraphVerticalAxis;

class TsChannelGraph : public GraphWidget
{
    Q_OBJECT

public:
    static constexpr qint64 WindowMs = 3600 * 1000;

    // Milliseconds since the epoch. Tests put their own in place before creating graphs; an empty
    // function restores the system clock.
    using WallClock = std::function<qint64()>;
    static void setWallClock(WallClock clock);

    explicit TsChannelGraph(QWidget *parent = nullptr);
    ~TsChannelGraph() override;

    // The value axis takes the specification's range; without one it keeps its own.
    void setAxisRange(const GraphAxisSpec *spec);
    // NaN hides the line.
    void setSetpointMarker(double value);
    // Stamped with the wall clock; NaN leaves a gap. Only what the window can show is kept (at most
    // two windows' worth), so that a tile that runs for weeks does not grow.
    void addSample(double value);

    GraphVerticalAxis *valueAxis() const { return m_valueAxis; }
    GraphLineSeries *lineSeries() const { return m_series; }

private:
    void keepLastWindow(qint64 now);

    GraphVerticalAxis *m_valueAxis = nullptr;
    GraphLineSeries *m_series = nullptr;
    QSharedPointer<GraphSeriesData> m_data;
};
