// libFuzzer entry point for the device's receive cycle (built with TESSARO_FUZZ and Clang).
#include "receivecycleharness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zdx::fuzz::runReceiveCycleHarness(data, size);
    return 0;
}
