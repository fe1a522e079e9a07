#include "utils/gui/graphhorizontalaxis.h"

#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QFontMetrics>
#include <QPainter>

GraphHorizontalAxis::GraphHorizontalAxis(GraphWidget *widget)
    : GraphAxis(widget, Horizontal)
{
    setObjectName(QStringLiteral("GraphHorizontalAxis"));
    m_text = QStringLiteral("x-Axis");
    m_highlightHorizontal = 10;
    m_highlightVertical = 0;
    widget->addAxis(this);
}

void GraphHorizontalAxis::layoutPass(int pass)
{
    const QFontMetrics metrics(m_font);
    switch (pass) {
    case 0: {
        const int bottom = m_widget->height() - 1 - m_widget->bottomMargin();
        const int labels = m_labelsShown ? metrics.height() * (labelLines() + 1) : 0;
        int right = m_widget->width() - 1 - m_widget->rightMargin();
        if (m_labelsShown) {
            // The label under the last line is centred on it; keep it inside the widget.
            const int half = metrics.size(0, labelText(m_maximum)).width() / 2 + 2;
            if (half > m_widget->rightMargin())
                right = m_widget->width() - 1 - half;
        }
        m_rect.setBottom(bottom);
        m_rect.setTop(bottom - m_majorTickLength - labels - 4);
        m_rect.setRight(right);
        break;
    }
    case 1: {
        const QList<GraphVerticalAxis *> axes = m_widget->verticalAxes();
        m_rect.setLeft(axes.isEmpty() ? m_widget->leftMargin() : axes.last()->rect().right());
        break;
    }
    default:
        GraphAxis::layoutPass(pass);
        break;
    }
}

void GraphHorizontalAxis::paint(QPainter *painter, int flags)
{
    paintScale(painter, flags);
    if (!m_labelsShown)
        return;

    const QFontMetrics metrics(m_font);
    const int count = m_majorTickLines.size();
    QRect previous;
    for (int i = 0; i < count; ++i) {
        const double x = m_majorTickLines.at(i).x1();
        const QString text = labelText(valueAtPixel(x));
        const QRect rect = labelRect(text, x, count, i);
        if (!previous.isNull() && rect.adjusted(-2, 0, 2, 0).intersects(previous))
            continue;
        painter->drawText(rect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, text);
        if (m_frameVisible)
            painter->drawRect(rect);
        previous = rect;
    }
    if (!m_text.isEmpty()) {
        const int top = m_rect.top() + m_majorTickLength + 2 + metrics.height() * labelLines() + 1;
        painter->drawText(QRect(m_rect.left(), top, m_rect.width(), metrics.height()),
                          Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, m_text);
    }
}
