// Turns the driver's ports into the list of controllers of our vendor, with their USB strings.
#pragma once

#include "idevice.h"

#include <memory>

namespace zdx {

class VaronDeviceEnumerator : public IDeviceEnumerator
{
public:
    explicit VaronDeviceEnumerator(std::unique_ptr<IIODriverEnumerator> ports);
    ~VaronDeviceEnumerator() override;

    void clear() override;
    void refresh() override;
    bool next() override;
    const DeviceEntry *current() const override;

    // Whether `entry` is one of the current list's entries (records of an earlier enumeration
    // point to freed memory and must not be followed).
    bool contains(const void *entry) const;

private:
    std::unique_ptr<IIODriverEnumerator> m_ports;
    DeviceEntry *m_head = nullptr;
    DeviceEntry *m_cursor = nullptr;
    bool m_beforeFirst = false;
};

} // namespace zdx
