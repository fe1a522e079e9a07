// Seeded, bounded run of the receive-cycle harness for CTest: streams of valid answers, damaged
// answers, noise and stray start marks, delivered in random chunks. Any invariant violation aborts.
//
//   receivecycle_fuzz_runner [iterations [seed]]
#include "receivecycleharness.h"
#include "support/wireframe.h"

#include <cinttypes>
#include <random>
#include <string>

namespace {

using zdx::test::Bytes;

Bytes wireFrame(uint8_t command, uint8_t channel, const Bytes &payload)
{
    return zdx::test::wireFrame(command, channel, zdx::AccessRead, payload);
}

Bytes makeInput(std::mt19937_64 &random)
{
    auto below = [&](uint32_t n) { return uint32_t(random() % n); };
    Bytes data{uint8_t(random()), uint8_t(below(3) == 0 ? random() : 0)};
    const uint32_t parts = 1 + below(10);
    for (uint32_t p = 0; p < parts; ++p) {
        Bytes part;
        switch (below(6)) {
        case 0:
            part = wireFrame(0x81, 1, {uint8_t(random()), uint8_t(random())});
            break;
        case 1: {
            Bytes name(below(20), 'a');
            for (uint8_t &c : name)
                c = uint8_t(below(4) == 0 ? 0xF0 : 'a' + below(26));
            if (below(2))
                name.push_back(0);
            part = wireFrame(0x80, 1, name);
            break;
        }
        case 2:
            part = wireFrame(below(4) ? 0x84 : 0x00, 1, Bytes(below(6), uint8_t(random())));
            break;
        case 3:
            part.resize(below(12));
            for (uint8_t &b : part)
                b = below(3) == 0 ? zdx::StartMark : uint8_t(random());
            break;
        default:
            part =
                wireFrame(uint8_t(random()), uint8_t(random()), Bytes(below(8), uint8_t(random())));
            break;
        }
        if (!part.empty() && below(4) == 0)
            part[below(uint32_t(part.size()))] ^= uint8_t(1 + below(255)); // damage
        if (!part.empty() && below(8) == 0)
            part.resize(below(uint32_t(part.size()))); // cut short
        data.insert(data.end(), part.begin(), part.end());
    }
    return data;
}

} // namespace

int main(int argc, char **argv)
{
    const long iterations = argc > 1 ? std::stol(argv[1]) : 20000;
    const uint64_t seed = argc > 2 ? std::stoull(argv[2], nullptr, 0) : 0x7100;
    std::mt19937_64 random(seed);
    for (long i = 0; i < iterations; ++i) {
        const Bytes data = makeInput(random);
        zdx::fuzz::runReceiveCycleHarness(data.data(), data.size());
    }
    std::printf("receive cycle: %ld inputs, seed 0x%" PRIx64 ", no invariant violated\n",
                iterations, seed);
    return 0;
}
