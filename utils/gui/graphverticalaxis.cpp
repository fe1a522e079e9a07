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
        if (m_labelsShown)
            width = qMax(metrics.size(0, labelText(m_minimum)).width(),
                         metrics.size(0, labelText(m_maximum)).width()) +
                    2;
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
    case 2:
        updateMapping(false);
        rebuildTicks();
        break;
    default:
        break;
    }
}

void GraphVerticalAxis::updateMapping(bool translationOnly)
{
    const double span = m_maximum - m_minimum;
    if (span != 0) {
        m_scale = -double(m_rect.bottom() - m_rect.top()) / span;
        m_intercept = m_rect.bottom() - m_scale * m_minimum;
    }
    finishMapping(translationOnly);
}

void GraphVerticalAxis::rebuildTicks()
{
    m_majorGridLines.clear();
    m_majorTickLines.clear();
    m_minorGridLines.clear();
    m_minorTickLines.clear();
    if (m_majorDivisions <= 0)
        return;
    const QRect plot = m_widget->plotArea()->rect();
    const double majorStep = double(m_rect.height() - 1) / m_majorDivisions;
    const double minorStep = m_minorDivisions > 0 ? majorStep / m_minorDivisions : 0;
    const double right = m_rect.right();
    for (int i = 0; i <= m_majorDivisions; ++i) {
        const double y = m_rect.top() + i * majorStep;
        m_majorTickLines.append(QLineF(right - m_majorTickLength, y, right, y));
        m_majorGridLines.append(QLineF(plot.left() + 1, y, plot.right() - 1, y));
        if (i == m_majorDivisions)
            break;
        for (int j = 1; j < m_minorDivisions; ++j) {
            const double minorY = y + j * minorStep;
            m_minorTickLines.append(QLineF(right - m_minorTickLength, minorY, right, minorY));
            m_minorGridLines.append(QLineF(plot.left() + 1, minorY, plot.right() - 1, minorY));
        }
    }
}

void GraphVerticalAxis::paint(QPainter *painter, int flags)
{
    GraphArea::paint(painter, flags);
    const QPen pen = painter->pen();
    painter->drawLines(m_majorTickLines);
    painter->drawLines(m_minorTickLines);
    if (m_majorGrid) {
        painter->setPen(QPen(m_majorGridColor));
        painter->drawLines(m_majorGridLines);
    }
    if (m_minorGrid) {
        painter->setPen(QPen(m_minorGridColor, 1, Qt::DotLine));
        painter->drawLines(m_minorGridLines);
    }
    painter->setPen(pen);

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

void GraphVerticalAxis::paintOverlay(QPainter *painter)
{
    if (!m_markerVisible || m_markerPixel < m_rect.top() || m_markerPixel > m_rect.bottom())
        return;
    const QRect plot = m_widget->plotArea()->rect();
    painter->setPen(m_markerPen);
    painter->drawLine(plot.left(), m_markerPixel, plot.right(), m_markerPixel);
    if (!m_markerLabelShown)
        return;
    painter->setFont(m_font);
    const QString text = labelText(m_markerValue, 1);
    const QRect rect = labelRect(text, m_markerPixel, 0, -1);
    const QRect box = rect.adjusted(-2, 0, 2, 0);
    painter->setBrush(m_markerPen.color().lighter(150));
    painter->drawRect(box);
    painter->setPen(Qt::black);
    painter->drawText(rect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip, text);
}
