#include "views/tsemailalertview.h"
#include "ui_tsemailalertview.h"

#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "views/viewresources.h"

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
}

TsEmailAlertView::~TsEmailAlertView() = default;

void TsEmailAlertView::on_pushButtonActivate_clicked()
{
    // The click has toggled the button already; the manager's answer sets what it shows.
    const bool wanted = ui->pushButtonActivate->isChecked();
    TsCore::mailerManager()->setEmailAlert(wanted);
    updateEmailAlertStatus(TsCore::mailerManager()->isEmailAlertOn());
}

void TsEmailAlertView::updateEmailAlertStatus(bool on)
{
    ui->pushButtonActivate->setText(on ? tr("Activated") : tr("Not activated"));
    ui->pushButtonActivate->setChecked(on);
}
