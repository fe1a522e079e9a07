// One FastCGI record: the 8-byte header as it travels on the wire, and a content buffer that
// holds content followed by padding. The buffer only grows, so one frame can be reused for every
// record of a connection without allocating again.
#pragma once

#include <QtGlobal>

#include <memory>

// Record types, role and flag codes of FastCGI 1.0.
namespace FCGI {
enum RecordType : quint8
{
    BeginRequest = 1,
    AbortRequest = 2,
    EndRequest = 3,
    Params = 4,
    Stdin = 5,
    Stdout = 6,
    Stderr = 7,
    Data = 8,
    GetValues = 9,
    GetValuesResult = 10,
    UnknownType = 11,
};
constexpr quint8 Version1 = 1;
constexpr int RoleResponder = 1;
constexpr quint8 FlagKeepConnection = 1;
constexpr quint8 RequestComplete = 0;
} // namespace FCGI

class FCGIFrame
{
public:
    static constexpr int HeaderLength = 8;
    static constexpr int MaxContentLength = 65535;
    static constexpr int MaxPaddingLength = 255;
    // The longest record a peer can declare.
    static constexpr int MaxRecordLength = HeaderLength + MaxContentLength + MaxPaddingLength;

    FCGIFrame() = default;
    // An outgoing record of that type and request id, without content.
    FCGIFrame(quint8 type, int requestId);
    FCGIFrame(const FCGIFrame &) = delete;
    FCGIFrame &operator=(const FCGIFrame &) = delete;

    // The raw header bytes: the reader fills them in place, the writer sends them as they are.
    uchar *header() { return m_header; }
    const uchar *header() const { return m_header; }

    int version() const { return m_header[0]; }
    int type() const { return m_header[1]; }
    int requestId() const { return m_header[2] << 8 | m_header[3]; }
    int contentLength() const { return m_header[4] << 8 | m_header[5]; }
    int paddingLength() const { return m_header[6]; }
    int bodyLength() const { return contentLength() + paddingLength(); }

    void setType(quint8 type) { m_header[1] = type; }
    void setRequestId(int requestId);

    // Sets n content bytes, copied from source when it is given, and the padding that rounds the
    // body up to a multiple of 8 (zero bytes). n is clipped to MaxContentLength; returns the
    // clipped n, or -1 when the buffer could not grow.
    int setContent(int n, const char *source = nullptr);
    // Sets only the header's lengths (and version) for n content bytes, clipped as above, for a
    // writer that puts the content elsewhere; returns the padding length.
    int setLengths(int n);
    // Makes room for n body bytes to be read in; false when the allocation failed.
    bool reserve(int n);

    char *data() { return m_buffer.get(); }
    const char *data() const { return m_buffer.get(); }
    int capacity() const { return m_capacity; }

private:
    uchar m_header[HeaderLength] = {FCGI::Version1, 0, 0, 0, 0, 0, 0, 0};
    std::unique_ptr<char[]> m_buffer;
    int m_capacity = 0;
};
