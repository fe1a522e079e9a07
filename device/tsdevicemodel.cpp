#include "tsdevicemodel.h"

#include "tsdevice.h"
#include "tsdevicechannel.h"
#include "tsdevicemanager.h"

TsDeviceModel::TsDeviceModel(TsDeviceManager *manager, QObject *parent)
    : QStandardItemModel(parent)
    , m_manager(manager)
{
    connect(manager, &TsDeviceManager::newDevice, this, &TsDeviceModel::onNewDevice);
    connect(manager, &TsDeviceManager::deviceRemoved, this, &TsDeviceModel::onDeviceRemoved);
    populate();
}

void TsDeviceModel::populate()
{
    clear();
    m_rows.clear();
    setColumnCount(2);
    if (!m_manager)
        return;
    const QMap<QString, TsDevice *> devices = m_manager->devices();
    for (TsDevice *device : devices)
        onNewDevice(device);
}

void TsDeviceModel::onNewDevice(TsDevice *device)
{
    if (!device || m_rows.contains(device))
        return;
    auto *row = new QStandardItem(device->serialNumber());
    row->setEditable(false);
    row->setData(QVariant::fromValue(device), DeviceRole);
    row->setData(device->serialNumber(), SerialNumberRole);
    for (TsDeviceChannel *channel : device->channels()) {
        auto *child = new QStandardItem(channel->name());
        child->setEditable(false);
        child->setData(QVariant::fromValue(channel), ChannelRole);
        row->appendRow(child);
    }
    appendRow(row);
    m_rows.insert(device, row);
}

void TsDeviceModel::onDeviceRemoved(TsDevice *device)
{
    QStandardItem *row = m_rows.take(device);
    if (row)
        removeRow(row->row());
}
