// The main window's view "emailalert": the operator's switch for alert mails. The button always
// shows the mailer manager's switch, whoever changed it: this button, a web page, or the
// experiment, which disarms the switch after it has sent an alert.
#pragma once

#include <QFrame>
#include <QScopedPointer>

namespace Ui {
class TsEmailAlertView;
}

class TsEmailAlertView : public QFrame
{
    Q_OBJECT

public:
    explicit TsEmailAlertView(QWidget *parent = nullptr);
    ~TsEmailAlertView() override;

protected slots:
    void updateEmailAlertStatus(bool on);

private slots:
    void on_pushButtonActivate_clicked();

private:
    QScopedPointer<Ui::TsEmailAlertView> ui;
};
