// The actions of a dynamic experiment as a table for the script editor. The model edits copies:
// the script changes only when submitAll() hands them back, and revert() starts over from the
// script's own list.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

class TsExperimentChannel;
class TsExperimentScript;
class TsExperimentScriptAction;

class TsExperimentScriptModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        TimeColumn = 0,
        ChannelColumn = 1,
        ParameterColumn = 2,
        ValueColumn = 3,
        // Not counted by columnCount(), so no view shows it, but it has indexes: the action
        // dialog reads and writes the comment through it.
        CommentColumn = 4
    };
    enum Role
    {
        ActiveRole = Qt::UserRole // the active flag as bool, any column
    };

    explicit TsExperimentScriptModel(QObject *parent = nullptr);
    ~TsExperimentScriptModel() override;

    // Takes fresh copies of the script's actions, sorted by time; null empties the model and
    // makes it read-only. The script is not owned.
    void setScript(TsExperimentScript *script);
    TsExperimentScript *script() const;

    // The working copy of a row, or null; the model keeps it.
    const TsExperimentScriptAction *action(int row) const;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    // New rows hold actions of the registry's default kind.
    bool insertRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    // Only the time column sorts; equal times go by comment.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

public slots:
    bool submit() override;
    // Hands the working copies to the script; false without a script or while it runs.
    bool submitAll();
    // Drops the edits: fresh copies in the script's list order.
    void revert() override;

private:
    bool isValidCell(const QModelIndex &index) const;
    TsExperimentChannel *findChannel(const QString &id) const;
    QVariant valueText(const TsExperimentScriptAction *action) const;
    void takeCopies();
    void deleteRows();

    QPointer<TsExperimentScript> m_script;
    QList<TsExperimentScriptAction *> m_rows;
};
