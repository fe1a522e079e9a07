#include "dialogs/tsexperimentscriptactiondialog.h"
#include "ui_tsexperimentscriptactiondialog.h"

#include "device/tsdevicechannel.h"
#include "dialogs/tsmessagebox.h"
#include "experiment/scripteditor/tsexperimentscriptmodel.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptactiontype.h"
#include "utils/timecode.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>

#include <cmath>

namespace {

const QString LoopControlKind = QStringLiteral("setChannelLoopCtrl");
const QString SetpointKind = QStringLiteral("setChannelValue");

// Without a connected channel nothing tells the limits; the range the operator may type then is
// the one every shipped controller accepts.
constexpr double UnknownMinimum = 0.0;
constexpr double UnknownMaximum = 100.0;

} // namespace

TsExperimentScriptActionDialog::TsExperimentScriptActionDialog(TsExperimentScriptModel *model,
                                                               const QModelIndex &index,
                                                               QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsExperimentScriptActionDialog)
    , m_model(model)
    , m_index(index)
{
    ui->setupUi(this);
    // Accepting goes through on_buttonBox_accepted(), which checks the entries first.
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const int row = index.row();
    auto cell = [this, row](int column, int role = Qt::EditRole) {
        return m_model->data(m_model->index(row, column), role);
    };
    ui->lineEditComment->setText(cell(TsExperimentScriptModel::CommentColumn).toString());
    const TimeCode time =
        TimeCode::fromMilliseconds(cell(TsExperimentScriptModel::TimeColumn).toLongLong());
    ui->spinBoxDays->setValue(time.days);
    ui->spinBoxHours->setValue(time.hours);
    ui->spinBoxMinutes->setValue(time.minutes);
    ui->spinBoxSeconds->setValue(time.seconds);
    ui->groupBoxActive->setChecked(
        cell(TsExperimentScriptModel::TimeColumn, TsExperimentScriptModel::ActiveRole).toBool());
    m_channelId = cell(TsExperimentScriptModel::ChannelColumn).toString();
    m_value = cell(TsExperimentScriptModel::ValueColumn);
    m_typeKey = cell(TsExperimentScriptModel::ParameterColumn).toString();

    for (const TsExperimentScriptActionType &type : TsExperimentScriptActionType::types())
        ui->comboBoxAction->addItem(type.displayName(), type.key());
    ui->comboBoxAction->setCurrentIndex(ui->comboBoxAction->findData(m_typeKey));

    fillChannels();
    buildValueEditor();
    updateOkButton();
}

TsExperimentScriptActionDialog::~TsExperimentScriptActionDialog() = default;

void TsExperimentScriptActionDialog::setNewAction()
{
    ui->groupBoxActive->setChecked(true);
    ui->lineEditComment->setFocus();
}

void TsExperimentScriptActionDialog::on_buttonBox_accepted()
{
    const QString channelId = ui->comboBoxChannels->currentData().toString();
    if (channelId.isEmpty()) {
        TsMessageBox::warning(this, tr("Channel missing"), tr("Please select a channel"));
        return;
    }
    if (!m_index.isValid()) {
        reject();
        return;
    }
    const int row = m_index.row();
    auto write = [this, row](int column, const QVariant &value, int role = Qt::EditRole) {
        m_model->setData(m_model->index(row, column), value, role);
    };
    const QVariant value = editorValue();
    // The kind goes first: a new kind replaces the row's action and starts from its defaults.
    if (m_model->data(m_model->index(row, TsExperimentScriptModel::ParameterColumn), Qt::EditRole)
            .toString() != m_typeKey)
        write(TsExperimentScriptModel::ParameterColumn, m_typeKey);
    write(TsExperimentScriptModel::CommentColumn, ui->lineEditComment->text().trimmed());
    write(TsExperimentScriptModel::TimeColumn,
          ui->groupBoxActive->isChecked() ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    write(TsExperimentScriptModel::ChannelColumn, channelId);
    const TimeCode time(quint8(ui->spinBoxDays->value()), quint8(ui->spinBoxHours->value()),
                        quint8(ui->spinBoxMinutes->value()), quint8(ui->spinBoxSeconds->value()),
                        0);
    write(TsExperimentScriptModel::TimeColumn, time.toMilliseconds());
    write(TsExperimentScriptModel::ValueColumn, value);
    accept();
}

void TsExperimentScriptActionDialog::on_lineEditComment_editingFinished()
{
    const QString trimmed = ui->lineEditComment->text().trimmed();
    if (trimmed != ui->lineEditComment->text())
        ui->lineEditComment->setText(trimmed);
}

void TsExperimentScriptActionDialog::on_comboBoxChannels_activated(int index)
{
    m_channelId = ui->comboBoxChannels->itemData(index).toString();
    buildValueEditor();
    updateOkButton();
}

void TsExperimentScriptActionDialog::on_comboBoxAction_activated(int index)
{
    m_typeKey = ui->comboBoxAction->itemData(index).toString();
    fillChannels();
    buildValueEditor();
    updateOkButton();
}

TsExperiment *TsExperimentScriptActionDialog::experiment() const
{
    const TsExperimentScript *script = m_model ? m_model->script() : nullptr;
    return script ? script->experiment() : nullptr;
}

TsExperimentChannel *TsExperimentScriptActionDialog::chosenChannel() const
{
    const TsExperiment *owner = experiment();
    return owner && !m_channelId.isEmpty() ? owner->channel(m_channelId) : nullptr;
}

void TsExperimentScriptActionDialog::fillChannels()
{
    ui->comboBoxChannels->clear();
    if (m_typeKey.isEmpty())
        return;
    if (const TsExperiment *owner = experiment()) {
        for (const TsExperimentChannel *channel : owner->channels())
            ui->comboBoxChannels->addItem(channel->name(), channel->id());
    }
    // A channel the current profile does not have stays unselected: the operator must choose
    // one that the run can find.
    ui->comboBoxChannels->setCurrentIndex(ui->comboBoxChannels->findData(m_channelId));
}

void TsExperimentScriptActionDialog::buildValueEditor()
{
    const QVariant value = m_value;
    delete m_valueEditor;
    m_valueEditor = nullptr;

    if (m_typeKey == LoopControlKind) {
        auto *choice = new QComboBox(this);
        choice->setObjectName(QStringLiteral("comboBoxValue"));
        choice->addItem(tr("Off"));
        choice->addItem(tr("On"));
        choice->setCurrentIndex(value.userType() == QMetaType::Bool && value.toBool() ? 1 : 0);
        connect(choice, QOverload<int>::of(&QComboBox::activated), this,
                [this](int index) { m_value = index != 0; });
        m_valueEditor = choice;
    } else if (m_typeKey == SetpointKind) {
        auto *spin = new QDoubleSpinBox(this);
        spin->setObjectName(QStringLiteral("doubleSpinBoxValue"));
        spin->setSingleStep(0.1);
        spin->setDecimals(1);
        double minimum = UnknownMinimum;
        double maximum = UnknownMaximum;
        const TsExperimentChannel *channel = chosenChannel();
        const TsDeviceChannel *device = channel ? channel->deviceChannel() : nullptr;
        if (device && std::isfinite(device->minValue()) && std::isfinite(device->maxValue()) &&
            device->minValue() <= device->maxValue()) {
            minimum = device->minValue();
            maximum = device->maxValue();
            if (!channel->unit().isEmpty())
                spin->setSuffix(channel->unit());
        }
        spin->setRange(minimum, maximum);
        // A value never set starts from the channel's present setpoint rather than from the
        // bottom of the range: accepting the dialog unchanged must not cool or starve the cells.
        const bool numeric =
            value.isValid() && value.userType() != QMetaType::Bool && value.canConvert<double>();
        double start = numeric ? value.toDouble() : std::nan("");
        const QVariant present =
            channel ? channel->value(TsExperimentChannel::SetpointValue) : QVariant();
        if (!std::isfinite(start) && present.isValid())
            start = present.toDouble();
        spin->setValue(std::isfinite(start) ? start : minimum);
        // Typed values outlive a change of channel; the value of a kind that does not fit is
        // dropped when the kind changes.
        connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                [this](double typed) { m_value = typed; });
        m_valueEditor = spin;
    }
    if (m_valueEditor)
        ui->horizontalLayoutValue->addWidget(m_valueEditor);
}

QVariant TsExperimentScriptActionDialog::editorValue() const
{
    if (const auto *choice = qobject_cast<const QComboBox *>(m_valueEditor))
        return choice->currentIndex() != 0;
    if (const auto *spin = qobject_cast<const QDoubleSpinBox *>(m_valueEditor))
        return spin->value();
    return QVariant();
}

void TsExperimentScriptActionDialog::updateOkButton()
{
    ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(!m_typeKey.isEmpty() && !m_channelId.isEmpty());
}
