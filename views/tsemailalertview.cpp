#include "views/tsemailalertview.h"
#include "ui_tsemailalertview.h"

#include "dialogs/tsalarmjournaldialog.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "views/viewresources.h"

#include <QEvent>
#include <QLayout>
#include <QResizeEvent>
#include <QStyle>

TsEmailAlertView::TsEmailAlertView(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::TsEmailAlertView)
{
    initViewResources();
    ui->setupUi(this);
    setFrameStyle(QFrame::Box);
    ui->titleLabel->setText(windowTitle());
    connect(TsCore::mailerManager(), &TsMailerManager::emailAlertStatusChanged, this,
            &TsEmailAlertView::updateEmailAlertStatus);
    // The switch is off at every start; a view made later still shows the truth.
    updateEmailAlertStatus(TsCore::mailerManager()->isEmailAlertOn());
    connect(TsCore::experimentManager(), &TsExperimentManager::currentExperimentChanged, this,
            &TsEmailAlertView::followExperiment);
    followExperiment(TsCore::experimentManager()->currentExperiment());
}

TsEmailAlertView::~TsEmailAlertView() = default;

QString TsEmailAlertView::desktopUser()
{
    const QString user = TsCore::currentUser();
    return user.isEmpty() ? QStringLiteral("desktop") : user;
}

void TsEmailAlertView::followExperiment(TsExperiment *experiment)
{
    if (m_alarms)
        disconnect(m_alarms, nullptr, this, nullptr);
    m_alarms = experiment ? experiment->alarmMonitor() : nullptr;
    if (m_alarms)
        connect(m_alarms, &TsAlarmMonitor::alarmsChanged, this, &TsEmailAlertView::updateAlarms);
    updateAlarms();
}

void TsEmailAlertView::on_pushButtonActivate_clicked()
{
    // The click has toggled the button already; the manager's answer sets what it shows.
    const bool wanted = ui->pushButtonActivate->isChecked();
    TsCore::mailerManager()->setEmailAlert(wanted);
    updateEmailAlertStatus(TsCore::mailerManager()->isEmailAlertOn());
}

void TsEmailAlertView::on_pushButtonAcknowledge_clicked()
{
    if (m_alarms)
        m_alarms->acknowledgeAll(desktopUser());
}

void TsEmailAlertView::on_pushButtonRestore_clicked()
{
    if (!m_alarms)
        return;
    QStringList failures;
    for (const TsAlarm &alarm : m_alarms->alarms()) {
        if (!alarm.restorable)
            continue;
        const QxResult result = m_alarms->restore(alarm.channelId, desktopUser());
        if (result.isError())
            failures << QStringLiteral("%1: %2").arg(alarm.channelName, result.message());
    }
    ui->pushButtonRestore->setToolTip(failures.isEmpty()
                                          ? tr("Write back the setpoint and loop state the "
                                               "program had written")
                                          : tr("Not restored: %1").arg(failures.join('\n')));
}

void TsEmailAlertView::on_pushButtonJournal_clicked()
{
    auto *dialog = new TsAlarmJournalDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TsEmailAlertView::updateEmailAlertStatus(bool on)
{
    ui->pushButtonActivate->setText(on ? tr("Activated") : tr("Not activated"));
    ui->pushButtonActivate->setChecked(on);
}

void TsEmailAlertView::updateAlarms()
{
    const QList<TsAlarm> alarms = m_alarms ? m_alarms->alarms() : QList<TsAlarm>();
    const QString failure = m_alarms ? m_alarms->mailFailure() : QString();
    QStringList lines;
    int unacknowledged = 0;
    bool restorable = false;
    for (const TsAlarm &alarm : alarms) {
        if (alarm.isUnacknowledged())
            ++unacknowledged;
        restorable = restorable || alarm.restorable;
        lines << QStringLiteral("<b>%1</b>: %2")
                     .arg(alarm.channelName.toHtmlEscaped(),
                          tsAlarmStateText(alarm.state).toHtmlEscaped());
    }
    if (!failure.isEmpty())
        lines << QStringLiteral("<span style=\"color:#ff4040\">%1</span>")
                     .arg(failure.toHtmlEscaped());
    ui->labelAlarms->setText(lines.join(QStringLiteral("<br>")));
    QStringList causes;
    for (const TsAlarm &alarm : alarms)
        causes << QStringLiteral("%1: %2").arg(alarm.channelName, alarm.causeText);
    ui->labelAlarms->setToolTip(causes.join('\n'));
    ui->pushButtonAcknowledge->setEnabled(unacknowledged > 0);
    ui->pushButtonRestore->setVisible(restorable);
    const bool shown = !lines.isEmpty();
    ui->alarmRow->setVisible(shown);
    // The property lets the style sheet mark the view while an alarm waits for somebody.
    setProperty("alarm", unacknowledged > 0 ? "unacknowledged" : shown ? "on" : "off");
    style()->unpolish(this);
    style()->polish(this);
    // The text just set has told only its own row so far, which would tell the view later.
    ui->alarmRow->layout()->invalidate();
    ui->alarmRow->updateGeometry();
    fitHeight();
}

void TsEmailAlertView::fitHeight()
{
    // The style decides the buttons' height and the alarm text wraps with the width: the view
    // takes the height its layout needs at this width, so that nothing is cut at the bottom.
    QLayout *rows = layout();
    rows->activate();
    const int height = rows->hasHeightForWidth() ? rows->totalHeightForWidth(width())
                                                 : rows->totalSizeHint().height();
    if (height != minimumHeight() || height != maximumHeight())
        setFixedHeight(height);
}

bool TsEmailAlertView::event(QEvent *event)
{
    const bool handled = QFrame::event(event);
    // A part that wants another height says so by a layout request.
    if (event->type() == QEvent::LayoutRequest)
        fitHeight();
    return handled;
}

void TsEmailAlertView::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitHeight();
}
