// The editable table of all users. Rows are added, edited and removed in memory; submit() writes
// them to disk in one step, renaming and deleting user folders through the core and saving each
// user's settings file.
#pragma once

#include <QAbstractTableModel>
#include <QScopedPointer>

class QxResult;

class TsUserModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn = 0,
        EMailColumn = 1,
        LogPathColumn = 2,
        CsvSettingsColumn = 3,
        StyleColumn = 4,
        ApplyOnStartColumn = 5,
        ApplyOnProfileChangeColumn = 6,
        ColumnCount = 7
    };
    enum Role
    {
        // true when the row's log path is that user's default log folder
        IsDefaultLogPathRole = Qt::UserRole + 1
    };
    enum State
    {
        Unchanged = 0,
        Modified = 1,
        Added = 2,
        Removed = 3
    };

    explicit TsUserModel(QObject *parent = nullptr);
    ~TsUserModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Edit role only; a refused value returns false and changes nothing.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // One row at a time.
    bool insertRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // The edit state of a row (Unchanged, Modified or Added); -1 for a row that does not exist.
    int rowState(int row) const;
    // What the last submit() could not do, one line per user concerned; empty when it all went
    // through.
    QString lastError() const;

public slots:
    // Reloads the users from disk, discarding edits.
    void refresh();
    // Deletes removed users, renames and saves modified ones, creates added ones, then refreshes.
    // Failures skip only the user concerned, never touch another user's folder, and make it
    // return false with lastError() naming them; a settings file that could not be written (a full
    // disk) is also announced by saveFailed().
    bool submit() override;
    void revert() override;

signals:
    // The message names the user and why the file was not written; the old file is unchanged.
    void saveFailed(const QString &message);

private:
    // Logs and announces a settings file that could not be written; returns the message.
    QString reportSaveFailure(const QString &message);

    class Private;
    QScopedPointer<Private> d;
};
