// The manager's devices as an item model: one row per device, its channels as child rows.
#pragma once

#include <QHash>
#include <QStandardItemModel>

class QStandardItem;
class TsDevice;
class TsDeviceManager;

class TsDeviceModel : public QStandardItemModel
{
    Q_OBJECT

public:
    enum Roles
    {
        DeviceRole = Qt::UserRole + 1, // TsDevice *, on device rows
        SerialNumberRole,              // QString, on device rows
        ChannelRole,                   // TsDeviceChannel *, on channel rows
    };

    // Follows the manager's newDevice and deviceRemoved.
    explicit TsDeviceModel(TsDeviceManager *manager, QObject *parent = nullptr);

public slots:
    void populate();
    void onNewDevice(TsDevice *device);
    void onDeviceRemoved(TsDevice *device);

private:
    TsDeviceManager *m_manager;
    QHash<TsDevice *, QStandardItem *> m_rows;
};
