// Request and response descriptions and the codec interfaces. Descriptions live on the caller's
// stack; only command, channel, access and element values travel on the wire.
#pragma once

#include "frame.h"

#include <cstdint>

namespace zdx {

enum Access : uint8_t
{
    AccessRead = 'R',
    AccessWrite = 'W',
};

// Element types: the low four bits of a fixed-size type are its size in bytes. Values are copied
// verbatim (little-endian on the wire, as in host memory on the supported platforms).
enum ElementType : uint8_t
{
    ElementU8 = 0x01,
    ElementU16 = 0x02,
    ElementU32 = 0x04,
    ElementU64 = 0x08,
    ElementS8 = 0x11,
    ElementS16 = 0x12,
    ElementS32 = 0x14,
    ElementS64 = 0x18,
    ElementF32 = 0x24,
    ElementF64 = 0x28,
    ElementText = 0x30, // NUL-terminated
    ElementRaw = 0x40,  // `length` bytes
};

struct FrameHeader
{
    int32_t version; // the header is used only when it is 1
    uint8_t command;
    uint8_t channel;
    uint8_t access;
};

struct FrameElement
{
    uint8_t type;
    uint8_t reserved;
    uint16_t length;  // bytes of the value; for text the size of the destination buffer
    const char *name; // for readers of the code only; never sent
    void *data;       // source when encoding; destination when decoding, or null for a pointer
};

struct FrameMessage
{
    FrameHeader *header;
    FrameElement *elements;
    int32_t count;
    Frame *retained; // out: the frame kept because an element points into it
    int32_t reserved;
};

// Size in bytes of a fixed-size element type (the low four bits of its code); 0 for text and raw,
// whose size is variable; -1 for a type not in the table (refused with status 6).
constexpr int32_t elementFixedSize(uint8_t type)
{
    switch (type) {
    case ElementU8:
    case ElementU16:
    case ElementU32:
    case ElementU64:
    case ElementS8:
    case ElementS16:
    case ElementS32:
    case ElementS64:
    case ElementF32:
    case ElementF64:
        return type & 0x0F;
    case ElementText:
    case ElementRaw:
        return 0;
    default:
        return -1;
    }
}

constexpr const char CodecName[] = "VaronProtocolCodec7000";

// Wire constants.
constexpr uint8_t StartMark = 0xF0;
constexpr int32_t FrameOverhead = 7; // start, length, command, channel, access, 2 checksum bytes
constexpr int32_t MaxPayloadLength = 254;
constexpr int32_t AssemblyCapacity = 523;

enum CodecDirection : int32_t
{
    DirectionEncoder = 1,
    DirectionDecoder = 2,
};

class IProtocolCodec
{
public:
    virtual ~IProtocolCodec() = default;
    int32_t version() const { return m_version; }
    int32_t direction() const { return m_direction; }
    const char *name() const { return m_name; }
    int32_t status() const { return m_status; }

protected:
    explicit IProtocolCodec(int32_t direction)
        : m_direction(direction)
    {}
    int32_t m_version = 1;
    int32_t m_direction;
    const char *m_name = CodecName;
    int32_t m_status = 1;
    int32_t m_reserved[2] = {0, 0};
};

class IProtocolEncoder : public IProtocolCodec
{
public:
    virtual int32_t begin(Frame *out) = 0;
    virtual int32_t add(FrameMessage *message) = 0;
    virtual int32_t finish() = 0;

protected:
    IProtocolEncoder()
        : IProtocolCodec(DirectionEncoder)
    {}
};

enum DecoderState : int32_t
{
    DecoderIdle = 1,
    DecoderNeedsInput = 2,
    DecoderHasInput = 3,
    DecoderFrameReady = 4,
    DecoderError = 5,
};

class IProtocolDecoder : public IProtocolCodec
{
public:
    virtual int32_t reset() = 0;
    virtual int32_t decode() = 0; // returns the decoder state
    virtual int32_t begin(Frame *out) = 0;
    virtual int32_t supply(Frame *in) = 0;
    virtual int32_t extract(FrameMessage *message) = 0;
    int32_t state() const { return m_state; }

protected:
    IProtocolDecoder()
        : IProtocolCodec(DirectionDecoder)
    {}
    int32_t m_state = DecoderIdle;
};

// The wire checksum: the sum of the unescaped bytes from the command to the end of the payload,
// modulo 65536 (stored little-endian after the payload).
uint16_t frameChecksum(const uint8_t *fromCommand, int32_t count);

} // namespace zdx
