#include "tsdevicechannel.h"

#include "devicespec.h"
#include "tsdevice.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

struct TsDeviceChannel::Private
{
    Info info;
    TsDevice *device = nullptr;
    Qt::GlobalColor stableStatus = Qt::white;
    TsStabilityMonitor monitor;
    bool loopControl = false;
    double actualValue = std::numeric_limits<double>::quiet_NaN();
    double setpointValue = std::numeric_limits<double>::quiet_NaN();
    int channelStatus = 0;
    QString channelStatusText;
    QString channelStatusDescription;
    int deviceStatus = 0;
    QString deviceStatusText;
    QString deviceStatusDescription;
};

TsDeviceChannel::TsDeviceChannel(const Info &info, TsDevice *device)
    : QObject(device)
    , d(new Private)
{
    d->info = info;
    d->device = device;
    qDebug("> TsDeviceChannel[%s] created", qPrintable(info.name));
}

TsDeviceChannel::~TsDeviceChannel()
{
    qDebug("> TsDeviceChannel[%s] destroyed", qPrintable(d->info.name));
}

const TsDeviceChannel::Info &TsDeviceChannel::info() const
{
    return d->info;
}

int TsDeviceChannel::number() const
{
    return d->info.number;
}

QString TsDeviceChannel::name() const
{
    return d->info.name;
}

double TsDeviceChannel::minValue() const
{
    return d->info.minValue;
}

double TsDeviceChannel::maxValue() const
{
    return d->info.maxValue;
}

bool TsDeviceChannel::isReady() const
{
    return d->info.ready;
}

const ChannelSpec *TsDeviceChannel::spec() const
{
    return d->info.spec;
}

TsDevice *TsDeviceChannel::device() const
{
    return d->device;
}

QString TsDeviceChannel::id() const
{
    return makeId(d->device ? d->device->serialNumber() : QString(), d->info.number);
}

QString TsDeviceChannel::makeId(const QString &serialNumber, int number)
{
    return QStringLiteral("%1:%2").arg(serialNumber).arg(number);
}

double TsDeviceChannel::scale() const
{
    return d->info.spec ? d->info.spec->scale : 1.0;
}

QString TsDeviceChannel::unit() const
{
    return d->info.spec ? d->info.spec->unit : QString();
}

Qt::GlobalColor TsDeviceChannel::stableStatus() const
{
    return d->stableStatus;
}

bool TsDeviceChannel::loopControl() const
{
    return d->loopControl;
}

double TsDeviceChannel::actualValue() const
{
    return d->actualValue;
}

double TsDeviceChannel::setpointValue() const
{
    return d->setpointValue;
}

int TsDeviceChannel::channelStatus() const
{
    return d->channelStatus;
}

QString TsDeviceChannel::channelStatusText() const
{
    return d->channelStatusText;
}

QString TsDeviceChannel::channelStatusDescription() const
{
    return d->channelStatusDescription;
}

int TsDeviceChannel::deviceStatus() const
{
    return d->deviceStatus;
}

QString TsDeviceChannel::deviceStatusText() const
{
    return d->deviceStatusText;
}

QString TsDeviceChannel::deviceStatusDescription() const
{
    return d->deviceStatusDescription;
}

QString TsDeviceChannel::statusText() const
{
    if (d->info.ready)
        return tr("ready");
    switch (d->device ? d->device->state() : TsDevice::Null) {
    case TsDevice::Null:
        return tr("null");
    case TsDevice::Bootloader:
        return tr("bootloader");
    case TsDevice::BootloaderError:
        return tr("bootloader error");
    case TsDevice::Error:
        return tr("error");
    default:
        return tr("undefined");
    }
}

TsStabilityMonitor &TsDeviceChannel::stabilityMonitor()
{
    return d->monitor;
}

void TsDeviceChannel::initStability()
{
    const ChannelSpec *spec = d->info.spec;
    if (!spec)
        return;
    d->monitor.setParameters(TsStabilityMonitor::Yellow, 0.0, 0.0, spec->yellow.timeIn,
                             spec->yellow.timeOut);
    d->monitor.setParameters(TsStabilityMonitor::Green, 0.0, 0.0, spec->green.timeIn,
                             spec->green.timeOut);
    // Reading the setpoint publishes it, which sets the limits when it changed; set them here as
    // well, since a setpoint equal to the stored one publishes nothing.
    updateStableLimits(value(SetpointValue).toDouble());
}

void TsDeviceChannel::setActualValue(double value)
{
    if (value == d->actualValue && !std::isnan(value))
        return;
    d->actualValue = value;
    emit actualValueChanged(value);
}

void TsDeviceChannel::setSetpointValue(double value)
{
    if (std::isnan(value) && std::isnan(d->setpointValue))
        return;
    if (value == d->setpointValue)
        return;
    d->setpointValue = value;
    emit setpointValueChanged(value);
    updateStableLimits(value);
}

void TsDeviceChannel::setLoopControl(bool on)
{
    if (on == d->loopControl)
        return;
    d->loopControl = on;
    if (on)
        d->monitor.restart();
    emit loopControlChanged(on);
}

void TsDeviceChannel::updateStableStatus(double actual)
{
    Qt::GlobalColor status = Qt::white;
    if (d->loopControl) {
        switch (d->monitor.evaluate(actual)) {
        case TsStabilityMonitor::Green:
            status = Qt::green;
            break;
        case TsStabilityMonitor::Yellow:
            status = Qt::yellow;
            break;
        default:
            status = Qt::red;
            break;
        }
    }
    if (status == d->stableStatus)
        return;
    d->stableStatus = status;
    emit stableStatusChanged(status);
}

void TsDeviceChannel::updateStableLimits(double setpoint)
{
    const ChannelSpec *spec = d->info.spec;
    if (!spec)
        return;
    // A setpoint that could not be read says nothing about where the value belongs. Emptied bands
    // would turn a channel at its setpoint red at the next sample, and that raises an alarm and
    // disarms the alerts; the bands stay where the last known setpoint put them.
    if (std::isnan(setpoint))
        return;
    struct
    {
        TsStabilityMonitor::Level level;
        const StatusBandSpec &band;
        const char *label;
    } const bands[] = {{TsStabilityMonitor::Yellow, spec->yellow, "yel"},
                       {TsStabilityMonitor::Green, spec->green, "grn"}};
    for (const auto &b : bands) {
        double low, high;
        if (b.band.relative) {
            // Ordered so that a band around a negative setpoint is not empty.
            low = std::min(setpoint * (1.0 - b.band.delta), setpoint * (1.0 + b.band.delta));
            high = std::max(setpoint * (1.0 - b.band.delta), setpoint * (1.0 + b.band.delta));
        } else {
            low = setpoint - b.band.delta;
            high = setpoint + b.band.delta;
        }
        d->monitor.setLimits(b.level, low, high);
        qDebug("> TsDeviceChannel[%s] updateStableLimits: %s %.2f-%.2f", qPrintable(d->info.name),
               b.label, low, high);
    }
}

void TsDeviceChannel::setChannelStatus(int code)
{
    StatusCodeSpec entry;
    if (d->info.spec)
        entry = DeviceSpecSet::statusCode(d->info.spec->channelStatusCodes, code);
    setChannelStatus(code, entry.text, entry.description);
}

void TsDeviceChannel::setChannelStatus(int code, const QString &text, const QString &description)
{
    d->channelStatus = code;
    d->channelStatusText = text;
    d->channelStatusDescription = description;
}

void TsDeviceChannel::setDeviceStatus(int code)
{
    d->deviceStatus = code;
    StatusCodeSpec entry;
    if (d->device && d->device->spec())
        entry = DeviceSpecSet::statusCode(d->device->spec()->deviceStatusCodes, code);
    d->deviceStatusText = entry.text;
    d->deviceStatusDescription = entry.description;
}

void TsDeviceChannel::setNotReady()
{
    d->info.ready = false;
}
