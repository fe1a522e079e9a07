#include "utils/gui/graphlineseries.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t LineStep = 1024;

inline double column(double x)
{
    return std::floor(x + 0.5);
}

} // namespace

GraphLineSeries::GraphLineSeries(GraphVerticalAxis *valueAxis, QSharedPointer<GraphSeriesData> data)
    : GraphSeries(valueAxis, data)
{
    setObjectName(QStringLiteral("GraphLineSeries"));
    m_lines.reserve(LineStep);
    m_timer.setSingleShot(true);
    m_timer.setInterval(125);
    connect(&m_timer, &QTimer::timeout, this, &GraphLineSeries::timeout);
}

GraphLineSeries::~GraphLineSeries() = default;

void GraphLineSeries::setThrottle(int intervalMs, int timerMs)
{
    m_throttleInterval = intervalMs;
    m_timer.setInterval(timerMs);
}

void GraphLineSeries::appendLine(const QPointF &from, const QPointF &to)
{
    if (m_lines.size() == m_lines.capacity())
        m_lines.reserve(m_lines.capacity() + LineStep);
    m_lines.emplace_back(from, to);
}

void GraphLineSeries::updateOrigin()
{
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    m_origin = QPointF(m_referenceX * horizontal->scale() + horizontal->intercept(),
                       m_valueAxis ? m_valueAxis->intercept() : 0.0);
}

void GraphLineSeries::convertPending()
{
    const std::vector<QPointF> &samples = m_data->samples();
    const std::size_t count = samples.size();
    if (!m_valueAxis || m_converted >= count)
        return;

    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    const double scaleX = horizontal->scale();
    const double scaleY = m_valueAxis->scale();
    if (m_converted == 0) {
        m_lines.clear();
        m_hasPrevious = false;
        const double first = samples.front().x();
        m_referenceX = std::isfinite(first) ? first : 0.0;
        m_builtScaleX = scaleX;
        m_builtScaleY = scaleY;
        updateOrigin();
    }
    const double referenceX = m_referenceX;
    const double originX = m_origin.x();

    QPointF previous = m_previous;
    bool hasPrevious = m_hasPrevious;
    for (std::size_t i = m_converted; i < count; ++i) {
        const QPointF &sample = samples[i];
        if (sample.isNull() || !std::isfinite(sample.x()) || !std::isfinite(sample.y())) {
            hasPrevious = false;
            continue;
        }
        const QPointF point((sample.x() - referenceX) * scaleX, sample.y() * scaleY);
        if (!hasPrevious) {
            appendLine(point, point);
        } else if (column(point.x() + originX) != column(previous.x() + originX)) {
            appendLine(previous, point);
        } else {
            // Same pixel column: widen the column's vertical stretch instead of adding a line.
            // A connector that ended in this column first gets a stretch of its own, so that
            // the connector keeps pointing at the column's first sample.
            QLineF *line = &m_lines.back();
            if (line->x1() != line->x2()) {
                appendLine(line->p2(), line->p2());
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
        previous = point;
        hasPrevious = true;
    }
    m_previous = previous;
    m_hasPrevious = hasPrevious;
    m_converted = count;
    // A value at the time marker may just have come into existence.
    if (m_widget->horizontalAxis()->isMarkerVisible())
        m_widget->setLegendValuesOutdated();
    m_widget->update();
}

void GraphLineSeries::rebuild()
{
    ++m_rebuilds;
    m_lines.clear();
    m_converted = 0;
    m_hasPrevious = false;
    // Reserve the whole conversion at once: growing 1024 lines at a time would copy the cache
    // over and over when a long history is shown at a fine scale. Room left from a finer scale
    // is given back after zooming out.
    const std::size_t needed = linesNeeded();
    const std::size_t room = std::max(LineStep, (needed + LineStep - 1) / LineStep * LineStep);
    if (m_lines.capacity() < needed || m_lines.capacity() > 2 * room) {
        std::vector<QLineF>().swap(m_lines);
        m_lines.reserve(room);
    }
    convertPending();
    m_widget->update();
}

std::size_t GraphLineSeries::linesNeeded() const
{
    const std::vector<QPointF> &samples = m_data->samples();
    if (samples.empty())
        return 0;
    // A sample adds at most one line, and a run adds at most two per pixel column it crosses (the
    // connector into the column and the column's stretch); every NaN may start another run.
    // Samples out of time order only cost a regrowth.
    const double scale = m_widget->horizontalAxis()->scale();
    const double columns = std::fabs((samples.back().x() - samples.front().x()) * scale) + 2;
    const double runs = double(samples.size()) - double(m_data->count()) + 1;
    const double bound = 2 * (columns + runs);
    return bound < double(samples.size()) ? std::size_t(bound) : samples.size();
}

void GraphLineSeries::clearLines()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_lines.reserve(LineStep);
    m_converted = 0;
    m_hasPrevious = false;
    m_widget->update();
}

void GraphLineSeries::mappingChanged(bool translationOnly)
{
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    const bool sameScale = m_valueAxis && horizontal->scale() == m_builtScaleX &&
                           m_valueAxis->scale() == m_builtScaleY;
    if (translationOnly && sameScale) {
        updateOrigin();
        return;
    }
    // The layout ends by rebuilding every series; converting before it would be wasted.
    if (m_widget->isLayoutPending()) {
        updateOrigin();
        return;
    }
    rebuild();
}

void GraphLineSeries::dataAppended()
{
    if (m_stopwatch.isValid() && m_stopwatch.elapsed() < m_throttleInterval) {
        if (!m_timer.isActive())
            m_timer.start();
        return;
    }
    // The timer still runs when this append comes soon after the last conversion: samples are
    // flooding in. Only then are events processed here, so that the window still repaints; at an
    // ordinary pace the event loop repaints once for all series, instead of once per series.
    const bool flooded = m_timer.isActive();
    convertPending();
    followNewest();
    if (flooded) {
        // The events may delete this series.
        const QPointer<GraphLineSeries> alive(this);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!alive)
            return;
    }
    m_stopwatch.start();
    m_timer.start();
}

void GraphLineSeries::timeout()
{
    m_timer.stop();
    convertPending();
    followNewest();
}

void GraphLineSeries::followNewest()
{
    const std::vector<QPointF> &samples = m_data->samples();
    if (samples.empty())
        return;
    const QPointF last = samples.back();

    GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    if (horizontal->followsNewest() && !horizontal->isDragged() && last.x() > horizontal->maximum())
        horizontal->pan(last.x() - horizontal->maximum());

    GraphVerticalAxis *axis = m_valueAxis;
    if (axis && axis->followsNewest() && !axis->isDragged() && std::isfinite(last.y())) {
        const double margin = (axis->maximum() - axis->minimum()) / 10.0;
        if (last.y() > axis->maximum())
            axis->pan(last.y() + margin - axis->maximum());
        else if (last.y() < axis->minimum())
            axis->pan(last.y() - margin - axis->minimum());
    }
}

void GraphLineSeries::paint(QPainter *painter, int)
{
    m_firstVisible = 0;
    m_visibleCount = 0;
    if (m_lines.empty())
        return;
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    std::size_t first = 0;
    std::size_t end = m_lines.size();
    if (horizontal->scale() > 0) {
        // Lines are in ascending x; skip those that end left of the axis or start right of it.
        const double left = horizontal->rect().left() - m_origin.x();
        const double right = horizontal->rect().right() - m_origin.x();
        first = std::lower_bound(m_lines.begin(), m_lines.end(), left,
                                 [](const QLineF &line, double x) { return line.x2() < x; }) -
                m_lines.begin();
        end = std::upper_bound(m_lines.begin() + first, m_lines.end(), right,
                               [](double x, const QLineF &line) { return x < line.x1(); }) -
              m_lines.begin();
        // A connector that starts left of the axis but ends inside it is found by its end.
    }
    if (end <= first)
        return;
    m_firstVisible = int(first);
    m_visibleCount = int(end - first);
    painter->translate(m_origin);
    painter->drawLines(m_lines.data() + first, m_visibleCount);
}
