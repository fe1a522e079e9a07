// libFuzzer entry point for the FastCGI record parser (built with -DTESSARO_FUZZ=ON and Clang).
// The same harness runs seeded and bounded in CTest (fcgi_fuzz_runner.cpp).
#include "fcgiharness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fcgifuzz::runHarness(data, size);
    return 0;
}
