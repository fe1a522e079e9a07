// Adds, renames, edits and deletes users. The edits stay in the users' table until Apply or OK
// write them all at once; the user selected when the dialog closes is the one it reports.
#pragma once

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class TsUsersDialog;
}

class QSortFilterProxyModel;
class TsUserModel;

class TsUsersDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TsUsersDialog(QWidget *parent = nullptr);
    ~TsUsersDialog() override;

    // Selects the user by name; an unknown name selects nothing.
    void setSelectedUser(const QString &name);
    // The selected user's name as written to disk; empty when none is selected.
    QString selectedUser() const;
    // Whether anything was edited since the last apply.
    bool isModified() const;

public slots:
    // Writes every edit to disk and selects the same user again. False when an edit had to be
    // refused first (nothing is written then).
    bool apply();
    void accept() override;
    // Asks before discarding edits.
    void reject() override;

protected:
    // Return ends the typing in a field instead of closing the dialog over the other users.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void addUser();
    void deleteUser();
    void chooseLogPath();
    void editCsvSettings();
    // Each takes its field into the table; false (after saying why) when the table refuses it.
    bool commitName();
    bool commitEMail();
    bool commitLogPath();
    void setDefaultLogPath(bool useDefault);
    void setStyle(int style);
    void setFlag(int column, bool on);
    bool setField(int column, const QVariant &value);
    // The selected row of the users' table, or -1.
    int currentRow() const;
    void showCurrentUser();
    void selectRow(int row);
    void previewStyle(int style);

    QScopedPointer<Ui::TsUsersDialog> ui;
    TsUserModel *m_model;
    QSortFilterProxyModel *m_proxy;
    bool m_modified = false;
    bool m_styleChanged = false;
    // A message box about a refused field takes the focus, which ends the editing once more.
    bool m_committing = false;
};
