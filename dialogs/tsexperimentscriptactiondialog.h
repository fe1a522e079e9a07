// Edits one action of a dynamic experiment: its kind, channel, new value, time after the start,
// comment and active flag. It reads the row from the script editor's table model and writes it
// back only when accepted.
#pragma once

#include <QDialog>
#include <QPersistentModelIndex>
#include <QScopedPointer>
#include <QVariant>

namespace Ui {
class TsExperimentScriptActionDialog;
}

class TsExperiment;
class TsExperimentChannel;
class TsExperimentScriptModel;

class TsExperimentScriptActionDialog : public QDialog
{
    Q_OBJECT

public:
    // Edits the row of the index; the model must outlive the dialog. The channels offered are
    // those of the experiment that owns the model's script.
    TsExperimentScriptActionDialog(TsExperimentScriptModel *model, const QModelIndex &index,
                                   QWidget *parent = nullptr);
    ~TsExperimentScriptActionDialog() override;

    // A row just added: it takes part in the run unless the operator says otherwise, and the
    // comment is typed first.
    void setNewAction();

private slots:
    void on_buttonBox_accepted();
    void on_lineEditComment_editingFinished();
    void on_comboBoxChannels_activated(int index);
    void on_comboBoxAction_activated(int index);

private:
    TsExperiment *experiment() const;
    TsExperimentChannel *chosenChannel() const;
    void fillChannels();
    // Replaces the value editor by one for the chosen kind and channel, starting from the value
    // stored or typed so far.
    void buildValueEditor();
    // The value as the current editor holds it; invalid without an editor.
    QVariant editorValue() const;
    void updateOkButton();

    QScopedPointer<Ui::TsExperimentScriptActionDialog> ui;
    TsExperimentScriptModel *m_model;
    QPersistentModelIndex m_index;
    QString m_typeKey;
    QString m_channelId;
    // The row's value, then what the operator chose; invalid until either exists.
    QVariant m_value;
    QWidget *m_valueEditor = nullptr;
};
