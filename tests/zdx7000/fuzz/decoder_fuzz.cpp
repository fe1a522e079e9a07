// libFuzzer entry point for the protocol decoder (built with -DTESSARO_FUZZ=ON and Clang; see
// scripts/fuzz). The same harness runs seeded and bounded in CTest (decoder_fuzz_runner.cpp).
#include "decoderharness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zdx::fuzz::runDecoderHarness(data, size);
    return 0;
}
