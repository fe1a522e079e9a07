// A series of samples plotted against the widget's horizontal axis and one vertical value axis.
// Its colour is the line colour and its text the name in the legend.
#pragma once

#include "utils/gui/graphobject.h"
#include "utils/gui/graphverticalaxis.h"

#include <QPointer>
#include <QSharedPointer>

class GraphSeriesData;

class GraphSeries : public GraphObject
{
    Q_OBJECT
public:
    // Without a store the series makes its own. The series becomes a child of the axis's widget.
    explicit GraphSeries(GraphVerticalAxis *valueAxis,
                         QSharedPointer<GraphSeriesData> data = QSharedPointer<GraphSeriesData>());
    ~GraphSeries() override;

    GraphVerticalAxis *valueAxis() const { return m_valueAxis; }
    QSharedPointer<GraphSeriesData> data() const { return m_data; }

    void setText(const QString &text) override;

    // A hidden series keeps its samples and its legend row but draws no line.
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    virtual void rebuild();
    virtual void dataAppended();
    virtual void clearLines();

public slots:
    virtual void mappingChanged(bool translationOnly);

protected:
    QPointer<GraphVerticalAxis> m_valueAxis;
    QSharedPointer<GraphSeriesData> m_data;
    bool m_visible = true;
};
