#include "tsspecparser.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>

#include <cmath>
#include <limits>

// The resource object lives in this static library; a reference from the code that reads it keeps
// the linker from dropping it.
static void initSpecResource()
{
    Q_INIT_RESOURCE(devicespec);
}

namespace {

const QString DeviceSpecsTag = QStringLiteral("DeviceSpecs");

QStringList readCaps(const QDomElement &element)
{
    QStringList caps;
    const QStringList parts = element.attribute(QStringLiteral("caps"))
                                  .toLower()
                                  .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString word = part.trimmed();
        if (!word.isEmpty())
            caps << word;
    }
    return caps;
}

// A finite number, or fallback when the attribute is missing or not a number.
double readNumber(const QDomElement &element, const QString &name, double fallback)
{
    bool ok = false;
    const double value = element.attribute(name).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : fallback;
}

// Seconds with decimals, stored as whole milliseconds.
int readMilliseconds(const QDomElement &element, const QString &name)
{
    const double ms = readNumber(element, name, 0.0) * 1000.0;
    const double limit = std::numeric_limits<int>::max();
    return int(std::round(qBound(-limit, ms, limit)));
}

// A missing element gives delta 0 and times 0, which leaves the band disabled.
StatusBandSpec readBand(const QDomElement &element)
{
    StatusBandSpec band;
    if (element.isNull())
        return band;
    QString delta = element.attribute(QStringLiteral("delta")).simplified();
    if (delta.endsWith(QLatin1Char('%'))) {
        band.relative = true;
        delta.chop(1);
    }
    bool ok = false;
    const double value = delta.trimmed().toDouble(&ok);
    if (ok && std::isfinite(value))
        band.delta = band.relative ? value / 100.0 : value;
    band.timeIn = readMilliseconds(element, QStringLiteral("timeIn"));
    band.timeOut = readMilliseconds(element, QStringLiteral("timeOut"));
    return band;
}

} // namespace

TsSpecParser::TsSpecParser()
{
    initSpecResource();
}

QString TsSpecParser::builtInPath()
{
    return QStringLiteral(":/spec/devicespec.xml");
}

QxResult TsSpecParser::load(const QString &path)
{
    m_specs = DeviceSpecSet();
    m_warnings.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QxResult(file.errorString());
    return parse(file.readAll());
}

QxResult TsSpecParser::parse(const QByteArray &data)
{
    m_specs = DeviceSpecSet();
    m_warnings.clear();

    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(data, &message, &line, &column))
        return QxResult(tr("'%1' (line=%2 column=%3)").arg(message).arg(line).arg(column));
    const QDomElement root = document.documentElement();
    if (root.tagName() != DeviceSpecsTag)
        return QxResult(tr("No 'DeviceSpecs' element"));

    readStatusCodes(root, QStringLiteral("ChannelStatusCodes"), QStringLiteral("ChannelStatus"),
                    m_specs.channelStatusCodes);
    readStatusCodes(root, QStringLiteral("DeviceStatusCodes"), QStringLiteral("DeviceStatus"),
                    m_specs.deviceStatusCodes);
    for (QDomElement e = root.firstChildElement(QStringLiteral("GraphAxes")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("GraphAxes")))
        readGraphAxes(e);
    for (QDomElement e = root.firstChildElement(QStringLiteral("DeviceSpec")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("DeviceSpec")))
        readDeviceSpec(e);
    return QxResult();
}

DeviceSpecSet TsSpecParser::takeSpecs()
{
    DeviceSpecSet taken = std::move(m_specs);
    m_specs = DeviceSpecSet();
    return taken;
}

void TsSpecParser::readStatusCodes(const QDomElement &parent, const QString &listTag,
                                   const QString &itemTag, StatusCodeMap &codes)
{
    for (QDomElement list = parent.firstChildElement(listTag); !list.isNull();
         list = list.nextSiblingElement(listTag)) {
        for (QDomElement e = list.firstChildElement(itemTag); !e.isNull();
             e = e.nextSiblingElement(itemTag)) {
            // Base 0: "0x0A", "012" and "10" are all read the way C reads them.
            bool ok = false;
            const QString codeText = e.attribute(QStringLiteral("code")).trimmed();
            const int code = codeText.toInt(&ok, 0);
            if (!ok) {
                warn(e, tr("%1 code '%2' is not a number; the entry is skipped")
                            .arg(itemTag, codeText));
                continue;
            }
            codes.insert(code, StatusCodeSpec{e.attribute(QStringLiteral("text")),
                                              e.attribute(QStringLiteral("description"))});
        }
    }
}

void TsSpecParser::readDeviceSpec(const QDomElement &element)
{
    auto spec = std::make_unique<DeviceSpec>();
    spec->name = element.attribute(QStringLiteral("name"));
    spec->id = element.attribute(QStringLiteral("id"));
    spec->caps = readCaps(element);
    spec->parseId();
    spec->deviceStatusCodes = m_specs.deviceStatusCodes;
    spec->channelStatusCodes = m_specs.channelStatusCodes;
    readStatusCodes(element, QStringLiteral("DeviceStatusCodes"), QStringLiteral("DeviceStatus"),
                    spec->deviceStatusCodes);
    readStatusCodes(element, QStringLiteral("ChannelStatusCodes"), QStringLiteral("ChannelStatus"),
                    spec->channelStatusCodes);
    for (QDomElement channels = element.firstChildElement(QStringLiteral("Channels"));
         !channels.isNull(); channels = channels.nextSiblingElement(QStringLiteral("Channels"))) {
        for (QDomElement e = channels.firstChildElement(QStringLiteral("Channel")); !e.isNull();
             e = e.nextSiblingElement(QStringLiteral("Channel")))
            readChannel(e, *spec);
    }
    m_specs.addDevice(std::move(spec));
}

void TsSpecParser::readChannel(const QDomElement &element, DeviceSpec &device)
{
    ChannelSpec channel;
    bool ok = false;
    const QString numberText = element.attribute(QStringLiteral("number")).trimmed();
    channel.number = numberText.toInt(&ok, 10);
    if (!ok) {
        // Entered as 0 it would shadow nothing and never be made; say so instead of hiding it.
        warn(element, tr("Channel number '%1' of '%2' is not a decimal number; the channel is "
                         "skipped")
                          .arg(numberText, device.name));
        return;
    }
    channel.scale = readNumber(element, QStringLiteral("scale"), 1.0);
    if (std::fabs(channel.scale) <= 1e-12)
        channel.scale = 1.0;
    channel.unit = element.attribute(QStringLiteral("unit"));
    channel.caps = readCaps(element);
    channel.defaultSetpoint = readNumber(element, QStringLiteral("defaultSetpoint"), 10.0);
    channel.yellow = readBand(element.firstChildElement(QStringLiteral("StatusYellow")));
    channel.green = readBand(element.firstChildElement(QStringLiteral("StatusGreen")));
    channel.channelStatusCodes = device.channelStatusCodes;
    readStatusCodes(element, QStringLiteral("ChannelStatusCodes"), QStringLiteral("ChannelStatus"),
                    channel.channelStatusCodes);
    device.channels.insert(channel.number, channel);
}

void TsSpecParser::readGraphAxes(const QDomElement &element)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (QDomElement e = element.firstChildElement(QStringLiteral("GraphAxis")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("GraphAxis"))) {
        GraphAxisSpec axis;
        axis.name = e.attribute(QStringLiteral("name"));
        axis.unit = e.attribute(QStringLiteral("unit"));
        axis.min = readNumber(e, QStringLiteral("min"), 0.0);
        axis.minLimit = readNumber(e, QStringLiteral("minLimit"), nan);
        axis.max = readNumber(e, QStringLiteral("max"), 0.0);
        axis.maxLimit = readNumber(e, QStringLiteral("maxLimit"), nan);
        axis.color = QColor(e.attribute(QStringLiteral("color")).trimmed());
        bool ok = false;
        axis.mainGrids = e.attribute(QStringLiteral("mainGrids")).toInt(&ok);
        if (!ok)
            axis.mainGrids = 4;
        axis.subGrids = e.attribute(QStringLiteral("subGrids")).toInt(&ok);
        if (!ok)
            axis.subGrids = 4;
        m_specs.graphAxes << axis;
    }
}

void TsSpecParser::warn(const QDomElement &element, const QString &text)
{
    const QString line = tr("line %1: %2").arg(element.lineNumber()).arg(text);
    qWarning("TsSpecParser::parse: %s", qPrintable(line));
    m_warnings << line;
}
