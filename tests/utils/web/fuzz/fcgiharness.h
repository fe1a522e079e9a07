// Fuzz harness for the FastCGI record parser: an input is a chunking seed followed by the byte
// stream a peer sends. The stream is fed in chunks to one connection's protocol object through an
// in-memory device; after every chunk the bytes held for the peer must stay bounded and every
// record written back must be well formed. Any violation prints a line and aborts, so libFuzzer,
// the sanitizers and the seeded CTest runner all see it. Header-only: include it into a fuzz
// target or a runner.
#pragma once

#include "utils/web/fcgiframe.h"
#include "utils/web/fcgiprotocol.h"
#include "utils/web/fcgirequest.h"
#include "utils/web/fcgiserver.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QPointer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fcgifuzz {

[[noreturn]] inline void violation(const char *what, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz invariant violated: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FCGI_FUZZ_CHECK(condition, what)                                                           \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fcgifuzz::violation(what, __FILE__, __LINE__);                                       \
    } while (0)

// A sequential device fed by hand: what the peer sends goes in with feed(), what the program
// writes is collected.
class ChunkDevice : public QIODevice
{
public:
    ChunkDevice() { open(QIODevice::ReadWrite); }

    void feed(const char *data, size_t size)
    {
        m_pending.append(data, int(size));
        emit readyRead();
    }
    QByteArray takeWritten()
    {
        QByteArray written;
        written.swap(m_written);
        return written;
    }
    qint64 unread() const { return bytesAvailable(); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return m_pending.size() + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const int n = int(qMin<qint64>(maxSize, m_pending.size()));
        std::memcpy(data, m_pending.constData(), size_t(n));
        m_pending.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_written.append(data, int(size));
        return size;
    }

private:
    QByteArray m_pending;
    QByteArray m_written;
};

// Checks that the program's output is a sequence of complete, well-formed records and returns how
// many END_REQUEST records it held.
inline int checkOutput(const QByteArray &out)
{
    int ends = 0;
    int pos = 0;
    const auto *bytes = reinterpret_cast<const uchar *>(out.constData());
    while (pos < out.size()) {
        FCGI_FUZZ_CHECK(out.size() - pos >= FCGIFrame::HeaderLength, "output record cut short");
        const uchar *h = bytes + pos;
        FCGI_FUZZ_CHECK(h[0] == FCGI::Version1, "output version");
        const int type = h[1];
        FCGI_FUZZ_CHECK(type == FCGI::EndRequest || type == FCGI::Stdout || type == FCGI::Stderr ||
                            type == FCGI::UnknownType,
                        "output record type");
        const int length = h[4] << 8 | h[5];
        const int padding = h[6];
        FCGI_FUZZ_CHECK((length + padding) % 8 == 0 && padding < 8, "output padding");
        FCGI_FUZZ_CHECK(out.size() - pos >= FCGIFrame::HeaderLength + length + padding,
                        "output record body cut short");
        if (type == FCGI::EndRequest || type == FCGI::UnknownType)
            FCGI_FUZZ_CHECK(length == 8, "END_REQUEST / UNKNOWN_TYPE body length");
        ends += type == FCGI::EndRequest;
        pos += FCGIFrame::HeaderLength + length + padding;
    }
    return ends;
}

// The most a connection may hold for its peer: one record's body and every open request's
// parameters (collected stream, then the parsed pairs, never both in full).
constexpr qint64 MaxHeldBytes =
    FCGIFrame::MaxContentLength + FCGIFrame::MaxPaddingLength +
    qint64(FCGIProtocol::MaxOpenRequests) * FCGIProtocol::MaxParamsStreamLength;

inline void ensureApplication()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "fcgi_fuzz";
        static char *argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
}

inline void runHarness(const uint8_t *data, size_t size)
{
    ensureApplication();
    if (size < 2)
        return;
    // Chunk sizes come from a small generator seeded by the first two bytes.
    uint32_t state = uint32_t(data[0]) << 8 | data[1];
    const uint32_t maxChunk = (state & 7) == 0 ? uint32_t(size) : 1u + (state & 0x3f) * 3;
    data += 2;
    size -= 2;

    FCGIServer server;
    int handled = 0;
    server.setHandler([&handled](FCGIRequest *request) {
        ++handled;
        // The answer echoes the parameters and, on request, grows past one record.
        for (auto it = request->params().cbegin(); it != request->params().cend(); ++it)
            request->stdoutBuffer().write(it.key() + '=' + it.value() + '\n');
        const int extra = request->param("SIZE").toInt();
        if (extra > 0)
            request->stdoutBuffer().write(QByteArray(qMin(extra, 200000), 'o'));
        if (request->params().contains("ERR"))
            request->stderrBuffer().write(request->param("ERR"));
    });
    auto *device = new ChunkDevice;
    QPointer<FCGIProtocol> protocol = new FCGIProtocol(device, &server);
    int ends = 0;
    size_t pos = 0;
    while (pos < size && protocol && device->isOpen()) {
        state = state * 1103515245u + 12345u;
        const size_t chunk = qMin<size_t>(size - pos, 1 + (state >> 8) % maxChunk);
        device->feed(reinterpret_cast<const char *>(data) + pos, chunk);
        pos += chunk;
        if (!protocol)
            break;
        FCGI_FUZZ_CHECK(protocol->heldBytes() <= MaxHeldBytes, "held bytes unbounded");
        FCGI_FUZZ_CHECK(protocol->openRequestCount() <= FCGIProtocol::MaxOpenRequests,
                        "open requests unbounded");
        // A complete record is never left unread while the connection is open.
        if (device->isOpen() && device->unread() >= FCGIFrame::HeaderLength) {
            char header[FCGIFrame::HeaderLength];
            FCGI_FUZZ_CHECK(device->peek(header, sizeof header) == sizeof header, "peek");
            const int body = (uchar(header[4]) << 8 | uchar(header[5])) + uchar(header[6]);
            FCGI_FUZZ_CHECK(device->unread() < FCGIFrame::HeaderLength + body,
                            "complete record left unread");
        }
        ends += checkOutput(device->takeWritten());
    }
    FCGI_FUZZ_CHECK(ends <= handled + int(size / FCGIFrame::HeaderLength),
                    "more END_REQUEST records than requests");
    delete protocol.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace fcgifuzz
