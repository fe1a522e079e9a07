#include "experiment/tsexperimentchannel.h"

#include "device/devicespec.h"
#include "device/tsdevice.h"
#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"

#include <QCoreApplication>

#include <cmath>
#include <limits>

namespace {

// The stable colour of a connected channel: white is the loop switched off; every colour but the
// three of the bands counts as unstable.
TsChannelState stateOfStableColour(Qt::GlobalColor colour)
{
    switch (colour) {
    case Qt::white:
        return TsChannelState::Off;
    case Qt::green:
        return TsChannelState::Green;
    case Qt::yellow:
        return TsChannelState::Yellow;
    default:
        return TsChannelState::Red;
    }
}

// The description of a channel that has never been connected: no unit, scale 1.
const ChannelSpec &defaultChannelSpec()
{
    static const ChannelSpec spec;
    return spec;
}

// A read that gave no number counts as "no value", not as 0.
double toDoubleOrNaN(const QVariant &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? number : std::numeric_limits<double>::quiet_NaN();
}

QString nameOfDevice(const TsDevice *device)
{
    if (device->spec() && !device->spec()->name.isEmpty())
        return device->spec()->name;
    return device->description();
}

} // namespace

TsExperimentChannel::TsExperimentChannel(const QString &id, const QString &name, QObject *parent,
                                         const TsDeviceManager *devices)
    : QObject(parent)
    , m_name(name)
    , m_id(id)
{
    const int colon = id.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        m_deviceId = id;
    } else {
        m_deviceId = id.left(colon);
        bool ok = false;
        const int number = id.mid(colon + 1).toInt(&ok, 10);
        m_channelNumber = ok ? number : 0;
    }
    if (devices) {
        if (const DeviceSpec *spec = devices->specForSerial(m_deviceId))
            m_deviceName = spec->name;
    }
    // Offline, with the texts that say so, until a device channel is linked.
    updateStatusFromDevice();
}

TsExperimentChannel::~TsExperimentChannel() = default;

const ChannelSpec *TsExperimentChannel::channelSpec() const
{
    return m_spec ? m_spec : &defaultChannelSpec();
}

QString TsExperimentChannel::unit() const
{
    return m_unit;
}

TsDevice *TsExperimentChannel::device() const
{
    return m_device.data();
}

TsDeviceChannel *TsExperimentChannel::deviceChannel() const
{
    return m_deviceChannel.data();
}

bool TsExperimentChannel::isConnected() const
{
    return !m_deviceChannel.isNull();
}

QVariant TsExperimentChannel::value(int role) const
{
    // Readiness is asked now, not at the sample: the fault is found by the status read after the
    // values of the same tick were taken.
    if (!isConnected() || !m_deviceChannel->isReady())
        return QVariant();
    return m_values.value(role);
}

bool TsExperimentChannel::hasDeviceFault() const
{
    const TsDeviceChannel *channel = m_deviceChannel.data();
    return channel && channel->deviceStatus() != 0;
}

bool TsExperimentChannel::loopControl() const
{
    return value(LoopControl).toBool();
}

QxResult TsExperimentChannel::setValue(int role, const QVariant &value)
{
    if (TsDeviceChannel *channel = m_deviceChannel.data())
        return channel->setValue(role, value);
    return QxResult::failure();
}

QString TsExperimentChannel::label(int role) const
{
    switch (role) {
    case ActualValue:
        return tr("%1: Actual Value").arg(m_name);
    case SetpointValue:
        return tr("%1: Setpoint Value").arg(m_name);
    case LoopControl:
        return tr("%1: Control").arg(m_name);
    default:
        return tr("%1: unknown").arg(m_name);
    }
}

QString TsExperimentChannel::valueText(int role, bool withUnit) const
{
    const QVariant v = value(role);
    bool ok = false;
    const double number = v.toDouble(&ok);
    const QString unitText = withUnit ? m_unit : QString();
    if (!v.isValid() || !ok || std::isnan(number))
        return QStringLiteral("--.-%1").arg(unitText);
    return QStringLiteral("%1%2").arg(number, 0, 'f', 1).arg(unitText);
}

bool TsExperimentChannel::connectTo(TsDeviceChannel *channel)
{
    if (!channel)
        return disconnectFrom();
    const bool same = channel && m_deviceChannel.data() == channel;
    m_deviceChannel = channel;
    if (!channel->name().isEmpty())
        m_name = channel->name();
    m_spec = channel->spec();
    m_unit = channel->unit();
    TsDevice *device = channel->device();
    if (device)
        m_deviceName = nameOfDevice(device);
    m_device = device;
    m_values.clear();
    if (!same) {
        // The colour changes while values are read, between two status refreshes: the state
        // follows at once.
        disconnect(m_stableColourLink);
        m_stableColourLink = connect(channel, &TsDeviceChannel::stableStatusChanged, this,
                                     &TsExperimentChannel::updateStatusFromDevice);
    }
    updateStatusFromDevice();
    const bool changed = !same;
    if (changed)
        emit connectionStatusChanged(true);
    return changed;
}

bool TsExperimentChannel::disconnectFrom()
{
    const bool wasConnected = isConnected();
    disconnect(m_stableColourLink);
    m_deviceChannel = nullptr;
    m_values.clear();
    updateStatusFromDevice();
    if (wasConnected)
        emit connectionStatusChanged(false);
    return wasConnected;
}

bool TsExperimentChannel::sample(int phase)
{
    TsDeviceChannel *channel = m_deviceChannel.data();
    if (!channel)
        return false;
    if (phase == 0) {
        m_sampleTime = QDateTime::currentDateTime();
        m_values.insert(ActualValue, toDoubleOrNaN(channel->value(TsDeviceChannel::ActualValue)));
    } else if (phase == 1) {
        m_values.insert(SetpointValue,
                        toDoubleOrNaN(channel->value(TsDeviceChannel::SetpointValue)));
        // An unread loop stays without a value: recorded as missing, not as switched off.
        const QVariant loop = channel->value(TsDeviceChannel::LoopControl);
        m_values.insert(LoopControl, loop.isValid() ? QVariant(loop.toBool()) : QVariant());
    }
    return true;
}

void TsExperimentChannel::updateStatusFromDevice()
{
    const TsDeviceChannel *channel = m_deviceChannel.data();
    if (!channel) {
        setStatus(TsChannelState::Offline,
                  QCoreApplication::translate("TsChannelWidget", "offline"),
                  QCoreApplication::translate(
                      "TsChannelWidget", "The device is currently not connected or switched off."));
        return;
    }
    // A controller that no longer answers delivers no values until it is opened anew: offline,
    // whatever colour its last reads left, with the device channel's word for why.
    const TsDevice *device = channel->device();
    if (device && device->isConnectionLost()) {
        setStatus(TsChannelState::Offline, channel->channelStatusText(),
                  channel->channelStatusDescription());
        return;
    }
    // A device-wide fault outranks the channel's own status.
    const bool deviceFault = hasDeviceFault();
    setStatus(stateOfStableColour(channel->stableStatus()),
              deviceFault ? channel->deviceStatusText() : channel->channelStatusText(),
              deviceFault ? channel->deviceStatusDescription()
                          : channel->channelStatusDescription());
}

void TsExperimentChannel::setStatus(TsChannelState state, const QString &text,
                                    const QString &description)
{
    if (state == m_state && text == m_statusText && description == m_statusDescription)
        return;
    m_state = state;
    m_statusText = text;
    m_statusDescription = description;
    emit statusChanged();
}
