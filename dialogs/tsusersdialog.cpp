#include "dialogs/tsusersdialog.h"
#include "ui_tsusersdialog.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsfiledialog.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "startup.h"
#include "tscore.h"
#include "user/tsusermodel.h"
#include "utils/namecheck.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSortFilterProxyModel>

namespace {

// One line that tells what the CSV settings do without opening them.
QString csvSummary(const TsRecorderCSVSettings &settings)
{
    if (!settings.isEnabled())
        return TsUsersDialog::tr("CSV output off");
    QString separator = TsUsersDialog::tr("separator %1").arg(settings.columnSeparator());
    const auto separators = TsRecorderCSVSettings::offeredColumnSeparators();
    const int index = TsRecorderCSVSettings::columnSeparatorIndex(settings.columnSeparator());
    if (index >= 0)
        separator = separators.at(index).first;
    const auto formats = TsRecorderCSVSettings::offeredDateTimeFormats();
    const QString format =
        formats.at(TsRecorderCSVSettings::dateTimeFormatIndex(settings.dateTimeFormat())).first;
    return settings.printHeaderLine()
               ? TsUsersDialog::tr("%1, %2, header line").arg(separator, format)
               : TsUsersDialog::tr("%1, %2").arg(separator, format);
}

} // namespace

TsUsersDialog::TsUsersDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsUsersDialog)
    , m_model(new TsUserModel(this))
    , m_proxy(new QSortFilterProxyModel(this))
{
    ui->setupUi(this);

    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(TsUserModel::NameColumn);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    ui->listViewUsers->setModel(m_proxy);
    ui->listViewUsers->setModelColumn(TsUserModel::NameColumn);

    connect(ui->lineEditFilter, &QLineEdit::textChanged, m_proxy,
            &QSortFilterProxyModel::setFilterFixedString);
    connect(ui->listViewUsers->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TsUsersDialog::showCurrentUser);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TsUsersDialog::showCurrentUser);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TsUsersDialog::showCurrentUser);

    connect(ui->pushButtonAdd, &QPushButton::clicked, this, &TsUsersDialog::addUser);
    connect(ui->pushButtonDelete, &QPushButton::clicked, this, &TsUsersDialog::deleteUser);
    connect(ui->lineEditName, &QLineEdit::editingFinished, this, &TsUsersDialog::commitName);
    connect(ui->lineEditEMail, &QLineEdit::editingFinished, this, &TsUsersDialog::commitEMail);
    connect(ui->lineEditLogPath, &QLineEdit::editingFinished, this, &TsUsersDialog::commitLogPath);
    connect(ui->comboBoxStyle, QOverload<int>::of(&QComboBox::activated), this,
            &TsUsersDialog::setStyle);
    connect(ui->radioButtonDefaultLogPath, &QRadioButton::clicked, this,
            [this] { setDefaultLogPath(true); });
    connect(ui->radioButtonCustomLogPath, &QRadioButton::clicked, this,
            [this] { setDefaultLogPath(false); });
    connect(ui->toolButtonLogPath, &QToolButton::clicked, this, &TsUsersDialog::chooseLogPath);
    connect(ui->pushButtonCsv, &QPushButton::clicked, this, &TsUsersDialog::editCsvSettings);
    connect(ui->checkBoxApplyOnStart, &QCheckBox::clicked, this,
            [this](bool on) { setFlag(TsUserModel::ApplyOnStartColumn, on); });
    connect(ui->checkBoxApplyOnProfileChange, &QCheckBox::clicked, this,
            [this](bool on) { setFlag(TsUserModel::ApplyOnProfileChangeColumn, on); });

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &TsUsersDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &TsUsersDialog::reject);
    connect(ui->buttonBox->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &TsUsersDialog::apply);

    setSelectedUser(TsCore::currentUser());
}

TsUsersDialog::~TsUsersDialog() = default;

void TsUsersDialog::setSelectedUser(const QString &name)
{
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (!name.isEmpty() &&
            m_model->data(m_model->index(row, TsUserModel::NameColumn), Qt::EditRole).toString() ==
                name) {
            selectRow(row);
            return;
        }
    }
    selectRow(-1);
}

QString TsUsersDialog::selectedUser() const
{
    const int row = currentRow();
    if (row < 0)
        return QString();
    return m_model->data(m_model->index(row, TsUserModel::NameColumn), Qt::EditRole).toString();
}

bool TsUsersDialog::isModified() const
{
    return m_modified;
}

bool TsUsersDialog::apply()
{
    // A field still being typed in has not announced its end yet.
    if (!commitName() || !commitEMail() || !commitLogPath())
        return false;
    // The table skips rows without a name: what was entered for them would vanish.
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (m_model->data(m_model->index(row, TsUserModel::NameColumn), Qt::EditRole)
                .toString()
                .isEmpty()) {
            selectRow(row);
            TsMessageBox::warning(this, tr("Missing name"),
                                  tr("Please enter a name for every new user."));
            ui->lineEditName->setFocus();
            return false;
        }
    }
    const QString selected = selectedUser();
    const bool submitted = m_model->submit();
    m_modified = false;
    m_styleChanged = false;
    setSelectedUser(selected);
    // The list now shows what is on disk; what did not get there is said, and the dialog stays.
    if (!submitted) {
        TsMessageBox::critical(this, tr("Users not saved"), m_model->lastError());
        return false;
    }
    return true;
}

void TsUsersDialog::accept()
{
    if (apply())
        QDialog::accept();
}

void TsUsersDialog::reject()
{
    if (m_modified &&
        TsMessageBox::question(this, tr("Discard changes"),
                               tr("The users have been changed. Do you want to discard the "
                                  "changes?")) != QMessageBox::Yes)
        return;
    // The style shown for a preview goes back to the one the current user has on disk.
    if (m_styleChanged)
        loadStyle(TsCore::configManager()->userSettings().style() != 0);
    QDialog::reject();
}

void TsUsersDialog::keyPressEvent(QKeyEvent *event)
{
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && qobject_cast<QLineEdit *>(focusWidget())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TsUsersDialog::addUser()
{
    if (!commitName() || !commitEMail() || !commitLogPath())
        return;
    // A filter could hide the new row the moment it appears.
    ui->lineEditFilter->clear();
    const int row = m_model->rowCount();
    if (!m_model->insertRows(row, 1))
        return;
    m_modified = true;
    selectRow(row);
    ui->lineEditName->setFocus();
}

void TsUsersDialog::deleteUser()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString name = m_model->data(m_model->index(row, TsUserModel::NameColumn)).toString();
    const QString text = tr("Are you sure to delete user <b>'%1'</b>?<br>CAUTION: All data from "
                            "this user will be removed permanently!")
                             .arg(name.toHtmlEscaped());
    if (TsMessageBox::question(this, tr("Delete User"), text) != QMessageBox::Yes)
        return;
    if (m_model->removeRows(row, 1))
        m_modified = true;
}

void TsUsersDialog::chooseLogPath()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString dir = TsFileDialog::existingDirectory(this, tr("Select new log path"),
                                                        ui->lineEditLogPath->text());
    if (dir.isEmpty())
        return;
    setField(TsUserModel::LogPathColumn, dir);
    showCurrentUser();
}

void TsUsersDialog::editCsvSettings()
{
    const int row = currentRow();
    if (row < 0)
        return;
    TsRecorderSettingsDialog dialog(this);
    dialog.setCsvOnly(true);
    dialog.setCsvSettings(m_model->data(m_model->index(row, TsUserModel::CsvSettingsColumn))
                              .value<TsRecorderCSVSettings>());
    if (dialog.exec() != QDialog::Accepted)
        return;
    setField(TsUserModel::CsvSettingsColumn, QVariant::fromValue(dialog.csvSettings()));
    showCurrentUser();
}

bool TsUsersDialog::commitName()
{
    if (m_committing)
        return true;
    const QScopedValueRollback<bool> committing(m_committing, true);
    const int row = currentRow();
    if (row < 0)
        return true;
    const QModelIndex index = m_model->index(row, TsUserModel::NameColumn);
    const QString name = ui->lineEditName->text().simplified();
    const QString oldName = m_model->data(index, Qt::EditRole).toString();
    if (name == oldName)
        return true;
    if (name.isEmpty() && !oldName.isEmpty()) {
        TsMessageBox::warning(this, tr("Missing name"), tr("A user needs a name."));
    } else if (setField(TsUserModel::NameColumn, name)) {
        showCurrentUser();
        return true;
    } else if (!Utils::NameCheck::isValidFileName(name)) {
        TsMessageBox::critical(this, tr("Invalid name"),
                               tr("The name contains characters that a folder name cannot have "
                                  "(? * : \" ; | < > / \\), or is one the system keeps for "
                                  "itself."));
    } else if (Utils::NameCheck::isTooLong(name)) {
        TsMessageBox::critical(this, tr("Invalid name"), Utils::NameCheck::tooLongText());
    } else {
        TsMessageBox::critical(this, tr("User exists"),
                               tr("A user named '%1' exists already.").arg(name));
    }
    // The refused text stays in the field, so that it can be corrected rather than retyped.
    return false;
}

bool TsUsersDialog::commitEMail()
{
    if (m_committing)
        return true;
    const QScopedValueRollback<bool> committing(m_committing, true);
    const int row = currentRow();
    if (row < 0)
        return true;
    const QModelIndex index = m_model->index(row, TsUserModel::EMailColumn);
    const QString email = ui->lineEditEMail->text().trimmed();
    if (email == m_model->data(index, Qt::EditRole).toString())
        return true;
    if (setField(TsUserModel::EMailColumn, email))
        return true;
    TsMessageBox::warning(this, tr("Invalid e-mail address"),
                          tr("'%1' is not a valid e-mail address. Several addresses are "
                             "separated by commas or semicolons.")
                              .arg(email));
    return false;
}

bool TsUsersDialog::commitLogPath()
{
    if (m_committing)
        return true;
    const QScopedValueRollback<bool> committing(m_committing, true);
    const int row = currentRow();
    if (row < 0 || ui->radioButtonDefaultLogPath->isChecked())
        return true;
    const QModelIndex index = m_model->index(row, TsUserModel::LogPathColumn);
    const QString path = ui->lineEditLogPath->text().trimmed();
    if (path == m_model->data(index, Qt::EditRole).toString())
        return true;
    if (setField(TsUserModel::LogPathColumn, path))
        return true;
    TsMessageBox::warning(this, tr("Invalid log path"),
                          tr("Please enter the folder for the recorder's files."));
    return false;
}

void TsUsersDialog::setDefaultLogPath(bool useDefault)
{
    const int row = currentRow();
    if (row < 0)
        return;
    if (useDefault) {
        const QString name =
            m_model->data(m_model->index(row, TsUserModel::NameColumn), Qt::EditRole).toString();
        // An unnamed user gets the default folder with its name.
        if (!name.isEmpty())
            setField(TsUserModel::LogPathColumn, TsCore::folderPath(TsCore::LogData, name));
        showCurrentUser();
        return;
    }
    ui->lineEditLogPath->setReadOnly(false);
    ui->toolButtonLogPath->setEnabled(true);
    ui->lineEditLogPath->setFocus();
    ui->lineEditLogPath->selectAll();
}

void TsUsersDialog::setStyle(int style)
{
    const int row = currentRow();
    if (row < 0 || !setField(TsUserModel::StyleColumn, style))
        return;
    // The operator sees the choice at once on the user who is working now.
    const QString name =
        m_model->data(m_model->index(row, TsUserModel::NameColumn), Qt::EditRole).toString();
    if (!name.isEmpty() && name == TsCore::currentUser())
        previewStyle(style);
}

void TsUsersDialog::setFlag(int column, bool on)
{
    setField(column, on);
}

bool TsUsersDialog::setField(int column, const QVariant &value)
{
    const int row = currentRow();
    if (row < 0 || !m_model->setData(m_model->index(row, column), value, Qt::EditRole))
        return false;
    m_modified = true;
    return true;
}

int TsUsersDialog::currentRow() const
{
    const QModelIndex current = ui->listViewUsers->selectionModel()->currentIndex();
    if (!current.isValid())
        return -1;
    return m_proxy->mapToSource(current).row();
}

void TsUsersDialog::showCurrentUser()
{
    const int row = currentRow();
    ui->groupBoxUser->setEnabled(row >= 0);
    ui->pushButtonDelete->setEnabled(row >= 0);
    auto value = [this, row](int column) {
        return row < 0 ? QVariant() : m_model->data(m_model->index(row, column), Qt::EditRole);
    };
    ui->lineEditName->setText(value(TsUserModel::NameColumn).toString());
    ui->lineEditEMail->setText(value(TsUserModel::EMailColumn).toString());
    ui->comboBoxStyle->setCurrentIndex(value(TsUserModel::StyleColumn).toInt() != 0 ? 1 : 0);
    ui->lineEditLogPath->setText(value(TsUserModel::LogPathColumn).toString());
    ui->lineEditLogPath->setToolTip(ui->lineEditLogPath->text());
    const bool isDefault = row < 0 ||
                           m_model
                               ->data(m_model->index(row, TsUserModel::LogPathColumn),
                                      TsUserModel::IsDefaultLogPathRole)
                               .toBool() ||
                           value(TsUserModel::LogPathColumn).toString().isEmpty();
    ui->radioButtonDefaultLogPath->setChecked(isDefault);
    ui->radioButtonCustomLogPath->setChecked(!isDefault);
    ui->lineEditLogPath->setReadOnly(isDefault);
    ui->toolButtonLogPath->setEnabled(!isDefault);
    ui->labelCsvSummary->setText(
        row < 0 ? QString()
                : csvSummary(value(TsUserModel::CsvSettingsColumn).value<TsRecorderCSVSettings>()));
    ui->checkBoxApplyOnStart->setChecked(value(TsUserModel::ApplyOnStartColumn).toBool());
    ui->checkBoxApplyOnProfileChange->setChecked(
        value(TsUserModel::ApplyOnProfileChangeColumn).toBool());
}

void TsUsersDialog::selectRow(int row)
{
    QItemSelectionModel *selection = ui->listViewUsers->selectionModel();
    const QModelIndex index =
        row < 0 ? QModelIndex()
                : m_proxy->mapFromSource(m_model->index(row, TsUserModel::NameColumn));
    if (index.isValid())
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        selection->clear();
    showCurrentUser();
}

void TsUsersDialog::previewStyle(int style)
{
    loadStyle(style != 0);
    m_styleChanged = true;
}
