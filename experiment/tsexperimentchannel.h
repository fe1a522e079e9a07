// The experiment's view of one channel of a controller: the profile entry's identity, colour and
// alert switch, the values sampled once per tick, and a guarded link to the device channel that
// comes and goes as controllers are plugged in and out. The channel's state (TsChannelState) and
// its status texts are worked out here, from the device channel, for every reader alike: the tile,
// the web page, /metrics, mails and the alarm check.
#pragma once

#include "experiment/tschannelstate.h"
#include "utils/qxresult.h"

#include <QColor>
#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

struct ChannelSpec;
class TsDevice;
class TsDeviceChannel;
class TsDeviceManager;

class TsExperimentChannel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name)
    Q_PROPERTY(QString id READ id)

public:
    // The roles of TsDeviceChannel::ValueRole.
    enum ValueRole
    {
        ActualValue = 0,
        SetpointValue = 1,
        LoopControl = 2
    };

    // devices: where the device name of the id's serial prefix is looked up; may be null.
    TsExperimentChannel(const QString &id, const QString &name, QObject *parent = nullptr,
                        const TsDeviceManager *devices = nullptr);
    ~TsExperimentChannel() override;

    QString name() const { return m_name; }
    QString id() const { return m_id; }
    // The id before the first ':' (the whole id without one).
    QString deviceId() const { return m_deviceId; }
    QString deviceName() const { return m_deviceName; }
    // The id after the first ':' as a decimal number; 0 when it does not parse.
    int channelNumber() const { return m_channelNumber; }

    bool alert() const { return m_alert; }
    void setAlert(bool alert) { m_alert = alert; }
    // The alarm logic's memory of whether the channel was last seen stable.
    bool isStable() const { return m_stable; }
    void setStable(bool stable) { m_stable = stable; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    // Taken from the device channel on connection and kept after a disconnection; a shared
    // default (no unit, scale 1) before the first connection. Never null.
    const ChannelSpec *channelSpec() const;
    QString unit() const;
    // The device of the last connection; null once that device is gone.
    TsDevice *device() const;
    // The connected device channel, or null.
    TsDeviceChannel *deviceChannel() const;
    bool isConnected() const;

    // Local time of the last actual-value sample.
    QDateTime sampleTime() const { return m_sampleTime; }
    // The last sampled value of the role while connected to a channel that is ready, else an
    // invalid variant: a channel whose controller reports a fault delivers no value, whatever the
    // device layer gives for it (false for the loop).
    QVariant value(int role) const;
    bool loopControl() const;
    // Forwards to the device channel while connected; the plain failure otherwise.
    QxResult setValue(int role, const QVariant &value);

    // "%1: Actual Value", "%1: Setpoint Value", "%1: Control", "%1: unknown" with the name.
    QString label(int role) const;
    // Roles 0 and 1: one decimal and the unit ("37.0°C"), or "--.-" and the unit for NaN or no
    // value.
    QString valueText(int role, bool withUnit = true) const;

    // Links the channel to a device channel; true when the link changed.
    bool connectTo(TsDeviceChannel *channel);
    // Drops the link; true when there was one.
    bool disconnectFrom();
    // Phase 0: actual value and sample time; phase 1: setpoint and loop control. False (and
    // nothing read) while not connected.
    bool sample(int phase);

    TsChannelState state() const { return m_state; }
    // The state's number (TsChannelState's values), for those that store or serve it as one.
    int statusIndex() const { return int(m_state); }
    // The device's status text when the device reports a fault, else the channel's own;
    // "offline" without a device channel, the channel's "No answer" once its controller's link is
    // lost.
    QString statusText() const { return m_statusText; }
    // The controller reports a device-wide fault (a device status other than 0), which
    // statusText() gives in its words.
    bool hasDeviceFault() const;
    QString statusDescription() const { return m_statusDescription; }
    // Works the state and texts out from the device channel as it stands, without asking the
    // controller (the experiment's tick refreshes the device channel's status first).
    void updateStatusFromDevice();
    // statusChanged() when anything changed.
    void setStatus(TsChannelState state, const QString &text, const QString &description);

signals:
    void connectionStatusChanged(bool on);
    void statusChanged();

private:
    QString m_name;
    QString m_id;
    QString m_deviceId;
    QString m_deviceName;
    int m_channelNumber = 0;
    bool m_alert = false;
    bool m_stable = false;
    QColor m_color;
    const ChannelSpec *m_spec = nullptr;
    QString m_unit;
    QPointer<TsDevice> m_device;
    QDateTime m_sampleTime;
    QMap<int, QVariant> m_values;
    QPointer<TsDeviceChannel> m_deviceChannel;
    TsChannelState m_state = TsChannelState::Offline;
    QMetaObject::Connection m_stableColourLink;
    QString m_statusText;
    QString m_statusDescription;
};
