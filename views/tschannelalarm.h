// A channel tile's part of the alarms: the alarm state before the tile's status text, the cause
// and a mail that did not go in its tool tip, and "Acknowledge" and "Restore" in its context menu.
// It reads the experiment's alarm monitor and writes nothing but through it.
#pragma once

#include "experiment/tsalarmmonitor.h"

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;
class TsExperimentChannel;

class TsChannelAlarm : public QObject
{
    Q_OBJECT

public:
    // Adds its actions to the tile's context menu.
    explicit TsChannelAlarm(QWidget *tile);

    void setChannel(TsExperimentChannel *channel);
    TsAlarm alarm() const;

    // Put before the status text: empty while the channel's alarm state is normal.
    QString statusPrefix() const;
    // Appended to the tool tip, each line starting with "<br>".
    QString toolTipLines() const;

signals:
    void changed();

private:
    void update();

    QPointer<TsExperimentChannel> m_channel;
    QPointer<TsAlarmMonitor> m_alarms;
    QAction *m_acknowledge = nullptr;
    QAction *m_restore = nullptr;
};
