// The time axis under the plot area; a widget has exactly one.
#pragma once

#include "utils/gui/graphaxis.h"

class GraphHorizontalAxis : public GraphAxis
{
    Q_OBJECT
public:
    // Becomes the widget's horizontal axis.
    explicit GraphHorizontalAxis(GraphWidget *widget);

    void layoutPass(int pass) override;
    void paint(QPainter *painter, int flags) override;

private:
    int labelLines() const { return m_labelMode == DateTimeLabels ? 2 : 1; }
};
