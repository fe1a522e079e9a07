#include "utils/gui/graphwidget.h"

#include "utils/gui/graphhorizontalaxis.h"
#include "utils/gui/graphlegend.h"
#include "utils/gui/graphplotarea.h"
#include "utils/gui/graphseries.h"
#include "utils/gui/graphtitle.h"
#include "utils/gui/graphverticalaxis.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

class GraphWidgetPrivate
{
public:
    QList<GraphSeries *> series;
    QList<GraphVerticalAxis *> verticalAxes;
    GraphHorizontalAxis *horizontalAxis = nullptr;
    GraphTitle *title = nullptr;
    GraphPlotArea *plotArea = nullptr;
    GraphLegend *legend = nullptr;
    int topMargin = 5;
    int leftMargin = 5;
    int bottomMargin = 5;
    int rightMargin = 25;
    GraphArea *mouseHolder = nullptr;
    bool layoutNeeded = false;
    bool inLayout = false;
    bool interactive = true;
    bool legendEntriesOutdated = false;
    bool legendValuesOutdated = false;
    bool destroying = false;
    QBrush background;

    void runLayout();
    template <typename Visit>
    void forEachArea(Visit visit) const;
};

template <typename Visit>
void GraphWidgetPrivate::forEachArea(Visit visit) const
{
    visit(title);
    for (GraphVerticalAxis *axis : verticalAxes)
        visit(axis);
    visit(horizontalAxis);
    visit(plotArea);
    visit(legend);
}

void GraphWidgetPrivate::runLayout()
{
    inLayout = true;
    for (int pass = 0; pass < 3; ++pass)
        forEachArea([pass](GraphArea *area) { area->layoutPass(pass); });
    inLayout = false;
    layoutNeeded = false;
}

GraphWidget::GraphWidget(QWidget *parent)
    : QWidget(parent)
    , d(new GraphWidgetPrivate)
{
    setObjectName(QStringLiteral("GraphWidget"));
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, Qt::gray);
    gradient.setColorAt(1, Qt::white);
    d->background = QBrush(gradient);

    // The axis constructor registers it as the horizontal axis.
    new GraphHorizontalAxis(this);
    d->title = new GraphTitle(this);
    d->plotArea = new GraphPlotArea(this);
    d->legend = new GraphLegend(this);
}

GraphWidget::~GraphWidget()
{
    // Elements unregister themselves while they die; delete them while this object is still
    // whole, series before the axes they plot against.
    d->destroying = true;
    while (!d->series.isEmpty())
        delete d->series.last();
    while (!d->verticalAxes.isEmpty())
        delete d->verticalAxes.last();
    delete d->legend;
    delete d->plotArea;
    delete d->title;
    delete d->horizontalAxis;
}

GraphHorizontalAxis *GraphWidget::horizontalAxis() const
{
    return d->horizontalAxis;
}
GraphTitle *GraphWidget::title() const
{
    return d->title;
}
GraphPlotArea *GraphWidget::plotArea() const
{
    return d->plotArea;
}
GraphLegend *GraphWidget::legend() const
{
    return d->legend;
}
QList<GraphVerticalAxis *> GraphWidget::verticalAxes() const
{
    return d->verticalAxes;
}
QList<GraphSeries *> GraphWidget::series() const
{
    return d->series;
}

void GraphWidget::addAxis(GraphAxis *axis)
{
    if (axis->orientation() == GraphAxis::Horizontal) {
        d->horizontalAxis = static_cast<GraphHorizontalAxis *>(axis);
        axis->setIndex(0);
    } else {
        axis->setIndex(d->verticalAxes.size());
        d->verticalAxes.append(static_cast<GraphVerticalAxis *>(axis));
    }
    requestLayout();
}

void GraphWidget::removeAxis(GraphAxis *axis)
{
    if (d->mouseHolder == axis)
        d->mouseHolder = nullptr;
    if (axis == d->horizontalAxis) {
        d->horizontalAxis = nullptr;
        return;
    }
    // Called from the axis's destructor, when the object is no longer a vertical axis: compare as
    // axes instead of casting down.
    const auto found = std::find(d->verticalAxes.begin(), d->verticalAxes.end(), axis);
    if (found == d->verticalAxes.end())
        return;
    d->verticalAxes.erase(found);
    for (int i = 0; i < d->verticalAxes.size(); ++i)
        d->verticalAxes.at(i)->setIndex(i);
    if (!d->destroying)
        requestLayout();
}

void GraphWidget::addSeries(GraphSeries *series)
{
    series->setIndex(d->series.size());
    d->series.append(series);
    setLegendEntriesOutdated();
    requestLayout();
}

void GraphWidget::removeSeries(GraphSeries *series)
{
    if (!d->series.removeOne(series))
        return;
    for (int i = 0; i < d->series.size(); ++i)
        d->series.at(i)->setIndex(i);
    if (d->destroying)
        return;
    // The legend must not keep pointing at the series until the next paint.
    d->legend->rebuildEntries();
    setLegendEntriesOutdated();
    requestLayout();
}

void GraphWidget::setMargins(int top, int left, int bottom, int right)
{
    d->topMargin = top;
    d->leftMargin = left;
    d->bottomMargin = bottom;
    d->rightMargin = right;
    requestLayout();
}

int GraphWidget::topMargin() const
{
    return d->topMargin;
}
int GraphWidget::leftMargin() const
{
    return d->leftMargin;
}
int GraphWidget::bottomMargin() const
{
    return d->bottomMargin;
}
int GraphWidget::rightMargin() const
{
    return d->rightMargin;
}

void GraphWidget::setInteractive(bool interactive)
{
    d->interactive = interactive;
}

bool GraphWidget::isInteractive() const
{
    return d->interactive;
}

void GraphWidget::setBackground(const QBrush &brush)
{
    d->background = brush;
    update();
}

QBrush GraphWidget::background() const
{
    return d->background;
}

GraphArea *GraphWidget::objectAt(const QPoint &point) const
{
    if (d->legend->isVisible() && d->legend->entryCount() > 0 && d->legend->rect().contains(point))
        return d->legend;
    if (d->horizontalAxis && d->horizontalAxis->rect().contains(point))
        return d->horizontalAxis;
    for (GraphVerticalAxis *axis : d->verticalAxes) {
        if (axis->rect().contains(point))
            return axis;
    }
    if (d->plotArea->rect().contains(point))
        return d->plotArea;
    if (d->title->rect().contains(point))
        return d->title;
    return nullptr;
}

GraphArea *GraphWidget::mouseHolder() const
{
    return d->mouseHolder;
}

void GraphWidget::requestLayout()
{
    if (d->destroying)
        return;
    d->layoutNeeded = true;
    update();
}

bool GraphWidget::isLayoutPending() const
{
    return d->layoutNeeded || d->inLayout;
}

void GraphWidget::setLegendEntriesOutdated()
{
    d->legendEntriesOutdated = true;
    update();
}

void GraphWidget::setLegendValuesOutdated()
{
    d->legendValuesOutdated = true;
    update();
}

void GraphWidget::ensureLayout()
{
    if (d->legendEntriesOutdated) {
        d->legendEntriesOutdated = false;
        d->legend->rebuildEntries();
    }
    if (d->layoutNeeded)
        d->runLayout();
    if (d->legendValuesOutdated || d->legend->showsLatestValues()) {
        d->legendValuesOutdated = false;
        d->legend->refreshValues(d->horizontalAxis);
    }
}

void GraphWidget::paintEvent(QPaintEvent *)
{
    ensureLayout();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(rect(), d->background);

    d->horizontalAxis->draw(&painter, 0);
    for (GraphVerticalAxis *axis : qAsConst(d->verticalAxes))
        axis->draw(&painter, 0);
    d->plotArea->draw(&painter, 0);

    painter.save();
    d->horizontalAxis->paintOverlay(&painter);
    for (GraphVerticalAxis *axis : qAsConst(d->verticalAxes))
        axis->paintOverlay(&painter);
    painter.restore();

    d->legend->draw(&painter, 0);
    d->title->draw(&painter, 0);
}

void GraphWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    requestLayout();
}

void GraphWidget::mousePressEvent(QMouseEvent *event)
{
    if (!d->interactive)
        return;
    // A second button pressed over another element takes the mouse over; the first one must not
    // stay highlighted.
    if (d->mouseHolder)
        d->mouseHolder->setPressed(false);
    d->mouseHolder = objectAt(event->pos());
    if (d->mouseHolder) {
        d->mouseHolder->setPressed(true);
        d->mouseHolder->mousePress(event);
    }
    update();
}

void GraphWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!d->interactive || !d->mouseHolder)
        return;
    d->mouseHolder->mouseMove(event);
    update();
}

void GraphWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!d->interactive)
        return;
    if (GraphArea *holder = d->mouseHolder) {
        holder->mouseRelease(event);
        // The release may have deleted the holder (an owner reacting to zoomed()).
        if (d->mouseHolder == holder)
            holder->setPressed(false);
        d->mouseHolder = nullptr;
    }
    update();
}

void GraphWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!d->interactive) {
        emit doubleClicked();
        return;
    }
    d->mouseHolder = objectAt(event->pos());
    if (d->mouseHolder) {
        d->mouseHolder->setPressed(true);
        d->mouseHolder->mouseDoubleClick(event);
    }
    update();
}
