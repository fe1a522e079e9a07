#include "utils/gui/graphlegend.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphseries.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QFontMetrics>
#include <QMouseEvent>
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

void GraphLegend::setOptions(int options)
{
    if (m_options == options)
        return;
    m_options = options;
    m_widget->setLegendValuesOutdated();
}

bool GraphLegend::showsLatestValues() const
{
    const GraphHorizontalAxis *horizontal = m_widget->horizontalAxis();
    return m_visible && testOption(LatestValues) && !m_entries.isEmpty() && horizontal &&
           !horizontal->isMarkerVisible();
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
    const bool atMarker = horizontal->isMarkerVisible();
    for (Entry &entry : m_entries) {
        const GraphSeriesData *data = entry.series->data().data();
        if (atMarker) {
            entry.hasValue = testOption(MarkerValues);
            entry.value = data->valueAt(horizontal->markerValue());
        } else {
            // The store's last value skips NaN samples; a series whose newest sample is a gap
            // must not show an older value as if it were current.
            const bool gap = data->size() > 0 && std::isnan(data->y()[data->size() - 1]);
            entry.hasValue = testOption(LatestValues) && data->size() > 0;
            entry.value = gap ? qQNaN() : data->last();
        }
        if (!entry.hasValue)
            continue;
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

int GraphLegend::entryAt(const QPoint &point) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries.at(i);
        const QRect row(m_rect.left(), entry.nameRect.top(), m_rect.width(),
                        entry.nameRect.height() + m_rowSpacing);
        if (row.contains(point))
            return i;
    }
    return -1;
}

void GraphLegend::mousePress(QMouseEvent *event)
{
    if (!testOption(ToggleSeries) || event->buttons() != Qt::LeftButton)
        return;
    const int row = entryAt(event->pos());
    if (row < 0)
        return;
    GraphSeries *series = m_entries.at(row).series;
    series->setVisible(!series->isVisible());
}

void GraphLegend::paint(QPainter *painter, int)
{
    if (!m_visible || m_entries.isEmpty())
        return;
    painter->setClipRect(m_widget->plotArea()->rect().adjusted(1, 1, -1, -1));
    painter->setBrush(m_background);
    painter->drawRect(m_rect.adjusted(0, 0, -1, -1));
    for (const Entry &entry : qAsConst(m_entries)) {
        // A hidden line's row stays, greyed, so that it can be clicked back.
        const QColor color = entry.series->isVisible() ? entry.series->color() : QColor(Qt::gray);
        painter->setPen(color.isValid() ? QPen(color) : QPen());
        painter->drawText(entry.nameRect, Qt::AlignLeft | Qt::AlignTop, entry.series->text());
        if (entry.hasValue)
            painter->drawText(entry.valueRect, Qt::AlignRight | Qt::AlignTop, valueText(entry));
    }
}
