#include "config/tsrecordercsvsettings.h"

#include <QCoreApplication>
#include <QDomElement>
#include <QSharedData>
#include <QXmlStreamWriter>

class TsRecorderCSVSettingsData : public QSharedData
{
public:
    bool enabled = false;
    quint8 columnSeparator = 9;
    bool printHeaderLine = true;
    QString dateTimeFormat;
};

TsRecorderCSVSettings::TsRecorderCSVSettings()
    : d(new TsRecorderCSVSettingsData)
{}

TsRecorderCSVSettings::TsRecorderCSVSettings(const TsRecorderCSVSettings &other) = default;
TsRecorderCSVSettings &
TsRecorderCSVSettings::operator=(const TsRecorderCSVSettings &other) = default;
TsRecorderCSVSettings::~TsRecorderCSVSettings() = default;

bool TsRecorderCSVSettings::isEnabled() const
{
    return d->enabled;
}

void TsRecorderCSVSettings::setEnabled(bool enabled)
{
    d->enabled = enabled;
}

quint8 TsRecorderCSVSettings::columnSeparator() const
{
    return d->columnSeparator;
}

void TsRecorderCSVSettings::setColumnSeparator(quint8 code)
{
    d->columnSeparator = code;
}

bool TsRecorderCSVSettings::printHeaderLine() const
{
    return d->printHeaderLine;
}

void TsRecorderCSVSettings::setPrintHeaderLine(bool print)
{
    d->printHeaderLine = print;
}

QString TsRecorderCSVSettings::dateTimeFormat() const
{
    return d->dateTimeFormat;
}

void TsRecorderCSVSettings::setDateTimeFormat(const QString &format)
{
    d->dateTimeFormat = format;
}

bool TsRecorderCSVSettings::operator==(const TsRecorderCSVSettings &other) const
{
    return d == other.d ||
           (d->enabled == other.d->enabled && d->columnSeparator == other.d->columnSeparator &&
            d->printHeaderLine == other.d->printHeaderLine &&
            d->dateTimeFormat == other.d->dateTimeFormat);
}

QList<QPair<QString, quint8>> TsRecorderCSVSettings::offeredColumnSeparators(const QLocale &locale)
{
    QList<QPair<QString, quint8>> choices = {
        {QCoreApplication::translate("TsRecorderCSVSettings", "Tab (\\t)"), quint8(9)},
        {QCoreApplication::translate("TsRecorderCSVSettings", "Semicolon (;)"), quint8(59)}};
    if (locale.decimalPoint() != QLatin1Char(','))
        choices.append({QCoreApplication::translate("TsRecorderCSVSettings", "Comma (,)"), 44});
    return choices;
}

QList<QPair<QString, QString>> TsRecorderCSVSettings::offeredDateTimeFormats()
{
    return {{QStringLiteral("YYYY-MM-DD hh:mm:ss"), QStringLiteral("yyyy-MM-dd hh:mm:ss")},
            {QStringLiteral("YYYY/MM/DD hh:mm:ss"), QStringLiteral("yyyy/MM/dd hh:mm:ss")},
            {QStringLiteral("YYYY.MM.DD hh:mm:ss"), QStringLiteral("yyyy.MM.dd hh:mm:ss")},
            {QStringLiteral("DD.MM.YYYY hh:mm:ss"), QStringLiteral("dd.MM.yyyy hh:mm:ss")},
            {QCoreApplication::translate("TsRecorderCSVSettings", "Relative time"),
             QStringLiteral("relative-time")}};
}

namespace {

// The position of the choice that stores value, or -1.
template <typename T>
int indexOfStored(const QList<QPair<QString, T>> &choices, const T &value)
{
    for (int i = 0; i < choices.size(); ++i) {
        if (choices.at(i).second == value)
            return i;
    }
    return -1;
}

} // namespace

int TsRecorderCSVSettings::columnSeparatorIndex(quint8 code, const QLocale &locale)
{
    return indexOfStored(offeredColumnSeparators(locale), code);
}

int TsRecorderCSVSettings::dateTimeFormatIndex(const QString &format)
{
    return qMax(0, indexOfStored(offeredDateTimeFormats(), format));
}

void TsRecorderCSVSettings::writeTo(QXmlStreamWriter &writer) const
{
    if (!d->enabled)
        return;
    writer.writeEmptyElement(QStringLiteral("CSVSettings"));
    writer.writeAttribute(QStringLiteral("columnSeparator"), QString::number(d->columnSeparator));
    writer.writeAttribute(QStringLiteral("printHeaderLine"),
                          d->printHeaderLine ? QStringLiteral("1") : QStringLiteral("0"));
    writer.writeAttribute(QStringLiteral("dateTimeFormat"), d->dateTimeFormat);
}

void TsRecorderCSVSettings::readFrom(const QDomElement &parent)
{
    *this = TsRecorderCSVSettings();
    const QDomElement e = parent.firstChildElement(QStringLiteral("CSVSettings"));
    if (e.isNull())
        return;
    d->enabled = true;
    d->columnSeparator = quint8(e.attribute(QStringLiteral("columnSeparator")).toInt());
    d->printHeaderLine = e.attribute(QStringLiteral("printHeaderLine")).toInt() != 0;
    d->dateTimeFormat = e.attribute(QStringLiteral("dateTimeFormat"));
}
