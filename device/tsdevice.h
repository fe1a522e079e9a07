// A controller as the program sees it: identity, state, last error and its channels. Subclasses do
// the talking to the hardware.
#pragma once

#include "utils/qxresult.h"

#include <QMap>
#include <QObject>
#include <QScopedPointer>
#include <QString>

struct DeviceSpec;
class TsDeviceChannel;

class TsDevice : public QObject
{
    Q_OBJECT

public:
    enum DeviceState
    {
        Null = 0,
        Bootloader = 1,
        BootloaderError = 2,
        Ready = 3,
        Error = 4
    };
    Q_ENUM(DeviceState)

    // What the manager knows before the device exists.
    struct Info
    {
        QString serialNumber;
        QString description;
        int vendorId = 0;
        int productId = 0;
        const DeviceSpec *spec = nullptr; // the matching model; owned by the manager
    };

    explicit TsDevice(const Info &info, QObject *parent = nullptr);
    ~TsDevice() override;

    const Info &info() const;
    QString serialNumber() const;
    QString description() const;
    int vendorId() const;
    int productId() const;
    const DeviceSpec *spec() const;

    DeviceState state() const;
    QxResult lastError() const;
    // Stores the result; an error also puts the device in state Error.
    void setError(const QxResult &result);

    // Ascending by channel number. The channels are children of the device.
    const QMap<int, TsDeviceChannel *> &channels() const;
    TsDeviceChannel *channel(int number) const;

    // True once the link to the controller failed for a transport reason on several transactions
    // in a row (not a command the controller refused): the handle is of no further use. The
    // manager drops such a device at its next scan and opens the controller anew.
    bool isConnectionLost() const;

    virtual QxResult open() = 0;
    virtual QxResult close() = 0;
    // Reads the device status from the controller.
    virtual QxResult updateStatus() = 0;

protected:
    void setState(DeviceState state);
    // A lost link leaves the device in state Error with the error given; a new open clears it.
    void setConnectionLost(const QxResult &error);
    void clearConnectionLost();
    // Deletes every channel and empties the map.
    void clearChannels();
    void addChannel(TsDeviceChannel *channel);

private:
    struct Private;
    QScopedPointer<Private> d;
};
