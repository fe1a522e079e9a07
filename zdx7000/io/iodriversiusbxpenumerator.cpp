#include "iodriversiusbxpenumerator.h"

#include "usb/usbapi.h"

#include <algorithm>
#include <cstring>

namespace zdx {

bool readPortEntry(int32_t index, PortEntry *entry)
{
    std::memset(entry, 0, sizeof(*entry));
    entry->kind = PortEntryKind;
    entry->index = index;
    char buffer[usb::ProductStringSize] = {};
    if (usb::api()->getProductString(static_cast<uint32_t>(index), buffer, usb::LinkName) !=
        usb::Success)
        return false;
    buffer[sizeof(buffer) - 1] = '\0';
    // At most 119 characters; the rest of the field stays zero for the byte-wise comparison.
    std::memcpy(entry->linkName, buffer, std::min<size_t>(std::strlen(buffer), LinkNameSize - 1));
    return true;
}

IODriverSiUSBXpEnumerator::IODriverSiUSBXpEnumerator()
{
    usb::acquireApi();
}

IODriverSiUSBXpEnumerator::~IODriverSiUSBXpEnumerator()
{
    usb::releaseApi();
}

void IODriverSiUSBXpEnumerator::refresh()
{
    m_position = -1;
    m_count = 0;
    m_entries.clear();

    uint32_t count = 0;
    if (usb::api()->getNumDevices(&count) != usb::Success || count == 0)
        return;
    m_entries.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        // One port that can't be named makes the whole list untrustworthy: device numbers may
        // have shifted under us.
        if (!readPortEntry(static_cast<int32_t>(i), &m_entries[i])) {
            m_entries.clear();
            return;
        }
    }
    m_count = static_cast<int32_t>(count);
}

bool IODriverSiUSBXpEnumerator::next()
{
    if (m_count == 0)
        return false;
    if (m_position < m_count)
        ++m_position;
    return m_position < m_count;
}

const PortEntry *IODriverSiUSBXpEnumerator::current() const
{
    if (m_count > 0 && m_position >= 0 && m_position < m_count)
        return &m_entries[static_cast<size_t>(m_position)];
    return nullptr;
}

} // namespace zdx
