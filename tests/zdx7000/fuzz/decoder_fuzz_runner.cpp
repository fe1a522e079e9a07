// Seeded, bounded run of the decoder fuzz harness, for CTest: random byte streams plus mutations of
// valid frames made by the encoder, in random chunkings. Any invariant violation aborts.
//
//   decoder_fuzz_runner [iterations [seed]]      (defaults: 200000, 0x7000; CTest runs 150000)
//   decoder_fuzz_runner --corpus DIR             writes a few valid inputs as libFuzzer seeds
#include "decoderharness.h"

#include "protocol/varonprotocolencoder.h"

#include <chrono>
#include <cinttypes>
#include <fstream>
#include <random>
#include <string>

using namespace zdx;
using namespace zdx::fuzz;

namespace {

using Bytes = std::vector<uint8_t>;

class Generator
{
public:
    explicit Generator(uint64_t seed)
        : m_random(seed)
    {}

    uint32_t below(uint32_t n) { return n == 0 ? 0 : uint32_t(m_random() % n); }
    uint8_t byte() { return uint8_t(m_random()); }
    bool chance(uint32_t oneIn) { return below(oneIn) == 0; }

    // Random bytes, rich in start marks and zeros.
    Bytes randomBytes(size_t maxLength)
    {
        Bytes bytes(below(uint32_t(maxLength) + 1));
        const uint32_t bias = below(4);
        for (uint8_t &b : bytes) {
            const uint32_t r = below(8);
            b = r < bias ? (r & 1 ? StartMark : 0) : byte();
        }
        return bytes;
    }

    // A valid wire frame made by the encoder: a response of the command set, or arbitrary.
    Bytes validFrame(Pool &pool)
    {
        FrameHeader header{1, byte(), byte(),
                           chance(2) ? uint8_t(AccessRead) : uint8_t(AccessWrite)};
        Bytes payload;
        switch (below(6)) {
        case 0: // refusal
            header.command = 0;
            payload = randomBytes(4);
            break;
        case 1: // a byte value
            payload = {byte()};
            break;
        case 2: // one or two 16-bit values
            payload = randomBytes(0);
            for (uint32_t i = 0, n = 2 * (1 + below(2)); i < n; ++i) {
                payload.push_back(chance(3) ? StartMark : byte());
            }
            break;
        case 3: { // a name, maybe with more elements after it
            const uint32_t n = below(60);
            for (uint32_t i = 0; i < n; ++i) {
                payload.push_back(uint8_t(0x20 + below(0x5F)));
            }
            payload.push_back(0);
            const Bytes tail = randomBytes(12);
            payload.insert(payload.end(), tail.begin(), tail.end());
            break;
        }
        case 4: // long, up to the limit, often with checksums near 0xF0xx
            payload.assign(200 + below(55), chance(2) ? 0xFF : StartMark);
            break;
        default:
            payload = randomBytes(MaxPayloadLength);
            break;
        }
        if (payload.size() > size_t(MaxPayloadLength)) {
            payload.resize(MaxPayloadLength);
        }
        VaronProtocolEncoder encoder;
        Frame *out = pool.acquire();
        FrameElement element{ElementRaw, 0, uint16_t(payload.size()), "payload", payload.data()};
        FrameMessage message{&header, &element, 1, nullptr, 0};
        ZDX_FUZZ_CHECK(out != nullptr, "encoder pool exhausted");
        ZDX_FUZZ_CHECK(encoder.begin(out) == StatusOk, "encoder begin");
        ZDX_FUZZ_CHECK(encoder.add(&message) == StatusOk, "encoder add");
        ZDX_FUZZ_CHECK(encoder.finish() == StatusOk, "encoder finish");
        Bytes wire(out->data(), out->data() + out->length);
        ZDX_FUZZ_CHECK(wire.size() <= 521u, // the longest escaped frame
                       "escaped frame too long");
        giveBack(out);
        return wire;
    }

    void mutate(Bytes &bytes)
    {
        for (uint32_t i = 0, n = below(4); i < n && !bytes.empty(); ++i) {
            const size_t at = below(uint32_t(bytes.size()));
            switch (below(6)) {
            case 0:
                bytes[at] ^= uint8_t(1u << below(8));
                break;
            case 1:
                bytes.insert(bytes.begin() + long(at), StartMark);
                break;
            case 2:
                bytes.erase(bytes.begin() + long(at));
                break;
            case 3:
                bytes[at] = byte();
                break;
            case 4:
                bytes.resize(at);
                break;
            default:
                bytes.insert(bytes.begin() + long(at), byte());
                break;
            }
        }
    }

    // One harness input: two configuration bytes, then the received byte stream.
    Bytes input(Pool &pool)
    {
        Bytes in{byte(), byte()};
        if (chance(3)) {
            const Bytes noise = randomBytes(600);
            in.insert(in.end(), noise.begin(), noise.end());
            return in;
        }
        // Chunking mode 2 interleaves length bytes; keep valid frames contiguous more often.
        if (chance(2)) {
            in[0] &= 0x7F;
        }
        for (uint32_t frames = 1 + below(3); frames > 0; --frames) {
            if (chance(3)) {
                Bytes noise = randomBytes(8);
                for (uint8_t &b : noise) {
                    b = b == StartMark ? 0 : b;
                }
                in.insert(in.end(), noise.begin(), noise.end());
            }
            Bytes frame = validFrame(pool);
            if (chance(2)) {
                mutate(frame);
            }
            in.insert(in.end(), frame.begin(), frame.end());
        }
        return in;
    }

private:
    std::mt19937_64 m_random;
};

int writeCorpus(const std::string &dir)
{
    Generator generator(1);
    FramePool pool(std::make_unique<FrameAllocator>(DeviceFrameCapacity));
    pool.fill(1);
    for (int i = 0; i < 64; ++i) {
        Bytes in = generator.input(pool);
        std::ofstream file(dir + "/seed-" + std::to_string(i), std::ios::binary);
        file.write(reinterpret_cast<const char *>(in.data()), std::streamsize(in.size()));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--corpus") {
        return writeCorpus(argv[2]);
    }
    const uint64_t iterations = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 200000;
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 0x7000;

    FramePool encoderPool(std::make_unique<FrameAllocator>(DeviceFrameCapacity));
    encoderPool.fill(1);
    Generator generator(seed);
    const auto start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < iterations; ++i) {
        const Bytes in = generator.input(encoderPool);
        runDecoderHarness(in.data(), in.size());
    }
    // The edges: no input, configuration only.
    runDecoderHarness(nullptr, 0);
    const uint8_t config[] = {0xFF, 0xFF};
    runDecoderHarness(config, sizeof(config));
    ZDX_FUZZ_CHECK(encoderPool.inUse() == 0, "encoder pool frame lost");

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("decoder_fuzz_runner: %" PRIu64 " inputs from seed %#" PRIx64 " in %.1f s, no "
                "invariant violated\n",
                iterations, seed, seconds);
    return 0;
}
