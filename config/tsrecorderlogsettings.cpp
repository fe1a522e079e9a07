#include "config/tsrecorderlogsettings.h"

#include <QDomElement>
#include <QSharedData>
#include <QXmlStreamWriter>

class TsRecorderLogSettingsData : public QSharedData
{
public:
    int startMode = TsRecorderLogSettings::StartManually;
    int stopMode = TsRecorderLogSettings::StopManually;
    qint64 stopAfter = 0;
    int captureMode = TsRecorderLogSettings::CaptureInterval;
    int interval = 1000;
    int datapoints = 0;
};

TsRecorderLogSettings::TsRecorderLogSettings()
    : d(new TsRecorderLogSettingsData)
{}

TsRecorderLogSettings::TsRecorderLogSettings(const TsRecorderLogSettings &other) = default;
TsRecorderLogSettings &
TsRecorderLogSettings::operator=(const TsRecorderLogSettings &other) = default;
TsRecorderLogSettings::~TsRecorderLogSettings() = default;

int TsRecorderLogSettings::startMode() const
{
    return d->startMode;
}

void TsRecorderLogSettings::setStartMode(int mode)
{
    d->startMode = mode;
}

int TsRecorderLogSettings::stopMode() const
{
    return d->stopMode;
}

void TsRecorderLogSettings::setStopMode(int mode)
{
    d->stopMode = mode;
}

qint64 TsRecorderLogSettings::stopAfter() const
{
    return d->stopAfter;
}

void TsRecorderLogSettings::setStopAfter(qint64 msecs)
{
    d->stopAfter = msecs;
}

int TsRecorderLogSettings::captureMode() const
{
    return d->captureMode;
}

void TsRecorderLogSettings::setCaptureMode(int mode)
{
    d->captureMode = mode;
}

int TsRecorderLogSettings::interval() const
{
    return d->interval;
}

void TsRecorderLogSettings::setInterval(int msecs)
{
    d->interval = msecs;
}

int TsRecorderLogSettings::datapoints() const
{
    return d->datapoints;
}

void TsRecorderLogSettings::setDatapoints(int count)
{
    d->datapoints = count;
}

bool TsRecorderLogSettings::operator==(const TsRecorderLogSettings &other) const
{
    return d == other.d ||
           (d->startMode == other.d->startMode && d->stopMode == other.d->stopMode &&
            d->stopAfter == other.d->stopAfter && d->captureMode == other.d->captureMode &&
            d->interval == other.d->interval && d->datapoints == other.d->datapoints);
}

int TsRecorderLogSettings::intervalFromSeconds(int seconds)
{
    return qBound(1, seconds, 1000000) * 1000;
}

int TsRecorderLogSettings::intervalToSeconds(int msecs)
{
    return msecs / 1000;
}

qint64 TsRecorderLogSettings::stopAfterFor(int stopMode, int days, int hours, int minutes,
                                           int seconds)
{
    if (stopMode != StopAfter)
        return 0;
    return (qint64(days) * 86400 + qint64(hours) * 3600 + qint64(minutes) * 60 + seconds) * 1000;
}

void TsRecorderLogSettings::writeTo(QXmlStreamWriter &writer) const
{
    writer.writeEmptyElement(QStringLiteral("LogSettings"));
    writer.writeAttribute(QStringLiteral("startMode"), QString::number(d->startMode));
    writer.writeAttribute(QStringLiteral("stopMode"), QString::number(d->stopMode));
    if (d->stopMode == StopAfter)
        writer.writeAttribute(QStringLiteral("stopAfter"), QString::number(d->stopAfter));
    writer.writeAttribute(QStringLiteral("captureMode"), QString::number(d->captureMode));
    if (d->captureMode == CaptureInterval)
        writer.writeAttribute(QStringLiteral("interval"), QString::number(d->interval));
    else if (d->captureMode == CaptureDatapoints)
        writer.writeAttribute(QStringLiteral("datapoints"), QString::number(d->datapoints));
}

void TsRecorderLogSettings::readFrom(const QDomElement &parent)
{
    *this = TsRecorderLogSettings();
    const QDomElement e = parent.firstChildElement(QStringLiteral("LogSettings"));
    if (e.isNull())
        return;
    d->startMode = e.attribute(QStringLiteral("startMode")).toInt();
    d->stopMode = e.attribute(QStringLiteral("stopMode")).toInt();
    d->stopAfter =
        d->stopMode == StopAfter ? e.attribute(QStringLiteral("stopAfter")).toLongLong() : 0;
    d->captureMode = e.attribute(QStringLiteral("captureMode")).toInt();
    d->interval =
        d->captureMode == CaptureInterval ? e.attribute(QStringLiteral("interval")).toInt() : 0;
    d->datapoints =
        d->captureMode == CaptureDatapoints ? e.attribute(QStringLiteral("datapoints")).toInt() : 0;
}
