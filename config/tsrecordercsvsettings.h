// How the recorder writes its CSV file. Carried by profiles, by the user settings and by the
// configuration's recorder levels; cheap to copy.
#pragma once

#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>

class QDomElement;
class QXmlStreamWriter;
class TsRecorderCSVSettingsData;

class TsRecorderCSVSettings
{
public:
    TsRecorderCSVSettings();
    TsRecorderCSVSettings(const TsRecorderCSVSettings &other);
    TsRecorderCSVSettings &operator=(const TsRecorderCSVSettings &other);
    ~TsRecorderCSVSettings();

    bool isEnabled() const;
    void setEnabled(bool enabled);
    // A character code: 9 tab, 59 ';', 44 ','.
    quint8 columnSeparator() const;
    void setColumnSeparator(quint8 code);
    bool printHeaderLine() const;
    void setPrintHeaderLine(bool print);
    // A date/time pattern, or "relative-time" for time since the start of recording.
    QString dateTimeFormat() const;
    void setDateTimeFormat(const QString &format);

    bool operator==(const TsRecorderCSVSettings &other) const;
    bool operator!=(const TsRecorderCSVSettings &other) const { return !(*this == other); }

    // Writes the "CSVSettings" element, only when CSV output is enabled.
    void writeTo(QXmlStreamWriter &writer) const;
    // Reads the "CSVSettings" child of parent: its presence means enabled; a missing child gives
    // the defaults with CSV output off.
    void readFrom(const QDomElement &parent);

private:
    QSharedDataPointer<TsRecorderCSVSettingsData> d;
};

Q_DECLARE_METATYPE(TsRecorderCSVSettings)
