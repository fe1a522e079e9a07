#include "fcgiframe.h"

#include <cstring>
#include <new>

FCGIFrame::FCGIFrame(quint8 type, int requestId)
{
    setType(type);
    setRequestId(requestId);
}

void FCGIFrame::setRequestId(int requestId)
{
    m_header[2] = uchar(requestId >> 8);
    m_header[3] = uchar(requestId);
}

namespace {

// The padding that rounds n content bytes up to a multiple of 8.
int paddingFor(int n)
{
    return (8 - n % 8) % 8;
}

} // namespace

int FCGIFrame::setLengths(int n)
{
    n = qBound(0, n, MaxContentLength);
    const int padding = paddingFor(n);
    m_header[0] = FCGI::Version1;
    m_header[4] = uchar(n >> 8);
    m_header[5] = uchar(n);
    m_header[6] = uchar(padding);
    m_header[7] = 0;
    return padding;
}

int FCGIFrame::setContent(int n, const char *source)
{
    n = qBound(0, n, MaxContentLength);
    const int padding = paddingFor(n);
    if (!reserve(n + padding))
        return -1;
    if (source && n > 0)
        std::memcpy(m_buffer.get(), source, size_t(n));
    if (padding > 0)
        std::memset(m_buffer.get() + n, 0, size_t(padding));
    setLengths(n);
    return n;
}

bool FCGIFrame::reserve(int n)
{
    if (n <= m_capacity)
        return true;
    if (n > MaxContentLength + MaxPaddingLength)
        return false;
    // The old bytes are not kept: a reservation always precedes a complete refill.
    std::unique_ptr<char[]> grown(new (std::nothrow) char[size_t(n)]);
    if (!grown)
        return false;
    m_buffer = std::move(grown);
    m_capacity = n;
    return true;
}
