// When the recorder starts and stops and how often it captures a row. Carried by profiles and by
// the configuration's recorder levels; cheap to copy.
#pragma once

#include <QMetaType>
#include <QSharedDataPointer>

class QDomElement;
class QXmlStreamWriter;
class TsRecorderLogSettingsData;

class TsRecorderLogSettings
{
public:
    enum StartMode
    {
        StartManually = 0,
        StartWithDynamicExp = 1
    };
    enum StopMode
    {
        StopManually = 0,
        StopWithDynamicExp = 1,
        StopAfter = 2
    };
    enum CaptureMode
    {
        CaptureInterval = 0,
        CaptureDatapoints = 1
    };

    TsRecorderLogSettings();
    TsRecorderLogSettings(const TsRecorderLogSettings &other);
    TsRecorderLogSettings &operator=(const TsRecorderLogSettings &other);
    ~TsRecorderLogSettings();

    int startMode() const;
    void setStartMode(int mode);
    int stopMode() const;
    void setStopMode(int mode);
    // Milliseconds; meaningful for StopAfter only.
    qint64 stopAfter() const;
    void setStopAfter(qint64 msecs);
    int captureMode() const;
    void setCaptureMode(int mode);
    // Milliseconds between rows; meaningful for CaptureInterval only.
    int interval() const;
    void setInterval(int msecs);
    // Meaningful for CaptureDatapoints only.
    int datapoints() const;
    void setDatapoints(int count);

    bool operator==(const TsRecorderLogSettings &other) const;
    bool operator!=(const TsRecorderLogSettings &other) const { return !(*this == other); }

    // The editor's units: the interval in whole seconds (at least one, at most 1000000), the stop
    // duration in days, hours, minutes and seconds, stored only for StopAfter.
    static int intervalFromSeconds(int seconds);
    static int intervalToSeconds(int msecs);
    static qint64 stopAfterFor(int stopMode, int days, int hours, int minutes, int seconds);

    // Writes the "LogSettings" element; values that the modes make meaningless are left out.
    void writeTo(QXmlStreamWriter &writer) const;
    // Reads the "LogSettings" child of parent; a missing child gives the defaults.
    void readFrom(const QDomElement &parent);

private:
    QSharedDataPointer<TsRecorderLogSettingsData> d;
};

Q_DECLARE_METATYPE(TsRecorderLogSettings)
