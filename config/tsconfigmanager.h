// Keeps the persistent and per-user configuration in step with the core's current user, profile
// and dynamic experiment: "Settings.xml" restored after start and saved at exit, the user's
// settings and style, the profile handed to the experiment and (when asked) to the controllers,
// the dynamic experiment handed to the script, and the recorder settings in three levels.
#pragma once

#include "config/tsprofile.h"
#include "config/tsrecordercsvsettings.h"
#include "config/tsrecorderlogsettings.h"
#include "user/tsusersettings.h"

#include <QMap>
#include <QObject>
#include <QString>

class TsCore;
class TsDeviceManager;
class TsExperimentManager;

class TsConfigManager : public QObject
{
    Q_OBJECT

public:
    enum Level
    {
        UserLevel = 0,     // the user's CSV settings (CSV only)
        ProfileLevel = 1,  // the current profile's recorder settings
        TemporaryLevel = 2 // the recorder view's temporary settings
    };

    static constexpr int LoadDelay = 100; // ms after construction

    // With the core as parent: connects the core's user, profile and dynamic-experiment signals
    // and restores the last state LoadDelay ms later. The experiment and device managers are where
    // profiles and dynamic experiments go; either may be null.
    TsConfigManager(TsExperimentManager *experiments, TsDeviceManager *devices, TsCore *core);
    ~TsConfigManager() override;

    TsUserSettings userSettings() const;
    TsProfile profile() const;
    QString lastProfileName() const;

    // The entry at the level, else at the nearest lower level, else the default.
    TsRecorderCSVSettings csvSettings(int level) const;
    TsRecorderLogSettings logSettings(int level) const;
    QString logFilePrefix(int level) const;
    void setCsvSettings(int level, const TsRecorderCSVSettings &value);
    void setLogSettings(int level, const TsRecorderLogSettings &value);
    void setLogFilePrefix(int level, const QString &value);
    // Remove the entry of that level (the recorder view's "off" and empty prefix).
    void removeCsvSettings(int level);
    void removeLogSettings(int level);
    void removeLogFilePrefix(int level);
    // Whether an entry exists at exactly that level.
    bool hasCsvSettings(int level) const;
    bool hasLogSettings(int level) const;
    bool hasLogFilePrefix(int level) const;

    // Writes "Settings.xml" with the core's current user, profile and dynamic experiment; a
    // failure is also announced by fileError().
    QxResult saveSettings();

signals:
    // A data file this manager reads or writes could not be used: "Settings.xml" not saved (a
    // full disk), a damaged settings or user file moved aside, a profile that cannot be read. The
    // message is for the operator; a window shows it, the headless program prints it.
    void fileError(const QString &message);

public slots:
    void loadSettings();
    void onCurrentUserChanged(const QString &user);
    void reloadUserData(const QString &user);
    void onCurrentProfileChanged(const QString &profile);
    void onDynamicExpChanged(const QString &exp);

private:
    void reportFileError(const QString &message);
    // A file that exists but does not read as what it should be is moved aside, said once.
    void keepDamaged(const QString &path, const QString &why);

    TsExperimentManager *m_experiments;
    TsDeviceManager *m_devices;
    TsUserSettings m_userSettings;
    TsProfile m_profile;
    QMap<int, TsRecorderCSVSettings> m_csvLevels;
    QMap<int, TsRecorderLogSettings> m_logLevels;
    QMap<int, QString> m_prefixLevels;
    QString m_lastProfileName;
};
