// How the recorder writes its CSV file. Carried by profiles, by the user settings and by the
// configuration's recorder levels; cheap to copy.
#pragma once

#include <QList>
#include <QLocale>
#include <QMetaType>
#include <QPair>
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

    // What an editor offers, as display text and stored value, in the order shown. A comma cannot
    // separate columns where it is the decimal point of the numbers in them.
    static QList<QPair<QString, quint8>> offeredColumnSeparators(const QLocale &locale = QLocale());
    static QList<QPair<QString, QString>> offeredDateTimeFormats();
    // The entry to select for a stored value: none (-1) for a separator that is not offered, the
    // first for a format that is not.
    static int columnSeparatorIndex(quint8 code, const QLocale &locale = QLocale());
    static int dateTimeFormatIndex(const QString &format);

    // Writes the "CSVSettings" element, only when CSV output is enabled.
    void writeTo(QXmlStreamWriter &writer) const;
    // Reads the "CSVSettings" child of parent: its presence means enabled; a missing child gives
    // the defaults with CSV output off.
    void readFrom(const QDomElement &parent);

private:
    QSharedDataPointer<TsRecorderCSVSettingsData> d;
};

Q_DECLARE_METATYPE(TsRecorderCSVSettings)
