// Reassembles one response frame from arbitrary chunks of received bytes, checks it and copies its
// values into the caller's variables.
#pragma once

#include "protocolcodec.h"

namespace zdx {

// Frame ownership: the decoder holds an input frame from `supply` until its last byte is consumed
// (or `reset`/destruction) and gives it back to its pool. The output frame stays with the holder
// that passed it to `begin`; the decoder gives it back only from a successful `extract` (or hands
// it over in `retained`). After any failure (state 5, or an `extract` refusal) the holder releases
// it.
class VaronProtocolDecoder : public IProtocolDecoder
{
public:
    VaronProtocolDecoder();
    ~VaronProtocolDecoder() override;

    int32_t reset() override;
    int32_t decode() override;
    int32_t begin(Frame *out) override;
    int32_t supply(Frame *in) override;
    int32_t extract(FrameMessage *message) override;

    // The frame being assembled or the input frame still held (null when none); for tests.
    Frame *outputFrame() const { return m_out; }
    Frame *inputFrame() const { return m_in; }

private:
    enum SubState
    {
        Hunting,
        Length,
        Body,
        Complete,
        Framing
    };

    int32_t fail(int32_t status); // state 5 with that status
    bool store(uint8_t byte);     // false when the output frame is full

    Frame *m_out = nullptr;
    Frame *m_in = nullptr;
    const uint8_t *m_cursor = nullptr;
    int32_t m_available = 0;
    int32_t m_count = 0;
    int32_t m_expected = 0;
    int32_t m_capacity = 0; // data bytes of the output frame
    bool m_escape = false;
    bool m_pendingStart = false;
    SubState m_sub = Hunting;
};

} // namespace zdx
