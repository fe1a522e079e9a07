// One channel of the running experiment as a rounded tile: its title, the actual value in large
// digits, the setpoint (edited in place), the loop button, a status line and, on demand, a small
// graph. The background tells the stability at a glance: grey offline, blue loop off, red, yellow
// and green. The state and its texts are the experiment channel's, which works them out; the tile
// shows them.
//
// The colours are painted from the channel's state, not set as style sheets: re-polishing a tile
// and its children for every change of colour cost milliseconds per tick with many channels, and
// a style sheet on the setpoint box would reach the editor inside it.
#pragma once

#include "experiment/tschannelstate.h"

#include <QColor>
#include <QPointer>
#include <QScopedPointer>
#include <QWidget>

class QLabel;
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
    TsChannelState channelState() const;
    QString titleText() const;
    QString valueText() const;
    QString statusText() const;
    QString statusDescription() const;
    TsChannelGraph *graph() const;
    QRect titleRect() const;
    QRect valueRect() const;

    // The background of a state, and the colour of the texts and frames drawn on it.
    static QColor backgroundColor(TsChannelState state);
    static QColor textColor(TsChannelState state);
    // The one 5-second timer of all tiles (status texts and graphs); null before the first tile.
    static QTimer *refreshTimer();

public slots:
    void updateStatus();
    void updateStatusText();
    void setActualValue(double value);
    void setLoopControl(bool status);
    void setSetpointValue(double newValue);
    void toggleGraph();
    // Paints the tile in the colours of a state; nothing else changes.
    void setChannelState(TsChannelState state);

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
    // The setpoint box and the status line sit on the tile's colour: the tile draws them.
    struct LabelLine;
    void paintLabel(QLabel *label, LabelLine &line, int radius);
    void renderValueText();
    void updateAccessibleText();
    void rebuildToolTip();
    bool openSetpointEditor();
    void closeSetpointEditor();
    void showSetpointMessage(const QString &message);

    QScopedPointer<Ui::TsChannelWidget> ui;
    struct ChannelWidgetState;
    QScopedPointer<ChannelWidgetState> d;
};
