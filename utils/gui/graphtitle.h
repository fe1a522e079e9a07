// The title line above the plot area. Its text is the widget's window title.
#pragma once

#include "utils/gui/grapharea.h"

class GraphTitle : public GraphArea
{
    Q_OBJECT
public:
    explicit GraphTitle(GraphWidget *widget);

    void setText(const QString &text) override;

    void layoutPass(int pass) override;
    void paint(QPainter *painter, int flags) override;
};
