#include "utils/gui/graphaxis.h"

#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphwidget.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <limits>

namespace {

// Beyond this many milliseconds a time no longer fits the 64-bit count that the texts are made
// from; converting it would be undefined.
constexpr double LargestMilliseconds = 9.0e18;

} // namespace

GraphAxis::GraphAxis(GraphWidget *widget, int orientation)
    : GraphArea(widget)
    , m_orientation(orientation)
{}

GraphAxis::~GraphAxis()
{
    m_widget->removeAxis(this);
}

int GraphAxis::mapToPixel(double value) const
{
    const double pixel = value * m_scale + m_intercept + 0.5;
    // Converting an out-of-range double to int is undefined; a marker or tick far off the axis
    // must still land somewhere harmless.
    if (!(pixel > std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (!(pixel < std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(pixel);
}

double GraphAxis::valueAtPixel(double pixel) const
{
    return (pixel - m_intercept) / m_scale;
}

void GraphAxis::clampToLimits()
{
    if (!std::isnan(m_lowerLimit) && m_minimum < m_lowerLimit)
        m_minimum = m_lowerLimit;
    if (!std::isnan(m_upperLimit) && m_maximum > m_upperLimit)
        m_maximum = m_upperLimit;
}

void GraphAxis::setRange(double minimum, double maximum)
{
    // A NaN or infinite end would poison the mapping for good; keep the range that works.
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return;
    m_minimum = minimum;
    m_maximum = maximum;
    clampToLimits();
    updateMapping(false);
}

void GraphAxis::setInitialRange(double minimum, double maximum)
{
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        return;
    m_minimum = minimum;
    m_maximum = maximum;
    clampToLimits();
    m_initialMinimum = m_minimum;
    m_initialMaximum = m_maximum;
    updateMapping(false);
}

void GraphAxis::setLimits(double lower, double upper)
{
    if (!(lower < upper))
        return;
    m_lowerLimit = m_initialLowerLimit = lower;
    m_upperLimit = m_initialUpperLimit = upper;
    updateMapping(false);
}

void GraphAxis::pan(double delta)
{
    // A drag over an axis squeezed to no pixels yields an infinite or NaN distance.
    if (!std::isfinite(delta))
        return;
    const double width = m_maximum - m_minimum;
    m_minimum += delta;
    m_maximum += delta;
    if (!std::isnan(m_lowerLimit) && m_minimum < m_lowerLimit) {
        m_minimum = m_lowerLimit;
        m_maximum = m_lowerLimit + width;
    } else if (!std::isnan(m_upperLimit) && m_maximum > m_upperLimit) {
        m_maximum = m_upperLimit;
        m_minimum = m_upperLimit - width;
    }
    updateMapping(true);
}

void GraphAxis::zoomBy(double delta)
{
    if (!std::isfinite(delta))
        return;
    m_minimum -= delta;
    m_maximum += delta;
    clampToLimits();
    updateMapping(false);
    emit m_widget->zoomed(m_orientation == Horizontal ? 1 : 2);
}

void GraphAxis::pushZoom()
{
    m_zoomHistory.append(qMakePair(m_minimum, m_maximum));
}

void GraphAxis::zoomInitial()
{
    m_minimum = m_initialMinimum;
    m_maximum = m_initialMaximum;
    m_lowerLimit = m_initialLowerLimit;
    m_upperLimit = m_initialUpperLimit;
    m_zoomHistory.clear();
    updateMapping(false);
}

void GraphAxis::zoomLast()
{
    if (m_zoomHistory.isEmpty()) {
        zoomInitial();
        return;
    }
    const QPair<double, double> last = m_zoomHistory.takeLast();
    m_minimum = last.first;
    m_maximum = last.second;
    updateMapping(false);
}

void GraphAxis::markerChanged()
{
    if (m_orientation == Horizontal)
        m_widget->setLegendValuesOutdated();
    m_widget->update();
}

void GraphAxis::setMarkerEnabled(bool enabled)
{
    m_markerEnabled = enabled;
}

void GraphAxis::setMarkerVisible(bool visible)
{
    if (!m_markerEnabled || m_markerVisible == visible)
        return;
    m_markerVisible = visible;
    if (visible)
        m_markerPixel = mapToPixel(m_markerValue);
    markerChanged();
}

void GraphAxis::setMarkerValue(double value)
{
    m_markerValue = value;
    m_markerPixel = mapToPixel(value);
    if (m_markerVisible)
        markerChanged();
}

void GraphAxis::setMarkerPen(const QPen &pen)
{
    m_markerPen = pen;
    m_widget->update();
}

void GraphAxis::setMarkerLabelShown(bool shown)
{
    m_markerLabelShown = shown;
    m_widget->update();
}

void GraphAxis::setLabelMode(LabelMode mode)
{
    m_labelMode = mode;
    m_widget->requestLayout();
}

void GraphAxis::setLabelsShown(bool shown)
{
    m_labelsShown = shown;
    m_widget->requestLayout();
}

void GraphAxis::setTickLengths(int major, int minor)
{
    m_majorTickLength = major;
    m_minorTickLength = minor;
    m_widget->requestLayout();
}

void GraphAxis::setLabelDecimals(int decimals)
{
    m_labelDecimals = decimals;
    m_widget->requestLayout();
}

void GraphAxis::setMajorDivisions(int divisions)
{
    m_majorDivisions = qMax(0, divisions);
    m_widget->requestLayout();
}

void GraphAxis::setMinorDivisions(int divisions)
{
    m_minorDivisions = qMax(0, divisions);
    m_widget->requestLayout();
}

void GraphAxis::setMajorGridShown(bool shown)
{
    m_majorGrid = shown;
    m_widget->update();
}

void GraphAxis::setMinorGridShown(bool shown)
{
    m_minorGrid = shown;
    m_widget->update();
}

void GraphAxis::setGridColors(const QColor &major, const QColor &minor)
{
    m_majorGridColor = major;
    m_minorGridColor = minor;
    m_widget->update();
}

void GraphAxis::setUnit(const QString &unit)
{
    m_unit = unit;
    // The legend measures its value column with the unit.
    m_widget->setLegendValuesOutdated();
    m_widget->requestLayout();
}

void GraphAxis::setOrigin(double origin)
{
    m_origin = origin;
    m_widget->requestLayout();
}

void GraphAxis::setFollowNewest(bool follow)
{
    m_followNewest = follow;
}

QString GraphAxis::labelText(double value, int extraDecimals) const
{
    switch (m_labelMode) {
    case DateTimeLabels:
        if (!(std::fabs(value) < LargestMilliseconds))
            return QString();
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(value))
            .toString(QStringLiteral("dd.MM.yy\nhh:mm:ss"));
    case RelativeTimeLabels: {
        const double d = value - m_origin;
        if (!(std::fabs(d) < LargestMilliseconds))
            return QString();
        // Whole seconds; milliseconds are dropped, hours are not wrapped at a day.
        const qint64 seconds = static_cast<qint64>(std::fabs(d) / 1000.0);
        return QStringLiteral("%1%2:%3:%4")
            .arg(d < 0 ? QStringLiteral("-") : QString())
            .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
            .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    case NumberLabels:
        break;
    }
    return QString::number(value, 'f', qMax(0, m_labelDecimals + extraDecimals));
}

bool GraphAxis::isDragged() const
{
    const GraphArea *holder = m_widget->mouseHolder();
    return holder && (holder == this || holder == m_widget->plotArea());
}

void GraphAxis::layoutPass(int pass)
{
    if (pass == 2) {
        updateMapping(false);
        rebuildTicks();
    }
}

void GraphAxis::updateMapping(bool translationOnly)
{
    // The minimum lies on the bottom edge of a vertical axis and on the left edge of a horizontal
    // one; a vertical axis counts pixels upward, hence its negative extent.
    const bool vertical = m_orientation == Vertical;
    const double anchor = vertical ? m_rect.bottom() : m_rect.left();
    const double extent =
        vertical ? -double(m_rect.bottom() - m_rect.top()) : double(m_rect.right() - m_rect.left());
    const double span = m_maximum - m_minimum;
    if (span != 0) {
        // A pan keeps the scale bit for bit. Recomputed from the shifted ends it can differ in the
        // last bits, and every series would then rebuild its cache instead of moving it.
        if (!translationOnly)
            m_scale = extent / span;
        m_intercept = anchor - m_scale * m_minimum;
    }
    if (m_markerVisible)
        m_markerPixel = mapToPixel(m_markerValue);
    m_reversed = m_maximum < m_minimum;
    emit mappingChanged(translationOnly);
}

void GraphAxis::rebuildTicks()
{
    m_majorGridLines.clear();
    m_majorTickLines.clear();
    m_minorGridLines.clear();
    m_minorTickLines.clear();
    if (m_majorDivisions <= 0)
        return;
    const bool vertical = m_orientation == Vertical;
    const QRect plot = m_widget->plotArea()->rect();
    // Marks stand on the edge that faces the plot area: the right edge of a vertical axis, the
    // top edge of the horizontal one.
    const auto mark = [&](double at, int length) {
        return vertical ? QLineF(m_rect.right() - length, at, m_rect.right(), at)
                        : QLineF(at, m_rect.top(), at, m_rect.top() + length);
    };
    const auto gridLine = [&](double at) {
        return vertical ? QLineF(plot.left() + 1, at, plot.right() - 1, at)
                        : QLineF(at, plot.top() + 1, at, plot.bottom() - 1);
    };
    const double start = vertical ? m_rect.top() : m_rect.left();
    const double length = vertical ? m_rect.height() : m_rect.width();
    const double majorStep = (length - 1) / m_majorDivisions;
    const double minorStep = m_minorDivisions > 0 ? majorStep / m_minorDivisions : 0;
    for (int i = 0; i <= m_majorDivisions; ++i) {
        const double at = start + i * majorStep;
        m_majorTickLines.append(mark(at, m_majorTickLength));
        m_majorGridLines.append(gridLine(at));
        if (i == m_majorDivisions)
            break;
        for (int j = 1; j < m_minorDivisions; ++j) {
            const double minorAt = at + j * minorStep;
            m_minorTickLines.append(mark(minorAt, m_minorTickLength));
            m_minorGridLines.append(gridLine(minorAt));
        }
    }
}

void GraphAxis::paintScale(QPainter *painter, int flags)
{
    GraphArea::paint(painter, flags);
    const QPen pen = painter->pen();
    painter->drawLines(m_majorTickLines);
    painter->drawLines(m_minorTickLines);
    if (m_majorGrid) {
        painter->setPen(QPen(m_majorGridColor));
        painter->drawLines(m_majorGridLines);
    }
    if (m_minorGrid) {
        painter->setPen(QPen(m_minorGridColor, 1, Qt::DotLine));
        painter->drawLines(m_minorGridLines);
    }
    painter->setPen(pen);
}

void GraphAxis::paintOverlay(QPainter *painter)
{
    const bool vertical = m_orientation == Vertical;
    const int low = vertical ? m_rect.top() : m_rect.left();
    const int high = vertical ? m_rect.bottom() : m_rect.right();
    if (!m_markerVisible || m_markerPixel < low || m_markerPixel > high)
        return;
    const QRect plot = m_widget->plotArea()->rect();
    painter->setPen(m_markerPen);
    if (vertical)
        painter->drawLine(plot.left(), m_markerPixel, plot.right(), m_markerPixel);
    else
        painter->drawLine(m_markerPixel, plot.top(), m_markerPixel, plot.bottom());
    if (!m_markerLabelShown)
        return;
    painter->setFont(m_font);
    const QString text = labelText(m_markerValue, 1);
    const QRect rect = labelRect(text, m_markerPixel, 0, -1);
    painter->setBrush(m_markerPen.color().lighter(150));
    painter->drawRect(rect.adjusted(-2, 0, 2, 0));
    painter->setPen(Qt::black);
    const int alignment =
        vertical ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignHCenter | Qt::AlignTop;
    painter->drawText(rect, alignment | Qt::TextDontClip, text);
}

int GraphAxis::positionAlong(const QPoint &point) const
{
    return m_orientation == Horizontal ? point.x() : point.y();
}

QRect GraphAxis::labelRect(const QString &text, double pixel, int count, int index) const
{
    const QFontMetrics metrics(m_font);
    const QSize size = metrics.size(0, text);
    const int at = qRound(pixel);
    QRect rect(QPoint(0, 0), size);
    if (m_orientation == Vertical) {
        rect.moveRight(m_rect.right() - m_majorTickLength - 2);
        // With only the two end lines, keep both labels inside the axis: the top one hangs below
        // its line, the bottom one sits above it. A negative index asks for centring.
        if (index >= 0 && count < 3) {
            if (index == 0)
                rect.moveTop(at);
            else
                rect.moveBottom(at);
        } else {
            rect.moveTop(at - size.height() / 2);
        }
    } else {
        rect.moveLeft(at - size.width() / 2);
        rect.moveTop(m_rect.top() + m_majorTickLength + 2);
    }
    return rect;
}

void GraphAxis::mousePress(QMouseEvent *event)
{
    const int position = positionAlong(event->pos());
    if (event->button() == Qt::RightButton && event->buttons() == Qt::RightButton) {
        setMarkerValue(valueAtPixel(position));
        setMarkerVisible(true);
    } else {
        m_lastMousePosition = position;
    }
}

void GraphAxis::mouseMove(QMouseEvent *event)
{
    const int position = positionAlong(event->pos());
    if (event->buttons() == Qt::RightButton) {
        setMarkerValue(valueAtPixel(position));
        return;
    }
    if (m_lastMousePosition == NoPosition) {
        m_lastMousePosition = position;
        return;
    }
    double delta = valueAtPixel(m_lastMousePosition) - valueAtPixel(position);
    if (event->modifiers() & Qt::ShiftModifier)
        delta *= 0.25;
    if (event->modifiers() & Qt::ControlModifier) {
        zoomBy(delta);
    } else {
        pan(delta);
        // Owners switch off their automatic scrolling when the operator moves the view by hand.
        emit m_widget->zoomed(m_orientation == Horizontal ? 1 : 2);
    }
    m_widget->setCursor(m_orientation == Vertical ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    m_lastMousePosition = position;
}

void GraphAxis::mouseRelease(QMouseEvent *)
{
    m_lastMousePosition = NoPosition;
    m_widget->unsetCursor();
}

void GraphAxis::mouseDoubleClick(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && event->buttons() == Qt::RightButton &&
        m_markerEnabled && m_markerVisible)
        setMarkerVisible(false);
}
