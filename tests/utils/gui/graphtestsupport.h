// Helpers shared by the graph tests: a laid-out widget with one value axis, rendering into an
// image, and mouse moves that carry the buttons held (QTest's moves do not).
#pragma once

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlegend.h"
#include "utils/gui/graphlineseries.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphseriesdata.h"
#include "utils/gui/graphtitle.h"
#include "utils/gui/graphverticalaxis.h"
#include "utils/gui/graphwidget.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

// A fixed, realistic time base: milliseconds since the epoch in 2024.
constexpr double T0 = 1.7e12;

inline QImage renderGraph(GraphWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    widget.render(&image);
    return image;
}

inline bool isBlue(QRgb pixel)
{
    return qBlue(pixel) > qRed(pixel) + 60 && qBlue(pixel) > qGreen(pixel) + 60;
}

inline bool isRed(QRgb pixel)
{
    return qRed(pixel) > qBlue(pixel) + 60 && qRed(pixel) > qGreen(pixel) + 60;
}

inline void moveMouse(QWidget *widget, const QPoint &pos, Qt::MouseButtons buttons,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, buttons,
                      modifiers);
    QApplication::sendEvent(widget, &event);
}

class GraphFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        widget.resize(500, 300);
        widget.setBackground(Qt::white);
        axis = new GraphVerticalAxis(&widget);
        axis->setMajorGridShown(false);
        axis->setMinorGridShown(false);
        axis->setInitialRange(0, 100);
        horizontal()->setMajorGridShown(false);
        horizontal()->setMinorGridShown(false);
        horizontal()->setInitialRange(T0, T0 + 100000);
        widget.ensureLayout();
    }

    GraphHorizontalAxis *horizontal() { return widget.horizontalAxis(); }
    QRect plot() { return widget.plotArea()->rect(); }

    // A blue series with immediate conversion, so that every append is converted at once.
    GraphLineSeries *blueSeries(QSharedPointer<GraphSeriesData> data = {})
    {
        auto *series = new GraphLineSeries(axis, data);
        series->setColor(Qt::blue);
        series->setThrottle(0, 125);
        widget.ensureLayout();
        return series;
    }

    GraphWidget widget;
    GraphVerticalAxis *axis = nullptr;
};
