#include "utils/gui/graphtitle.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QFontMetrics>
#include <QPainter>

GraphTitle::GraphTitle(GraphWidget *widget)
    : GraphArea(widget)
{
    setObjectName(QStringLiteral("GraphTitle"));
    m_highlightable = false;
    m_text = QStringLiteral("Graph");
    widget->setWindowTitle(m_text);
}

void GraphTitle::setText(const QString &text)
{
    const bool wasEmpty = m_text.isEmpty();
    m_text = text;
    m_widget->setWindowTitle(text);
    // Only an empty title changes the height of the title line.
    if (wasEmpty != text.isEmpty())
        m_widget->requestLayout();
    else
        m_widget->update();
}

void GraphTitle::layoutPass(int pass)
{
    if (pass == 0) {
        const int top = m_widget->topMargin();
        const int height = m_text.isEmpty() ? 0 : QFontMetrics(m_font).height();
        m_rect.setTop(top);
        m_rect.setBottom(top + 4 + height);
    } else if (pass == 1) {
        const QList<GraphVerticalAxis *> axes = m_widget->verticalAxes();
        m_rect.setLeft(axes.isEmpty() ? m_widget->leftMargin() : axes.last()->rect().right());
        m_rect.setRight(m_widget->horizontalAxis()->rect().right());
    }
}

void GraphTitle::paint(QPainter *painter, int flags)
{
    painter->drawText(m_rect, Qt::AlignCenter, m_widget->windowTitle());
    GraphArea::paint(painter, flags);
}
