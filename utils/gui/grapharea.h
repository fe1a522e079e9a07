// A graph element that occupies a rectangle of the widget, takes part in the layout passes and
// receives the mouse events the widget routes to it.
#pragma once

#include "utils/gui/graphobject.h"

#include <QRect>

class QMouseEvent;

class GraphArea : public GraphObject
{
    Q_OBJECT
public:
    explicit GraphArea(GraphWidget *widget);

    QRect rect() const { return m_rect; }
    void setRect(const QRect &rect) { m_rect = rect; }
    bool isFrameVisible() const { return m_frameVisible; }
    void setFrameVisible(bool visible);
    // How far the pressed highlight reaches beyond the rectangle on each side.
    void setHighlightMargins(int horizontal, int vertical);
    int horizontalHighlightMargin() const { return m_highlightHorizontal; }
    int verticalHighlightMargin() const { return m_highlightVertical; }

    void paint(QPainter *painter, int flags) override;
    void paintBackground(QPainter *painter) override;

    // Pass 0, 1 and 2 of the widget's layout; what each element does in each pass is its own.
    virtual void layoutPass(int pass);
    virtual void mouseMove(QMouseEvent *event);
    virtual void mousePress(QMouseEvent *event);
    virtual void mouseRelease(QMouseEvent *event);
    virtual void mouseDoubleClick(QMouseEvent *event);

protected:
    QRect m_rect;
    bool m_frameVisible = false;
    int m_highlightHorizontal = 0;
    int m_highlightVertical = 0;
};
