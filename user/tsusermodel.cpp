#include "user/tsusermodel.h"

#include "tscore.h"
#include "user/tsusersettings.h"
#include "utils/emailvalidator.h"
#include "utils/namecheck.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

namespace {

struct Entry
{
    QString name;       // as edited
    QString loadedName; // the folder on disk; empty for an added row
    TsUserSettings settings;
    int state = TsUserModel::Unchanged;
};

// Whether path is folder or lies inside it.
bool isInside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && (path == folder || path.startsWith(folder + QLatin1Char('/')) ||
                                 path.startsWith(folder + QLatin1Char('\\')));
}

const char *outcome(const QxResult &result)
{
    return result.isSuccess() ? "ok" : "error";
}

} // namespace

class TsUserModel::Private
{
public:
    QList<Entry> entries;
    QStringList removedNames; // folders to delete on submit
    QStringList errors;       // of the last submit, one per row that did not go through

    // Renames the folders of renamed rows; the rows whose folder could not be renamed. A rename
    // onto a name that another renamed row still holds waits for that one; names that go round
    // in a circle (two users swapping theirs) go through a temporary name.
    QSet<int> renameFolders();

    bool nameTaken(const QString &name, int exceptRow) const
    {
        for (int row = 0; row < entries.size(); ++row) {
            if (row != exceptRow && entries.at(row).name == name)
                return true;
        }
        return false;
    }
};

QSet<int> TsUserModel::Private::renameFolders()
{
    QHash<int, QString> pending; // row -> the name its folder has now
    for (int row = 0; row < entries.size(); ++row) {
        const Entry &entry = entries.at(row);
        if (entry.state == Modified && !entry.name.isEmpty() && entry.name != entry.loadedName)
            pending.insert(row, entry.loadedName);
    }
    QSet<int> failed;
    const auto rename = [](const QString &from, const QString &to) {
        const QxResult result = TsCore::renameUser(from, to);
        qDebug("TsUserModel::submit: rename '%s' to '%s' ... %s", qPrintable(from), qPrintable(to),
               outcome(result));
        // The core checks new names against its list, which only a reload brings up to date.
        TsCore::instance()->reloadUsers();
        return result.isSuccess();
    };
    while (!pending.isEmpty()) {
        const QList<QString> held = pending.values();
        bool progress = false;
        for (auto it = pending.begin(); it != pending.end();) {
            const Entry &entry = entries.at(it.key());
            if (held.contains(entry.name)) {
                ++it;
                continue;
            }
            if (!rename(it.value(), entry.name)) {
                // A folder parked under a temporary name goes back to where it was.
                if (it.value() != entry.loadedName)
                    rename(it.value(), entry.loadedName);
                errors << TsUserModel::tr("The user '%1' could not be renamed to '%2'.")
                              .arg(entry.loadedName, entry.name);
                failed.insert(it.key());
            }
            it = pending.erase(it);
            progress = true;
            break; // the names held have changed
        }
        if (progress)
            continue;
        // Only circles are left: one of them steps aside.
        const auto first = pending.begin();
        QString parked;
        for (int n = 1; parked.isEmpty() || TsCore::users().contains(parked) ||
                        QFileInfo::exists(TsCore::folderPath(TsCore::User, parked));
             ++n)
            parked = QStringLiteral("%1.renaming-%2").arg(first.value()).arg(n);
        if (rename(first.value(), parked)) {
            first.value() = parked;
        } else {
            const Entry &entry = entries.at(first.key());
            errors << TsUserModel::tr("The user '%1' could not be renamed to '%2'.")
                          .arg(entry.loadedName, entry.name);
            failed.insert(first.key());
            pending.erase(first);
        }
    }
    return failed;
}

TsUserModel::TsUserModel(QObject *parent)
    : QAbstractTableModel(parent)
    , d(new Private)
{
    refresh();
}

TsUserModel::~TsUserModel() = default;

int TsUserModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : d->entries.size();
}

int TsUserModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int TsUserModel::rowState(int row) const
{
    return row >= 0 && row < d->entries.size() ? d->entries.at(row).state : -1;
}

QVariant TsUserModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= d->entries.size())
        return QVariant();
    const Entry &entry = d->entries.at(index.row());

    if (role == IsDefaultLogPathRole) {
        return entry.settings.logPath() == TsCore::folderPath(TsCore::LogData, entry.name);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();

    switch (index.column()) {
    case NameColumn:
        if (role == Qt::DisplayRole && entry.name.isEmpty())
            return tr("<unnamed>");
        return entry.name;
    case EMailColumn:
        return entry.settings.email();
    case LogPathColumn:
        return entry.settings.logPath();
    case CsvSettingsColumn:
        return QVariant::fromValue(entry.settings.csvSettings());
    case StyleColumn:
        return entry.settings.style();
    case ApplyOnStartColumn:
        return bool(entry.settings.flags() & TsUserSettings::ApplyValuesOnStart);
    case ApplyOnProfileChangeColumn:
        return bool(entry.settings.flags() & TsUserSettings::ApplyValuesOnProfileChange);
    default:
        return QVariant();
    }
}

bool TsUserModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= d->entries.size())
        return false;
    Entry &entry = d->entries[index.row()];
    bool logPathChanged = false;

    switch (index.column()) {
    case NameColumn: {
        const QString name = value.toString().simplified();
        if (!Utils::NameCheck::isValidFileName(name) || Utils::NameCheck::isTooLong(name) ||
            d->nameTaken(name, index.row()))
            return false;
        const QString oldFolder = TsCore::folderPath(TsCore::User, entry.name);
        const QString logPath = entry.settings.logPath();
        if (logPath.isEmpty()) {
            entry.settings.setLogPath(TsCore::folderPath(TsCore::LogData, name));
        } else if (isInside(logPath, oldFolder)) {
            entry.settings.setLogPath(TsCore::folderPath(TsCore::User, name) +
                                      logPath.mid(oldFolder.size()));
        }
        entry.name = name;
        logPathChanged = true;
        break;
    }
    case EMailColumn: {
        const QString email = value.toString().trimmed();
        if (!email.isEmpty() && !Utils::EMail::Validator::isValidList(email))
            return false;
        entry.settings.setEmail(email);
        break;
    }
    case LogPathColumn: {
        const QString path = value.toString().trimmed();
        if (path.isEmpty() || path.startsWith(QLatin1Char('<')))
            return false;
        entry.settings.setLogPath(path);
        break;
    }
    case CsvSettingsColumn:
        if (!value.canConvert<TsRecorderCSVSettings>())
            return false;
        entry.settings.setCsvSettings(value.value<TsRecorderCSVSettings>());
        break;
    case StyleColumn:
        entry.settings.setStyle(value.toInt());
        break;
    case ApplyOnStartColumn:
    case ApplyOnProfileChangeColumn: {
        const int bit = index.column() == ApplyOnStartColumn
                            ? TsUserSettings::ApplyValuesOnStart
                            : TsUserSettings::ApplyValuesOnProfileChange;
        const int flags = entry.settings.flags();
        entry.settings.setFlags(value.toBool() ? flags | bit : flags & ~bit);
        break;
    }
    default:
        return false;
    }

    qDebug("TsUserModel: change '%s' col %d", qPrintable(entry.name), index.column());
    if (entry.state == Unchanged)
        entry.state = Modified;
    emit dataChanged(index, index);
    if (logPathChanged) {
        const QModelIndex logIndex = this->index(index.row(), LogPathColumn);
        emit dataChanged(logIndex, logIndex);
    }
    return true;
}

QVariant TsUserModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NameColumn:
        return tr("Name");
    case EMailColumn:
        return tr("E-Mail");
    case LogPathColumn:
        return tr("Log Path");
    case CsvSettingsColumn:
        return tr("CSV Settings");
    case StyleColumn:
        return tr("UI Style");
    default:
        return QVariant();
    }
}

Qt::ItemFlags TsUserModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool TsUserModel::insertRows(int row, int count, const QModelIndex &parent)
{
    if (count != 1 || parent.isValid())
        return false;
    row = qBound(0, row, d->entries.size());
    beginInsertRows(QModelIndex(), row, row);
    Entry entry;
    entry.state = Added;
    d->entries.insert(row, entry);
    endInsertRows();
    return true;
}

bool TsUserModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (count != 1 || parent.isValid() || row < 0 || row >= d->entries.size())
        return false;
    if (d->entries.at(row).state == Removed)
        return true;
    beginRemoveRows(QModelIndex(), row, row);
    const Entry entry = d->entries.takeAt(row);
    // An added row never reached the disk; a loaded one is deleted by its folder's name, which
    // an edit of the row may have changed in memory only.
    if (entry.state != Added && !entry.loadedName.isEmpty())
        d->removedNames.append(entry.loadedName);
    endRemoveRows();
    return true;
}

void TsUserModel::refresh()
{
    TsCore::instance()->reloadUsers();
    beginResetModel();
    d->entries.clear();
    d->removedNames.clear();
    const QStringList names = TsCore::users();
    for (const QString &name : names) {
        Entry entry;
        entry.name = name;
        entry.loadedName = name;
        entry.settings.load(TsCore::userDataFile(name));
        d->entries.append(entry);
    }
    endResetModel();
}

bool TsUserModel::submit()
{
    qDebug("TsUserModel::submitting ...");
    d->errors.clear();

    for (const QString &name : qAsConst(d->removedNames)) {
        const QxResult result = TsCore::renameUser(name, QString());
        qDebug("TsUserModel::submit: remove '%s' ... %s", qPrintable(name), outcome(result));
    }
    // A row may have taken the name of a user removed just now, and the core refuses to rename
    // onto a name it still lists: that row's edits would be lost.
    if (!d->removedNames.isEmpty())
        TsCore::instance()->reloadUsers();
    d->removedNames.clear();

    // Renames go before everything else: an added row may take the name a renamed one gives up,
    // and its settings must not land in the folder still holding that user.
    const QSet<int> notRenamed = d->renameFolders();

    for (int row = 0; row < d->entries.size(); ++row) {
        Entry &entry = d->entries[row];
        if (entry.name.isEmpty())
            continue;
        // The file carries the name of the folder it lives in.
        entry.settings.setName(entry.name);
        if (entry.state == Modified) {
            if (notRenamed.contains(row))
                continue;
            const QxResult saved = entry.settings.save(TsCore::userDataFile(entry.name));
            qDebug("TsUserModel::submit: save '%s' ... %s", qPrintable(entry.name),
                   qPrintable(saved.isSuccess() ? QStringLiteral("ok") : saved.toString()));
            if (saved.isError())
                d->errors << reportSaveFailure(
                    tr("The settings of user '%1' could not be saved: %2")
                        .arg(entry.name, saved.toString(QStringLiteral(": "))));
            TsCore::notifyUserDataChanged(entry.name);
        } else if (entry.state == Added) {
            // Only a folder that a failed rename left under this name can be here; the new user
            // must not take over its settings file.
            if (TsCore::users().contains(entry.name)) {
                d->errors << tr("The user '%1' could not be added: a user of that name is still "
                                "there.")
                                 .arg(entry.name);
                qWarning("TsUserModel::submit: add '%s' refused: the folder exists",
                         qPrintable(entry.name));
                continue;
            }
            TsCore::makeUserFolders(entry.name);
            const QxResult saved = entry.settings.save(TsCore::userDataFile(entry.name));
            qDebug("TsUserModel::submit: add '%s' ... %s", qPrintable(entry.name),
                   qPrintable(saved.isSuccess() ? QStringLiteral("ok") : saved.toString()));
            if (saved.isError())
                d->errors << reportSaveFailure(
                    tr("The user '%1' could not be added: %2")
                        .arg(entry.name, saved.toString(QStringLiteral(": "))));
            TsCore::instance()->reloadUsers();
        }
    }

    for (const QString &error : qAsConst(d->errors))
        qWarning("TsUserModel::submit: %s", qPrintable(error));
    const bool ok = d->errors.isEmpty();
    const QStringList errors = d->errors;
    refresh();
    d->errors = errors;
    return ok;
}

QString TsUserModel::lastError() const
{
    return d->errors.join(QLatin1Char('\n'));
}

QString TsUserModel::reportSaveFailure(const QString &message)
{
    emit saveFailed(message);
    return message;
}

void TsUserModel::revert()
{
    refresh();
}
