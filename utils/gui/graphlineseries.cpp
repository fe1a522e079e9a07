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

namespace {

// The samples and the mapping of one conversion.
struct Mapping
{
    const double *x;
    const float *y;
    double referenceX;
    double scaleX;
    double scaleY;
    double originX;

    // Relative to the origin, as the cache holds it.
    double pixelX(std::size_t i) const { return (x[i] - referenceX) * scaleX; }
    double pixelY(float value) const { return double(value) * scaleY; }
    QPointF point(std::size_t i) const { return QPointF(pixelX(i), pixelY(y[i])); }
    double columnOf(std::size_t i) const { return column(pixelX(i) + originX); }
    // The null point counts as no sample, as a NaN does.
    bool valid(std::size_t i) const
    {
        return std::isfinite(x[i]) && std::isfinite(y[i]) && !(x[i] == 0 && y[i] == 0);
    }

    // The first index in (i, end] whose column is not c; columns only grow with the index.
    std::size_t columnEnd(std::size_t i, double c, std::size_t end) const
    {
        std::size_t low = i; // in column c
        std::size_t step = 1;
        std::size_t high = end;
        while (low + step < end) {
            if (columnOf(low + step) != c) {
                high = low + step;
                break;
            }
            low += step;
            step *= 2;
        }
        while (high - low > 1) {
            const std::size_t middle = low + (high - low) / 2;
            if (columnOf(middle) == c)
                low = middle;
            else
                high = middle;
        }
        return high;
    }

    // The first index of the column that holds sample i.
    std::size_t columnStart(std::size_t i) const
    {
        const double c = columnOf(i);
        std::size_t high = i; // in column c
        std::size_t step = 1;
        std::size_t low = 0;
        bool found = false;
        while (step <= high) {
            if (columnOf(high - step) != c) {
                low = high - step;
                found = true;
                break;
            }
            high -= step;
            step *= 2;
        }
        if (!found) {
            if (high == 0 || columnOf(0) == c)
                return 0;
            low = 0;
        }
        while (high - low > 1) {
            const std::size_t middle = low + (high - low) / 2;
            if (columnOf(middle) == c)
                high = middle;
            else
                low = middle;
        }
        return high;
    }
};

} // namespace

void GraphLineSeries::convertRange(std::size_t begin, std::size_t end, double originX)
{
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    const Mapping map{m_data->x(),         m_data->y(),          m_referenceX,
                      horizontal->scale(), m_valueAxis->scale(), originX};

    QPointF previous = m_previous;
    bool hasPrevious = m_hasPrevious;
    std::size_t i = begin;
    while (i < end) {
        if (!map.valid(i)) {
            hasPrevious = false;
            ++i;
            continue;
        }
        const QPointF point = map.point(i);
        const double c = column(point.x() + originX);
        if (hasPrevious && c == column(previous.x() + originX)) {
            // An append into the column the cache ended in: widen the column's vertical stretch.
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
            previous = point;
            ++i;
            continue;
        }

        // A column starts at i: it runs to the next column or the next gap. Its stretch spans
        // its extremes, and starts at the extreme that the values first left the first one for.
        const std::size_t columnEnd = map.columnEnd(i, c, end);
        const float first = map.y[i];
        float lowest = first;
        float highest = first;
        std::size_t departure = 0;
        // Whole blocks of valid samples are taken from their summaries: a column of a week's
        // zoom holds hundreds of samples. A block with a value other than the first is searched
        // for the departure only while none is known.
        const GraphSeriesData::Block *blocks = m_data->blocks();
        constexpr std::size_t BlockSize = GraphSeriesData::BlockSize;
        std::size_t k = i + 1;
        while (k < columnEnd) {
            if (k % BlockSize == 0 && k + BlockSize <= columnEnd && !blocks[k / BlockSize].gap) {
                const GraphSeriesData::Block &block = blocks[k / BlockSize];
                if (departure == 0 && !(block.minimum == first && block.maximum == first)) {
                    departure = k;
                    while (map.y[departure] == first)
                        ++departure;
                }
                lowest = std::min(lowest, block.minimum);
                highest = std::max(highest, block.maximum);
                k += BlockSize;
                continue;
            }
            const float value = map.y[k];
            if (!std::isfinite(value) || (value == 0 && map.x[k] == 0))
                break;
            if (departure == 0 && value != first)
                departure = k;
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
            ++k;
        }
        if (hasPrevious)
            appendLine(previous, point);
        if (!hasPrevious || k - i >= 2)
            appendLine(point, point);
        if (departure != 0) {
            const double a = map.pixelY(lowest);
            const double b = map.pixelY(highest);
            const double top = std::min(a, b);
            const double bottom = std::max(a, b);
            QLineF &stretch = m_lines.back();
            if (map.pixelY(map.y[departure]) < point.y())
                stretch = QLineF(point.x(), top, point.x(), bottom);
            else
                stretch = QLineF(point.x(), bottom, point.x(), top);
        }
        previous = map.point(k - 1);
        hasPrevious = true;
        i = k;
    }
    m_previous = previous;
    m_hasPrevious = hasPrevious;
}

void GraphLineSeries::convertPending()
{
    const std::size_t count = m_data->size();
    if (!m_valueAxis || m_converted >= count)
        return;
    if (m_converted == 0) {
        // The first samples of the store: they are all there is, so the cache holds them all.
        m_lines.clear();
        m_cacheBegin = 0;
        m_hasPrevious = false;
        m_cacheAtEnd = true;
        const double first = m_data->x()[0];
        m_referenceX = std::isfinite(first) ? first : 0.0;
        m_builtScaleX = m_widget->horizontalAxis()->scale();
        m_builtScaleY = m_valueAxis->scale();
        updateOrigin();
        m_columnOrigin = m_origin.x();
        m_columnOriginSet = true;
    }
    if (!m_cacheAtEnd)
        return;
    convertRange(m_converted, count, m_origin.x());
    m_converted = count;
    // A value at the time marker may just have come into existence.
    if (m_widget->horizontalAxis()->isMarkerVisible())
        m_widget->setLegendValuesOutdated();
    m_widget->update();
}

void GraphLineSeries::buildAroundRange()
{
    m_lines.clear();
    m_cacheBegin = 0;
    m_converted = 0;
    m_hasPrevious = false;
    m_cacheAtEnd = true;
    const std::size_t count = m_data->size();
    if (!m_valueAxis || count == 0)
        return;

    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    const double first = m_data->x()[0];
    m_referenceX = std::isfinite(first) ? first : 0.0;
    m_builtScaleX = horizontal->scale();
    m_builtScaleY = m_valueAxis->scale();
    updateOrigin();
    // Built anew after a pan, the columns stay where the last full conversion put them, so that
    // the lines match those the cache held before.
    if (!m_columnOriginSet) {
        m_columnOrigin = m_origin.x();
        m_columnOriginSet = true;
    }
    const Mapping map{m_data->x(),   m_data->y(),   m_referenceX,
                      m_builtScaleX, m_builtScaleY, m_columnOrigin};

    // One range's width on either side, so that pans within it keep the cache.
    std::size_t begin = 0;
    std::size_t end = count;
    const double minimum = horizontal->minimum();
    const double maximum = horizontal->maximum();
    const double span = maximum - minimum;
    if (horizontal->scale() > 0 && span > 0) {
        begin = m_data->lowerBound(minimum - span);
        begin = begin > 0 ? map.columnStart(begin - 1) : 0;
        end = m_data->lowerBound(maximum + span);
        if (end < count)
            end = map.columnEnd(end, map.columnOf(end), count);
    }
    m_cacheBegin = begin;
    m_hasPrevious = begin > 0 && map.valid(begin - 1);
    if (m_hasPrevious)
        m_previous = map.point(begin - 1);
    convertRange(begin, end, m_columnOrigin);
    m_converted = end;
    m_cacheAtEnd = end == count;

    // Room left from a finer scale is given back after zooming out.
    if (m_lines.capacity() > 4 * m_lines.size() + LineStep) {
        std::vector<QLineF> kept;
        kept.reserve(m_lines.size() + LineStep);
        kept.assign(m_lines.begin(), m_lines.end());
        m_lines.swap(kept);
    }
}

bool GraphLineSeries::coversRange() const
{
    // Samples appended to a cache that ends with the newest one are the throttle's to convert.
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    const double scale = horizontal->scale();
    if (scale <= 0)
        return m_cacheBegin == 0 && m_cacheAtEnd;
    const double left = horizontal->rect().left() - m_origin.x();
    const double right = horizontal->rect().right() - m_origin.x();
    const double *x = m_data->x();
    // Every line of an earlier sample ends at or before the first cached sample, every line of a
    // later one starts at or after the last cached sample.
    if (m_cacheBegin > 0 && !((x[m_cacheBegin] - m_referenceX) * scale < left))
        return false;
    if (!m_cacheAtEnd && !((x[m_converted - 1] - m_referenceX) * scale > right))
        return false;
    // A cache that grew far to the left while following the newest sample is built anew.
    const double width = right - left;
    if (m_cacheBegin < m_converted && m_lines.size() > 8 * std::size_t(width) + LineStep &&
        (x[m_cacheBegin] - m_referenceX) * scale < left - 3 * width)
        return false;
    return true;
}

void GraphLineSeries::rebuild()
{
    ++m_rebuilds;
    m_columnOriginSet = false;
    buildAroundRange();
    m_widget->update();
}

void GraphLineSeries::clearLines()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_lines.reserve(LineStep);
    m_cacheBegin = 0;
    m_cacheAtEnd = true;
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
    if (m_data->isEmpty())
        return;
    const QPointF last = m_data->samples().back();

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
    if (!coversRange()) {
        ++m_recenters;
        buildAroundRange();
    }
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
