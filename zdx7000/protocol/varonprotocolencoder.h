// Turns request descriptions into escaped wire frames.
#pragma once

#include "protocolcodec.h"

namespace zdx {

class VaronProtocolEncoder : public IProtocolEncoder
{
public:
    VaronProtocolEncoder();
    // Starts a frame into `out`; calling it again restarts.
    int32_t begin(Frame *out) override;
    // Appends header bytes (version 1 only) and element values; may be called more than once.
    int32_t add(FrameMessage *message) override;
    // Sets the length, appends the checksum and writes the escaped frame into the output frame.
    int32_t finish() override;

private:
    Frame *m_out = nullptr;
    int32_t m_count = 0;
    uint8_t m_buffer[AssemblyCapacity];
};

} // namespace zdx
