// Fuzz harness for the protocol decoder, and building blocks for further harnesses (the device's
// receive cycle): a pool that checks the lending of its frames, a reader of the fuzz input, and
// response descriptions with checks of what extract made of them.
//
// Every invariant violation prints a line and calls abort(), so that libFuzzer, the sanitizers and
// the seeded CTest runner all see it. Header-only: include it into a fuzz target or a runner.
#pragma once

#include "protocol/bytes.h"
#include "protocol/pool.h"
#include "protocol/protocolcodec.h"
#include "protocol/varonprotocoldecoder.h"
#include "status.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zdx::fuzz {

[[noreturn]] inline void violation(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz invariant violated: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define ZDX_FUZZ_CHECK(condition, what)                                                            \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::zdx::fuzz::violation(what, __FILE__, __LINE__);                                      \
        }                                                                                          \
    } while (0)

// A FramePool that watches its frames: `lend` never hands out a frame that is already lent and
// never more frames than exist; `release` accepts only a lent frame of this pool (a second
// give-back is a fault of the code under test, even though the pool itself would ignore it).
class CheckedPool : public FramePool
{
public:
    CheckedPool(int32_t frames, int32_t capacity)
        : FramePool(std::make_unique<FrameAllocator>(capacity))
    {
        fill(frames);
        ZDX_FUZZ_CHECK(total() == frames, "pool fill");
    }

    ~CheckedPool() override
    {
        // Frames still lent would leak: every holder gives its frames back first.
        ZDX_FUZZ_CHECK(inUse() == 0 && m_lent.empty(), "pool destroyed with frames still lent");
    }

    // Acquires a frame and marks it lent; null when the pool is exhausted.
    Frame *lend()
    {
        Frame *frame = acquire();
        ZDX_FUZZ_CHECK(inUse() <= total(), "more frames lent than exist");
        if (!frame) {
            ZDX_FUZZ_CHECK(inUse() == total(), "acquire failed with free frames left");
            return nullptr;
        }
        ZDX_FUZZ_CHECK(frame->owner == this, "frame of another pool handed out");
        ZDX_FUZZ_CHECK(!isLent(frame), "frame handed out twice");
        m_lent.push_back(frame);
        ZDX_FUZZ_CHECK(static_cast<int32_t>(m_lent.size()) == inUse(), "pool in-use count");
        frame->state = FrameLent;
        return frame;
    }

    void release(Frame *frame) override
    {
        ZDX_FUZZ_CHECK(frame != nullptr, "null frame given back");
        ZDX_FUZZ_CHECK(frame->owner == this, "frame given back to the wrong pool");
        auto it = std::find(m_lent.begin(), m_lent.end(), frame);
        ZDX_FUZZ_CHECK(it != m_lent.end(), "frame given back twice (or never lent)");
        m_lent.erase(it);
        FramePool::release(frame);
        ZDX_FUZZ_CHECK(static_cast<int32_t>(m_lent.size()) == inUse(), "pool in-use count");
    }

    bool isLent(const Frame *frame) const
    {
        return std::find(m_lent.begin(), m_lent.end(), frame) != m_lent.end();
    }

    // Every frame is back.
    void checkAllReturned() const
    {
        ZDX_FUZZ_CHECK(inUse() == 0 && m_lent.empty(), "a pool frame was lost");
    }

private:
    std::vector<Frame *> m_lent;
};

// Reads the fuzz input front to back; past the end it yields zeros.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(data ? size : 0)
    {}

    bool empty() const { return m_position >= m_size; }
    size_t remaining() const { return m_size - m_position; }
    uint8_t byte() { return empty() ? 0 : m_data[m_position++]; }
    // Copies up to n bytes to `to`; returns how many.
    size_t take(uint8_t *to, size_t n)
    {
        n = std::min(n, remaining());
        if (n > 0) {
            std::memcpy(to, m_data + m_position, n);
        }
        m_position += n;
        return n;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_position = 0;
};

// A response description of one of several plausible shapes (those of the command set, text
// elements into small and large buffers, pointer elements, a type outside the table), with
// exactly-sized destination buffers so that the sanitizers catch any write beyond them.
class FuzzMessage
{
public:
    static constexpr int Layouts = 8;

    explicit FuzzMessage(int layout)
        : m_layout(layout % Layouts)
    {
        switch (m_layout) {
        case 0: // device status
            add(ElementU8, 1, true);
            break;
        case 1: // actual value
            add(ElementS16, 2, true);
            break;
        case 2: // setpoint range
            add(ElementS16, 2, true);
            add(ElementS16, 2, true);
            break;
        case 3: // component name into a small buffer
            add(ElementText, 8, true);
            break;
        case 4: // name into a larger buffer, then a byte
            add(ElementText, 32, true);
            add(ElementU8, 1, true);
            break;
        case 5: // pointers into the frame
            add(ElementS16, 0, false);
            add(ElementText, 0, false);
            add(ElementRaw, 3, false);
            break;
        case 6: // copy and pointers mixed
            add(ElementRaw, 5, true);
            add(ElementText, 0, false);
            add(ElementU32, 0, false);
            break;
        default: // a type outside the table after a valid one
            add(ElementU8, 1, true);
            add(0x03, 1, true);
            break;
        }
        header = FrameHeader{1, 0xAA, 0xBB, 0xCC};
        message = FrameMessage{&header, m_elements.data(), static_cast<int32_t>(m_elements.size()),
                               reinterpret_cast<Frame *>(uintptr_t(1)), 0};
    }

    FuzzMessage(const FuzzMessage &) = delete;
    FuzzMessage &operator=(const FuzzMessage &) = delete;

    // Checks what a successful extract did with the frame `out` (whose bytes it was given).
    void checkAfterSuccess(const Frame *out, const uint8_t *frameCopy, int32_t frameLength) const
    {
        ZDX_FUZZ_CHECK(frameLength >= FrameOverhead, "extracted frame too short");
        const int32_t payloadLength = frameCopy[1];
        const uint8_t *payload = out->data() + 5;
        const uint8_t *payloadEnd = payload + payloadLength;
        ZDX_FUZZ_CHECK(header.command == frameCopy[2] && header.channel == frameCopy[3] &&
                           header.access == frameCopy[4],
                       "header not copied from the frame");
        const bool refused = frameCopy[2] == 0;
        bool anyPointer = false;
        for (size_t i = 0; i < m_elements.size(); ++i) {
            const FrameElement &e = m_elements[i];
            if (!m_copies[i]) {
                if (refused) {
                    ZDX_FUZZ_CHECK(e.data == nullptr, "refusal decoded a pointer element");
                    continue;
                }
                anyPointer = true;
                const auto *p = static_cast<const uint8_t *>(e.data);
                ZDX_FUZZ_CHECK(p >= payload && p <= payloadEnd,
                               "pointer element outside the payload");
                if (e.type == ElementText) {
                    ZDX_FUZZ_CHECK(std::memchr(p, 0, payloadEnd - p) != nullptr,
                                   "text pointer without terminator inside the payload");
                } else {
                    ZDX_FUZZ_CHECK(p + e.length <= payloadEnd,
                                   "pointer element beyond the payload");
                }
            } else if (refused) {
                for (uint8_t b : m_buffers[i]) {
                    ZDX_FUZZ_CHECK(b == 0x5A, "refusal wrote into a variable");
                }
            } else if (e.type == ElementText && e.length > 0) {
                ZDX_FUZZ_CHECK(m_buffers[i][e.length - 1] == 0, "text buffer without terminator");
            }
        }
        if (anyPointer) {
            ZDX_FUZZ_CHECK(message.retained == out, "pointer elements without the retained frame");
        } else {
            ZDX_FUZZ_CHECK(message.retained == nullptr, "frame retained without pointer elements");
        }
    }

    FrameHeader header;
    FrameMessage message;

private:
    void add(uint8_t type, uint16_t length, bool copy)
    {
        m_buffers.emplace_back(copy ? length : 0, uint8_t(0x5A));
        m_copies.push_back(copy);
        m_elements.push_back(FrameElement{type, 0, length, "fuzz",
                                          copy && length > 0 ? m_buffers.back().data() : nullptr});
        if (copy && length == 0) {
            m_elements.back().data = nullptr;
        }
    }

    int m_layout;
    std::vector<std::vector<uint8_t>> m_buffers;
    std::vector<bool> m_copies;
    std::vector<FrameElement> m_elements;
};

// The input format of runDecoderHarness:
//   byte 0: bits 0-1 output/input frame capacity (3: a small 24-byte pool, else 523),
//           bits 2-4 response layout (FuzzMessage), bit 5 misuse (calls in wrong states),
//           bit 6-7 chunking: 0 fixed size from byte 1, 1 single bytes, 2 a length byte before
//           every chunk, 3 as much as an input frame holds;
//   byte 1: the fixed chunk size (mode 0: byte + 1), and bit 0 doubles as "reset between cycles";
//   then the bytes the decoder receives.
namespace harness {

constexpr int32_t PoolFrames = 4;
constexpr int MaxCycles = 64;

inline size_t nextChunkLength(FuzzInput &input, int mode, uint8_t fixed, int32_t capacity)
{
    size_t n;
    switch (mode) {
    case 0:
        n = size_t(fixed) + 1;
        break;
    case 1:
        n = 1;
        break;
    case 2:
        n = input.byte(); // 0 is a legal, empty input frame
        break;
    default:
        n = size_t(capacity);
        break;
    }
    return std::min(n, size_t(capacity));
}

} // namespace harness

inline void runDecoderHarness(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const uint8_t config = input.byte();
    const uint8_t chunkByte = input.byte();
    const int32_t capacity = (config & 3) == 3 ? 24 : DeviceFrameCapacity;
    const int layout = (config >> 2) & 7;
    const bool misuse = (config & 0x20) != 0;
    const int mode = config >> 6;
    const bool resetBetweenCycles = (chunkByte & 1) != 0;

    CheckedPool pool(harness::PoolFrames, capacity);
    {
        VaronProtocolDecoder decoder;
        std::vector<uint8_t> frameCopy(size_t(capacity) + 1);
        int cycle = 0;

        // Runs cycles while bytes are left, in the fuzz input or in an input frame the decoder
        // still holds after a complete frame.
        while ((!input.empty() || decoder.inputFrame()) && cycle < harness::MaxCycles) {
            ++cycle;
            Frame *out = pool.lend();
            ZDX_FUZZ_CHECK(out != nullptr, "pool exhausted at the start of a cycle");
            ZDX_FUZZ_CHECK(decoder.state() == DecoderIdle, "decoder not idle between cycles");
            ZDX_FUZZ_CHECK(decoder.begin(out) == StatusOk, "begin in state 1 failed");
            bool holdingOut = true;

            for (int step = 0; step < 4096; ++step) {
                const int32_t state = decoder.decode();
                ZDX_FUZZ_CHECK(state >= DecoderIdle && state <= DecoderError, "state out of range");
                ZDX_FUZZ_CHECK(state == decoder.state(), "decode result differs from the state");
                ZDX_FUZZ_CHECK(state != DecoderIdle && state != DecoderHasInput,
                               "decode ended in state 1 or 3");
                if (state == DecoderNeedsInput) {
                    ZDX_FUZZ_CHECK(decoder.inputFrame() == nullptr,
                                   "input frame kept when used up");
                    if (input.empty()) {
                        break; // incomplete frame: the holder gives up
                    }
                    if (misuse && (input.remaining() % 7) == 0) {
                        // A wrong call: extract or begin while input is needed, or supply(null).
                        FuzzMessage early(layout);
                        const int which = int(input.remaining() % 3);
                        const int32_t status = which == 0   ? decoder.extract(&early.message)
                                               : which == 1 ? decoder.begin(out)
                                                            : decoder.supply(nullptr);
                        ZDX_FUZZ_CHECK(status ==
                                           (which == 2 ? StatusNullArgument : StatusWrongState),
                                       "wrong call not refused");
                        ZDX_FUZZ_CHECK(decoder.state() == DecoderError, "wrong call left state 5");
                        ZDX_FUZZ_CHECK(decoder.decode() == DecoderError,
                                       "state 5 left without reset");
                        break;
                    }
                    Frame *in = pool.lend();
                    ZDX_FUZZ_CHECK(in != nullptr, "pool exhausted while receiving");
                    const size_t n = harness::nextChunkLength(input, mode, chunkByte, capacity);
                    in->length = static_cast<int32_t>(input.take(in->data(), n));
                    ZDX_FUZZ_CHECK(decoder.supply(in) == StatusOk, "supply in state 2 failed");
                    ZDX_FUZZ_CHECK(decoder.state() == DecoderHasInput,
                                   "supply did not give state 3");
                    continue;
                }
                if (state == DecoderFrameReady) {
                    const int32_t length = out->length;
                    ZDX_FUZZ_CHECK(length >= FrameOverhead && length <= capacity, "frame length");
                    ZDX_FUZZ_CHECK(length == out->data()[1] + FrameOverhead, "frame length vs L");
                    ZDX_FUZZ_CHECK(out->data()[0] == StartMark, "frame without start mark");
                    ZDX_FUZZ_CHECK(frameChecksum(out->data() + 2, length - 4) ==
                                       readLe16(out->data() + length - 2),
                                   "frame ready with a wrong checksum");
                    std::memcpy(frameCopy.data(), out->data(), size_t(length));

                    FuzzMessage response(layout);
                    const int32_t status = decoder.extract(&response.message);
                    if (status == StatusOk) {
                        holdingOut = false; // given back or handed over in `retained`
                        ZDX_FUZZ_CHECK(decoder.state() == DecoderIdle,
                                       "extract did not give state 1");
                        ZDX_FUZZ_CHECK(decoder.outputFrame() == nullptr, "extract kept the frame");
                        response.checkAfterSuccess(out, frameCopy.data(), length);
                        if (response.message.retained) {
                            ZDX_FUZZ_CHECK(pool.isLent(response.message.retained),
                                           "retained frame is not lent");
                            giveBack(response.message.retained);
                        } else {
                            ZDX_FUZZ_CHECK(!pool.isLent(out), "extract kept the frame lent");
                        }
                    } else {
                        ZDX_FUZZ_CHECK(status == StatusBadElementType ||
                                           status == StatusShortPayload,
                                       "unexpected extract status");
                        ZDX_FUZZ_CHECK(status != StatusBadElementType || layout == 7,
                                       "valid element type refused");
                        ZDX_FUZZ_CHECK(decoder.state() == DecoderError,
                                       "failed extract left state 5");
                        ZDX_FUZZ_CHECK(response.message.retained == nullptr,
                                       "failed extract retained a frame");
                        ZDX_FUZZ_CHECK(pool.isLent(out), "failed extract gave the frame back");
                    }
                    break;
                }
                // State 5.
                ZDX_FUZZ_CHECK(decoder.status() == StatusFramingError ||
                                   decoder.status() == StatusChecksumMismatch,
                               "unexpected decode status");
                break;
            }

            if (holdingOut) {
                giveBack(out); // the holder releases its frame after every failure
            }
            if (decoder.state() != DecoderIdle || resetBetweenCycles) {
                decoder.reset();
            }
            // Between cycles at most the held input frame is lent.
            ZDX_FUZZ_CHECK(pool.inUse() == (decoder.inputFrame() ? 1 : 0),
                           "frames lent between cycles");
        }

        decoder.reset();
        ZDX_FUZZ_CHECK(decoder.inputFrame() == nullptr && decoder.outputFrame() == nullptr,
                       "reset kept a frame");
        pool.checkAllReturned();
    }
    pool.checkAllReturned();
}

} // namespace zdx::fuzz
