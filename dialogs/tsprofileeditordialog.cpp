#include "dialogs/tsprofileeditordialog.h"
#include "ui_tsprofileeditordialog.h"

#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "tscore.h"
#include "utils/namecheck.h"
#include "utils/timecode.h"

#include <QColorDialog>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace {

enum Column
{
    NameColumn = 0,
    SetpointColumn = 1,
    UnitColumn = 2,
    LoopColumn = 3,
    AlertColumn = 4,
    ColorColumn = 5
};

enum Role
{
    IdRole = Qt::UserRole, // on NameColumn
    EntryNameRole = Qt::UserRole + 1,
    ColorRole = Qt::UserRole + 2,           // on ColorColumn
    AcceptedSetpointRole = Qt::UserRole + 3 // on SetpointColumn: the last value within range
};

// The views of the main window in the order it registers them, with the names the operator knows.
const QList<QPair<QString, const char *>> &knownViews()
{
    static const QList<QPair<QString, const char *>> views = {
        {QStringLiteral("channels"), QT_TRANSLATE_NOOP("TsProfileEditorDialog", "Channels")},
        {QStringLiteral("recorder"), QT_TRANSLATE_NOOP("TsProfileEditorDialog", "Data Recording")},
        {QStringLiteral("dynamic"),
         QT_TRANSLATE_NOOP("TsProfileEditorDialog", "Dynamic Experiment")},
        {QStringLiteral("emailalert"), QT_TRANSLATE_NOOP("TsProfileEditorDialog", "E-Mail Alert")}};
    return views;
}

const char AllViews[] = "@all";

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(14, 14);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::gray);
    painter.setBrush(color.isValid() ? color : QColor(Qt::transparent));
    painter.drawRect(0, 0, 13, 13);
    return QIcon(pixmap);
}

void setColor(QTreeWidgetItem *item, const QColor &color)
{
    item->setData(ColorColumn, ColorRole, color);
    item->setIcon(ColorColumn, swatch(color));
    item->setText(ColorColumn, color.isValid() ? color.name() : QString());
}

// Applies a change of the operator's profile file or list without sending any of its setpoints.
class ApplyValuesOff
{
public:
    ApplyValuesOff()
        : m_apply(TsCore::applyValues())
    {
        TsCore::setApplyValues(false);
    }
    ~ApplyValuesOff() { TsCore::setApplyValues(m_apply); }

private:
    const bool m_apply;
};

} // namespace

TsProfileEditorDialog::TsProfileEditorDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::TsProfileEditorDialog)
{
    ui->setupUi(this);
    ui->treeWidgetChannels->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    ui->treeWidgetChannels->header()->setStretchLastSection(false);
    for (int column = SetpointColumn; column <= ColorColumn; ++column)
        ui->treeWidgetChannels->header()->setSectionResizeMode(column,
                                                               QHeaderView::ResizeToContents);

    connect(ui->listWidgetProfiles, &QListWidget::currentItemChanged, this,
            &TsProfileEditorDialog::profileChosen);
    connect(ui->pushButtonNew, &QPushButton::clicked, this, &TsProfileEditorDialog::newProfile);
    connect(ui->pushButtonDelete, &QPushButton::clicked, this,
            &TsProfileEditorDialog::deleteProfile);
    connect(ui->pushButtonRecorder, &QPushButton::clicked, this,
            &TsProfileEditorDialog::editRecorderSettings);
    connect(ui->pushButtonColor, &QPushButton::clicked, this, &TsProfileEditorDialog::chooseColor);
    connect(ui->pushButtonUp, &QPushButton::clicked, this, [this] { moveChannel(-1); });
    connect(ui->pushButtonDown, &QPushButton::clicked, this, [this] { moveChannel(1); });
    connect(ui->treeWidgetChannels, &QTreeWidget::itemDoubleClicked, this,
            &TsProfileEditorDialog::channelClicked);
    connect(ui->treeWidgetChannels, &QTreeWidget::itemChanged, this,
            &TsProfileEditorDialog::channelChanged);
    connect(ui->treeWidgetChannels, &QTreeWidget::currentItemChanged, this,
            &TsProfileEditorDialog::updateButtons);
    // Save has the accept role too: the box's accepted() would close the dialog after it.
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        if (button == ui->buttonBox->button(QDialogButtonBox::Save))
            save();
        else if (button == ui->buttonBox->button(QDialogButtonBox::Ok))
            accept();
    });
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &TsProfileEditorDialog::reject);
    // Controllers plugged in or out while the dialog is open change what can be picked.
    connect(TsCore::deviceManager(), &TsDeviceManager::newDevice, this,
            &TsProfileEditorDialog::devicesChanged);
    connect(TsCore::deviceManager(), &TsDeviceManager::deviceRemoved, this,
            &TsProfileEditorDialog::devicesChanged);

    reloadList(QString());
    const QStringList names = TsCore::profiles();
    const QString current = TsCore::currentProfile();
    if (!current.isEmpty() && names.contains(current))
        setSelectedProfile(current);
    else if (!names.isEmpty())
        setSelectedProfile(names.first());
    else
        showProfile(TsProfile(), QString());
}

TsProfileEditorDialog::~TsProfileEditorDialog() = default;

bool TsProfileEditorDialog::setSelectedProfile(const QString &name)
{
    const QList<QListWidgetItem *> found =
        ui->listWidgetProfiles->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        return false;
    ui->listWidgetProfiles->setCurrentItem(found.first());
    return m_savedName == name && !m_profile.isNew();
}

QString TsProfileEditorDialog::selectedProfile() const
{
    return m_savedName;
}

TsProfile TsProfileEditorDialog::editedProfile() const
{
    TsProfile profile = m_profile;
    profile.setName(ui->lineEditTitle->text().simplified());
    profile.setDescription(ui->plainTextEditDescription->toPlainText());

    QList<TsProfile::Channel> channels;
    QTreeWidget *tree = ui->treeWidgetChannels;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = tree->topLevelItem(row);
        if (item->checkState(NameColumn) != Qt::Checked)
            continue;
        TsProfile::Channel channel;
        channel.id = item->data(NameColumn, IdRole).toString();
        channel.name = item->data(NameColumn, EntryNameRole).toString();
        channel.color = item->data(ColorColumn, ColorRole).value<QColor>();
        channel.setpoint = item->data(SetpointColumn, Qt::EditRole).toDouble();
        channel.control = item->checkState(LoopColumn) == Qt::Checked;
        channel.alert = item->checkState(AlertColumn) == Qt::Checked;
        channel.unit = item->text(UnitColumn);
        channels.append(channel);
    }
    profile.setChannels(channels);

    QList<TsProfile::View> views;
    for (int row = 0; row < ui->listWidgetViews->count(); ++row) {
        const QListWidgetItem *item = ui->listWidgetViews->item(row);
        TsProfile::View view;
        view.id = item->data(Qt::UserRole).toString();
        view.visible = item->checkState() == Qt::Checked;
        views.append(view);
    }
    profile.setViews(views + m_otherViews);
    return profile;
}

bool TsProfileEditorDialog::isModified() const
{
    return m_profile.isValid() && (m_profile.isNew() || editedProfile() != m_shown);
}

bool TsProfileEditorDialog::save()
{
    const QString user = TsCore::currentUser();
    if (user.isEmpty() || !m_profile.isValid())
        return false;
    const QString title = ui->lineEditTitle->text().simplified();
    if (!Utils::NameCheck::isValidFileName(title)) {
        TsMessageBox::critical(this, tr("Invalid filename"), tr("Please use a valid title."));
        ui->lineEditTitle->setFocus();
        return false;
    }
    if (Utils::NameCheck::isTooLong(title)) {
        TsMessageBox::critical(this, tr("Invalid filename"), Utils::NameCheck::tooLongText());
        ui->lineEditTitle->setFocus();
        return false;
    }
    if (title != m_savedName && TsCore::profiles().contains(title) &&
        TsMessageBox::question(
            this, tr("Replace profile"),
            tr("A profile named '%1' exists already. Do you want to replace it?").arg(title),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
        ui->lineEditTitle->setFocus();
        return false;
    }

    TsProfile profile = editedProfile();
    profile.setName(title);
    profile.setValid(true);
    profile.setNew(false);
    // Written in one piece: a failure leaves any earlier file of that name as it was.
    const QxResult saved = profile.save(TsCore::profileFile(user, title));
    if (saved.isError()) {
        qWarning("TsProfileEditorDialog::save: '%s': %s", qPrintable(title),
                 qPrintable(saved.toString(QStringLiteral(": "))));
        TsMessageBox::critical(this, tr("Save failed"), tr("Saving profile failed."));
        return false;
    }

    {
        const ApplyValuesOff applyValuesOff;
        const bool renamed = !m_savedName.isEmpty() && m_savedName != title;
        const bool wasCurrent = renamed && TsCore::currentProfile() == m_savedName;
        if (renamed) {
            const QxResult removed = TsCore::renameProfile(m_savedName, QString());
            qDebug("TsProfileEditorDialog::save: remove '%s' ... %s", qPrintable(m_savedName),
                   removed.isSuccess() ? "ok" : "error");
        }
        // Announces the current profile again, so that a saved current profile takes effect.
        TsCore::instance()->reloadProfiles();
        if (wasCurrent)
            TsCore::setCurrentProfile(title);
    }

    ui->lineEditTitle->setText(title);
    m_profile = profile;
    m_savedName = title;
    reloadList(title);
    m_shown = editedProfile();
    updateButtons();
    return true;
}

void TsProfileEditorDialog::accept()
{
    if (isModified() && !save())
        return;
    QDialog::accept();
}

void TsProfileEditorDialog::reject()
{
    if (!settleChanges(true))
        return;
    QDialog::reject();
}

void TsProfileEditorDialog::newProfile()
{
    if (!settleChanges(false))
        return;
    TsProfile profile;
    profile.setValid(true);
    profile.setNew(true);
    profile.setName(tr("unnamed"));
    reloadList(QString());
    showProfile(profile, QString());
    ui->lineEditTitle->setFocus();
    ui->lineEditTitle->selectAll();
}

void TsProfileEditorDialog::deleteProfile()
{
    if (!m_profile.isValid())
        return;
    if (!m_savedName.isEmpty()) {
        const QString text = tr("Do you really want to delete profile '%1' ?").arg(m_savedName);
        if (TsMessageBox::question(this, tr("Delete profile"), text) != QMessageBox::Yes)
            return;
        QxResult removed;
        {
            const ApplyValuesOff applyValuesOff;
            removed = TsCore::renameProfile(m_savedName, QString());
            TsCore::instance()->reloadProfiles();
        }
        if (removed.isError()) {
            TsMessageBox::critical(this, tr("Delete failed"),
                                   tr("The profile '%1' could not be deleted.").arg(m_savedName));
            reloadList(m_savedName);
            return;
        }
    }
    // Nothing of the deleted profile is left to keep.
    m_profile = TsProfile();
    m_savedName.clear();
    reloadList(QString());
    const QStringList names = TsCore::profiles();
    if (names.isEmpty() || !setSelectedProfile(names.first()))
        showProfile(TsProfile(), QString());
}

void TsProfileEditorDialog::profileChosen(QListWidgetItem *current, QListWidgetItem *previous)
{
    Q_UNUSED(previous)
    if (!current)
        return;
    // Saving below may rebuild the list and delete the item.
    const QString name = current->text();
    if (name == m_savedName && !m_profile.isNew())
        return;
    const QString previousName = m_savedName;
    if (!settleChanges(false)) {
        // Back to the profile that is still being edited.
        reloadList(m_savedName);
        return;
    }
    if (load(name)) {
        reloadList(name);
        return;
    }
    reloadList(previousName);
    if (previousName.isEmpty() || !load(previousName))
        showProfile(TsProfile(), QString());
}

void TsProfileEditorDialog::editRecorderSettings()
{
    TsRecorderSettingsDialog dialog(this);
    dialog.setLogSettings(m_profile.logSettings());
    dialog.setCsvSettings(m_profile.csvSettings());
    dialog.setLogFilePrefix(m_profile.logFilePrefix());
    dialog.setLogFilePrefixPlaceholder(tr("asked when recording starts"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_profile.setLogSettings(dialog.logSettings());
    m_profile.setCsvSettings(dialog.csvSettings());
    m_profile.setLogFilePrefix(dialog.logFilePrefix());
    showRecorderSummary();
}

void TsProfileEditorDialog::chooseColor()
{
    QTreeWidgetItem *item = ui->treeWidgetChannels->currentItem();
    if (!item)
        return;
    const QColor color = QColorDialog::getColor(item->data(ColorColumn, ColorRole).value<QColor>(),
                                                this, tr("Graph colour"));
    if (color.isValid())
        setColor(item, color);
}

void TsProfileEditorDialog::moveChannel(int delta)
{
    QTreeWidget *tree = ui->treeWidgetChannels;
    QTreeWidgetItem *item = tree->currentItem();
    if (!item)
        return;
    const int row = tree->indexOfTopLevelItem(item);
    const int target = row + delta;
    if (target < 0 || target >= tree->topLevelItemCount())
        return;
    tree->takeTopLevelItem(row);
    tree->insertTopLevelItem(target, item);
    tree->setCurrentItem(item);
}

void TsProfileEditorDialog::channelClicked(QTreeWidgetItem *item, int column)
{
    if (column == SetpointColumn)
        ui->treeWidgetChannels->editItem(item, SetpointColumn);
    else if (column == ColorColumn)
        chooseColor();
}

void TsProfileEditorDialog::channelChanged(QTreeWidgetItem *item, int column)
{
    const QSignalBlocker blocker(ui->treeWidgetChannels);
    if (column == NameColumn && item->checkState(NameColumn) == Qt::Checked &&
        !item->data(ColorColumn, ColorRole).value<QColor>().isValid()) {
        // A channel just picked gets a colour no other picked channel has.
        QList<QColor> used;
        for (int row = 0; row < ui->treeWidgetChannels->topLevelItemCount(); ++row)
            used.append(ui->treeWidgetChannels->topLevelItem(row)
                            ->data(ColorColumn, ColorRole)
                            .value<QColor>());
        QColor color = TsProfile::graphColors().first();
        for (const QColor &candidate : TsProfile::graphColors()) {
            if (!used.contains(candidate)) {
                color = candidate;
                break;
            }
        }
        setColor(item, color);
    } else if (column == SetpointColumn) {
        // Refused as on the tile: a value quietly made into another one would be applied unseen.
        const double value = item->data(SetpointColumn, Qt::EditRole).toDouble();
        const TsDeviceChannel *channel =
            TsCore::deviceManager()->channel(item->data(NameColumn, IdRole).toString());
        if (channel && ((!std::isnan(channel->minValue()) && value < channel->minValue()) ||
                        (!std::isnan(channel->maxValue()) && value > channel->maxValue()))) {
            item->setData(SetpointColumn, Qt::EditRole,
                          item->data(SetpointColumn, AcceptedSetpointRole));
            const QLocale locale;
            TsMessageBox::warning(this, tr("Setpoint out of range"),
                                  tr("%1 is outside this channel's setpoint range of %2 to %3.")
                                      .arg(locale.toString(value, 'f', 1),
                                           locale.toString(channel->minValue(), 'f', 1),
                                           locale.toString(channel->maxValue(), 'f', 1)));
        } else {
            item->setData(SetpointColumn, AcceptedSetpointRole, value);
        }
    }
}

void TsProfileEditorDialog::devicesChanged()
{
    // The manager announces a removal before the device is gone from its list.
    QTimer::singleShot(0, this, [this] {
        if (!m_profile.isValid())
            return;
        QStringList shown;
        for (int row = 0; row < ui->treeWidgetChannels->topLevelItemCount(); ++row)
            shown.append(
                ui->treeWidgetChannels->topLevelItem(row)->data(NameColumn, IdRole).toString());
        const QSignalBlocker blocker(ui->treeWidgetChannels);
        addConnectedChannelsBut(shown);
        markConnections();
    });
}

void TsProfileEditorDialog::addConnectedChannelsBut(const QStringList &listed)
{
    // Offered unticked, with what the controller holds now.
    for (TsDevice *device : TsCore::deviceManager()->devices()) {
        for (TsDeviceChannel *channel : device->channels()) {
            if (listed.contains(channel->id()))
                continue;
            TsProfile::Channel entry;
            entry.id = channel->id();
            entry.name = channel->name();
            entry.unit = channel->unit();
            entry.control = channel->loopControl();
            if (!std::isnan(channel->setpointValue()))
                entry.setpoint = channel->setpointValue();
            addChannelRow(entry, false);
        }
    }
}

bool TsProfileEditorDialog::settleChanges(bool offerCancel)
{
    if (!isModified())
        return true;
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (offerCancel)
        buttons |= QMessageBox::Cancel;
    const QMessageBox::StandardButton answer = TsMessageBox::question(
        this, tr("Profile changed"),
        tr("The current profile has been changed. Please press <b>Yes</b> to save the changes. "
           "Otherwise your changes are discarded."),
        buttons, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        return save();
    return answer == QMessageBox::No;
}

bool TsProfileEditorDialog::load(const QString &name)
{
    TsProfile profile;
    const QxResult loaded = profile.load(TsCore::profileFile(TsCore::currentUser(), name));
    if (loaded.isError()) {
        TsMessageBox::critical(
            this, tr("Load failed"),
            tr("The profile '%1' could not be loaded.\n%2").arg(name, loaded.toString()));
        return false;
    }
    showProfile(profile, name);
    return true;
}

void TsProfileEditorDialog::showProfile(const TsProfile &profile, const QString &savedName)
{
    m_profile = profile;
    m_savedName = savedName;
    ui->lineEditTitle->setText(profile.name());
    ui->plainTextEditDescription->setPlainText(profile.description());
    showChannels(profile.isValid() ? profile.channels() : QList<TsProfile::Channel>());
    showViews(profile.views());
    showRecorderSummary();
    m_shown = editedProfile();
    updateButtons();
}

void TsProfileEditorDialog::showChannels(const QList<TsProfile::Channel> &channels)
{
    QTreeWidget *tree = ui->treeWidgetChannels;
    const QSignalBlocker blocker(tree);
    tree->clear();
    if (!m_profile.isValid())
        return;
    // The profile's channels first, in its order; then what else is connected, to be picked.
    QStringList ids;
    for (const TsProfile::Channel &entry : channels) {
        addChannelRow(entry, true);
        ids.append(entry.id);
    }
    addConnectedChannelsBut(ids);
    markConnections();
    if (tree->topLevelItemCount() > 0)
        tree->setCurrentItem(tree->topLevelItem(0));
}

void TsProfileEditorDialog::addChannelRow(const TsProfile::Channel &entry, bool inProfile)
{
    auto *item = new QTreeWidgetItem(ui->treeWidgetChannels);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable |
                   Qt::ItemIsEditable);
    item->setCheckState(NameColumn, inProfile ? Qt::Checked : Qt::Unchecked);
    item->setData(NameColumn, IdRole, entry.id);
    item->setData(NameColumn, EntryNameRole, entry.name);
    item->setData(SetpointColumn, Qt::EditRole, entry.setpoint);
    item->setData(SetpointColumn, AcceptedSetpointRole, entry.setpoint);
    item->setText(UnitColumn, entry.unit);
    item->setCheckState(LoopColumn, entry.control ? Qt::Checked : Qt::Unchecked);
    item->setCheckState(AlertColumn, entry.alert ? Qt::Checked : Qt::Unchecked);
    setColor(item, inProfile ? entry.color : QColor());
}

void TsProfileEditorDialog::markConnections()
{
    QTreeWidget *tree = ui->treeWidgetChannels;
    const QSignalBlocker blocker(tree);
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = tree->topLevelItem(row);
        const QString id = item->data(NameColumn, IdRole).toString();
        QString name = item->data(NameColumn, EntryNameRole).toString();
        if (name.isEmpty())
            name = id;
        const TsDeviceChannel *channel = TsCore::deviceManager()->channel(id);
        QFont font = tree->font();
        if (channel) {
            item->setText(NameColumn, name);
            item->setToolTip(
                NameColumn,
                tr("%1 on %2 (%3)").arg(channel->name(), channel->device()->description(), id));
            item->setForeground(NameColumn, tree->palette().brush(QPalette::Text));
        } else {
            item->setText(NameColumn, tr("%1 (not connected)").arg(name));
            item->setToolTip(NameColumn,
                             tr("%1 is not connected now; the profile keeps it.").arg(id));
            item->setForeground(NameColumn,
                                tree->palette().brush(QPalette::Disabled, QPalette::Text));
            font.setItalic(true);
        }
        item->setFont(NameColumn, font);
    }
}

void TsProfileEditorDialog::showViews(const QList<TsProfile::View> &views)
{
    ui->listWidgetViews->clear();
    m_otherViews.clear();
    const bool all = !views.isEmpty() && views.first().id == QLatin1String(AllViews);
    QList<TsProfile::View> ordered;
    QStringList seen;
    if (!all) {
        for (const TsProfile::View &view : views) {
            bool known = false;
            for (const auto &entry : knownViews())
                known = known || entry.first == view.id;
            if (!known) {
                if (view.id != QLatin1String(AllViews))
                    m_otherViews.append(view);
            } else if (!seen.contains(view.id)) {
                ordered.append(view);
                seen.append(view.id);
            }
        }
    }
    // Views a profile does not name are shown.
    for (const auto &entry : knownViews()) {
        if (!seen.contains(entry.first))
            ordered.append({entry.first, true});
    }
    for (const TsProfile::View &view : qAsConst(ordered)) {
        QString text;
        for (const auto &entry : knownViews()) {
            if (entry.first == view.id)
                text = tr(entry.second);
        }
        auto *item = new QListWidgetItem(text, ui->listWidgetViews);
        item->setData(Qt::UserRole, view.id);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable |
                       Qt::ItemIsDragEnabled);
        item->setCheckState(view.visible ? Qt::Checked : Qt::Unchecked);
    }
}

void TsProfileEditorDialog::showRecorderSummary()
{
    if (!m_profile.isValid()) {
        ui->labelRecorderSummary->clear();
        return;
    }
    const TsRecorderLogSettings log = m_profile.logSettings();
    QStringList parts;
    parts.append(log.startMode() == TsRecorderLogSettings::StartWithDynamicExp
                     ? tr("Starts with the dynamic experiment")
                     : tr("Starts manually"));
    if (log.stopMode() == TsRecorderLogSettings::StopAfter)
        parts.append(
            tr("stops after %1").arg(TimeCode::fromMilliseconds(log.stopAfter()).toString()));
    else if (log.stopMode() == TsRecorderLogSettings::StopWithDynamicExp)
        parts.append(tr("stops with the dynamic experiment"));
    else
        parts.append(tr("stops manually"));
    if (log.captureMode() == TsRecorderLogSettings::CaptureDatapoints)
        parts.append(tr("%n datapoints", nullptr, log.datapoints()));
    else
        parts.append(tr("a row every %n s", nullptr,
                        TsRecorderLogSettings::intervalToSeconds(log.interval())));
    QString text = parts.join(QStringLiteral(", ")) + QLatin1Char('.');
    text += QLatin1Char(' ') +
            (m_profile.csvSettings().isEnabled() ? tr("CSV output on.") : tr("CSV output off."));
    if (!m_profile.logFilePrefix().isEmpty())
        text += QLatin1Char(' ') + tr("Files begin with '%1'.").arg(m_profile.logFilePrefix());
    ui->labelRecorderSummary->setText(text);
}

void TsProfileEditorDialog::reloadList(const QString &select)
{
    QListWidget *list = ui->listWidgetProfiles;
    const QSignalBlocker blocker(list);
    // Rebuilt only when the names changed: it may run while the list announces a click.
    const QStringList names = TsCore::profiles();
    QStringList listed;
    for (int row = 0; row < list->count(); ++row)
        listed.append(list->item(row)->text());
    if (listed != names) {
        list->clear();
        list->addItems(names);
    }
    const int row = select.isEmpty() ? -1 : names.indexOf(select);
    list->setCurrentRow(row);
}

void TsProfileEditorDialog::updateButtons()
{
    const bool hasUser = !TsCore::currentUser().isEmpty();
    const bool editing = m_profile.isValid();
    ui->labelNoUser->setVisible(!hasUser);
    ui->pushButtonNew->setEnabled(hasUser);
    ui->widgetProfile->setEnabled(editing);
    ui->pushButtonDelete->setEnabled(editing);
    ui->buttonBox->button(QDialogButtonBox::Save)->setEnabled(editing);
    const bool hasChannel = ui->treeWidgetChannels->currentItem() != nullptr;
    ui->pushButtonUp->setEnabled(hasChannel);
    ui->pushButtonDown->setEnabled(hasChannel);
    ui->pushButtonColor->setEnabled(hasChannel);
}
