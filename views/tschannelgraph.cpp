#include "views/tschannelgraph.h"

#include "device/devicespec.h"
#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlegend.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphtitle.h"
#include "utils/gui/graphverticalaxis.h"

#include <QDateTime>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

TsChannelGraph::WallClock &wallClock()
{
    static TsChannelGraph::WallClock clock;
    return clock;
}

qint64 now()
{
    const TsChannelGraph::WallClock &clock = wallClock();
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

} // namespace

void TsChannelGraph::setWallClock(WallClock clock)
{
    wallClock() = std::move(clock);
}

TsChannelGraph::TsChannelGraph(QWidget *parent)
    : GraphWidget(parent)
{
    setInteractive(false);
    setMargins(0, 0, 0, 4);
    // The tile's colour shows through.
    setBackground(Qt::NoBrush);
    title()->setText(QString());

    GraphHorizontalAxis *timeAxis = horizontalAxis();
    timeAxis->setLabelMode(GraphAxis::DateTimeLabels);
    timeAxis->setText(QString());
    timeAxis->setTickLengths(0, 0);
    timeAxis->setLabelsShown(false);

    m_valueAxis = new GraphVerticalAxis(this);
    m_valueAxis->setText(QString());
    m_valueAxis->setTickLengths(3, 1);
    m_valueAxis->setMajorDivisions(1);
    m_valueAxis->setMinorDivisions(4);
    m_valueAxis->setMarkerLabelShown(false);
    m_valueAxis->setMarkerPen(QPen(Qt::black, 1, Qt::DotLine));

    m_data = QSharedPointer<GraphSeriesData>::create();
    m_series = new GraphLineSeries(m_valueAxis, m_data);
    legend()->setVisible(false);

    const double start = double(now());
    timeAxis->setInitialRange(start, start + double(WindowMs));
}

TsChannelGraph::~TsChannelGraph() = default;

void TsChannelGraph::setAxisRange(const GraphAxisSpec *spec)
{
    if (!spec)
        return;
    m_valueAxis->setRange(spec->min, spec->max);
}

void TsChannelGraph::setSetpointMarker(double value)
{
    const bool shown = !std::isnan(value);
    if (shown)
        m_valueAxis->setMarkerValue(value);
    m_valueAxis->setMarkerVisible(shown);
}

void TsChannelGraph::addSample(double value)
{
    const qint64 time = now();
    // Trimmed once the oldest sample is two windows old: once an hour, not on every sample.
    if (!m_data->isEmpty() && time - m_data->x()[0] > 2 * WindowMs)
        keepLastWindow(time);
    // Held by a pointer of our own: an append may run pending events.
    const QSharedPointer<GraphSeriesData> data = m_data;
    data->append(double(time), value);
}

void TsChannelGraph::keepLastWindow(qint64 time)
{
    // The store only grows, so the series moves to a new one with the samples still in view, and
    // the one before them, from which the line enters at the window's left edge.
    const GraphSeriesData &old = *m_data;
    std::size_t first = old.lowerBound(double(time - WindowMs));
    if (first > 0)
        --first;
    const auto kept = QSharedPointer<GraphSeriesData>::create();
    kept->reserve(old.size() - first + 1);
    for (std::size_t i = first; i < old.size(); ++i)
        kept->append(old.x()[i], double(old.y()[i]));
    const int interval = m_series->throttleInterval();
    const int timer = m_series->throttleTimer();
    delete m_series;
    m_data = kept;
    m_series = new GraphLineSeries(m_valueAxis, m_data);
    m_series->setThrottle(interval, timer);
    // The samples it starts with are drawn at once, not only from the next change of scale.
    m_series->rebuild();
}
