#include "tssettingsdialog.h"
#include "ui_tssettingsdialog.h"

#include "dialogs/tsmailersettingsdialog.h"
#include "mailer/tsmailermanager.h"
#include "tscore.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QPushButton>
#include <QSpinBox>

TsSettingsDialog::TsSettingsDialog(QWidget *parent)
    : TsSettingsDialog(TsCore::webInterfaceManager(), TsCore::mailerManager(), parent)
{}

TsSettingsDialog::TsSettingsDialog(TsWebInterfaceManager *webInterface, TsMailerManager *mailers,
                                   QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsSettingsDialog)
    , m_webInterface(webInterface)
    , m_mailers(mailers)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_mailerPage = new TsMailerSettingsDialog(this);
    m_mailerPage->setWindowFlags(Qt::Widget);
    ui->tabWidget->addTab(m_mailerPage, tr("Email"));

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &TsSettingsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &TsSettingsDialog::reject);
    const auto portChanged = QOverload<int>::of(&QSpinBox::valueChanged);
    connect(ui->spinBoxHttpPort, portChanged, this, &TsSettingsDialog::updateWebServerButtons);
    connect(ui->spinBoxFcgiPort, portChanged, this, &TsSettingsDialog::updateWebServerButtons);
    // A web server that dies or comes back while the dialog is open shows here at once.
    connect(m_webInterface, &TsWebInterfaceManager::webServerError, this,
            &TsSettingsDialog::updateWebServerButtons);
    connect(m_webInterface, &TsWebInterfaceManager::webServerRestarted, this,
            &TsSettingsDialog::updateWebServerButtons);
    connect(m_webInterface, &TsWebInterfaceManager::webServerStarted, this,
            &TsSettingsDialog::updateWebServerButtons);

    fill();
    updateWebServerButtons();
}

TsSettingsDialog::~TsSettingsDialog() = default;

TsMailerSettingsDialog *TsSettingsDialog::mailerPage() const
{
    return m_mailerPage;
}

void TsSettingsDialog::fill()
{
    const TsWebInterfaceSettings web = m_webInterface->settings();
    ui->checkBoxAutoStart->setChecked(web.autoStart);
    // The server name is not stored: until it is set once, the preset stands.
    const QString serverName = web.serverName.trimmed();
    if (!serverName.isEmpty())
        ui->lineEditServerName->setText(serverName);
    ui->spinBoxFcgiPort->setValue(web.fcgiPort);
    ui->spinBoxHttpPort->setValue(web.httpPort);
    ui->lineEditPublicUrl->setText(web.publicUrl);
    m_mailerPage->setSettings(m_mailers->mailerSettings());
}

void TsSettingsDialog::apply()
{
    TsWebInterfaceSettings web = m_webInterface->settings();
    web.serverName = ui->lineEditServerName->text().trimmed();
    web.fcgiPort = quint16(ui->spinBoxFcgiPort->value());
    web.httpPort = quint16(ui->spinBoxHttpPort->value());
    web.autoStart = ui->checkBoxAutoStart->isChecked();
    web.publicUrl = ui->lineEditPublicUrl->text().trimmed();
    m_webInterface->setSettings(web);

    m_mailers->setMailerSettings(m_mailerPage->settings());
    m_mailers->saveSettings();
}

bool TsSettingsDialog::portsDiffer() const
{
    return ui->spinBoxHttpPort->value() != ui->spinBoxFcgiPort->value();
}

void TsSettingsDialog::accept()
{
    // Both servers of the web interface cannot listen on one port.
    if (!portsDiffer())
        return;
    apply();
    QDialog::accept();
}

void TsSettingsDialog::on_pushButtonStart_clicked()
{
    if (!portsDiffer())
        return;
    apply();
    m_webInterface->start();
    m_startFailed = !m_webInterface->isRunning();
    updateWebServerButtons();
}

void TsSettingsDialog::on_pushButtonStop_clicked()
{
    m_webInterface->stop();
    m_startFailed = false;
    updateWebServerButtons();
}

void TsSettingsDialog::updateWebServerButtons()
{
    const bool running = m_webInterface->isRunning();
    const bool portsOk = portsDiffer();
    ui->pushButtonStart->setEnabled(!running && portsOk);
    ui->pushButtonStop->setEnabled(running);
    ui->lineEditServerName->setEnabled(!running);
    ui->spinBoxHttpPort->setEnabled(!running);
    ui->spinBoxFcgiPort->setEnabled(!running);
    ui->lineEditPublicUrl->setEnabled(!running);
    ui->checkBoxAutoStart->setEnabled(!running);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(portsOk);

    QString status;
    if (!portsOk)
        status = tr("The HTTP port and the FCGI port must differ.");
    else if (m_webInterface->isStarting())
        status = tr("The web server is starting ...");
    else if (running && !m_webInterface->errorString().isEmpty())
        status = tr("The web page is not available: %1").arg(m_webInterface->errorString());
    else if (running)
        status = tr("The web server is running on HTTP port %1.")
                     .arg(m_webInterface->settings().httpPort);
    else if (!m_webInterface->errorString().isEmpty())
        status = tr("The web page is not available: %1").arg(m_webInterface->errorString());
    else if (m_startFailed)
        status = tr("The web server could not be started; the program's log tells why.");
    else
        status = tr("The web server is stopped.");
    ui->labelWebServerStatus->setText(status);
}
