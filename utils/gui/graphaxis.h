// An axis of a graph widget: the value <-> pixel mapping, the current and initial range with
// optional limits and a zoom history, tick and grid geometry, label texts, a marker, and the drag
// gestures that pan and zoom it.
#pragma once

#include "utils/gui/grapharea.h"

#include <QLineF>
#include <QPair>
#include <QPen>
#include <QVector>

#include <limits>

class GraphAxis : public GraphArea
{
    Q_OBJECT
public:
    enum Orientation
    {
        Horizontal = 1,
        Vertical = 2
    };

    enum LabelMode
    {
        NumberLabels = 0,
        DateTimeLabels = 1,     // milliseconds since the epoch, local time, two lines
        RelativeTimeLabels = 2, // milliseconds from the origin as [-]hh:mm:ss
    };

    GraphAxis(GraphWidget *widget, int orientation);
    ~GraphAxis() override;

    int orientation() const { return m_orientation; }

    // Truncates toward zero after adding 0.5; values far off the axis saturate at the int range.
    int mapToPixel(double value) const;
    double valueAtPixel(double pixel) const;
    double scale() const { return m_scale; }
    double intercept() const { return m_intercept; }
    bool isReversed() const { return m_reversed; }

    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    double lowerLimit() const { return m_lowerLimit; }
    double upperLimit() const { return m_upperLimit; }
    double initialMinimum() const { return m_initialMinimum; }
    double initialMaximum() const { return m_initialMaximum; }
    int zoomHistorySize() const { return m_zoomHistory.size(); }

    void setRange(double minimum, double maximum);
    void setInitialRange(double minimum, double maximum);
    // NaN means no limit; a pair in the wrong order is ignored.
    void setLimits(double lower, double upper);
    // Shifts the range keeping its width, stopping at a limit.
    void pan(double delta);
    // Widens the range by delta at both ends (narrows it for a negative delta).
    void zoomBy(double delta);
    void pushZoom();
    void zoomInitial();
    void zoomLast();

    bool isMarkerEnabled() const { return m_markerEnabled; }
    void setMarkerEnabled(bool enabled);
    bool isMarkerVisible() const { return m_markerVisible; }
    void setMarkerVisible(bool visible);
    double markerValue() const { return m_markerValue; }
    void setMarkerValue(double value);
    int markerPixel() const { return m_markerPixel; }
    QPen markerPen() const { return m_markerPen; }
    void setMarkerPen(const QPen &pen);
    bool isMarkerLabelShown() const { return m_markerLabelShown; }
    void setMarkerLabelShown(bool shown);

    LabelMode labelMode() const { return m_labelMode; }
    void setLabelMode(LabelMode mode);
    bool areLabelsShown() const { return m_labelsShown; }
    void setLabelsShown(bool shown);
    int majorTickLength() const { return m_majorTickLength; }
    int minorTickLength() const { return m_minorTickLength; }
    void setTickLengths(int major, int minor);
    int labelDecimals() const { return m_labelDecimals; }
    void setLabelDecimals(int decimals);
    int majorDivisions() const { return m_majorDivisions; }
    void setMajorDivisions(int divisions);
    int minorDivisions() const { return m_minorDivisions; }
    void setMinorDivisions(int divisions);
    bool isMajorGridShown() const { return m_majorGrid; }
    void setMajorGridShown(bool shown);
    bool isMinorGridShown() const { return m_minorGrid; }
    void setMinorGridShown(bool shown);
    void setGridColors(const QColor &major, const QColor &minor);
    QString unit() const { return m_unit; }
    void setUnit(const QString &unit);
    double origin() const { return m_origin; }
    void setOrigin(double origin);
    bool followsNewest() const { return m_followNewest; }
    void setFollowNewest(bool follow);

    // Text of a tick label (extraDecimals 0) or of the marker label (1) for a value.
    QString labelText(double value, int extraDecimals = 0) const;

    const QVector<QLineF> &majorGridLines() const { return m_majorGridLines; }
    const QVector<QLineF> &majorTickLines() const { return m_majorTickLines; }
    const QVector<QLineF> &minorGridLines() const { return m_minorGridLines; }
    const QVector<QLineF> &minorTickLines() const { return m_minorTickLines; }

    // True while the mouse drags this axis or the plot area, so that following the newest sample
    // does not fight the operator.
    bool isDragged() const;

    // Pass 2 maps the laid-out rectangle and places the ticks; the axes place their rectangles in
    // passes 0 and 1 themselves.
    void layoutPass(int pass) override;

    virtual void paintOverlay(QPainter *painter);
    virtual void updateMapping(bool translationOnly);
    virtual void rebuildTicks();

    void mouseMove(QMouseEvent *event) override;
    void mousePress(QMouseEvent *event) override;
    void mouseRelease(QMouseEvent *event) override;
    void mouseDoubleClick(QMouseEvent *event) override;

signals:
    void mappingChanged(bool translationOnly);

protected:
    // The frame, the tick marks and the grid lines; the painter's pen is restored afterwards.
    void paintScale(QPainter *painter, int flags);
    void clampToLimits();
    void markerChanged();
    int positionAlong(const QPoint &point) const;
    QRect labelRect(const QString &text, double pixel, int count, int index) const;

    int m_orientation;
    double m_initialMinimum = -10;
    double m_initialLowerLimit = qQNaN();
    double m_initialMaximum = 10;
    double m_initialUpperLimit = qQNaN();
    int m_labelDecimals = 0;
    double m_minimum = -10;
    double m_lowerLimit = qQNaN();
    double m_maximum = 10;
    double m_upperLimit = qQNaN();
    int m_majorDivisions = 4;
    int m_minorDivisions = 4;
    bool m_majorGrid = true;
    bool m_minorGrid = true;
    double m_scale = 1;
    double m_intercept = 0;
    bool m_reversed = false;
    QVector<QPair<double, double>> m_zoomHistory;
    bool m_markerEnabled = true;
    bool m_markerVisible = false;
    int m_markerPixel = 0;
    double m_markerValue = 0;
    QPen m_markerPen = QPen(Qt::red);
    bool m_markerLabelShown = true;
    LabelMode m_labelMode = NumberLabels;
    bool m_labelsShown = true;
    int m_majorTickLength = 10;
    int m_minorTickLength = 3;
    QColor m_majorGridColor = Qt::darkGray;
    QColor m_minorGridColor = Qt::darkGray;
    QString m_unit;
    double m_origin = 0;
    bool m_followNewest = true;
    QVector<QLineF> m_majorGridLines;
    QVector<QLineF> m_majorTickLines;
    QVector<QLineF> m_minorGridLines;
    QVector<QLineF> m_minorTickLines;
    // A drag may leave the widget, so any int is a valid position; this one means "none".
    static constexpr int NoPosition = std::numeric_limits<int>::min();
    int m_lastMousePosition = NoPosition;
};
