// One channel of the running experiment as a rounded tile: its title, the actual value in large
// digits, the setpoint (edited in place), the loop button, a status line and, on demand, a small
// graph. The background tells the stability at a glance: grey offline, blue loop off, red, yellow
// and green. The state and its texts are the experiment channel's, which works them out; the tile
// shows them.
#pragma once

#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

class QTimer;
class TsChannelGraph;
class TsDeviceChannel;
class TsExperimentChannel;

namespace Ui {
class TsChannelWidget;
}

class TsChannelWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TsChannelWidget(QWidget *parent = nullptr);
    ~TsChannelWidget() override;

    // Binds the tile; the unit is taken here and only here.
    void setExperimentChannel(TsExperimentChannel *channel);
    TsExperimentChannel *experimentChannel() const;

    void setCollapsed(bool collapsed);
    bool isCollapsed() const;

    int statusIndex() const;
    QString titleText() const;
    QString valueText() const;
    QString statusText() const;
    QString statusDescription() const;
    TsChannelGraph *graph() const;
    QRect titleRect() const;
    QRect valueRect() const;

    // The background of a status index, "#rrggbb".
    static QString backgroundColor(int statusIndex);
    // The one 5-second timer of all tiles (status texts and graphs); null before the first tile.
    static QTimer *refreshTimer();

public slots:
    void updateStatus();
    void updateStatusText();
    void setActualValue(double value);
    void setLoopControl(bool status);
    void setSetpointValue(double newValue);
    void toggleGraph();

private slots:
    void onEditingFinished();
    void on_pushButtonLoopCtrl_clicked();
    void updateGraph();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TsDeviceChannel *deviceChannel() const;
    void setStatusIndex(int index);
    bool hasLightText() const;
    void applyLabelColours();
    void renderValueText();
    void rebuildToolTip();
    bool openSetpointEditor();
    void closeSetpointEditor();

    QScopedPointer<Ui::TsChannelWidget> ui;
    struct ChannelWidgetState;
    QScopedPointer<ChannelWidgetState> d;
};
