// Reassembles one response frame from arbitrary chunks of received bytes, checks it and copies its
// values into the caller's variables.
#pragma once

#include "protocolcodec.h"

namespace zdx {

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
    enum SubState { Hunting, Length, Body, Complete, Framing };

    Frame *m_out = nullptr;
    Frame *m_in = nullptr;
    const uint8_t *m_cursor = nullptr;
    int32_t m_available = 0;
    int32_t m_count = 0;
    int32_t m_expected = 0;
    bool m_escape = false;
    bool m_pendingStart = false;
    SubState m_sub = Hunting;
};

} // namespace zdx
