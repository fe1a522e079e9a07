// The object that ties the application together: it owns the managers, knows where the data lives
// on disk, and holds the current user, profile and dynamic experiment that everything else
// follows. Everything but the layout operations acts on the one instance, created on first use.
#pragma once

#include "utils/qxresult.h"

#include <QHash>
#include <QObject>
#include <QScopedPointer>
#include <QStringList>

class QWidget;
class TsAlarmJournal;
class TsConfigManager;
class TsDeviceManager;
class TsMailerManager;
class TsExperimentManager;
class TsWebInterfaceManager;

class TsCore : public QObject
{
    Q_OBJECT

public:
    // Folders of the data layout under dataRoot().
    enum FolderKind
    {
        Root = 0,              // dataRoot
        Users = 1,             // dataRoot/Users
        User = 2,              // dataRoot/Users/<user>
        Profiles = 3,          // .../<user>/Profiles
        LogData = 4,           // .../<user>/Log Data
        DynamicExperiments = 5 // .../<user>/Dynamic Experiments
    };
    Q_ENUM(FolderKind)

    // The core, created on first call; it is destroyed when the application object goes away.
    static TsCore *instance();

    // The managers, owned by the core.
    static TsDeviceManager *deviceManager();
    static TsExperimentManager *experimentManager();
    static TsConfigManager *configManager();
    static TsMailerManager *mailerManager();
    static TsWebInterfaceManager *webInterfaceManager();
    // The current user's alarm journal ("alarms.csv" in the user's folder); journals nothing
    // while no user is current. Anything that wants a line in it may append one.
    static TsAlarmJournal *alarmJournal();

    static QString currentUser();
    static QStringList users();
    static QString currentProfile();
    static QStringList profiles();
    static QString currentDynamicExp();
    static QStringList dynamicExps();

    // An unknown user is an error and leaves no user current; switching user empties the profile
    // and the dynamic experiment first.
    static QxResult setCurrentUser(const QString &name);
    // Setting the same profile again announces it again.
    static QxResult setCurrentProfile(const QString &name);
    static QxResult setCurrentDynamicExp(const QString &name);

    // Announces a change of that user's settings file; unknown and empty names are ignored.
    static void notifyUserDataChanged(const QString &name);

    // Whether the configuration applies a profile's setpoint and control values when the profile
    // becomes current.
    static void setApplyValues(bool apply);
    static bool applyValues();

    // The main window's views by name; the core does not own them. Only the window fills and reads
    // this registry, so it lives with the window's code (tscoreviews.cpp): the core itself is
    // built without the widgets.
    static void setViews(const QStringList &names, const QHash<QString, QWidget *> &views);
    static QStringList viewNames();
    static QWidget *view(const QString &name);

    // An empty new name deletes. Failures carry no text; callers word their own message. Nothing
    // outside the Users folder is ever renamed or removed. The user list is reloaded only when the
    // current user was renamed; renaming a profile (not deleting one) reloads the profile list so
    // that the current profile follows its new name.
    static QxResult renameUser(const QString &oldName, const QString &newName);
    static QxResult renameProfile(const QString &oldName, const QString &newName);

    // The data layout. dataRoot is settled once per process from the settings key "dataPath".
    static QString dataRoot();
    static QString folderPath(FolderKind kind, const QString &user = QString());
    static QString settingsFile();
    // Creates the user's folders, or the Users folder for an empty name; true if all succeeded.
    static bool makeUserFolders(const QString &user);
    static QString userDataFile(const QString &user);
    static QString profileFile(const QString &user, const QString &name);
    static QString dynamicExpFile(const QString &user, const QString &name);
    // Complete base names of the readable files in the current user's folder of that kind,
    // sorted by locale.
    static QStringList listBaseNames(FolderKind kind, const QString &pattern);

signals:
    void currentUserChanged(const QString &name);
    void availableUsersChanged();
    void userDataChanged(const QString &name);
    void currentProfileChanged(const QString &name);
    void availableProfilesChanged();
    void currentDynamicExpChanged(const QString &name);
    void availableDynamicExpsChanged();

public slots:
    void reloadProfiles();
    void reloadUsers();
    void reloadDynamicExps();

private:
    explicit TsCore(QObject *parent = nullptr);
    ~TsCore() override;
    static void destroyInstance();

    QxResult doSetCurrentUser(const QString &name);
    QxResult doSetCurrentProfile(const QString &name);
    QxResult doSetCurrentDynamicExp(const QString &name);
    QxResult doRenameUser(const QString &oldName, const QString &newName);
    QxResult doRenameProfile(const QString &oldName, const QString &newName);

    class Private;
    QScopedPointer<Private> d;
    friend class Private;
};
