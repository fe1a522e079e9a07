// Keeps the program's devices in step with the controllers plugged in: scans USB once a second,
// opens controllers of known models, retries those that fail to open, drops those unplugged.
#pragma once

#include "utils/qxresult.h"

#include <QMap>
#include <QObject>
#include <QScopedPointer>
#include <QString>

class DeviceSpecSet;
struct DeviceSpec;
class TsDevice;
class TsDeviceChannel;

class TsDeviceManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int ScanInterval = 1000;  // ms
    static constexpr int FirstScanDelay = 100; // ms after construction
    static constexpr int MaxOpenAttempts = 30;
    // A controller whose link was lost is opened again at each of the next scans this many times,
    // then at every ReconnectBackOff-th scan, never given up while it stays attached.
    static constexpr int ReconnectEveryScan = 10;
    static constexpr int ReconnectBackOff = 5;

    explicit TsDeviceManager(QObject *parent = nullptr);
    ~TsDeviceManager() override;

    // Opened devices by serial number.
    QMap<QString, TsDevice *> devices() const;
    // The channel with identifier "serial:number", or null.
    TsDeviceChannel *channel(const QString &id) const;

    // Loads "devicespec.xml" from the program's folder when it is there, else the built-in one.
    QxResult loadDeviceSpecs();
    QxResult loadDeviceSpecs(const QString &path);
    // The file a load reads for a program in programDir.
    static QString deviceSpecPath(const QString &programDir);
    // The text of the last load's error or skipped entries, for the main window to show; empty
    // when the load was clean.
    QString deviceSpecError() const;

    const DeviceSpecSet &deviceSpecs() const;
    // Failed attempts to open a controller since the manager was made.
    qint64 openFailures() const;
    // The model whose serial prefix is the first three characters of serialNumber, or null.
    const DeviceSpec *specForSerial(const QString &serialNumber) const;

public slots:
    void populateDevices();

signals:
    void newDevice(TsDevice *device);
    void deviceRemoved(TsDevice *device);
    void deviceError(TsDevice *device, const QString &error);

private:
    struct Private;
    QScopedPointer<Private> d;
};
