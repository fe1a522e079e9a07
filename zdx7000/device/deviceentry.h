// One controller found by the device enumerator.
#pragma once

#include "io/iiodriver.h"

#include <cstdint>

namespace zdx {

constexpr int32_t DeviceEntryKind = 2;
constexpr int32_t DeviceStringSize = 128;
constexpr int32_t VendorIdVaron = 0x2E91;
constexpr int32_t AccessProblemSize = 256;

struct DeviceEntry
{
    int32_t kind = DeviceEntryKind;
    char description[DeviceStringSize] = {};  // at most 127 characters
    char serialNumber[DeviceStringSize] = {}; // at most 127 characters
    const PortEntry *port = nullptr;          // owned by the port enumerator
    DeviceEntry *next = nullptr;
    int32_t productId = 0;
    int32_t vendorId = 0;
    // Why the controller cannot be opened (no permission), for the user; empty when nothing is
    // known against it.
    char accessProblem[AccessProblemSize] = {};
};

} // namespace zdx
