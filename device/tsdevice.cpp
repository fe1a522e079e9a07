#include "tsdevice.h"

#include "tsdevicechannel.h"

#include <QDebug>

struct TsDevice::Private
{
    Info info;
    DeviceState state = Null;
    bool connectionLost = false;
    QxResult lastError;
    QMap<int, TsDeviceChannel *> channels;
};

TsDevice::TsDevice(const Info &info, QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->info = info;
    setObjectName(info.serialNumber);
    qDebug("TsDevice[%s] '%s' created ", qPrintable(info.serialNumber),
           qPrintable(info.description));
}

TsDevice::~TsDevice()
{
    qDebug("TsDevice[%s] destroyed", qPrintable(d->info.serialNumber));
}

const TsDevice::Info &TsDevice::info() const
{
    return d->info;
}

QString TsDevice::serialNumber() const
{
    return d->info.serialNumber;
}

QString TsDevice::description() const
{
    return d->info.description;
}

int TsDevice::vendorId() const
{
    return d->info.vendorId;
}

int TsDevice::productId() const
{
    return d->info.productId;
}

const DeviceSpec *TsDevice::spec() const
{
    return d->info.spec;
}

TsDevice::DeviceState TsDevice::state() const
{
    return d->state;
}

QxResult TsDevice::lastError() const
{
    return d->lastError;
}

void TsDevice::setError(const QxResult &result)
{
    d->lastError = result;
    if (result.isError())
        d->state = Error;
}

const QMap<int, TsDeviceChannel *> &TsDevice::channels() const
{
    return d->channels;
}

TsDeviceChannel *TsDevice::channel(int number) const
{
    return d->channels.value(number);
}

bool TsDevice::isConnectionLost() const
{
    return d->connectionLost;
}

void TsDevice::setConnectionLost(const QxResult &error)
{
    d->connectionLost = true;
    setError(error);
}

void TsDevice::clearConnectionLost()
{
    d->connectionLost = false;
}

void TsDevice::setState(DeviceState state)
{
    d->state = state;
}

void TsDevice::clearChannels()
{
    const QMap<int, TsDeviceChannel *> channels = d->channels;
    d->channels.clear();
    qDeleteAll(channels);
}

void TsDevice::addChannel(TsDeviceChannel *channel)
{
    // A channel number appears once; a replaced channel object would otherwise linger as a child.
    if (TsDeviceChannel *old = d->channels.value(channel->number()); old && old != channel)
        delete old;
    d->channels.insert(channel->number(), channel);
}
