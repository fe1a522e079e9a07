#include "fcgirequest.h"

#include "fcgiprotocol.h"

FCGIRequest::FCGIRequest(int requestId, quint8 flags, FCGIProtocol *protocol)
    : QObject(protocol)
    , m_requestId(requestId)
    , m_flags(flags)
    , m_protocol(protocol)
{
    m_stdoutBuffer.open(QIODevice::ReadWrite);
    m_stderrBuffer.open(QIODevice::ReadWrite);
}
