#include "utils/gui/graphobject.h"

#include "utils/gui/graphwidget.h"

#include <QPainter>

GraphObject::GraphObject(GraphWidget *widget)
    : QObject(widget)
    , m_widget(widget)
    , m_font(widget->font())
{}

GraphObject::~GraphObject() = default;

void GraphObject::setColor(const QColor &color)
{
    m_color = color;
    m_widget->update();
}

void GraphObject::setFont(const QFont &font)
{
    m_font = font;
    m_widget->requestLayout();
}

void GraphObject::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    m_widget->requestLayout();
}

void GraphObject::draw(QPainter *painter, int flags)
{
    painter->save();
    painter->setPen(m_color.isValid() ? QPen(m_color) : QPen());
    painter->setFont(m_font);
    if (m_highlightable && m_pressed)
        paintBackground(painter);
    paint(painter, flags);
    painter->restore();
}

void GraphObject::paint(QPainter *, int) {}

void GraphObject::paintBackground(QPainter *) {}

void GraphObject::refreshValues(GraphAxis *) {}

void GraphObject::rebuildEntries() {}
