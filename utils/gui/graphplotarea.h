// The rectangle the series are drawn in. A left drag draws a rubber band whose direction picks the
// zoom gesture; a drag started with Control pans; the right button places the markers.
#pragma once

#include "utils/gui/grapharea.h"

#include <QList>
#include <QPen>
#include <QPoint>
#include <QPointer>

class GraphAxis;

class GraphPlotArea : public GraphArea
{
    Q_OBJECT
public:
    enum Gesture
    {
        NoZoom = 0,
        ZoomArea = 1,
        ZoomLast = 2,
        ZoomInitial = 3,
        Panning = 4
    };

    // Bits of the marker-gesture mask.
    enum MarkerGesture
    {
        HorizontalMarker = 1, // a right press places the horizontal axis's marker
        VerticalMarkers = 2,  // ... and the vertical axes' markers
        PanVerticalAxes = 4,  // panning moves the vertical axes too
    };

    explicit GraphPlotArea(GraphWidget *widget);

    int gesture() const { return m_gesture; }
    bool isBandActive() const { return m_bandActive; }
    QRect band() const { return QRect(m_bandStart, m_bandEnd); }
    int markerGestureMask() const { return m_markerMask; }
    void setMarkerGestureMask(int mask) { m_markerMask = mask; }
    QPen bandPen() const { return m_bandPen; }
    void setBandPen(const QPen &pen) { m_bandPen = pen; }

    static QString gestureText(int gesture);

    void layoutPass(int pass) override;
    void paint(QPainter *painter, int flags) override;
    void mouseMove(QMouseEvent *event) override;
    void mousePress(QMouseEvent *event) override;
    void mouseRelease(QMouseEvent *event) override;

private:
    static int gestureFor(const QPoint &drag);
    void panAxes(QMouseEvent *event);
    void finishBand();

    QPoint m_bandStart;
    QPoint m_bandEnd;
    bool m_bandActive = false;
    QPen m_bandPen = QPen(Qt::red);
    int m_gesture = NoZoom;
    int m_markerMask = HorizontalMarker | VerticalMarkers | PanVerticalAxes;
    QPoint m_lastPoint;
    // Axes whose markers the last right press placed; they follow the cursor until the release.
    QList<QPointer<GraphAxis>> m_markerAxes;
};
