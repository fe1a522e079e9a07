#include "utils/gui/graphverticalaxis.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphtitle.h"
#include "utils/gui/graphwidget.h"

#include <QFontMetrics>
#include <QPainter>

GraphVerticalAxis::GraphVerticalAxis(GraphWidget *widget)
    : GraphAxis(widget, Vertical)
{
    setObjectName(QStringLiteral("GraphVerticalAxis"));
    m_text = QStringLiteral("y-Axis");
    m_highlightHorizontal = 0;
    m_highlightVertical = 10;
    m_majorGrid = false;
    widget->addAxis(this);
}

void GraphVerticalAxis::layoutPass(int pass)
{
    switch (pass) {
    case 0: {
        const QList<GraphVerticalAxis *> axes = m_widget->verticalAxes();
        const int left =
            m_index <= 0 ? m_widget->leftMargin() : axes.at(m_index - 1)->rect().right();
        const QFontMetrics metrics(m_font);
        int width = 0;
        if (m_labelsShown) {
            // Measured as numbers whatever the label mode, so the width does not jump when the
            // texts switch between numbers and times.
            const QString low = QString::number(m_minimum, 'f', qMax(0, m_labelDecimals));
            const QString high = QString::number(m_maximum, 'f', qMax(0, m_labelDecimals));
            width = qMax(metrics.horizontalAdvance(low), metrics.horizontalAdvance(high)) + 2;
        }
        if (!m_text.isEmpty())
            width += 2 + metrics.height();
        width += m_majorTickLength + 3;
        m_rect.setLeft(left);
        m_rect.setWidth(width);
        break;
    }
    case 1:
        m_rect.setTop(m_widget->title()->rect().bottom());
        m_rect.setBottom(m_widget->horizontalAxis()->rect().top());
        break;
    default:
        GraphAxis::layoutPass(pass);
        break;
    }
}

void GraphVerticalAxis::paint(QPainter *painter, int flags)
{
    paintScale(painter, flags);

    if (m_labelsShown) {
        const int count = m_majorTickLines.size();
        QRect previous;
        for (int i = 0; i < count; ++i) {
            const double y = m_majorTickLines.at(i).y1();
            const QString text = labelText(valueAtPixel(y));
            const QRect rect = labelRect(text, y, count, i);
            if (!previous.isNull() && rect.adjusted(0, -2, 0, 2).intersects(previous))
                continue;
            painter->drawText(rect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip, text);
            if (m_frameVisible)
                painter->drawRect(rect);
            previous = rect;
        }
    }

    if (!m_text.isEmpty()) {
        const QFontMetrics metrics(m_font);
        painter->save();
        painter->translate(m_rect.left() + 2, m_rect.center().y());
        painter->rotate(-90);
        painter->drawText(QRect(-m_rect.height() / 2, 0, m_rect.height(), metrics.height()),
                          Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, m_text);
        painter->restore();
    }
}
