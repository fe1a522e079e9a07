#include "devicespec.h"

void DeviceSpec::parseId()
{
    // "usb@" VVVV "/" PPPP "/" prefix: the fields sit at fixed positions.
    vendorId = 0;
    productId = 0;
    serialPrefix.clear();
    if (!id.startsWith(QLatin1String("usb@")))
        return;
    bool ok = false;
    vendorId = id.mid(4, 4).toInt(&ok, 16);
    if (!ok)
        vendorId = 0;
    productId = id.mid(9, 4).toInt(&ok, 16);
    if (!ok)
        productId = 0;
    serialPrefix = id.mid(14);
}

const ChannelSpec *DeviceSpec::channel(int number) const
{
    const auto found = channels.constFind(number);
    return found == channels.constEnd() ? nullptr : &found.value();
}

bool DeviceSpec::matches(const QString &description, int vendorId, int productId,
                         const QString &serialNumber) const
{
    return description.compare(name, Qt::CaseInsensitive) == 0 && vendorId == this->vendorId &&
           productId == this->productId && serialNumber.startsWith(serialPrefix);
}

const DeviceSpec *DeviceSpecSet::find(const QString &description, int vendorId, int productId,
                                      const QString &serialNumber) const
{
    for (const auto &spec : m_devices) {
        if (spec->matches(description, vendorId, productId, serialNumber))
            return spec.get();
    }
    return nullptr;
}

const DeviceSpec *DeviceSpecSet::findBySerial(const QString &serialNumber) const
{
    const QString prefix = serialNumber.left(3);
    for (const auto &spec : m_devices) {
        if (spec->serialPrefix == prefix)
            return spec.get();
    }
    return nullptr;
}

const GraphAxisSpec *DeviceSpecSet::graphAxisForUnit(const QString &unit) const
{
    if (unit.isEmpty())
        return nullptr;
    for (const GraphAxisSpec &axis : graphAxes) {
        if (axis.unit == unit)
            return &axis;
    }
    return nullptr;
}

StatusCodeSpec DeviceSpecSet::statusCode(const StatusCodeMap &codes, int code)
{
    return codes.value(code);
}
