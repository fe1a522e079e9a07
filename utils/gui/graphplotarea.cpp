#include "utils/gui/graphplotarea.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphseries.h"
#include "utils/gui/graphtitle.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QMouseEvent>
#include <QPainter>

GraphPlotArea::GraphPlotArea(GraphWidget *widget)
    : GraphArea(widget)
{
    setObjectName(QStringLiteral("GraphPlotArea"));
    m_highlightable = false;
}

QString GraphPlotArea::gestureText(int gesture)
{
    switch (gesture) {
    case ZoomArea:
        return tr("Zoom Area");
    case ZoomLast:
        return tr("Zoom Last");
    case ZoomInitial:
        return tr("Zoom Initial");
    case Panning:
        return tr("Panning");
    default:
        return tr("No Zoom");
    }
}

void GraphPlotArea::layoutPass(int pass)
{
    if (pass == 1) {
        const QRect title = m_widget->title()->rect();
        const QRect axis = m_widget->horizontalAxis()->rect();
        m_rect.setCoords(title.left(), title.bottom(), axis.right(), axis.top());
    } else if (pass == 2) {
        const QList<GraphSeries *> series = m_widget->series();
        for (GraphSeries *s : series)
            s->rebuild();
    }
}

void GraphPlotArea::paint(QPainter *painter, int flags)
{
    GraphArea::paint(painter, flags);
    painter->drawRect(m_rect.adjusted(0, 0, -1, -1));
    painter->setClipRect(m_rect);
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QList<GraphSeries *> series = m_widget->series();
    for (GraphSeries *s : series) {
        if (s->isVisible())
            s->draw(painter, flags);
    }
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (m_bandActive) {
        painter->save();
        const QRect band = QRect(m_bandStart, m_bandEnd).normalized();
        painter->setPen(m_bandPen);
        painter->setBrush(QColor(255, 0, 0, 50));
        painter->drawRect(band);
        painter->drawText(band, Qt::AlignCenter, gestureText(m_gesture));
        painter->restore();
    }
}

int GraphPlotArea::gestureFor(const QPoint &drag)
{
    // A band without width or height would collapse an axis to a single value; it zooms nowhere.
    if (drag.x() == 0 || drag.y() == 0)
        return NoZoom;
    if (drag.x() < 0)
        return drag.y() < 0 ? ZoomLast : NoZoom;
    return drag.y() < 0 ? ZoomInitial : ZoomArea;
}

void GraphPlotArea::mousePress(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && event->buttons() == Qt::RightButton) {
        m_markerAxes.clear();
        const QPoint pos = event->pos();
        const QList<GraphVerticalAxis *> axes = m_widget->verticalAxes();
        for (GraphVerticalAxis *axis : axes) {
            if (!axis->isMarkerVisible() && !(m_markerMask & VerticalMarkers))
                continue;
            axis->setMarkerValue(axis->valueAtPixel(pos.y()));
            axis->setMarkerVisible(true);
            if (axis->isMarkerVisible())
                m_markerAxes.append(axis);
        }
        GraphHorizontalAxis *axis = m_widget->horizontalAxis();
        if (axis->isMarkerVisible() || (m_markerMask & HorizontalMarker)) {
            axis->setMarkerValue(axis->valueAtPixel(pos.x()));
            axis->setMarkerVisible(true);
            if (axis->isMarkerVisible())
                m_markerAxes.append(axis);
        }
        return;
    }
    m_bandStart = m_bandEnd = m_lastPoint = event->pos();
    if (event->modifiers() & Qt::ControlModifier)
        m_gesture = Panning;
}

void GraphPlotArea::mouseMove(QMouseEvent *event)
{
    const QPoint pos = event->pos();
    if (event->buttons() == Qt::RightButton) {
        for (const QPointer<GraphAxis> &axis : qAsConst(m_markerAxes)) {
            if (axis)
                axis->setMarkerValue(axis->valueAtPixel(
                    axis->orientation() == GraphAxis::Horizontal ? pos.x() : pos.y()));
        }
        m_widget->setCursor(Qt::CrossCursor);
        return;
    }
    if (m_gesture == Panning) {
        panAxes(event);
        return;
    }
    m_bandActive = true;
    m_bandEnd = pos;
    m_gesture = gestureFor(m_bandEnd - m_bandStart);
    m_widget->setCursor(Qt::CrossCursor);
}

void GraphPlotArea::panAxes(QMouseEvent *event)
{
    const QPoint pos = event->pos();
    const double factor = (event->modifiers() & Qt::ShiftModifier) ? 0.25 : 1.0;
    const bool zoom = event->modifiers() & Qt::ControlModifier;
    const bool vertical = m_markerMask & PanVerticalAxes;

    GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    const double dx =
        (horizontal->valueAtPixel(m_lastPoint.x()) - horizontal->valueAtPixel(pos.x())) * factor;
    if (zoom)
        horizontal->zoomBy(dx);
    else
        horizontal->pan(dx);
    if (vertical) {
        const QList<GraphVerticalAxis *> axes = m_widget->verticalAxes();
        for (GraphVerticalAxis *axis : axes) {
            const double dy =
                (axis->valueAtPixel(m_lastPoint.y()) - axis->valueAtPixel(pos.y())) * factor;
            if (zoom)
                axis->zoomBy(dy);
            else
                axis->pan(dy);
        }
    }
    // Owners switch off their automatic scrolling when the operator moves the view by hand.
    if (!zoom)
        emit m_widget->zoomed(vertical ? 3 : 1);
    m_widget->setCursor(vertical ? Qt::SizeAllCursor : Qt::SizeHorCursor);
    m_lastPoint = pos;
}

void GraphPlotArea::mouseRelease(QMouseEvent *)
{
    m_widget->unsetCursor();
    m_gesture = NoZoom;
    m_markerAxes.clear();
    if (m_bandActive) {
        m_bandActive = false;
        finishBand();
    }
}

void GraphPlotArea::finishBand()
{
    const int gesture = gestureFor(m_bandEnd - m_bandStart);
    if (gesture == NoZoom)
        return;
    const QRect band = QRect(m_bandStart, m_bandEnd).normalized();
    const QList<GraphVerticalAxis *> axes = m_widget->verticalAxes();
    GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    // The vertical axes change quietly; the horizontal axis's change that follows makes every
    // series rebuild once against all the new mappings.
    for (GraphVerticalAxis *axis : axes) {
        const bool blocked = axis->blockSignals(true);
        switch (gesture) {
        case ZoomLast:
            axis->zoomLast();
            break;
        case ZoomInitial:
            axis->zoomInitial();
            break;
        default:
            axis->pushZoom();
            axis->setRange(axis->valueAtPixel(band.bottom()), axis->valueAtPixel(band.top()));
            break;
        }
        axis->blockSignals(blocked);
    }
    switch (gesture) {
    case ZoomLast:
        horizontal->zoomLast();
        break;
    case ZoomInitial:
        horizontal->zoomInitial();
        break;
    default:
        horizontal->pushZoom();
        horizontal->setRange(horizontal->valueAtPixel(band.left()),
                             horizontal->valueAtPixel(band.right()));
        break;
    }
    emit m_widget->zoomed(3);
}
