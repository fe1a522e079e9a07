#include "tsvarondevice.h"

#include "devicespec.h"
#include "tsvaronchannel.h"

#include "zdx7000/zdx7000.h"

struct TsVaronDevice::Private
{
    int handle = -1;
    int deviceStatus = 0;
    int transportFailures = 0; // in a row
};

TsVaronDevice::TsVaronDevice(const Info &info, QObject *parent)
    : TsDevice(info, parent)
    , d(new Private)
{}

TsVaronDevice::~TsVaronDevice()
{
    close();
}

int TsVaronDevice::handle() const
{
    return d->handle;
}

int TsVaronDevice::deviceStatus() const
{
    return d->deviceStatus;
}

QString TsVaronDevice::resultText(int code)
{
    switch (code) {
    case ZDX_SUCCESS:
        return tr("Operation succeeded");
    case ZDX_FAILED:
        return tr("Function call failed");
    case ZDX_ILLEGAL_HANDLE:
        return tr("Illegal device handle");
    case ZDX_ILLEGAL_PARAMETER:
        return tr("Illegal Parameter");
    case ZDX_NULL_POINTER:
        return tr("Pointer must not be null");
    case ZDX_TOO_MANY_DEVICES:
        return tr("Too many devices");
    case ZDX_SEND_FAILED:
        return tr("Sending data failed");
    case ZDX_RECEIVE_FAILED:
        return tr("Receiving data failed");
    case ZDX_NOT_SUPPORTED:
        return tr("Operation not supported");
    case ZDX_OPERATION_FAILURE:
        return tr("Operation failure detected");
    case ZDX_BUFFER_TOO_SMALL:
        return tr("Buffer size too small");
    default:
        return tr("Unknown error %1").arg(code);
    }
}

QxResult TsVaronDevice::toResult(int code)
{
    if (code == ZDX_SUCCESS)
        return QxResult();
    return QxResult(code, resultText(code));
}

bool TsVaronDevice::isTransportFailure(int code)
{
    return code == ZDX_SEND_FAILED || code == ZDX_RECEIVE_FAILED;
}

int TsVaronDevice::noteTransaction(int code)
{
    if (!isTransportFailure(code)) {
        d->transportFailures = 0;
        return code;
    }
    if (++d->transportFailures < LostAfterFailures || isConnectionLost())
        return code;
    qWarning("TsVaronDevice: %s: no answer in %d transactions in a row (%s); the link is closed "
             "and the controller looked for again",
             qPrintable(serialNumber()), d->transportFailures, qPrintable(resultText(code)));
    // The handle may belong to a port that is gone; a replugged controller is only reached
    // through a new one, and the old one would keep the port busy.
    close();
    setConnectionLost(QxResult(code, tr("The controller does not answer")));
    for (TsDeviceChannel *channel : channels()) {
        if (auto *varon = qobject_cast<TsVaronChannel *>(channel))
            varon->setNoAnswer();
    }
    return code;
}

QxResult TsVaronDevice::open()
{
    d->deviceStatus = 0;
    if (d->handle != -1)
        return QxResult(tr("already open"));
    d->transportFailures = 0;
    clearConnectionLost();

    // Handles are only given for records of a current enumeration, so find the controller anew.
    QxResult result = toResult(ZdxEnumReset());
    if (result.isSuccess()) {
        const QByteArray serial = serialNumber().toLatin1();
        ZdxDeviceInfo record{};
        while (ZdxEnumNext(&record) == ZDX_SUCCESS) {
            if (!record.serialNumber || serial != record.serialNumber)
                continue;
            int32_t handle = -1;
            result = toResult(ZdxOpen(&record, &handle));
            d->handle = result.isSuccess() ? handle : -1;
            break;
        }
    }
    ZdxEnumFree();
    // Every failure goes through setError, so that the manager has a text to report.
    if (result.isSuccess()) {
        // Without a matching record the handle is still -1 and this fails with an illegal handle.
        result = updateStatus();
    }
    if (result.isError()) {
        close();
        setError(result);
        return result;
    }
    makeChannels();
    setError(QxResult());
    return QxResult();
}

void TsVaronDevice::makeChannels()
{
    clearChannels();
    const DeviceSpec *deviceSpec = spec();
    if (!deviceSpec)
        return;
    for (int number = 1; number <= MaxChannels; ++number) {
        const ChannelSpec *channelSpec = deviceSpec->channel(number);
        if (!channelSpec)
            continue;
        TsDeviceChannel::Info info;
        info.number = number;
        info.spec = channelSpec;
        if (state() == Ready) {
            char name[32] = {};
            if (ZdxGetComponentName(d->handle, number, name, 31) == ZDX_SUCCESS) {
                name[sizeof name - 1] = '\0';
                info.name = QString::fromLatin1(name);
                info.ready = true;
            }
            int16_t minimum = 0;
            int16_t maximum = 0;
            if (ZdxGetSetpointValueRange(d->handle, number, &minimum, &maximum) == ZDX_SUCCESS) {
                // The range comes in tenths whatever the channel's scale.
                info.minValue = minimum / 10.0;
                info.maxValue = maximum / 10.0;
            } else {
                info.ready = false;
            }
        }
        auto *channel = new TsVaronChannel(info, this);
        channel->initStability();
        channel->setDeviceStatus(d->deviceStatus);
        channel->updateStatus();
        addChannel(channel);
    }
}

QxResult TsVaronDevice::close()
{
    if (d->handle != -1) {
        ZdxClose(d->handle);
        d->handle = -1;
    }
    return QxResult();
}

QxResult TsVaronDevice::updateStatus()
{
    uint8_t status = 0xFF;
    const QxResult result = toResult(noteTransaction(ZdxGetDeviceStatus(d->handle, &status)));
    if (result.isError())
        return result;
    d->deviceStatus = status;
    if (status == 0)
        setState(Ready);
    else if (status == 0x80)
        setState(Bootloader);
    else
        setState(BootloaderError);
    return QxResult();
}
