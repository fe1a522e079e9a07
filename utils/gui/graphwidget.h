// A widget that plots time series: one horizontal axis, any number of vertical axes, a plot area,
// a title, a legend and line series. It lays its elements out in three passes, paints them in a
// fixed order and routes the mouse to the element under the cursor.
#pragma once

#include <QBrush>
#include <QList>
#include <QScopedPointer>
#include <QWidget>

class GraphArea;
class GraphAxis;
class GraphHorizontalAxis;
class GraphLegend;
class GraphPlotArea;
class GraphSeries;
class GraphTitle;
class GraphVerticalAxis;
class GraphWidgetPrivate;

class GraphWidget : public QWidget
{
    Q_OBJECT
public:
    explicit GraphWidget(QWidget *parent = nullptr);
    ~GraphWidget() override;

    GraphHorizontalAxis *horizontalAxis() const;
    GraphTitle *title() const;
    GraphPlotArea *plotArea() const;
    GraphLegend *legend() const;
    QList<GraphVerticalAxis *> verticalAxes() const;
    QList<GraphSeries *> series() const;

    // Called by the constructors and destructors of axes and series.
    void addAxis(GraphAxis *axis);
    void removeAxis(GraphAxis *axis);
    void addSeries(GraphSeries *series);
    void removeSeries(GraphSeries *series);

    void setMargins(int top, int left, int bottom, int right);
    int topMargin() const;
    int leftMargin() const;
    int bottomMargin() const;
    int rightMargin() const;

    // Without interaction the widget ignores the mouse except for emitting doubleClicked().
    void setInteractive(bool interactive);
    bool isInteractive() const;
    void setBackground(const QBrush &brush);
    QBrush background() const;

    // The element whose rectangle contains the point, in hit-test order: legend, horizontal axis,
    // vertical axes, plot area, title.
    GraphArea *objectAt(const QPoint &point) const;
    // The element that received the last press, until the release.
    GraphArea *mouseHolder() const;

    void requestLayout();
    // True from requestLayout() until the layout passes have run; a full rebuild of the series
    // then follows anyway, so series may defer theirs.
    bool isLayoutPending() const;
    void setLegendEntriesOutdated();
    void setLegendValuesOutdated();
    // Brings legend entries, layout and legend values up to date, as the next paint would.
    void ensureLayout();

signals:
    void doubleClicked();
    // 1 horizontal axis, 2 vertical axes, 3 both.
    void zoomed(int flags);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QScopedPointer<GraphWidgetPrivate> d;
};
