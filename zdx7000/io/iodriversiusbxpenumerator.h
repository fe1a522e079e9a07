// Lists the ports of the USB bridge library, by device number and link name.
#pragma once

#include "iiodriver.h"

#include <vector>

namespace zdx {

class IODriverSiUSBXpEnumerator : public IIODriverEnumerator
{
public:
    IODriverSiUSBXpEnumerator();
    ~IODriverSiUSBXpEnumerator() override;

    void refresh() override;
    bool next() override;
    const PortEntry *current() const override;

    int32_t count() const { return m_count; }

private:
    int32_t m_count = 0;
    int32_t m_position = -1;
    std::vector<PortEntry> m_entries;
};

// Fills a port entry for a device number: kind 1, the index and at most 119 characters of the link
// name, the rest zero. Returns false when the link name can't be queried.
bool readPortEntry(int32_t index, PortEntry *entry);

} // namespace zdx
