// The main window's view "emailalert": the operator's switch for alert mails, and the alarms. The
// button always shows the mailer manager's switch, whoever changed it: this button, a web page, or
// the experiment, which disarms the switch after it has sent an alert in the one-shot mode. While
// any channel is in alarm, or a mail did not go, a row below says so and offers "Acknowledge" (all
// alarms) and "Restore" (a controller's values the program did not write).
#pragma once

#include <QFrame>
#include <QPointer>
#include <QScopedPointer>

namespace Ui {
class TsEmailAlertView;
}

class TsAlarmMonitor;
class TsExperiment;

class TsEmailAlertView : public QFrame
{
    Q_OBJECT

public:
    explicit TsEmailAlertView(QWidget *parent = nullptr);
    ~TsEmailAlertView() override;

    // Who acknowledges at the desktop: the current user, or "desktop" while none is.
    static QString desktopUser();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

protected slots:
    void updateEmailAlertStatus(bool on);
    void updateAlarms();

private slots:
    void on_pushButtonActivate_clicked();
    void on_pushButtonAcknowledge_clicked();
    void on_pushButtonRestore_clicked();
    void on_pushButtonJournal_clicked();

private:
    void followExperiment(TsExperiment *experiment);
    void fitHeight();

    QScopedPointer<Ui::TsEmailAlertView> ui;
    QPointer<TsAlarmMonitor> m_alarms;
};
