#include "views/tsdynamicview.h"
#include "ui_tsdynamicview.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsexperimentscripteditordialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "views/viewresources.h"

#include <QMessageBox>

#include <cmath>

TsDynamicView::TsDynamicView(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::TsDynamicView)
{
    initViewResources();
    ui->setupUi(this);
    setFrameShape(QFrame::Box);
    ui->titleLabel->setText(windowTitle());

    connect(TsCore::instance(), &TsCore::currentDynamicExpChanged, this,
            &TsDynamicView::onDynamicExpChanged);
    TsExperimentManager *experiments = TsCore::experimentManager();
    connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
            &TsDynamicView::onNewExperiment);
    onNewExperiment(experiments->currentExperiment());
}

TsDynamicView::~TsDynamicView()
{
    // A script stopped while the widget is being torn down (by a receiver of its destroyed()
    // signal) must not reach a view whose form and texts are already gone.
    for (const QMetaObject::Connection &connection : qAsConst(m_connections))
        disconnect(connection);
}

void TsDynamicView::onNewExperiment(TsExperiment *experiment)
{
    // The experiment manager deletes a replaced experiment only later: until then its buttons
    // must not start it.
    for (const QMetaObject::Connection &connection : qAsConst(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_script = nullptr;
    setEnabled(experiment != nullptr);
    if (!experiment) {
        updateScriptState(false);
        return;
    }
    m_script = experiment->script();
    m_connections << connect(m_script, &TsExperimentScript::stateChanged, this,
                             &TsDynamicView::updateScriptState);
    m_connections << connect(m_script, &TsExperimentScript::status, this,
                             &TsDynamicView::updateStatus);
    m_connections << connect(m_script, &TsExperimentScript::actionNoticeChanged, this,
                             &TsDynamicView::onActionNotice);
    // Through the experiment, which also starts and stops the recorder when its start and stop
    // modes go with the dynamic experiment.
    m_connections << connect(ui->pushButtonStart, &QPushButton::clicked, experiment,
                             &TsExperiment::startDynamic);
    m_connections << connect(ui->pushButtonStop, &QPushButton::clicked, experiment,
                             &TsExperiment::stopDynamic);
    updateScriptState(m_script->isRunning());
}

void TsDynamicView::updateScriptState(bool running)
{
    m_runningText.clear();
    if (running) {
        ui->pushButtonStart->setEnabled(false);
        ui->pushButtonStop->setEnabled(true);
        ui->pushButtonConfig->setEnabled(false);
        setStatusText(tr("Starting ..."));
        return;
    }
    const bool configured = !TsCore::currentDynamicExp().isEmpty();
    ui->pushButtonStart->setEnabled(configured);
    ui->pushButtonStop->setEnabled(false);
    ui->pushButtonConfig->setEnabled(true);
    setStatusText(configured ? tr("Not running") : tr("No dynamic experiment configured"));
}

void TsDynamicView::updateStatus(const QString &status, qreal progress)
{
    m_runningText = status;
    if (!std::isfinite(progress)) {
        setStatusText(tr("Running (%1)").arg(status));
        return;
    }
    // Halves away from zero: 0.125 reads as 13%.
    setStatusText(tr("Running (%1 / %2%)").arg(status).arg(std::llround(progress * 100.0)));
}

void TsDynamicView::onActionNotice()
{
    setStatusText(m_statusText);
}

void TsDynamicView::onDynamicExpChanged(const QString &)
{
    // A change of the current dynamic experiment clears the script, which stops a run; the
    // buttons follow whether anything is configured now.
    updateScriptState(m_script && m_script->isRunning());
}

void TsDynamicView::on_pushButtonConfig_clicked()
{
    TsExperimentScriptEditorDialog dialog(this);
    dialog.openDynamicExp(m_script ? m_script->name() : QString());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QxResult saved = dialog.save();
    if (saved.isError()) {
        QMessageBox box(QMessageBox::Critical, tr("Dynamic experiment error"),
                        tr("Failed to save dynamic experiment."), QMessageBox::Ok, this);
        box.setDetailedText(saved.toString(QStringLiteral("\n")));
        box.exec();
        return;
    }
    // Announced, not hidden: the configuration manager must load what was just saved into the
    // experiment's script, or Start would run the version from before the edit, and other views
    // must list a new name.
    TsCore::instance()->reloadDynamicExps();
    TsCore::setCurrentDynamicExp(dialog.scriptName());
}

void TsDynamicView::setStatusText(const QString &text)
{
    m_statusText = text;
    QString shown = text;
    QString tip;
    QString style;
    // A step that did not reach its controller must not hide behind a clock that runs on: the
    // line says so in red until the run ends, or until the step reached it late, which the line
    // keeps saying in amber; the tool tip tells the whole story (the script's own status line
    // carries it to the web page).
    if (m_script && m_script->isRunning()) {
        const QString failure = m_script->lastActionFailure();
        const QString recovery = m_script->lastActionRecovery();
        const QString running = m_runningText.isEmpty() ? text : m_runningText;
        if (!failure.isEmpty()) {
            shown = tr("STEP FAILED: %1").arg(running);
            tip = failure;
            style = QStringLiteral("color: #e53935; font-weight: bold;");
        } else if (!recovery.isEmpty()) {
            shown = tr("STEP LATE: %1").arg(running);
            tip = recovery;
            style = QStringLiteral("color: #fb8c00; font-weight: bold;");
        }
    }
    ui->labelStatus->setText(shown);
    ui->labelStatus->setToolTip(tip);
    ui->labelStatus->setStyleSheet(style);
}
