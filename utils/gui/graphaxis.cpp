#include "utils/gui/graphaxis.h"

#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphwidget.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <limits>

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
    m_minimum = minimum;
    m_maximum = maximum;
    clampToLimits();
    updateMapping(false);
}

void GraphAxis::setInitialRange(double minimum, double maximum)
{
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
        if (!std::isfinite(value))
            return QString();
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(value))
            .toString(QStringLiteral("dd.MM.yy\nhh:mm:ss"));
    case RelativeTimeLabels: {
        const double d = value - m_origin;
        if (!std::isfinite(d))
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

void GraphAxis::paintOverlay(QPainter *) {}

void GraphAxis::updateMapping(bool translationOnly)
{
    finishMapping(translationOnly);
}

void GraphAxis::finishMapping(bool translationOnly)
{
    if (m_markerVisible)
        m_markerPixel = mapToPixel(m_markerValue);
    m_reversed = m_maximum < m_minimum;
    emit mappingChanged(translationOnly);
}

void GraphAxis::rebuildTicks() {}

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
