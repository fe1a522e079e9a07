#include "config/tsprofile.h"

#include "utils/xmlfile.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QSharedData>
#include <QXmlStreamWriter>

#include <cmath>
#include <limits>

class TsProfileData : public QSharedData
{
public:
    QString name;
    QString description;
    bool valid = false;
    bool isNew = false;
    TsRecorderLogSettings logSettings;
    TsRecorderCSVSettings csvSettings;
    QList<TsProfile::View> views;
    QList<TsProfile::Channel> channels;
    QString logFilePrefix;
};

namespace {

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

bool TsProfile::Channel::operator==(const Channel &other) const
{
    return id == other.id && name == other.name && color == other.color &&
           (setpoint == other.setpoint || (std::isnan(setpoint) && std::isnan(other.setpoint))) &&
           control == other.control && alert == other.alert && unit == other.unit;
}

TsProfile::TsProfile()
    : d(new TsProfileData)
{}

TsProfile::TsProfile(const TsProfile &other) = default;
TsProfile &TsProfile::operator=(const TsProfile &other) = default;
TsProfile::~TsProfile() = default;

QString TsProfile::name() const
{
    return d->name;
}

void TsProfile::setName(const QString &name)
{
    d->name = name;
}

QString TsProfile::description() const
{
    return d->description;
}

void TsProfile::setDescription(const QString &description)
{
    d->description = description;
}

bool TsProfile::isValid() const
{
    return d->valid;
}

void TsProfile::setValid(bool valid)
{
    d->valid = valid;
}

bool TsProfile::isNew() const
{
    return d->isNew;
}

void TsProfile::setNew(bool isNew)
{
    d->isNew = isNew;
}

TsRecorderLogSettings TsProfile::logSettings() const
{
    return d->logSettings;
}

void TsProfile::setLogSettings(const TsRecorderLogSettings &settings)
{
    d->logSettings = settings;
}

TsRecorderCSVSettings TsProfile::csvSettings() const
{
    return d->csvSettings;
}

void TsProfile::setCsvSettings(const TsRecorderCSVSettings &settings)
{
    d->csvSettings = settings;
}

QString TsProfile::logFilePrefix() const
{
    return d->logFilePrefix;
}

void TsProfile::setLogFilePrefix(const QString &prefix)
{
    d->logFilePrefix = prefix;
}

QList<TsProfile::View> TsProfile::views() const
{
    return d->views;
}

void TsProfile::setViews(const QList<View> &views)
{
    d->views = views;
}

QList<TsProfile::Channel> TsProfile::channels() const
{
    return d->channels;
}

const QList<QColor> &TsProfile::graphColors()
{
    static const QList<QColor> colors = {QColor(0xe6, 0x4b, 0x3c), QColor(0x2e, 0xcc, 0x71),
                                         QColor(0x34, 0x98, 0xdb), QColor(0xf3, 0x9c, 0x12),
                                         QColor(0x9b, 0x59, 0xb6), QColor(0x1a, 0xbc, 0x9c),
                                         QColor(0xe8, 0x43, 0x93), QColor(0xb8, 0xc2, 0x2b)};
    return colors;
}

namespace {

void giveColors(QList<TsProfile::Channel> &channels)
{
    const QList<QColor> &palette = TsProfile::graphColors();
    QList<QColor> used;
    for (const TsProfile::Channel &channel : qAsConst(channels))
        used << channel.color;
    int next = 0;
    for (TsProfile::Channel &channel : channels) {
        if (channel.color.isValid())
            continue;
        QColor color = palette.at(next++ % palette.size());
        for (const QColor &candidate : palette) {
            if (!used.contains(candidate)) {
                color = candidate;
                break;
            }
        }
        channel.color = color;
        used << color;
    }
}

} // namespace

void TsProfile::setChannels(const QList<Channel> &channels)
{
    d->channels = channels;
    giveColors(d->channels);
}

bool TsProfile::operator==(const TsProfile &other) const
{
    return d == other.d ||
           (d->name == other.d->name && d->description == other.d->description &&
            d->valid == other.d->valid && d->isNew == other.d->isNew &&
            d->logSettings == other.d->logSettings && d->csvSettings == other.d->csvSettings &&
            d->views == other.d->views && d->channels == other.d->channels &&
            d->logFilePrefix == other.d->logFilePrefix);
}

QxResult TsProfile::save(const QString &path) const
{
    qDebug("TsProfile::save: %s", qPrintable(path));
    return Utils::XmlFile::save(path, [this](QXmlStreamWriter &writer) {
        writeTo(writer);
        return true;
    });
}

QxResult TsProfile::load(const QString &path)
{
    qDebug("TsProfile::load: %s", qPrintable(path));
    QDomDocument document;
    Utils::XmlFile::ParseError parseError;
    const QxResult read = Utils::XmlFile::read(path, &document, &parseError);
    if (read.isError()) {
        if (parseError.message.isEmpty())
            return read;
        return QxResult(
            QCoreApplication::translate("TsProfile", "Bad profile '%1'. %2 (line %3, column %4)")
                .arg(QFileInfo(path).fileName(), parseError.message)
                .arg(parseError.line)
                .arg(parseError.column));
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("TsProfile"))
        return QxResult(
            QCoreApplication::translate("TsProfile", "Bad profile. Root element is invalid."));
    readFrom(root);
    return QxResult::success();
}

void TsProfile::writeTo(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("TsProfile"));
    writer.writeAttribute(QStringLiteral("name"), d->name);

    if (d->description.isEmpty())
        writer.writeEmptyElement(QStringLiteral("Description"));
    else
        writer.writeTextElement(QStringLiteral("Description"), d->description);

    writer.writeStartElement(QStringLiteral("Channels"));
    for (const Channel &channel : d->channels) {
        writer.writeEmptyElement(QStringLiteral("Channel"));
        writer.writeAttribute(QStringLiteral("id"), channel.id);
        writer.writeAttribute(QStringLiteral("name"), channel.name);
        writer.writeAttribute(QStringLiteral("color"), channel.color.name(QColor::HexRgb));
        // Shortest text that reads back to the same double: six significant digits would
        // silently round a setpoint such as 37.1234567. An unknown setpoint is not written at
        // all; "nan" would be applied to the controller at every start and refused.
        if (std::isfinite(channel.setpoint))
            writer.writeAttribute(
                QStringLiteral("setpoint"),
                QString::number(channel.setpoint, 'g', QLocale::FloatingPointShortest));
        writer.writeAttribute(QStringLiteral("control"), flag(channel.control));
        writer.writeAttribute(QStringLiteral("alert"), flag(channel.alert));
        writer.writeAttribute(QStringLiteral("unit"), channel.unit);
    }
    writer.writeEndElement();

    writer.writeStartElement(QStringLiteral("Recorder"));
    writer.writeAttribute(QStringLiteral("logFilePrefix"), d->logFilePrefix);
    d->logSettings.writeTo(writer);
    d->csvSettings.writeTo(writer);
    writer.writeEndElement();

    writer.writeStartElement(QStringLiteral("Views"));
    for (const View &view : d->views) {
        writer.writeEmptyElement(QStringLiteral("View"));
        writer.writeAttribute(QStringLiteral("id"), view.id);
        writer.writeAttribute(QStringLiteral("visible"), flag(view.visible));
    }
    writer.writeEndElement();

    writer.writeEndElement();
}

void TsProfile::readFrom(const QDomElement &root)
{
    d->name = root.attribute(QStringLiteral("name"));
    d->description = root.firstChildElement(QStringLiteral("Description")).text();

    d->channels.clear();
    QSet<QString> seen;
    const QDomElement channels = root.firstChildElement(QStringLiteral("Channels"));
    for (QDomElement e = channels.firstChildElement(QStringLiteral("Channel")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("Channel"))) {
        Channel channel;
        channel.id = e.attribute(QStringLiteral("id")).trimmed();
        if (channel.id.isEmpty() || seen.contains(channel.id))
            continue;
        seen.insert(channel.id);
        channel.name = e.attribute(QStringLiteral("name")).trimmed();
        channel.color = QColor(e.attribute(QStringLiteral("color")));
        // No setpoint stored: unknown, and nothing to apply. A malformed one reads as 0.
        channel.setpoint = e.hasAttribute(QStringLiteral("setpoint"))
                               ? e.attribute(QStringLiteral("setpoint")).toDouble()
                               : std::numeric_limits<double>::quiet_NaN();
        channel.control = e.attribute(QStringLiteral("control")).toInt() != 0;
        channel.unit = e.attribute(QStringLiteral("unit")).trimmed();
        channel.alert = e.attribute(QStringLiteral("alert"), QStringLiteral("1")).toInt() != 0;
        d->channels.append(channel);
    }
    giveColors(d->channels);

    const QDomElement recorder = root.firstChildElement(QStringLiteral("Recorder"));
    d->logSettings.readFrom(recorder);
    d->csvSettings.readFrom(recorder);
    d->logFilePrefix = recorder.attribute(QStringLiteral("logFilePrefix"));

    d->views.clear();
    const QDomElement views = root.firstChildElement(QStringLiteral("Views"));
    for (QDomElement e = views.firstChildElement(QStringLiteral("View")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("View"))) {
        View view;
        view.id = e.attribute(QStringLiteral("id")).trimmed();
        if (view.id.isEmpty())
            continue;
        view.visible = e.attribute(QStringLiteral("visible")).toInt() != 0;
        d->views.append(view);
    }

    d->valid = true;
    d->isNew = false;
}
