#include "views/tsrecorderview.h"
#include "ui_tsrecorderview.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsinputdialog.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tsrecordergraphdialog.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "utils/namecheck.h"
#include "views/viewresources.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>

#include <cmath>

namespace {

constexpr int TemporaryLevel = TsConfigManager::TemporaryLevel;

} // namespace

TsRecorderView::TsRecorderView(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::TsRecorderView)
{
    initViewResources();
    ui->setupUi(this);
    ui->titleLabel->setText(windowTitle());
    ui->pushButtonStart->setIcon(QIcon(QStringLiteral(":/icons/record.png")));
    ui->pushButtonStop->setIcon(QIcon(QStringLiteral(":/icons/stop.png")));
    ui->pushButtonGraph->setIcon(
        QIcon(QStringLiteral(":/icons/Actions-office-chart-line-icon.png")));
    ui->pushButtonConfig->setIcon(QIcon(QStringLiteral(":/icons/system-settings-32px.png")));

    // A window of its own, not a child of the view; it lives until the application quits.
    m_graph = new TsRecorderGraphDialog;
    connect(qApp, &QCoreApplication::aboutToQuit, m_graph.data(), &QObject::deleteLater);

    connect(TsCore::instance(), &TsCore::currentProfileChanged, this,
            &TsRecorderView::onProfileChanged);
    connect(ui->pushButtonGraph, &QPushButton::clicked, this, [this] {
        if (!m_graph)
            return;
        m_graph->show();
        m_graph->raise();
    });
    TsExperimentManager *experiments = TsCore::experimentManager();
    connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
            &TsRecorderView::onNewExperiment);
    onNewExperiment(experiments->currentExperiment());
}

TsRecorderView::~TsRecorderView()
{
    // Whatever the recorder or the script announce from here on must not reach a view whose form
    // is already gone.
    if (m_recorder)
        m_recorder->disconnect(this);
    if (m_experiment) {
        m_experiment->disconnect(this);
        m_experiment->script()->disconnect(this);
    }
    // Without an application that quits (a view made and dropped again) the window goes with the
    // view rather than staying behind.
    delete m_graph.data();
}

TsRecorderGraphDialog *TsRecorderView::graphDialog() const
{
    return m_graph;
}

bool TsRecorderView::isValidPrefix(const QString &prefix)
{
    return Utils::NameCheck::isValidFilePath(prefix);
}

void TsRecorderView::onProfileChanged(const QString &) {}

void TsRecorderView::onNewExperiment(TsExperiment *experiment)
{
    if (m_experiment)
        m_experiment->disconnect(this);
    if (m_experiment && m_experiment->script())
        m_experiment->script()->disconnect(this);
    if (m_recorder) {
        m_recorder->disconnect(this);
        ui->pushButtonStart->disconnect(m_recorder);
        ui->pushButtonStop->disconnect(m_recorder);
    }
    m_experiment = experiment;
    m_recorder = experiment ? experiment->recorder() : nullptr;
    recordingStopped();
    setEnabled(experiment != nullptr);
    if (!experiment)
        return;

    TsExperimentRecorder *recorder = m_recorder;
    connect(experiment, &TsExperiment::configChanged, this, &TsRecorderView::updateExperiment);
    connect(recorder, &TsExperimentRecorder::starting, this, &TsRecorderView::recordingStarting);
    connect(experiment->script(), &TsExperimentScript::starting, this,
            &TsRecorderView::scriptStarting);
    connect(recorder, &TsExperimentRecorder::started, this, &TsRecorderView::recordingStarted);
    connect(recorder, &TsExperimentRecorder::stopped, this, &TsRecorderView::recordingStopped);
    connect(recorder, &TsExperimentRecorder::recordingStatus, this,
            &TsRecorderView::updateRecordingStatus);
    connect(recorder, &TsExperimentRecorder::fileError, this, &TsRecorderView::onFileError);
    connect(recorder, &TsExperimentRecorder::fileResumed, this, &TsRecorderView::onFileError);
    connect(ui->pushButtonStop, &QPushButton::clicked, recorder, &TsExperimentRecorder::stop);
    connect(ui->pushButtonStart, &QPushButton::clicked, recorder, &TsExperimentRecorder::start);
    // The buttons must tell the truth about a recorder that already runs.
    if (recorder->isRunning())
        recordingStarted();
}

void TsRecorderView::updateExperiment() {}

void TsRecorderView::recordingStarting(bool &ok)
{
    if (!ok || !m_recorder)
        return;
    TsConfigManager *config = TsCore::configManager();
    QString prefix = config->logFilePrefix(TemporaryLevel);
    if (prefix.isEmpty()) {
        const QString answer =
            TsInputDialog::getText(this, tr("Logfile prefix"), tr("Enter logfile prefix:"))
                .simplified();
        if (answer.isEmpty()) {
            ok = false;
            return;
        }
        if (!isValidPrefix(answer)) {
            TsMessageBox::critical(this, tr("Invalid filename"),
                                   tr("The filename contains invalid characters."));
            ok = false;
            return;
        }
        if (Utils::NameCheck::isTooLong(answer)) {
            TsMessageBox::critical(this, tr("Invalid filename"),
                                   Utils::NameCheck::tooLongText(true));
            ok = false;
            return;
        }
        config->setLogFilePrefix(TemporaryLevel, answer);
        prefix = answer;
    }
    m_recorder->setFilePrefix(prefix);
    // A folder that cannot take the file refuses the start, as a bad name does.
    const QxResult folder = m_recorder->checkFolder();
    if (folder.isError()) {
        TsMessageBox::critical(this, tr("Recording not started"), folder.message());
        ok = false;
        return;
    }
    m_recorder->setLogSettings(config->logSettings(TemporaryLevel));
    m_recorder->setCsvSettings(config->csvSettings(TemporaryLevel));
}

void TsRecorderView::scriptStarting(bool &ok)
{
    if (!ok || !m_recorder)
        return;
    TsConfigManager *config = TsCore::configManager();
    const TsRecorderLogSettings log = config->logSettings(TemporaryLevel);
    m_recorder->setLogSettings(log);
    m_recorder->setCsvSettings(config->csvSettings(TemporaryLevel));
    // The recorder starts with the script: a missing prefix is asked for now, and a cancelled
    // question keeps the script from starting.
    if (log.startMode() == TsRecorderLogSettings::StartWithDynamicExp)
        recordingStarting(ok);
}

void TsRecorderView::recordingStarted()
{
    m_runningText.clear();
    ui->pushButtonStart->setEnabled(false);
    ui->pushButtonStop->setEnabled(true);
    ui->pushButtonConfig->setEnabled(false);
    setStatusText(tr("Starting ..."));
}

void TsRecorderView::recordingStopped()
{
    m_runningText.clear();
    ui->pushButtonStart->setEnabled(true);
    ui->pushButtonStop->setEnabled(false);
    ui->pushButtonConfig->setEnabled(true);
    setStatusText(tr("Not running"));
}

double TsRecorderView::progress() const
{
    return m_recorder ? m_recorder->progress() : qQNaN();
}

void TsRecorderView::updateRecordingStatus(const QString &status, int samples)
{
    const double p = progress();
    const QString suffix =
        std::isnan(p) ? QString() : QStringLiteral(" / %1%").arg(qRound(p * 100));
    m_runningText = status + suffix;
    setStatusText(tr("Running (%1%2)").arg(status, suffix));
    setToolTip(tr("%1 samples recorded").arg(samples));
}

void TsRecorderView::setStatusText(const QString &text)
{
    m_statusText = text;
    QString shown = text;
    QString tip;
    // A recording without its file must never look like one that writes: the line says so in
    // red, for the stopped run as well until the next start, and the web page gets the reason.
    if (m_recorder && m_recorder->hasFileError()) {
        const QString reason = m_recorder->fileErrorString();
        // The line has room for one short line: the warning and the running time come first.
        shown = tr("NOT SAVED: %1").arg(m_runningText.isEmpty() ? text : m_runningText);
        tip = reason;
    }
    ui->labelStatus->setText(shown);
    ui->labelStatus->setToolTip(tip);
    ui->labelStatus->setStyleSheet(
        tip.isEmpty() ? QString() : QStringLiteral("color: #e53935; font-weight: bold;"));
}

void TsRecorderView::onFileError()
{
    setStatusText(m_statusText);
}

void TsRecorderView::on_pushButtonConfig_clicked()
{
    TsConfigManager *config = TsCore::configManager();
    TsRecorderSettingsDialog dialog(this);
    if (config->hasCsvSettings(TemporaryLevel) && config->csvSettings(TemporaryLevel).isEnabled()) {
        dialog.setCsvSettings(config->csvSettings(TemporaryLevel));
    } else {
        TsRecorderCSVSettings csv = config->csvSettings(TsConfigManager::ProfileLevel);
        csv.setEnabled(false);
        dialog.setCsvSettings(csv);
    }
    dialog.setLogSettings(config->logSettings(TemporaryLevel));
    dialog.setLogFilePrefix(config->hasLogFilePrefix(TemporaryLevel)
                                ? config->logFilePrefix(TemporaryLevel)
                                : QString());
    dialog.setLogFilePrefixPlaceholder(config->logFilePrefix(TsConfigManager::ProfileLevel));
    if (dialog.exec() == QDialog::Accepted) {
        const TsRecorderCSVSettings csv = dialog.csvSettings();
        if (csv.isEnabled())
            config->setCsvSettings(TemporaryLevel, csv);
        else
            config->removeCsvSettings(TemporaryLevel);
        config->setLogSettings(TemporaryLevel, dialog.logSettings());
        const QString prefix = dialog.logFilePrefix();
        if (prefix.isEmpty())
            config->removeLogFilePrefix(TemporaryLevel);
        else
            config->setLogFilePrefix(TemporaryLevel, prefix);
    }
    // The modal dialog swallowed the button's leave event; its hover highlight would stay.
    QCoreApplication::postEvent(ui->pushButtonConfig, new QEvent(QEvent::Leave));
}
