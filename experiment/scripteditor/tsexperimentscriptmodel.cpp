#include "experiment/scripteditor/tsexperimentscriptmodel.h"

#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentchannel.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactionchannelbase.h"
#include "experiment/tsexperimentscriptactiontype.h"

#include <QDebug>

#include <algorithm>

namespace {

const QString ChannelId =
    QString::fromLatin1(TsExperimentScriptActionChannelBase::ChannelIdParameter);
const QString ChannelValue =
    QString::fromLatin1(TsExperimentScriptActionChannelBase::ChannelValueParameter);

void sortActions(QList<TsExperimentScriptAction *> &actions, Qt::SortOrder order)
{
    std::stable_sort(actions.begin(), actions.end(),
                     [order](const TsExperimentScriptAction *a, const TsExperimentScriptAction *b) {
                         if (order == Qt::DescendingOrder)
                             std::swap(a, b);
                         if (a->time() != b->time())
                             return a->time() < b->time();
                         return a->comment() < b->comment();
                     });
}

} // namespace

TsExperimentScriptModel::TsExperimentScriptModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

TsExperimentScriptModel::~TsExperimentScriptModel()
{
    deleteRows();
}

void TsExperimentScriptModel::setScript(TsExperimentScript *script)
{
    beginResetModel();
    deleteRows();
    m_script = script;
    takeCopies();
    sortActions(m_rows, Qt::AscendingOrder);
    endResetModel();
}

TsExperimentScript *TsExperimentScriptModel::script() const
{
    return m_script.data();
}

const TsExperimentScriptAction *TsExperimentScriptModel::action(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : nullptr;
}

QModelIndex TsExperimentScriptModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column > CommentColumn)
        return QModelIndex();
    return createIndex(row, column);
}

int TsExperimentScriptModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_script ? 0 : m_rows.size();
}

int TsExperimentScriptModel::columnCount(const QModelIndex &) const
{
    return 4;
}

QVariant TsExperimentScriptModel::headerData(int section, Qt::Orientation orientation,
                                             int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case TimeColumn:
        return tr("Time");
    case ChannelColumn:
        return tr("Channel");
    case ParameterColumn:
        return tr("Parameter");
    case ValueColumn:
        return tr("Value");
    case CommentColumn:
        return tr("Comment");
    default:
        return QVariant();
    }
}

QVariant TsExperimentScriptModel::data(const QModelIndex &index, int role) const
{
    if (!isValidCell(index))
        return QVariant();
    const TsExperimentScriptAction *action = m_rows.at(index.row());

    if (role == ActiveRole)
        return action->isActive();
    if (role == Qt::CheckStateRole) {
        if (index.column() != TimeColumn)
            return QVariant();
        return action->isActive() ? Qt::Checked : Qt::Unchecked;
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    const bool display = role == Qt::DisplayRole;

    switch (index.column()) {
    case TimeColumn:
        if (display)
            return TsExperimentScript::durationText(action->time());
        return action->time();
    case ChannelColumn: {
        const QString id = action->parameter(ChannelId).toString();
        if (!display)
            return action->parameter(ChannelId);
        const TsExperimentChannel *channel = findChannel(id);
        return channel ? channel->name() : id;
    }
    case ParameterColumn:
        return display ? action->displayName() : action->type();
    case ValueColumn:
        return display ? valueText(action) : action->parameter(ChannelValue);
    case CommentColumn:
        return action->comment();
    default:
        return QVariant();
    }
}

Qt::ItemFlags TsExperimentScriptModel::flags(const QModelIndex &index) const
{
    if (!isValidCell(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == TimeColumn)
        flags |= Qt::ItemIsUserCheckable;
    if (index.column() == CommentColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TsExperimentScriptModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!isValidCell(index))
        return false;
    const int row = index.row();
    TsExperimentScriptAction *action = m_rows.at(row);
    QModelIndex first = index;
    QModelIndex last = index;

    if (role == Qt::CheckStateRole) {
        if (index.column() != TimeColumn)
            return false;
        action->setActive(value.toInt() == Qt::Checked);
    } else if (role == ActiveRole) {
        action->setActive(value.toBool());
    } else if (role == Qt::EditRole) {
        switch (index.column()) {
        case TimeColumn:
            action->setTime(value.toLongLong());
            break;
        case ChannelColumn:
            action->setParameter(ChannelId, value);
            break;
        case ParameterColumn: {
            TsExperimentScriptAction *replacement =
                TsExperimentScriptActionType::create(value.toString(), m_script.data());
            if (!replacement)
                return false;
            // The new kind starts with its own default parameters: a value of one kind means
            // nothing to another.
            replacement->setActive(action->isActive());
            replacement->setStopOnError(action->isStopOnError());
            replacement->setComment(action->comment());
            replacement->setTime(action->time());
            m_rows[row] = replacement;
            delete action;
            first = createIndex(row, TimeColumn);
            last = createIndex(row, CommentColumn);
            break;
        }
        case ValueColumn:
            action->setParameter(ChannelValue, value);
            break;
        case CommentColumn:
            // An empty text clears the comment: the operator took it out on purpose.
            action->setComment(value.toString());
            break;
        default:
            return false;
        }
    } else {
        return false;
    }
    emit dataChanged(first, last);
    return true;
}

bool TsExperimentScriptModel::insertRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || !m_script || row < 0 || row > m_rows.size() || count <= 0)
        return false;
    const QString key = TsExperimentScriptActionType::defaultType().key();
    QList<TsExperimentScriptAction *> created;
    for (int i = 0; i < count; ++i) {
        TsExperimentScriptAction *action = TsExperimentScriptActionType::create(key, m_script);
        if (!action) {
            qDeleteAll(created);
            qWarning("TsExperimentScriptModel::insertRows: no action of kind '%s'",
                     qPrintable(key));
            return false;
        }
        created.append(action);
    }
    beginInsertRows(QModelIndex(), row, row + count - 1);
    for (int i = 0; i < count; ++i)
        m_rows.insert(row + i, created.at(i));
    endInsertRows();
    return true;
}

bool TsExperimentScriptModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || row >= m_rows.size() || count < 1 ||
        count > m_rows.size() - row)
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    for (int i = 0; i < count; ++i)
        delete m_rows.takeAt(row);
    endRemoveRows();
    return true;
}

void TsExperimentScriptModel::sort(int column, Qt::SortOrder order)
{
    if (column != TimeColumn)
        return;
    beginResetModel();
    sortActions(m_rows, order);
    endResetModel();
}

bool TsExperimentScriptModel::submit()
{
    qDebug("TsExperimentScriptModel::submit");
    return true;
}

bool TsExperimentScriptModel::submitAll()
{
    qDebug("TsExperimentScriptModel::submitAll");
    if (!m_script)
        return false;
    return m_script->setActions(m_rows);
}

void TsExperimentScriptModel::revert()
{
    qDebug("TsExperimentScriptModel::revert");
    beginResetModel();
    deleteRows();
    takeCopies();
    endResetModel();
}

bool TsExperimentScriptModel::isValidCell(const QModelIndex &index) const
{
    return m_script && index.isValid() && index.model() == this && index.row() >= 0 &&
           index.row() < m_rows.size() && index.column() >= 0 && index.column() <= CommentColumn;
}

TsExperimentChannel *TsExperimentScriptModel::findChannel(const QString &id) const
{
    const TsExperiment *experiment = m_script ? m_script->experiment() : nullptr;
    return experiment ? experiment->channel(id) : nullptr;
}

QVariant TsExperimentScriptModel::valueText(const TsExperimentScriptAction *action) const
{
    const QVariant value = action->parameter(ChannelValue);
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? tr("On") : tr("Off");
    // An unset value would otherwise read as 0.0 in the channel's unit.
    if (!value.isValid())
        return QVariant();
    const TsExperimentChannel *channel = findChannel(action->parameter(ChannelId).toString());
    if (!channel)
        return QVariant();
    return QStringLiteral("%1%2").arg(value.toDouble(), 0, 'f', 1).arg(channel->unit());
}

void TsExperimentScriptModel::takeCopies()
{
    if (m_script)
        m_rows = m_script->actions();
}

void TsExperimentScriptModel::deleteRows()
{
    qDeleteAll(m_rows);
    m_rows.clear();
}
