#include "dialogs/tsexperimentscripteditordialog.h"
#include "ui_tsexperimentscripteditordialog.h"

#include "dialogs/tsexperimentscriptactiondialog.h"
#include "dialogs/tsinputdialog.h"
#include "dialogs/tsmessagebox.h"
#include "experiment/scripteditor/tsexperimentscriptmodel.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "utils/namecheck.h"

#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QItemSelectionModel>
#include <QPushButton>

namespace {

// The table model keeps the comment beside its four columns; the operator reads the comments to
// know what each step is for, so the editor shows them as a fifth.
class WithCommentColumn : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : TsExperimentScriptModel::CommentColumn + 1;
    }
};

} // namespace

TsExperimentScriptEditorDialog::TsExperimentScriptEditorDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsExperimentScriptEditorDialog)
    , m_model(new TsExperimentScriptModel(this))
{
    ui->setupUi(this);

    TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    m_script = new TsExperimentScript(experiment ? static_cast<QObject *>(experiment) : this);
    m_model->setScript(m_script);
    auto *table = new WithCommentColumn(this);
    table->setSourceModel(m_model);
    ui->tableViewScript->setModel(table);
    ui->tableViewScript->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->tableViewScript->horizontalHeader()->setStretchLastSection(true);
    connect(ui->tableViewScript->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TsExperimentScriptEditorDialog::updateStates);
    connect(m_model, &QAbstractItemModel::modelReset, this,
            &TsExperimentScriptEditorDialog::updateStates);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this,
            &TsExperimentScriptEditorDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this,
            &TsExperimentScriptEditorDialog::reject);

    TsCore *core = TsCore::instance();
    connect(core, &TsCore::availableDynamicExpsChanged, this,
            &TsExperimentScriptEditorDialog::refreshDynamicCombo);
    connect(core, &TsCore::currentDynamicExpChanged, this,
            &TsExperimentScriptEditorDialog::updateDynamicCombo);
    refreshDynamicCombo();
    ui->comboBoxName->setCurrentIndex(-1);
    updateStates();
}

TsExperimentScriptEditorDialog::~TsExperimentScriptEditorDialog()
{
    m_model->setScript(nullptr);
    delete m_script.data();
}

void TsExperimentScriptEditorDialog::openDynamicExp(const QString &name)
{
    m_script->clear();
    m_model->setScript(m_script);
    ui->comboBoxName->setCurrentIndex(-1);
    updateStates();

    const QString path = TsCore::dynamicExpFile(TsCore::currentUser(), name);
    if (path.isEmpty())
        return;
    const QxResult loaded = m_script->load(path);
    if (loaded.isError()) {
        // A load that failed half-way keeps the actions read before the fault; none of them
        // may be saved back under the name as if they were the whole experiment.
        m_script->clear();
        m_model->setScript(m_script);
        TsMessageBox::warning(
            this, tr("Dynamic experiment error"),
            tr("Failed to load dynamic experiment '%1'.\n%2").arg(name, loaded.toString()));
        return;
    }
    m_script->setName(name);
    showScript();
}

QxResult TsExperimentScriptEditorDialog::save()
{
    const QString path = TsCore::dynamicExpFile(TsCore::currentUser(), m_script->name());
    if (path.isEmpty())
        return QxResult(tr("DynamicExperiment path missing"));
    return m_script->save(path);
}

QString TsExperimentScriptEditorDialog::scriptName() const
{
    return m_script->name();
}

void TsExperimentScriptEditorDialog::reject()
{
    if (ui->buttonBox->isEnabled())
        QDialog::reject();
}

void TsExperimentScriptEditorDialog::accept()
{
    // Actions run in list order: the file gets them in the order of their times, as the table
    // shows them.
    m_model->sort(TsExperimentScriptModel::TimeColumn);
    if (!m_model->submitAll()) {
        TsMessageBox::critical(this, tr("Dynamic experiment error"),
                               tr("Failed to save dynamic experiment."));
        return;
    }
    const QxResult saved = save();
    if (saved.isError()) {
        TsMessageBox::critical(this, tr("Dynamic experiment error"), saved.toString());
        return;
    }
    QDialog::accept();
}

void TsExperimentScriptEditorDialog::updateStates()
{
    const bool named = !m_script->name().isEmpty();
    const int rows = named ? m_model->rowCount() : 0;
    const int current = ui->tableViewScript->currentIndex().row();
    ui->pushButtonEdit->setEnabled(named && rows > 0 && current >= 0);
    ui->pushButtonRemove->setEnabled(named && rows > 0 && current >= 0);
    ui->pushButtonClear->setEnabled(rows > 0);
    ui->pushButtonAdd->setEnabled(named);
    ui->tableViewScript->setEnabled(named);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(named);
}

void TsExperimentScriptEditorDialog::updateDynamicCombo(const QString &name)
{
    ui->comboBoxName->setCurrentIndex(ui->comboBoxName->findData(name));
}

void TsExperimentScriptEditorDialog::refreshDynamicCombo()
{
    ui->comboBoxName->clear();
    for (const QString &name : TsCore::dynamicExps())
        ui->comboBoxName->addItem(name, name);
    // The list changed under an open editor: it still shows the experiment being edited.
    updateDynamicCombo(m_script->name());
}

void TsExperimentScriptEditorDialog::on_pushButtonNew_clicked()
{
    const QString name =
        TsInputDialog::getText(this, tr("New dynamic experiment"), tr("Dynamic experiment name:"))
            .simplified();
    if (name.isEmpty())
        return;
    if (!Utils::NameCheck::isValidFileName(name)) {
        TsMessageBox::critical(this, tr("Name error"), tr("Please use a valid name."));
        return;
    }
    if (Utils::NameCheck::isTooLong(name)) {
        TsMessageBox::critical(this, tr("Name error"), Utils::NameCheck::tooLongText());
        return;
    }
    if (TsCore::dynamicExps().contains(name) || ui->comboBoxName->findData(name) >= 0) {
        TsMessageBox::critical(this, tr("Name error"), tr("Name already exists."));
        return;
    }
    m_script->clear();
    m_script->setName(name);
    m_model->setScript(m_script);
    ui->comboBoxName->insertItem(0, name, name);
    ui->comboBoxName->setCurrentIndex(0);
    updateStates();
}

void TsExperimentScriptEditorDialog::on_comboBoxName_activated(int index)
{
    const QString name = ui->comboBoxName->itemData(index).toString();
    // Choosing the entry already shown keeps the table as typed, also for a new name that has
    // no file yet.
    if (name == m_script->name())
        return;
    openDynamicExp(name);
}

void TsExperimentScriptEditorDialog::on_pushButtonAdd_clicked()
{
    const int row = m_model->rowCount();
    if (m_model->insertRows(row, 1)) {
        if (editRow(row, true))
            sortKeeping(row);
        else
            m_model->removeRows(row, 1);
    }
    updateStates();
}

void TsExperimentScriptEditorDialog::on_tableViewScript_doubleClicked(const QModelIndex &index)
{
    if (index.isValid() && editRow(index.row(), false))
        sortKeeping(index.row());
    updateStates();
}

void TsExperimentScriptEditorDialog::on_pushButtonRemove_clicked()
{
    const int row = ui->tableViewScript->currentIndex().row();
    if (row >= 0)
        m_model->removeRows(row, 1);
    updateStates();
}

void TsExperimentScriptEditorDialog::on_tableViewScript_clicked(const QModelIndex &)
{
    updateStates();
}

void TsExperimentScriptEditorDialog::on_pushButtonClear_clicked()
{
    if (m_model->rowCount() > 0)
        m_model->removeRows(0, m_model->rowCount());
    updateStates();
}

void TsExperimentScriptEditorDialog::on_pushButtonEdit_clicked()
{
    const int row = ui->tableViewScript->currentIndex().row();
    if (row >= 0 && editRow(row, false))
        sortKeeping(row);
    updateStates();
}

bool TsExperimentScriptEditorDialog::editRow(int row, bool isNew)
{
    TsExperimentScriptActionDialog dialog(m_model, m_model->index(row, 0), this);
    if (isNew)
        dialog.setNewAction();
    return dialog.exec() == QDialog::Accepted;
}

void TsExperimentScriptEditorDialog::sortKeeping(int row)
{
    // Sorting resets the model but keeps the action objects, so the edited one is found again.
    const auto *action = m_model->action(row);
    m_model->sort(TsExperimentScriptModel::TimeColumn);
    for (int i = 0; i < m_model->rowCount(); ++i) {
        if (m_model->action(i) == action) {
            ui->tableViewScript->setCurrentIndex(ui->tableViewScript->model()->index(i, 0));
            break;
        }
    }
}

void TsExperimentScriptEditorDialog::showScript()
{
    m_model->setScript(m_script);
    updateDynamicCombo(m_script->name());
    updateStates();
}
