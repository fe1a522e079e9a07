// A named set of preferences for one way of working: the channels shown with their colour,
// setpoint, loop control and alert switch, the recorder settings and the visible views. Stored one
// per ".tsp" file; cheap to copy.
#pragma once

#include "config/tsrecordercsvsettings.h"
#include "config/tsrecorderlogsettings.h"
#include "utils/qxresult.h"

#include <QColor>
#include <QList>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>

class QDomElement;
class QXmlStreamWriter;
class TsProfileData;

class TsProfile
{
public:
    struct Channel
    {
        QString id; // "<serial>:<channel>" of the device layer
        QString name;
        QColor color;
        double setpoint = 0.0; // NaN: unknown, neither stored nor applied
        bool control = false;
        bool alert = true;
        QString unit;

        bool operator==(const Channel &other) const;
        bool operator!=(const Channel &other) const { return !(*this == other); }
    };

    struct View
    {
        QString id; // "channels", "recorder", "dynamic", "emailalert" or "@all"
        bool visible = false;

        bool operator==(const View &other) const
        {
            return id == other.id && visible == other.visible;
        }
        bool operator!=(const View &other) const { return !(*this == other); }
    };

    TsProfile();
    TsProfile(const TsProfile &other);
    TsProfile &operator=(const TsProfile &other);
    ~TsProfile();

    QString name() const;
    void setName(const QString &name);
    QString description() const;
    void setDescription(const QString &description);
    // Loaded successfully or created as a new profile.
    bool isValid() const;
    void setValid(bool valid);
    // Created in the editor and not loaded from a file yet.
    bool isNew() const;
    void setNew(bool isNew);

    TsRecorderLogSettings logSettings() const;
    void setLogSettings(const TsRecorderLogSettings &settings);
    TsRecorderCSVSettings csvSettings() const;
    void setCsvSettings(const TsRecorderCSVSettings &settings);
    QString logFilePrefix() const;
    void setLogFilePrefix(const QString &prefix);

    QList<View> views() const;
    void setViews(const QList<View> &views);
    QList<Channel> channels() const;
    // An entry without a colour gets the first graph colour no other entry has (after all are
    // taken, they repeat): a line never defaults to black, which no legend key shows on the dark
    // window. The same holds for entries loaded without one.
    void setChannels(const QList<Channel> &channels);
    // The colours graph lines are given, distinct from each other and readable in both styles.
    static const QList<QColor> &graphColors();

    bool operator==(const TsProfile &other) const;
    bool operator!=(const TsProfile &other) const { return !(*this == other); }

    // Writes the file; a failure carries the file's error code and text, and an existing file
    // stays as it was.
    QxResult save(const QString &path) const;
    // Fills the profile from the file and makes it valid; on failure nothing of the file is taken.
    QxResult load(const QString &path);

    // The "TsProfile" element and its content.
    void writeTo(QXmlStreamWriter &writer) const;
    void readFrom(const QDomElement &root);

private:
    QSharedDataPointer<TsProfileData> d;
};

Q_DECLARE_METATYPE(TsProfile)
