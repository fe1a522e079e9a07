// One regulated quantity of a controller (a heated component's temperature, a gas concentration):
// its values in display units, its status texts and its stable colour. Subclasses read and write
// the hardware and publish what they read through the protected setters, which signal changes.
#pragma once

#include "device/tsstabilitymonitor.h"
#include "utils/qxresult.h"

#include <QObject>
#include <QScopedPointer>
#include <QString>
#include <QVariant>

#include <limits>

struct ChannelSpec;
class TsDevice;

class TsDeviceChannel : public QObject
{
    Q_OBJECT

public:
    enum ValueRole
    {
        ActualValue = 0,   // double, display units, NaN when not available; read only
        SetpointValue = 1, // double, display units, NaN when not available
        LoopControl = 2,   // bool, regulation loop on
    };
    Q_ENUM(ValueRole)

    struct Info
    {
        int number = 0; // 1-based
        QString name;   // the attached component as the controller names it
        double minValue = std::numeric_limits<double>::quiet_NaN(); // setpoint range
        double maxValue = std::numeric_limits<double>::quiet_NaN();
        bool ready = false;
        const ChannelSpec *spec = nullptr; // owned by the manager's specification; may be null
    };

    TsDeviceChannel(const Info &info, TsDevice *device);
    ~TsDeviceChannel() override;

    const Info &info() const;
    int number() const;
    QString name() const;
    double minValue() const;
    double maxValue() const;
    bool isReady() const;
    const ChannelSpec *spec() const;
    TsDevice *device() const;

    // "serial:number", the key of the channel everywhere in the program.
    QString id() const;
    static QString makeId(const QString &serialNumber, int number);

    // From the channel's model data; 1.0 and no unit without it.
    double scale() const;
    QString unit() const;

    Qt::GlobalColor stableStatus() const;
    bool loopControl() const;
    double actualValue() const;
    double setpointValue() const;
    int channelStatus() const;
    QString channelStatusText() const;
    QString channelStatusDescription() const;
    int deviceStatus() const;
    QString deviceStatusText() const;
    QString deviceStatusDescription() const;
    // "ready", or what keeps the channel from being ready.
    QString statusText() const;

    TsStabilityMonitor &stabilityMonitor();

    // Sets the bands from the model data and their limits around the setpoint read from the device.
    void initStability();

    virtual QxResult setValue(int role, const QVariant &value) = 0;
    virtual QVariant value(int role) = 0;
    // Asks the controller for its device status and then for the channel's own.
    virtual QxResult updateStatus() = 0;
    // The same when the caller has just read the device status once for all of the device's
    // channels (deviceRead: how that read went): only the channel's own status is asked for. A
    // channel that cannot use such a shared read does the whole refresh.
    virtual QxResult updateStatusAfterDeviceRead(const QxResult &deviceRead)
    {
        Q_UNUSED(deviceRead)
        return updateStatus();
    }

signals:
    void stableStatusChanged(Qt::GlobalColor newStatus);
    void actualValueChanged(double newValue);
    void setpointValueChanged(double newValue);
    void loopControlChanged(bool newStatus);
    // A write of the program reached the controller; the value is what the controller now keeps.
    // Changes seen without one were made at the controller itself.
    void valueWritten(int role, const QVariant &value);

protected:
    void setActualValue(double value);
    void setSetpointValue(double value);
    void setLoopControl(bool on);
    void updateStableStatus(double actual);
    // Moves both bands around the setpoint; an unreadable (NaN) setpoint leaves them where they
    // are.
    void updateStableLimits(double setpoint);
    void setChannelStatus(int code);
    void setDeviceStatus(int code);
    // Sets channelStatus and both texts directly, for states no status code describes.
    void setChannelStatus(int code, const QString &text, const QString &description);
    // A channel never becomes ready again once it is not.
    void setNotReady();

private:
    struct Private;
    QScopedPointer<Private> d;
};
