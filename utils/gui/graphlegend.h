// The legend in the top right corner of the plot area: one row per series with its name and, as its
// options ask, the series' value at the time marker or its newest value; a click on a row may hide
// or show that series' line.
#pragma once

#include "utils/gui/grapharea.h"

#include <QBrush>
#include <QVector>

class GraphSeries;

class GraphLegend : public GraphArea
{
    Q_OBJECT
public:
    struct Entry
    {
        GraphSeries *series = nullptr;
        QRect nameRect;
        QRect valueRect;
        bool hasValue = false;
        double value = 0;
    };

    enum Option
    {
        MarkerValues = 0x1, // while the time marker is shown: each series' value at the marker
        LatestValues = 0x2, // while it is not: each series' newest value
        ToggleSeries = 0x4, // a left click on a row hides or shows that series' line
    };
    static constexpr int DefaultOptions = MarkerValues | LatestValues | ToggleSeries;

    explicit GraphLegend(GraphWidget *widget);

    int options() const { return m_options; }
    void setOptions(int options);
    bool testOption(Option option) const { return (m_options & option) != 0; }
    // True while rows show newest values: they must be re-read at every paint.
    bool showsLatestValues() const;
    // The row under a point, or -1.
    int entryAt(const QPoint &point) const;

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);
    QBrush background() const { return m_background; }
    void setBackground(const QBrush &brush);

    int entryCount() const { return m_entries.size(); }
    const Entry &entry(int index) const { return m_entries.at(index); }
    // "22.5°C", or "--.-°C" for NaN.
    QString valueText(const Entry &entry) const;

    void rebuildEntries() override;
    void refreshValues(GraphAxis *axis) override;
    void layoutPass(int pass) override;
    void paint(QPainter *painter, int flags) override;
    void mousePress(QMouseEvent *event) override;

private:
    QString unitOf(const Entry &entry) const;
    void place();

    QVector<Entry> m_entries;
    int m_widestName = 0;
    int m_widestValue = 0;
    int m_textHeight = 0;
    QBrush m_background = QBrush(QColor(255, 255, 255, 170));
    bool m_visible = true;
    int m_options = DefaultOptions;
    int m_rowSpacing = 2;
    int m_verticalMargin = 2;
    int m_horizontalMargin = 4;
    int m_valueGap = 4;
};
