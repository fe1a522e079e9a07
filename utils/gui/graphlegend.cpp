#include "utils/gui/graphlegend.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

GraphLegend::GraphLegend(GraphWidget *widget)
    : GraphArea(widget)
{
    setObjectName(QStringLiteral("GraphLegend"));
    m_text = QStringLiteral("Legend");
}

void GraphLegend::setVisible(bool visible)
{
    m_visible = visible;
    m_widget->update();
}

void GraphLegend::setBackground(const QBrush &brush)
{
    m_background = brush;
    m_widget->update();
}

QString GraphLegend::unitOf(const Entry &entry) const
{
    const GraphVerticalAxis *axis = entry.series->valueAxis();
    return axis ? axis->unit() : QString();
}

QString GraphLegend::valueText(const Entry &entry) const
{
    if (std::isnan(entry.value))
        return QStringLiteral("--.-") + unitOf(entry);
    return QString::number(entry.value, 'f', 1) + unitOf(entry);
}

void GraphLegend::rebuildEntries()
{
    m_entries.clear();
    const QFontMetrics metrics(m_font);
    m_widestName = 0;
    const QList<GraphSeries *> series = m_widget->series();
    for (GraphSeries *s : series) {
        Entry entry;
        entry.series = s;
        entry.value = qQNaN();
        m_entries.append(entry);
        m_widestName = qMax(m_widestName, metrics.horizontalAdvance(s->text()));
    }
    const int rows = m_entries.size();
    m_textHeight = rows > 0 ? rows * metrics.height() + (rows - 1) * m_rowSpacing : 0;
    // Values are re-read at the next paint.
    m_widget->setLegendValuesOutdated();
    place();
}

void GraphLegend::refreshValues(GraphAxis *axis)
{
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    if (!axis || axis != horizontal)
        return;
    const QFontMetrics metrics(m_font);
    m_widestValue = 0;
    for (Entry &entry : m_entries) {
        entry.hasValue = horizontal->isMarkerVisible();
        entry.value = entry.series->data()->valueAt(horizontal->markerValue());
        // A fixed template keeps the legend from jittering as values change; a wider value such
        // as 100.0 still gets its room.
        m_widestValue = qMax(m_widestValue,
                             qMax(metrics.horizontalAdvance(QStringLiteral("00.0") + unitOf(entry)),
                                  metrics.horizontalAdvance(valueText(entry))));
    }
    place();
}

void GraphLegend::layoutPass(int pass)
{
    if (pass == 2)
        place();
}

void GraphLegend::place()
{
    bool anyValue = false;
    for (const Entry &entry : qAsConst(m_entries))
        anyValue = anyValue || entry.hasValue;
    const int width =
        m_widestName + 2 * m_horizontalMargin + (anyValue ? m_valueGap + m_widestValue : 0);
    const int height = m_textHeight + 2 * m_verticalMargin;
    const QRect plot = m_widget->plotArea()->rect();
    m_rect = QRect(plot.right() - 4 - width + 1, plot.top() + 4, width, height);

    const int lineHeight = QFontMetrics(m_font).height();
    int y = m_rect.top() + m_verticalMargin;
    for (Entry &entry : m_entries) {
        entry.nameRect = QRect(m_rect.left() + m_horizontalMargin, y, m_widestName, lineHeight);
        entry.valueRect =
            QRect(entry.nameRect.right() + 1 + m_valueGap, y, m_widestValue, lineHeight);
        y += lineHeight + m_rowSpacing;
    }
}

void GraphLegend::paint(QPainter *painter, int)
{
    if (!m_visible || m_entries.isEmpty())
        return;
    painter->setClipRect(m_widget->plotArea()->rect().adjusted(1, 1, -1, -1));
    painter->setBrush(m_background);
    painter->drawRect(m_rect.adjusted(0, 0, -1, -1));
    for (const Entry &entry : qAsConst(m_entries)) {
        const QColor color = entry.series->color();
        painter->setPen(color.isValid() ? QPen(color) : QPen());
        painter->drawText(entry.nameRect, Qt::AlignLeft | Qt::AlignTop, entry.series->text());
        if (entry.hasValue)
            painter->drawText(entry.valueRect, Qt::AlignRight | Qt::AlignTop, valueText(entry));
    }
}
