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
    case 2:
        updateMapping(false);
        rebuildTicks();
        break;
    default:
        break;
    }
}

void GraphHorizontalAxis::updateMapping(bool translationOnly)
{
    const double span = m_maximum - m_minimum;
    if (span != 0) {
        m_scale = double(m_rect.right() - m_rect.left()) / span;
        m_intercept = m_rect.left() - m_scale * m_minimum;
    }
    finishMapping(translationOnly);
}

void GraphHorizontalAxis::rebuildTicks()
{
    m_majorGridLines.clear();
    m_majorTickLines.clear();
    m_minorGridLines.clear();
    m_minorTickLines.clear();
    if (m_majorDivisions <= 0)
        return;
    const QRect plot = m_widget->plotArea()->rect();
    const double majorStep = double(m_rect.width() - 1) / m_majorDivisions;
    const double minorStep = m_minorDivisions > 0 ? majorStep / m_minorDivisions : 0;
    const double top = m_rect.top();
    for (int i = 0; i <= m_majorDivisions; ++i) {
        const double x = m_rect.left() + i * majorStep;
        m_majorTickLines.append(QLineF(x, top, x, top + m_majorTickLength));
        m_majorGridLines.append(QLineF(x, plot.top() + 1, x, plot.bottom() - 1));
        if (i == m_majorDivisions)
            break;
        for (int j = 1; j < m_minorDivisions; ++j) {
            const double minorX = x + j * minorStep;
            m_minorTickLines.append(QLineF(minorX, top, minorX, top + m_minorTickLength));
            m_minorGridLines.append(QLineF(minorX, plot.top() + 1, minorX, plot.bottom() - 1));
        }
    }
}

void GraphHorizontalAxis::paint(QPainter *painter, int flags)
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

void GraphHorizontalAxis::paintOverlay(QPainter *painter)
{
    if (!m_markerVisible || m_markerPixel < m_rect.left() || m_markerPixel > m_rect.right())
        return;
    const QRect plot = m_widget->plotArea()->rect();
    painter->setPen(m_markerPen);
    painter->drawLine(m_markerPixel, plot.top(), m_markerPixel, plot.bottom());
    if (!m_markerLabelShown)
        return;
    painter->setFont(m_font);
    const QString text = labelText(m_markerValue, 1);
    const QRect rect = labelRect(text, m_markerPixel, 0, -1);
    const QRect box = rect.adjusted(-2, 0, 2, 0);
    painter->setBrush(m_markerPen.color().lighter(150));
    painter->drawRect(box);
    painter->setPen(Qt::black);
    painter->drawText(rect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, text);
}
