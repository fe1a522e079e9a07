// A value axis at the left of the plot area; several stand side by side, the first at the widget's
// left margin. The minimum lies on the bottom edge, the maximum on the top edge.
#pragma once

#include "utils/gui/graphaxis.h"

class GraphVerticalAxis : public GraphAxis
{
    Q_OBJECT
public:
    // Appends the axis to the widget's vertical axes; its index is its position there.
    explicit GraphVerticalAxis(GraphWidget *widget);

    void layoutPass(int pass) override;
    void paint(QPainter *painter, int flags) override;
};
