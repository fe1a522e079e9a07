// A controller of ours on a USB port: the byte-stream driver, opened at 57600 baud.
#pragma once

#include "basicdevice.h"

namespace zdx {

class VaronDevice : public BasicDevice
{
public:
    VaronDevice();
    ~VaronDevice() override;

    int32_t createEnumerator(IDeviceEnumerator **out) override;
    int32_t open(const DeviceEntry *entry) override;
    int32_t close() override;

    static constexpr int32_t BaudRate = 57600;
    static constexpr int32_t ReadTimeout = 2500;  // ms
    static constexpr int32_t WriteTimeout = 2500; // ms
};

} // namespace zdx
