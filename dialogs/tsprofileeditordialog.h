// Creates, edits, saves and deletes the current user's profiles: which channels are shown with
// which colour, setpoint, loop control and alert switch, which views are visible and how the
// recorder writes. Nothing it saves is sent to the controllers; choosing the profile afterwards is
// the caller's business.
#pragma once

#include "config/tsprofile.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class TsProfileEditorDialog;
}

class QListWidgetItem;
class QTreeWidgetItem;

class TsProfileEditorDialog : public QDialog
{
    Q_OBJECT

public:
    // Shows the core's current profile, or the first one.
    explicit TsProfileEditorDialog(QWidget *parent = nullptr);
    ~TsProfileEditorDialog() override;

    // Shows that profile, asking first when the shown one has unsaved changes. False when the
    // name is unknown or the switch was refused.
    bool setSelectedProfile(const QString &name);
    // The saved profile shown now; empty for a new one not saved yet, or none.
    QString selectedProfile() const;
    // The profile as the form shows it now.
    TsProfile editedProfile() const;
    bool isModified() const;

public slots:
    // Saves the shown profile under its title. False, after saying why, when the title is no
    // usable file name, the operator kept another profile of that name, or writing failed.
    bool save();
    // Saves unsaved changes first; stays open when that fails.
    void accept() override;
    // Asks what to do with unsaved changes.
    void reject() override;

private:
    void newProfile();
    void deleteProfile();
    void profileChosen(QListWidgetItem *current, QListWidgetItem *previous);
    void editRecorderSettings();
    void chooseColor();
    void moveChannel(int delta);
    void channelClicked(QTreeWidgetItem *item, int column);
    void channelChanged(QTreeWidgetItem *item, int column);
    void devicesChanged();

    // Yes saves, No discards; false when the operator kept the changes or saving failed.
    bool settleChanges(bool offerCancel);
    bool load(const QString &name);
    void showProfile(const TsProfile &profile, const QString &savedName);
    void showChannels(const QList<TsProfile::Channel> &channels);
    void addChannelRow(const TsProfile::Channel &entry, bool inProfile);
    // The connected controllers' channels whose identifiers are not in listed.
    void addConnectedChannelsBut(const QStringList &listed);
    void markConnections();
    void showViews(const QList<TsProfile::View> &views);
    void showRecorderSummary();
    void reloadList(const QString &select);
    void updateButtons();

    QScopedPointer<Ui::TsProfileEditorDialog> ui;
    TsProfile m_profile; // what the form started from, with the recorder settings edited
    TsProfile m_shown;   // the form as it was right after showing, to tell changes
    QString m_savedName; // the file the shown profile came from; empty when new
    QList<TsProfile::View> m_otherViews; // entries naming no view of this program, kept
};
