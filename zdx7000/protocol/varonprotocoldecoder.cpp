#include "varonprotocoldecoder.h"

#include "../status.h"
#include "bytes.h"
#include "pool.h"

#include <cstring>

namespace zdx {

VaronProtocolDecoder::VaronProtocolDecoder() = default;

VaronProtocolDecoder::~VaronProtocolDecoder()
{
    // A held input frame belongs to this decoder; the output frame belongs to its holder.
    giveBack(m_in);
    m_in = nullptr;
}

int32_t VaronProtocolDecoder::reset()
{
    giveBack(m_in);
    m_in = nullptr;
    m_out = nullptr; // its holder releases it
    m_state = DecoderIdle;
    m_status = 1;
    m_cursor = nullptr;
    m_available = 0;
    m_count = 0;
    m_expected = 0;
    m_capacity = 0;
    m_escape = false;
    m_pendingStart = false;
    m_sub = Hunting;
    return StatusOk;
}

int32_t VaronProtocolDecoder::fail(int32_t status)
{
    m_state = DecoderError;
    m_status = status;
    return status;
}

int32_t VaronProtocolDecoder::begin(Frame *out)
{
    if (m_state != DecoderIdle) {
        return fail(StatusWrongState);
    }
    if (!out) {
        return fail(StatusNullArgument);
    }
    m_out = out;
    m_capacity = frameCapacity(out);
    m_count = 0;
    m_expected = 0;
    m_escape = false; // the pending-start flag stays
    m_sub = Hunting;
    m_state = m_in ? DecoderHasInput : DecoderNeedsInput;
    return StatusOk;
}

int32_t VaronProtocolDecoder::supply(Frame *in)
{
    if (m_state != DecoderNeedsInput) {
        return fail(StatusWrongState);
    }
    giveBack(m_in);
    m_in = nullptr;
    if (!in) {
        return fail(StatusNullArgument);
    }
    m_in = in;
    m_cursor = in->data();
    // Never read beyond the input frame's block, whatever its length claims.
    const int32_t capacity = frameCapacity(in);
    m_available = in->length < 0 ? 0 : (in->length > capacity ? capacity : in->length);
    m_state = DecoderHasInput;
    return StatusOk;
}

bool VaronProtocolDecoder::store(uint8_t byte)
{
    if (m_count >= m_capacity) {
        return false;
    }
    m_out->data()[m_count++] = byte;
    return true;
}

int32_t VaronProtocolDecoder::decode()
{
    if (m_state != DecoderHasInput) {
        return m_state;
    }

    while (m_sub == Hunting || m_sub == Length || m_sub == Body) {
        if (m_sub == Hunting) {
            if (m_pendingStart) {
                // The start mark that ended the previous frame opens this one.
                m_pendingStart = false;
                if (!store(StartMark)) {
                    m_sub = Framing;
                    break;
                }
                m_sub = Length;
                continue;
            }
            if (m_available == 0) {
                break;
            }
            const uint8_t byte = *m_cursor++;
            --m_available;
            if (byte == StartMark) {
                if (!store(byte)) {
                    m_sub = Framing;
                    break;
                }
                m_sub = Length;
            }
            continue; // other bytes are noise
        }

        if (m_available == 0) {
            break;
        }
        const uint8_t byte = *m_cursor;

        if (m_sub == Length) {
            m_expected = byte + FrameOverhead;
            if (m_expected > m_capacity) {
                // A frame announced longer than the output frame can hold.
                m_sub = Framing;
                break;
            }
            m_sub = Body; // and treat this same byte by the body rule
        }

        // Body.
        if (m_escape && byte != StartMark) {
            // The stored 0xF0 was a new start mark: drop it from this frame and keep it pending.
            --m_count;
            m_escape = false;
            m_pendingStart = true;
            m_sub = Framing;
            break;
        }
        if (m_escape) {
            // Second half of a doubled 0xF0.
            m_escape = false;
            ++m_cursor;
            --m_available;
        } else {
            if (!store(byte)) {
                m_sub = Framing;
                break;
            }
            ++m_cursor;
            --m_available;
            if (byte == StartMark) {
                m_escape = true;
            }
        }
        // A frame whose last byte is a 0xF0 waits for its partner before it is complete.
        if (m_count == m_expected && !m_escape) {
            m_sub = Complete;
            break;
        }
    }

    if (m_available == 0 && m_in) {
        giveBack(m_in);
        m_in = nullptr;
        m_cursor = nullptr;
    }

    if (m_sub == Complete) {
        m_state = DecoderFrameReady;
        m_status = StatusOk;
        m_out->length = m_count;
        const uint8_t *data = m_out->data();
        const int32_t payloadLength = data[1];
        const uint16_t sum = frameChecksum(data + 2, payloadLength + 3);
        if (sum != readLe16(data + 5 + payloadLength)) {
            fail(StatusChecksumMismatch);
        }
    } else if (m_sub == Framing) {
        fail(StatusFramingError);
    } else {
        m_state = DecoderNeedsInput; // bytes stored so far stay for the next input
    }
    return m_state;
}

int32_t VaronProtocolDecoder::extract(FrameMessage *message)
{
    if (m_state != DecoderFrameReady) {
        return fail(StatusWrongState);
    }
    if (!message || (message->count > 0 && !message->elements)) {
        return fail(StatusNullArgument);
    }
    message->retained = nullptr;

    const uint8_t *data = m_out->data();
    const int32_t payloadEnd = 5 + data[1];
    const bool refused = data[2] == 0;

    if (!refused) {
        // First check that every element is known and fits inside the payload, so that a refused
        // response leaves all of the caller's variables untouched and nothing is read past it.
        int32_t position = 5;
        for (int32_t i = 0; i < message->count; ++i) {
            const FrameElement &element = message->elements[i];
            const int32_t fixedSize = elementFixedSize(element.type);
            if (fixedSize < 0) {
                return fail(StatusBadElementType);
            }
            int32_t size;
            if (element.type == ElementText) {
                const void *end = std::memchr(data + position, 0, payloadEnd - position);
                if (!end) {
                    return fail(StatusShortPayload); // no terminator inside the payload
                }
                size =
                    static_cast<int32_t>(static_cast<const uint8_t *>(end) - (data + position)) + 1;
            } else if (element.type == ElementRaw || element.data) {
                size = element.length;
            } else {
                size = fixedSize;
            }
            if (size > payloadEnd - position) {
                return fail(StatusShortPayload);
            }
            position += size;
        }
    }

    if (message->header && message->header->version == 1) {
        message->header->command = data[2];
        message->header->channel = data[3];
        message->header->access = data[4];
    }

    bool pointsIntoFrame = false;
    if (!refused) {
        int32_t position = 5;
        for (int32_t i = 0; i < message->count; ++i) {
            FrameElement &element = message->elements[i];
            const uint8_t *source = data + position;
            if (element.type == ElementText) {
                const int32_t textSize =
                    static_cast<int32_t>(std::strlen(reinterpret_cast<const char *>(source))) + 1;
                if (element.data) {
                    const int32_t copy = textSize < element.length ? textSize : element.length;
                    std::memcpy(element.data, source, copy);
                    if (element.length > 0) {
                        static_cast<uint8_t *>(element.data)[element.length - 1] = 0;
                    }
                } else {
                    element.data = const_cast<uint8_t *>(source);
                    pointsIntoFrame = true;
                }
                position += textSize;
                continue;
            }
            if (element.data) {
                std::memcpy(element.data, source, element.length);
            } else {
                if (element.type != ElementRaw) {
                    element.length = static_cast<uint16_t>(elementFixedSize(element.type));
                }
                element.data = const_cast<uint8_t *>(source);
                pointsIntoFrame = true;
            }
            position += element.length;
        }
    }

    if (pointsIntoFrame) {
        message->retained = m_out; // the caller gives it back when done
    } else {
        giveBack(m_out);
    }
    m_out = nullptr;
    m_state = DecoderIdle;
    m_status = StatusOk;
    return StatusOk;
}

} // namespace zdx
