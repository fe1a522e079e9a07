#include "handletable.h"

#include "status.h"
#include "usb/usbapi.h"

#include <type_traits>

namespace zdx {

static_assert(std::is_trivially_destructible_v<HandleTable>,
              "the unload hook may run after static destructors");

HandleTable &HandleTable::instance()
{
    // Trivially destructible, so that no static destructor can run before the unload hook that
    // still needs it.
    static HandleTable table;
    return table;
}

void HandleTable::attach()
{
    if (!m_enumerationDevice)
        m_enumerationDevice = new VaronDevice;
}

void HandleTable::detach()
{
    for (VaronDevice *&slot : m_slots) {
        if (slot) {
            slot->close();
            delete slot;
            slot = nullptr;
        }
    }
    delete m_enumerator;
    m_enumerator = nullptr;
    delete m_enumerationDevice;
    m_enumerationDevice = nullptr;
    // Nothing of the library uses the USB layer any more; an unloaded library leaves nothing of
    // it behind.
    usb::releaseDefaultBackend();
}

VaronDevice *HandleTable::device(int32_t handle) const
{
    if (handle < 1 || handle > HandleSlots)
        return nullptr;
    return m_slots[handle - 1];
}

int32_t HandleTable::lowestFreeHandle() const
{
    for (int32_t i = 0; i < HandleSlots; ++i) {
        if (!m_slots[i])
            return i + 1;
    }
    return 0;
}

void HandleTable::put(int32_t handle, VaronDevice *device)
{
    if (handle >= 1 && handle <= HandleSlots)
        m_slots[handle - 1] = device;
}

VaronDevice *HandleTable::take(int32_t handle)
{
    VaronDevice *device = this->device(handle);
    if (device)
        m_slots[handle - 1] = nullptr;
    return device;
}

int32_t transact(int32_t handle, FrameMessage *request, FrameMessage *response)
{
    VaronDevice *device = HandleTable::instance().device(handle);
    if (!device)
        return TransactBadHandle;
    if (device->send(request) != StatusOk)
        return TransactSendFailed;
    if (device->receive(response) != StatusOk)
        return TransactReceiveFailed;
    if (response->header && response->header->command == 0)
        return TransactRefused;
    return TransactOk;
}

} // namespace zdx
