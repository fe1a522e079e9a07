// The exported functions: argument checks, the request and response descriptions of each command,
// and the translation of inner status numbers into the public result codes.
#include "zdx7000.h"

#include "device/handletable.h"
#include "io/iiodriver.h"
#include "status.h"
#include "usb/usbapi.h"

#include <cstring>
#include <limits>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <dbt.h>
#endif

using namespace zdx;

namespace {

constexpr int32_t LibraryVersion = 0x01000001;
constexpr int32_t CalibrationReadTimeout = 30000; // ms

#if defined(_WIN32)
// The device-interface class under which the USB bridge's driver registers its ports.
const GUID BridgeInterfaceClass = {
    0x3C5E1462, 0x5695, 0x4E18, {0x87, 0x6B, 0xF3, 0xF3, 0xD0, 0x8A, 0xAF, 0x18}};
#endif

enum Command : uint8_t
{
    CommandDeviceStatus = 0x14,
    CommandControlMode = 0x17,
    CommandBrightness = 0x53,
    CommandComponentName = 0x80,
    CommandActualValue = 0x81,
    CommandSetpoint = 0x83,
    CommandSetpointRange = 0x84,
    CommandLoopControl = 0x85,
    CommandChannelStatus = 0x87,
    CommandCalibrate = 0x8C,
};

HandleTable &table()
{
    return HandleTable::instance();
}

FrameElement element(ElementType type, uint16_t length, const char *name, void *data)
{
    return FrameElement{type, 0, length, name, data};
}

// One transaction with the same elements for the request payload (writes) and the response, so
// that a write leaves in the caller's variable the value the controller reports back.
int32_t exchange(int32_t handle, uint8_t command, int32_t channel, Access access,
                 FrameElement *elements, int32_t count, bool sendValues)
{
    FrameHeader header{1, command, static_cast<uint8_t>(channel & 0xFF), access};
    FrameMessage request{&header, elements, sendValues ? count : 0, nullptr, 0};
    FrameMessage response{&header, elements, count, nullptr, 0};
    return transact(handle, &request, &response);
}

int32_t readByte(int32_t handle, uint8_t command, int32_t channel, const char *name, uint8_t *value)
{
    if (!value)
        return ZDX_NULL_POINTER;
    FrameElement e = element(ElementU8, 1, name, value);
    return exchange(handle, command, channel, AccessRead, &e, 1, false);
}

int32_t writeByte(int32_t handle, uint8_t command, int32_t channel, const char *name,
                  uint8_t *value)
{
    if (!value)
        return ZDX_NULL_POINTER;
    FrameElement e = element(ElementU8, 1, name, value);
    return exchange(handle, command, channel, AccessWrite, &e, 1, true);
}

int32_t readWord(int32_t handle, uint8_t command, int32_t channel, int16_t *value)
{
    if (!value)
        return ZDX_NULL_POINTER;
    FrameElement e = element(ElementS16, 2, "value", value);
    return exchange(handle, command, channel, AccessRead, &e, 1, false);
}

} // namespace

extern "C" {

ZDX_API int32_t ZDX_CALL ZdxGetVersion(int32_t *version)
{
    if (!version)
        return ZDX_NULL_POINTER;
    *version = LibraryVersion;
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxEnumReset(void)
{
    HandleTable &t = table();
    if (!t.enumerator()) {
        IDeviceEnumerator *enumerator = nullptr;
        if (!t.enumerationDevice() ||
            t.enumerationDevice()->createEnumerator(&enumerator) != StatusOk || !enumerator)
            return ZDX_FAILED;
        t.setEnumerator(static_cast<VaronDeviceEnumerator *>(enumerator));
    }
    t.enumerator()->refresh();
    // An empty list because the USB library itself is missing is not "no controller attached":
    // the caller is told, and the next call looks for the library again.
    if (usb::backend()->availability() != usb::Success)
        return ZDX_FAILED;
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxEnumNext(ZdxDeviceInfo *info)
{
    if (!info)
        return ZDX_NULL_POINTER;
    VaronDeviceEnumerator *enumerator = table().enumerator();
    if (!enumerator || !enumerator->next())
        return ZDX_FAILED;
    const DeviceEntry *entry = enumerator->current();
    info->description = entry->description;
    info->serialNumber = entry->serialNumber;
    info->entry = const_cast<DeviceEntry *>(entry);
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxEnumGetData(ZdxDeviceInfo *info, int32_t dataId, uint32_t *value,
                                        int32_t size)
{
    if (!info || !value)
        return ZDX_NULL_POINTER;
    if (dataId != ZDX_DATA_VENDOR_ID && dataId != ZDX_DATA_PRODUCT_ID &&
        dataId != ZDX_DATA_ACCESS_PROBLEM)
        return ZDX_ILLEGAL_PARAMETER;
    if (!info->entry)
        return ZDX_ILLEGAL_PARAMETER;
    // Only an entry of the current enumeration is known to be a controller entry; a record of an
    // earlier one points to freed memory and is never followed.
    VaronDeviceEnumerator *enumerator = table().enumerator();
    if (!enumerator || !enumerator->contains(info->entry))
        return ZDX_OPERATION_FAILURE;
    const auto *entry = static_cast<const DeviceEntry *>(info->entry);
    if (dataId == ZDX_DATA_ACCESS_PROBLEM) {
        const size_t length = std::strlen(entry->accessProblem);
        if (size < 1 || size_t(size) <= length)
            return ZDX_BUFFER_TOO_SMALL;
        std::memcpy(value, entry->accessProblem, length + 1);
        return ZDX_SUCCESS;
    }
    if (size < 4)
        return ZDX_BUFFER_TOO_SMALL;
    *value =
        static_cast<uint32_t>(dataId == ZDX_DATA_VENDOR_ID ? entry->vendorId : entry->productId);
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxEnumFree(void)
{
    HandleTable &t = table();
    delete t.enumerator();
    t.setEnumerator(nullptr);
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxOpen(ZdxDeviceInfo *info, int32_t *handle)
{
    if (!info || !handle)
        return ZDX_NULL_POINTER;
    HandleTable &t = table();
    auto *device = new VaronDevice;
    const int32_t slot = t.lowestFreeHandle();
    if (slot == 0) {
        delete device;
        return ZDX_TOO_MANY_DEVICES;
    }
    VaronDeviceEnumerator *enumerator = t.enumerator();
    if (!enumerator || !enumerator->contains(info->entry)) {
        delete device;
        return ZDX_FAILED;
    }
    t.put(slot, device);
    if (device->open(static_cast<const DeviceEntry *>(info->entry)) != StatusOk) {
        t.take(slot);
        delete device;
        return ZDX_FAILED;
    }
    *handle = slot;
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxClose(int32_t handle)
{
    VaronDevice *device = table().take(handle);
    if (!device)
        return ZDX_ILLEGAL_HANDLE;
    device->close();
    delete device;
    return ZDX_SUCCESS;
}

ZDX_API int32_t ZDX_CALL ZdxGetDeviceStatus(int32_t handle, uint8_t *status)
{
    return readByte(handle, CommandDeviceStatus, 0, "status", status);
}

ZDX_API int32_t ZDX_CALL ZdxGetControlMode(int32_t handle, uint8_t *mode)
{
    return readByte(handle, CommandControlMode, 0, "controlmode", mode);
}

ZDX_API int32_t ZDX_CALL ZdxSetControlMode(int32_t handle, uint8_t *mode)
{
    return writeByte(handle, CommandControlMode, 0, "controlmode", mode);
}

ZDX_API int32_t ZDX_CALL ZdxGetExternalIlluminationBrightness(int32_t handle, uint8_t *brightness)
{
    return readByte(handle, CommandBrightness, 0, "brightness", brightness);
}

ZDX_API int32_t ZDX_CALL ZdxSetExternalIlluminationBrightness(int32_t handle, uint8_t *brightness)
{
    return writeByte(handle, CommandBrightness, 0, "brightness", brightness);
}

ZDX_API int32_t ZDX_CALL ZdxGetComponentName(int32_t handle, int32_t channel, char *buffer,
                                             int32_t size)
{
    if (!buffer)
        return ZDX_NULL_POINTER;
    // The element length is 16 bits wide; a size of 0 or less leaves no room for a terminator.
    if (size < 1)
        return ZDX_ILLEGAL_PARAMETER;
    const auto length = static_cast<uint16_t>(
        size > std::numeric_limits<uint16_t>::max() ? std::numeric_limits<uint16_t>::max() : size);
    FrameElement e = element(ElementText, length, "name", buffer);
    return exchange(handle, CommandComponentName, channel, AccessRead, &e, 1, false);
}

ZDX_API int32_t ZDX_CALL ZdxGetActualValue(int32_t handle, int32_t channel, int16_t *value)
{
    return readWord(handle, CommandActualValue, channel, value);
}

ZDX_API int32_t ZDX_CALL ZdxGetSetpointValue(int32_t handle, int32_t channel, int16_t *value)
{
    return readWord(handle, CommandSetpoint, channel, value);
}

ZDX_API int32_t ZDX_CALL ZdxSetSetpointValue(int32_t handle, int32_t channel, int16_t *value)
{
    if (!value)
        return ZDX_NULL_POINTER;
    FrameElement e = element(ElementS16, 2, "value", value);
    return exchange(handle, CommandSetpoint, channel, AccessWrite, &e, 1, true);
}

ZDX_API int32_t ZDX_CALL ZdxGetSetpointValueRange(int32_t handle, int32_t channel, int16_t *minimum,
                                                  int16_t *maximum)
{
    if (!minimum || !maximum)
        return ZDX_NULL_POINTER;
    FrameElement e[2] = {element(ElementS16, 2, "minValue", minimum),
                         element(ElementS16, 2, "maxValue", maximum)};
    return exchange(handle, CommandSetpointRange, channel, AccessRead, e, 2, false);
}

ZDX_API int32_t ZDX_CALL ZdxGetLoopControl(int32_t handle, int32_t channel, uint8_t *control)
{
    return readByte(handle, CommandLoopControl, channel, "control", control);
}

ZDX_API int32_t ZDX_CALL ZdxSetLoopControl(int32_t handle, int32_t channel, uint8_t *control)
{
    return writeByte(handle, CommandLoopControl, channel, "control", control);
}

ZDX_API int32_t ZDX_CALL ZdxGetChannelStatus(int32_t handle, int32_t channel, uint8_t *status)
{
    return readByte(handle, CommandChannelStatus, channel, "status", status);
}

ZDX_API int32_t ZDX_CALL ZdxCalibrateSensor(int32_t handle, int32_t channel, uint8_t *result)
{
    if (!result)
        return ZDX_NULL_POINTER;
    VaronDevice *device = table().device(handle);
    if (!device)
        return ZDX_ILLEGAL_HANDLE;
    // A calibration takes far longer than an ordinary answer.
    int32_t saved = 0;
    int32_t longTimeout = CalibrationReadTimeout;
    if (device->driver()->control(OptionGetReadTimeout, &saved) != StatusOk ||
        device->driver()->control(OptionSetReadTimeout, &longTimeout) != StatusOk)
        return ZDX_FAILED;
    FrameElement e = element(ElementU8, 1, "value", result);
    int32_t code = exchange(handle, CommandCalibrate, channel, AccessWrite, &e, 1, false);
    if (device->driver()->control(OptionSetReadTimeout, &saved) != StatusOk)
        code = ZDX_FAILED;
    return code;
}

ZDX_API int32_t ZDX_CALL ZdxRegisterNotification(void *recipient, void **notification)
{
    if (!notification)
        return ZDX_NULL_POINTER;
    if (!recipient || recipient == reinterpret_cast<void *>(static_cast<intptr_t>(-1)))
        return ZDX_ILLEGAL_PARAMETER;
#if defined(_WIN32)
    // Arrival and removal of any port of the USB bridge's device-interface class, delivered to the
    // window as device-change messages.
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = BridgeInterfaceClass;
    filter.dbcc_name[0] = '\0';
    HDEVNOTIFY registered = RegisterDeviceNotificationA(static_cast<HANDLE>(recipient), &filter,
                                                        DEVICE_NOTIFY_WINDOW_HANDLE);
    *notification = registered;
    return registered ? ZDX_SUCCESS : ZDX_FAILED;
#else
    // Device-interface notifications are a feature of one desktop platform; elsewhere callers
    // poll the enumeration, as the application does anyway.
    *notification = nullptr;
    return ZDX_FAILED;
#endif
}

ZDX_API int32_t ZDX_CALL ZdxUnregisterNotification(void *notification)
{
#if defined(_WIN32)
    return UnregisterDeviceNotification(static_cast<HDEVNOTIFY>(notification)) ? ZDX_SUCCESS
                                                                               : ZDX_FAILED;
#else
    (void)notification;
    return ZDX_FAILED;
#endif
}

} // extern "C"

// Load and unload of the shared object: the enumeration device lives as long as the library.
// Compiled into a program instead (the tests do), the program's start and end stand for them.
#if defined(_WIN32) && defined(ZDX7000_DLL)
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        HandleTable::instance().attach();
    // Unloaded by FreeLibrary (reserved is null): close the devices through the USB library,
    // which is still loaded. At process exit the USB library may already be gone, and the
    // system closes every handle and frees all memory anyway, so nothing is touched then.
    else if (reason == DLL_PROCESS_DETACH && !reserved)
        HandleTable::instance().detach();
    return TRUE;
}
#else
namespace {

__attribute__((constructor)) void libraryAttach()
{
    table().attach();
}

__attribute__((destructor)) void libraryDetach()
{
    table().detach();
}

} // namespace
#endif
