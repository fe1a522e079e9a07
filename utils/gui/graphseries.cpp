#include "utils/gui/graphseries.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

GraphSeries::GraphSeries(GraphVerticalAxis *valueAxis, QSharedPointer<GraphSeriesData> data)
    : GraphObject(valueAxis->widget())
    , m_valueAxis(valueAxis)
    , m_data(data ? data : QSharedPointer<GraphSeriesData>::create())
{
    m_data->addObserver(this);
    m_widget->addSeries(this);
    connect(valueAxis, &GraphAxis::mappingChanged, this, &GraphSeries::mappingChanged);
    connect(m_widget->horizontalAxis(), &GraphAxis::mappingChanged, this,
            &GraphSeries::mappingChanged);
}

GraphSeries::~GraphSeries()
{
    m_data->removeObserver(this);
    m_widget->removeSeries(this);
}

void GraphSeries::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    m_widget->setLegendEntriesOutdated();
    m_widget->requestLayout();
}

void GraphSeries::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    m_widget->update();
}

void GraphSeries::rebuild() {}

void GraphSeries::dataAppended() {}

void GraphSeries::clearLines() {}

void GraphSeries::mappingChanged(bool) {}
