#include "tsvaronchannel.h"

#include "tsvarondevice.h"

#include "zdx7000/zdx7000.h"

#include <QDateTime>
#include <QDebug>

#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

TsVaronChannel::TsVaronChannel(const Info &info, TsVaronDevice *device)
    : TsDeviceChannel(info, device)
    , m_device(device)
{}

double TsVaronChannel::fromRaw(int16_t raw, double scale)
{
    return raw >= NoValueRaw ? NaN : raw * scale;
}

QxResult TsVaronChannel::toRaw(const QVariant &value, double scale, int16_t &raw)
{
    bool ok = false;
    const double display = value.toDouble(&ok);
    if (!ok || !std::isfinite(display))
        return QxResult(tr("The setpoint '%1' is not a number").arg(value.toString()));
    const double exact = display / scale;
    // A decimal half such as 37.05 / 0.1 lands a hair below .5 in binary; the small allowance lets
    // it round upwards as written.
    const double rounded = std::floor(exact + 0.5 + 1e-9);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<int16_t>::min() ||
        rounded > std::numeric_limits<int16_t>::max())
        return QxResult(tr("The setpoint %1 is out of range: its raw value %2 does not fit in a "
                           "signed 16-bit number")
                            .arg(display)
                            .arg(rounded, 0, 'f', 0));
    raw = int16_t(rounded);
    return QxResult();
}

void TsVaronChannel::logReadFailure(const char *label, const QxResult &result) const
{
    qDebug("%s TsDeviceChannel[%s/%s] %s %s",
           qPrintable(
               QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh.mm.ss.zzz"))),
           qPrintable(name()), qPrintable(id()), label,
           qPrintable(result.toString(QStringLiteral(" "))));
}

QVariant TsVaronChannel::value(int role)
{
    switch (role) {
    case ActualValue: {
        if (!isReachable()) {
            updateStableStatus(NaN);
            setActualValue(NaN);
            return NaN;
        }
        int16_t raw = 0;
        const QxResult result = TsVaronDevice::toResult(
            m_device->noteTransaction(ZdxGetActualValue(m_device->handle(), number(), &raw)));
        if (result.isError()) {
            updateStableStatus(NaN);
            setActualValue(NaN);
            logReadFailure("actualValue  :", result);
            return NaN;
        }
        const double v = fromRaw(raw, scale());
        setActualValue(v);
        updateStableStatus(v);
        return v;
    }
    case SetpointValue: {
        if (!isReachable()) {
            setSetpointValue(NaN);
            return NaN;
        }
        int16_t raw = 0;
        const QxResult result = TsVaronDevice::toResult(
            m_device->noteTransaction(ZdxGetSetpointValue(m_device->handle(), number(), &raw)));
        if (result.isError()) {
            setSetpointValue(NaN);
            logReadFailure("setpointValue:", result);
            return NaN;
        }
        const double v = fromRaw(raw, scale());
        setSetpointValue(v);
        return v;
    }
    case LoopControl: {
        if (!isReady())
            return false;
        // A loop that could not be read is no loop switched off: no value, which reads as false
        // but is recorded as missing.
        if (m_device->isConnectionLost())
            return QVariant();
        uint8_t control = 0;
        const QxResult result = TsVaronDevice::toResult(
            m_device->noteTransaction(ZdxGetLoopControl(m_device->handle(), number(), &control)));
        if (result.isError()) {
            logReadFailure("loopControl  :", result);
            return QVariant();
        }
        setLoopControl(control != 0);
        return control != 0;
    }
    default:
        return QVariant();
    }
}

QxResult TsVaronChannel::setValue(int role, const QVariant &value)
{
    if (!isReady())
        return QxResult(tr("Channel not ready"));
    if (m_device->isConnectionLost())
        return m_device->lastError();
    switch (role) {
    case SetpointValue: {
        int16_t raw = 0;
        const QxResult conversion = toRaw(value, scale(), raw);
        if (conversion.isError()) {
            qWarning("TsVaronChannel::setValue: %s: %s", qPrintable(id()),
                     qPrintable(conversion.message()));
            return conversion;
        }
        // The library leaves in raw what the controller now keeps.
        const QxResult result = TsVaronDevice::toResult(
            m_device->noteTransaction(ZdxSetSetpointValue(m_device->handle(), number(), &raw)));
        if (result.isSuccess()) {
            setSetpointValue(fromRaw(raw, scale()));
            emit valueWritten(SetpointValue, fromRaw(raw, scale()));
        }
        return result;
    }
    case LoopControl: {
        uint8_t control = value.toBool() ? 1 : 0;
        const QxResult result = TsVaronDevice::toResult(
            m_device->noteTransaction(ZdxSetLoopControl(m_device->handle(), number(), &control)));
        if (result.isSuccess()) {
            setLoopControl(control != 0);
            emit valueWritten(LoopControl, control != 0);
        }
        return result;
    }
    default:
        return QxResult();
    }
}

void TsVaronChannel::setNotOperational()
{
    setChannelStatus(-1, tr("Not operational"),
                     tr("This channel is not operational due to device errors."));
}

bool TsVaronChannel::isReachable() const
{
    return isReady() && !m_device->isConnectionLost();
}

void TsVaronChannel::setNoAnswer()
{
    updateStableStatus(NaN);
    setActualValue(NaN);
    setSetpointValue(NaN);
    setChannelStatus(-1, tr("No answer"),
                     tr("The controller does not answer: it may have been unplugged or switched "
                        "off. It is looked for again every second."));
}

QxResult TsVaronChannel::updateStatus()
{
    // A lost or not ready channel asks nothing: the device status would change nothing it says.
    const bool askDevice = isReady() && !m_device->isConnectionLost();
    return updateStatusAfterDeviceRead(askDevice ? m_device->updateStatus() : QxResult());
}

QxResult TsVaronChannel::updateStatusAfterDeviceRead(const QxResult &device)
{
    if (m_device->isConnectionLost()) {
        setNoAnswer();
        return QxResult();
    }
    if (!isReady()) {
        setNotOperational();
        return QxResult();
    }
    if (device.isSuccess() && m_device->deviceStatus() != 0) {
        setDeviceStatus(m_device->deviceStatus());
        setNotReady();
        // Show it now rather than at the next status poll: the old channel status is no longer
        // true.
        setNotOperational();
        return QxResult();
    }
    uint8_t status = 0xFF;
    const QxResult result = TsVaronDevice::toResult(
        m_device->noteTransaction(ZdxGetChannelStatus(m_device->handle(), number(), &status)));
    if (result.isSuccess())
        setChannelStatus(status);
    return result;
}
