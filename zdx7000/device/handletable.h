// The library's global state: the handle table of open devices, the enumeration device and the one
// enumerator. Handles are slot index + 1.
#pragma once

#include "protocol/protocolcodec.h"
#include "varondevice.h"
#include "varondeviceenumerator.h"

#include <cstdint>

namespace zdx {

constexpr int32_t HandleSlots = 256;

class HandleTable
{
public:
    // The library's one table; created empty, filled by attach().
    static HandleTable &instance();

    // Load and unload of the library: make the enumeration device; close and destroy everything.
    void attach();
    void detach();

    // The device behind a handle, or null for a handle outside 1..256 or an empty slot.
    VaronDevice *device(int32_t handle) const;
    // The lowest empty slot's handle, or 0 when all are in use.
    int32_t lowestFreeHandle() const;
    void put(int32_t handle, VaronDevice *device);
    // Empties the slot and returns what was in it.
    VaronDevice *take(int32_t handle);

    VaronDevice *enumerationDevice() const { return m_enumerationDevice; }
    VaronDeviceEnumerator *enumerator() const { return m_enumerator; }
    void setEnumerator(VaronDeviceEnumerator *enumerator) { m_enumerator = enumerator; }

private:
    VaronDevice *m_slots[HandleSlots] = {};
    VaronDevice *m_enumerationDevice = nullptr;
    VaronDeviceEnumerator *m_enumerator = nullptr;
};

// Transaction result codes, as the exports return them.
enum TransactResult : int32_t
{
    TransactOk = 0,
    TransactBadHandle = 2,
    TransactSendFailed = 6,
    TransactReceiveFailed = 7,
    TransactRefused = 9,
};

// One request/response on an open handle. Request and response share the header, so afterwards it
// holds the response's command, channel and access.
int32_t transact(int32_t handle, FrameMessage *request, FrameMessage *response);

} // namespace zdx
