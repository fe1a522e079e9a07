// Writes dynamic experiments: one named script at a time as a table of timed actions, edited on a
// working copy of the dialog's own script and saved to the current user's ".tsx" file.
#pragma once

#include "utils/qxresult.h"

#include <QDialog>
#include <QModelIndex>
#include <QPointer>
#include <QScopedPointer>

namespace Ui {
class TsExperimentScriptEditorDialog;
}

class TsExperimentScript;
class TsExperimentScriptModel;

class TsExperimentScriptEditorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TsExperimentScriptEditorDialog(QWidget *parent = nullptr);
    ~TsExperimentScriptEditorDialog() override;

    // Loads the named dynamic experiment of the current user; an empty name, or one whose file
    // does not load, leaves the editor empty and unnamed.
    void openDynamicExp(const QString &name);
    // Writes the edited script to the current user's file of its name; fails with
    // "DynamicExperiment path missing" when there is no such file name.
    QxResult save();
    // The name of the edited script; empty while none is chosen.
    QString scriptName() const;

public slots:
    // Closes only while the button box is enabled.
    void reject() override;
    // Hands the table to the script and saves it; a refused save is shown and keeps the dialog
    // open with the table as typed.
    void accept() override;
    void updateStates();
    void updateDynamicCombo(const QString &name);
    void refreshDynamicCombo();

private slots:
    void on_pushButtonNew_clicked();
    void on_comboBoxName_activated(int index);
    void on_pushButtonAdd_clicked();
    void on_tableViewScript_doubleClicked(const QModelIndex &index);
    void on_pushButtonRemove_clicked();
    void on_tableViewScript_clicked(const QModelIndex &index);
    void on_pushButtonClear_clicked();
    void on_pushButtonEdit_clicked();

private:
    // Runs the action dialog on a row; true when it was accepted.
    bool editRow(int row, bool isNew);
    // Rows in the order they run, with the given row's action selected again.
    void sortKeeping(int row);
    void showScript();

    QScopedPointer<Ui::TsExperimentScriptEditorDialog> ui;
    TsExperimentScriptModel *m_model;
    // Owned. A child of the current experiment when there is one, so that the table shows the
    // channels' names and units; nothing runs it.
    QPointer<TsExperimentScript> m_script;
};
