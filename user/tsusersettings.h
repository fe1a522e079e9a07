// One user's settings, kept in "Userdata.xml" in the user's folder: display name, e-mail address,
// the recorder's log folder and CSV settings, the interface style and the apply flags.
#pragma once

#include "config/tsrecordercsvsettings.h"
#include "utils/qxresult.h"

#include <QString>

class TsUserSettings
{
public:
    enum Flag
    {
        ApplyValuesOnStart = 0x1,        // the last profile's setpoints at application start
        ApplyValuesOnProfileChange = 0x2 // a profile's setpoints when it is chosen
    };

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString email() const { return m_email; }
    void setEmail(const QString &email) { m_email = email; }
    QString logPath() const { return m_logPath; }
    void setLogPath(const QString &path) { m_logPath = path; }
    // 0 dark, anything else light.
    int style() const { return m_style; }
    void setStyle(int style) { m_style = style; }
    int flags() const { return m_flags; }
    void setFlags(int flags) { m_flags = flags; }
    TsRecorderCSVSettings csvSettings() const { return m_csvSettings; }
    void setCsvSettings(const TsRecorderCSVSettings &settings) { m_csvSettings = settings; }

    bool operator==(const TsUserSettings &other) const;
    bool operator!=(const TsUserSettings &other) const { return !(*this == other); }

    // A failure carries the file's error code and text; an existing file stays as it was.
    QxResult save(const QString &path) const;
    // Fields missing from an existing file read as empty or 0, not as the defaults; on failure
    // the object keeps what it had.
    QxResult load(const QString &path);

private:
    QString m_name;
    QString m_email;
    QString m_logPath;
    int m_style = 0;
    int m_flags = ApplyValuesOnStart | ApplyValuesOnProfileChange;
    TsRecorderCSVSettings m_csvSettings;
};
