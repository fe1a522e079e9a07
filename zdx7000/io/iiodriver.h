// The byte-stream I/O driver under a device: it knows nothing of frames or commands, only of ports,
// time-outs and buffers of bytes.
#pragma once

#include "protocol/frame.h"

#include <cstdint>

namespace zdx {

class Pool;

constexpr int32_t PortEntryKind = 1;
constexpr int32_t LinkNameSize = 120;

// One USB port found by a driver enumerator. Exactly 128 bytes, compared byte for byte to notice
// another device taking the port's place.
struct PortEntry
{
    int32_t kind;                // always PortEntryKind
    int32_t index;               // device number in the USB library's list
    char linkName[LinkNameSize]; // NUL-terminated, at most 119 characters, the rest zero
};
static_assert(sizeof(PortEntry) == 128, "PortEntry is compared as 128 bytes");

enum DriverOption : int32_t
{
    OptionSetReadTimeout = 1,
    OptionGetReadTimeout = 2,
    OptionSetWriteTimeout = 3,
    OptionGetWriteTimeout = 4,
    OptionSetBaudRate = 5,
    OptionFlush = 6, // both directions; the value is not read and may be null
};

class IIODriverEnumerator
{
public:
    virtual ~IIODriverEnumerator() = default;
    virtual void refresh() = 0;
    virtual bool next() = 0;
    virtual const PortEntry *current() const = 0;
};

class IIODriver
{
public:
    virtual ~IIODriver() = default;
    // A new, empty enumerator (not yet refreshed), owned by the caller.
    virtual int32_t createEnumerator(IIODriverEnumerator **out) = 0;
    // The pool reads go into (not owned); null gives a held pending frame back.
    virtual int32_t setReceivePool(Pool *pool) = 0;
    virtual int32_t open(const PortEntry *entry) = 0;
    virtual int32_t close() = 0;
    virtual int32_t control(int32_t option, int32_t *value) = 0;
    // Writes the frame's bytes and always gives the frame back to its pool.
    virtual int32_t write(Frame *frame) = 0;
    // Hands out the next filled receive frame: part of a frame, one frame, or more.
    virtual int32_t read(Frame **out) = 0;

    // 1: a byte-stream driver, the only kind a device accepts.
    int32_t kind() const { return m_kind; }

protected:
    int32_t m_kind = 1;
};

} // namespace zdx
