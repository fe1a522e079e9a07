#include "utils/gui/grapharea.h"

#include "utils/gui/graphwidget.h"

#include <QPainter>

GraphArea::GraphArea(GraphWidget *widget)
    : GraphObject(widget)
{}

void GraphArea::setFrameVisible(bool visible)
{
    m_frameVisible = visible;
    m_widget->update();
}

void GraphArea::setHighlightMargins(int horizontal, int vertical)
{
    m_highlightHorizontal = horizontal;
    m_highlightVertical = vertical;
}

void GraphArea::paint(QPainter *painter, int)
{
    // QPainter outlines one pixel beyond right() and bottom(); keep the frame inside the rectangle.
    if (m_frameVisible)
        painter->drawRect(m_rect.adjusted(0, 0, -1, -1));
}

void GraphArea::paintBackground(QPainter *painter)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(Qt::lightGray));
    painter->drawRoundedRect(m_rect.adjusted(-m_highlightHorizontal, -m_highlightVertical,
                                             m_highlightHorizontal, m_highlightVertical),
                             5, 5);
    painter->restore();
}

void GraphArea::layoutPass(int) {}

void GraphArea::mouseMove(QMouseEvent *) {}

void GraphArea::mousePress(QMouseEvent *) {}

void GraphArea::mouseRelease(QMouseEvent *) {}

void GraphArea::mouseDoubleClick(QMouseEvent *) {}
