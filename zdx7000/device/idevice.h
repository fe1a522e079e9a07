// Devices and their enumerators: the request/response cycle every exported operation runs through.
#pragma once

#include "deviceentry.h"
#include "protocol/protocolcodec.h"

#include <cstdint>

namespace zdx {

class IDeviceEnumerator
{
public:
    virtual ~IDeviceEnumerator() = default;
    virtual void clear() = 0;
    virtual void refresh() = 0;
    virtual bool next() = 0;
    virtual const DeviceEntry *current() const = 0;
};

class IDevice
{
public:
    virtual ~IDevice() = default;
    virtual int32_t createEnumerator(IDeviceEnumerator **out) = 0;
    virtual int32_t open(const DeviceEntry *entry) = 0;
    virtual int32_t close() = 0;
    virtual int32_t send(FrameMessage *request) = 0;
    virtual int32_t receive(FrameMessage *response) = 0;
    virtual int32_t reserved1(int32_t) { return 0; }
    virtual int32_t reserved2(int32_t) { return 0; }
};

} // namespace zdx
