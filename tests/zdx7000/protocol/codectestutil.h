// Helpers shared by the codec tests: pools like the device's, encoding a request into bytes, and
// feeding bytes to the decoder in chunks.
#pragma once

#include "protocol/bytes.h"
#include "protocol/pool.h"
#include "protocol/protocolcodec.h"
#include "protocol/varonprotocoldecoder.h"
#include "protocol/varonprotocolencoder.h"
#include "status.h"
#include "support/wireframe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace zdx::test {

// A FramePool of `frames` frames of `capacity` data bytes, as the device makes them.
inline std::unique_ptr<FramePool> makePool(int32_t frames = 4,
                                           int32_t capacity = DeviceFrameCapacity)
{
    auto pool = std::make_unique<FramePool>(std::make_unique<FrameAllocator>(capacity));
    pool->fill(frames);
    return pool;
}

inline Frame *lend(Pool &pool)
{
    Frame *frame = pool.acquire();
    if (frame) {
        frame->state = FrameLent;
    }
    return frame;
}

inline Bytes frameBytes(const Frame *frame)
{
    return Bytes(frame->data(), frame->data() + frame->length);
}

inline FrameElement element(uint8_t type, uint16_t length, void *data, const char *name = "value")
{
    return FrameElement{type, 0, length, name, data};
}

// Encodes header plus elements through a frame of `pool`; returns the wire bytes (empty on failure,
// with `status` set). The frame goes back to the pool.
inline Bytes encode(Pool &pool, FrameHeader header, std::vector<FrameElement> elements,
                    int32_t *status = nullptr)
{
    VaronProtocolEncoder encoder;
    Frame *out = lend(pool);
    EXPECT_NE(out, nullptr);
    if (!out) {
        return {};
    }
    FrameMessage message{&header, elements.data(), static_cast<int32_t>(elements.size()), nullptr,
                         0};
    int32_t result = encoder.begin(out);
    if (result == StatusOk) {
        result = encoder.add(&message);
    }
    if (result == StatusOk) {
        result = encoder.finish();
    }
    Bytes bytes;
    if (result == StatusOk) {
        bytes = frameBytes(out);
    }
    giveBack(out);
    if (status) {
        *status = result;
    }
    return bytes;
}

// Drives a decoder the way the device's receive cycle does: one output frame, input frames of at
// most `chunk` bytes each from `input`, until the decoder is no longer asking for input (or the
// input is used up). The output frame stays with the caller (`out`).
struct DecodeRun
{
    int32_t state = 0;
    size_t consumedChunks = 0;
};

inline DecodeRun feed(VaronProtocolDecoder &decoder, Pool &rxPool, Frame *out, const Bytes &input,
                      size_t chunk, size_t *offset = nullptr)
{
    DecodeRun run;
    size_t position = offset ? *offset : 0;
    if (decoder.state() == DecoderIdle) {
        EXPECT_EQ(decoder.begin(out), StatusOk);
    }
    for (;;) {
        run.state = decoder.decode();
        if (run.state != DecoderNeedsInput || position >= input.size()) {
            break;
        }
        Frame *in = lend(rxPool);
        EXPECT_NE(in, nullptr);
        if (!in) {
            break;
        }
        const size_t n = std::min(chunk, input.size() - position);
        std::memcpy(in->data(), input.data() + position, n);
        in->length = static_cast<int32_t>(n);
        position += n;
        EXPECT_EQ(decoder.supply(in), StatusOk);
        ++run.consumedChunks;
    }
    if (offset) {
        *offset = position;
    }
    return run;
}

} // namespace zdx::test
