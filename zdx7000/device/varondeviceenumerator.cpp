#include "varondeviceenumerator.h"

#include "usb/usbapi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zdx {

namespace {

// Reads a product string as hexadecimal; an unreadable one gives 0, which matches no vendor.
int32_t queryHex(int32_t index, uint32_t selector)
{
    char buffer[usb::ProductStringSize] = {};
    if (usb::api()->getProductString(static_cast<uint32_t>(index), buffer, selector) !=
        usb::Success)
        return 0;
    buffer[sizeof(buffer) - 1] = '\0';
    return static_cast<int32_t>(std::strtol(buffer, nullptr, 16));
}

void queryString(int32_t index, uint32_t selector, char *field)
{
    char buffer[usb::ProductStringSize] = {};
    if (usb::api()->getProductString(static_cast<uint32_t>(index), buffer, selector) !=
        usb::Success)
        return;
    buffer[sizeof(buffer) - 1] = '\0';
    const size_t length = std::min<size_t>(std::strlen(buffer), DeviceStringSize - 1);
    std::memcpy(field, buffer, length);
    field[length] = '\0';
}

} // namespace

VaronDeviceEnumerator::VaronDeviceEnumerator(std::unique_ptr<IIODriverEnumerator> ports)
    : m_ports(std::move(ports))
{
    usb::acquireApi();
}

VaronDeviceEnumerator::~VaronDeviceEnumerator()
{
    clear();
    m_ports.reset();
    usb::releaseApi();
}

void VaronDeviceEnumerator::clear()
{
    while (m_head) {
        DeviceEntry *next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_cursor = nullptr;
    m_beforeFirst = false;
}

void VaronDeviceEnumerator::refresh()
{
    clear();
    m_ports->refresh();
    DeviceEntry **tail = &m_head;
    while (m_ports->next()) {
        const PortEntry *port = m_ports->current();
        if (!port || port->kind != PortEntryKind)
            continue;
        if (queryHex(port->index, usb::VendorId) != VendorIdVaron)
            continue;
        auto *entry = new DeviceEntry;
        entry->port = port;
        entry->vendorId = VendorIdVaron;
        entry->productId = queryHex(port->index, usb::ProductId);
        queryString(port->index, usb::Description, entry->description);
        queryString(port->index, usb::SerialNumber, entry->serialNumber);
        if (usb::accessProblem(static_cast<uint32_t>(port->index), entry->accessProblem) !=
            usb::Success)
            entry->accessProblem[0] = '\0';
        entry->accessProblem[AccessProblemSize - 1] = '\0';
        *tail = entry;
        tail = &entry->next;
    }
    m_cursor = nullptr;
    m_beforeFirst = true;
}

bool VaronDeviceEnumerator::next()
{
    if (m_beforeFirst) {
        m_beforeFirst = false;
        m_cursor = m_head;
    } else if (m_cursor) {
        m_cursor = m_cursor->next;
    }
    return m_cursor != nullptr;
}

const DeviceEntry *VaronDeviceEnumerator::current() const
{
    return m_beforeFirst ? nullptr : m_cursor;
}

bool VaronDeviceEnumerator::contains(const void *entry) const
{
    for (const DeviceEntry *e = m_head; e; e = e->next) {
        if (e == entry)
            return true;
    }
    return false;
}

} // namespace zdx
