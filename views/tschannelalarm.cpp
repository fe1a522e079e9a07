#include "views/tschannelalarm.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "views/tsemailalertview.h"

#include <QAction>
#include <QWidget>

TsChannelAlarm::TsChannelAlarm(QWidget *tile)
    : QObject(tile)
{
    setObjectName(QStringLiteral("channelAlarm"));
    m_acknowledge = new QAction(tr("Acknowledge"), tile);
    m_acknowledge->setObjectName(QStringLiteral("actionAcknowledge"));
    m_restore = new QAction(tr("Restore"), tile);
    m_restore->setObjectName(QStringLiteral("actionRestore"));
    m_restore->setToolTip(tr("Write back the setpoint and loop state the program had written"));
    tile->addAction(m_acknowledge);
    tile->addAction(m_restore);
    tile->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_acknowledge, &QAction::triggered, this, [this] {
        if (m_alarms && m_channel)
            m_alarms->acknowledge(m_channel->id(), TsEmailAlertView::desktopUser());
    });
    connect(m_restore, &QAction::triggered, this, [this] {
        if (m_alarms && m_channel)
            m_alarms->restore(m_channel->id(), TsEmailAlertView::desktopUser());
    });
    update();
}

void TsChannelAlarm::setChannel(TsExperimentChannel *channel)
{
    if (m_alarms)
        disconnect(m_alarms, nullptr, this, nullptr);
    m_channel = channel;
    const auto *experiment = channel ? qobject_cast<TsExperiment *>(channel->parent()) : nullptr;
    m_alarms = experiment ? experiment->alarmMonitor() : nullptr;
    if (m_alarms) {
        connect(m_alarms, &TsAlarmMonitor::alarmsChanged, this, [this] {
            update();
            emit changed();
        });
    }
    update();
}

TsAlarm TsChannelAlarm::alarm() const
{
    return m_alarms && m_channel ? m_alarms->alarm(m_channel->id()) : TsAlarm();
}

void TsChannelAlarm::update()
{
    const TsAlarm current = alarm();
    m_acknowledge->setVisible(current.state != TsAlarmState::Normal);
    m_acknowledge->setEnabled(current.isUnacknowledged());
    m_restore->setVisible(current.restorable);
}

QString TsChannelAlarm::statusPrefix() const
{
    switch (alarm().state) {
    case TsAlarmState::Unacknowledged:
        return tr("ALARM: ");
    case TsAlarmState::Acknowledged:
        return tr("Alarm (acknowledged): ");
    case TsAlarmState::ReturnedUnacknowledged:
        return tr("Alarm over, unacknowledged: ");
    case TsAlarmState::Normal:
        break;
    }
    return QString();
}

QString TsChannelAlarm::toolTipLines() const
{
    const TsAlarm current = alarm();
    if (current.state == TsAlarmState::Normal)
        return QString();
    QString lines = QStringLiteral("<br><br><b>%1</b> %2<br>%3")
                        .arg(tr("Alarm:"), tsAlarmStateText(current.state).toHtmlEscaped(),
                             current.causeText.toHtmlEscaped());
    if (m_alarms && !m_alarms->mailFailure().isEmpty())
        lines += QStringLiteral("<br>") + m_alarms->mailFailure().toHtmlEscaped();
    return lines;
}
