#include "fcgiprotocol.h"

#include "fcgirequest.h"
#include "fcgiserver.h"

#include <QBuffer>
#include <QDebug>
#include <QTimer>

#include <cstring>

namespace {

// Reads one length of the name-value encoding at pos: one byte with the top bit clear, else four
// bytes big-endian with the top bit masked off. False when the bytes are not there.
bool readLength(const QByteArray &stream, qint64 &pos, qint64 &length)
{
    const qint64 size = stream.size();
    if (pos >= size)
        return false;
    const auto byteAt = [&](qint64 i) { return quint32(uchar(stream.at(int(i)))); };
    const quint32 first = byteAt(pos);
    if (!(first & 0x80)) {
        length = first;
        pos += 1;
        return true;
    }
    if (size - pos < 4)
        return false;
    length = qint64((first & 0x7f) << 24 | byteAt(pos + 1) << 16 | byteAt(pos + 2) << 8 |
                    byteAt(pos + 3));
    pos += 4;
    return true;
}

} // namespace

FCGIProtocol::FCGIProtocol(QIODevice *device, FCGIServer *server)
    : QObject(server)
    , m_server(server)
    , m_socket(device)
    , m_stallTimer(new QTimer(this))
{
    m_socket->setParent(this);
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setInterval(server ? server->stallTimeout() : FCGIServer::DefaultStallTimeout);
    connect(m_stallTimer, &QTimer::timeout, this, [this] {
        qWarning("FCGIProtocol::dataReady: record incomplete for %d ms", m_stallTimer->interval());
        terminateSession();
    });
    connect(m_socket, &QIODevice::readyRead, this, &FCGIProtocol::dataReady);
    if (auto *socket = qobject_cast<QAbstractSocket *>(m_socket)) {
        // The socket's buffer need hold little more than one record: complete records are taken
        // out at every readyRead, and the kernel holds back the rest of a fast sender.
        socket->setReadBufferSize(4 * FCGIFrame::MaxRecordLength);
        connect(socket, &QAbstractSocket::errorOccurred, this, &FCGIProtocol::clientError);
        connect(socket, &QAbstractSocket::disconnected, this, &FCGIProtocol::clientDisconnected);
    }
}

FCGIProtocol::~FCGIProtocol() = default;

void FCGIProtocol::dataReady()
{
    while (!m_closing && m_socket->bytesAvailable() >= FCGIFrame::HeaderLength) {
        uchar header[FCGIFrame::HeaderLength];
        if (m_socket->peek(reinterpret_cast<char *>(header), FCGIFrame::HeaderLength) !=
                FCGIFrame::HeaderLength ||
            header[0] != FCGI::Version1) {
            terminateSession();
            return;
        }
        const int bodyLength = (header[4] << 8 | header[5]) + header[6];
        if (m_socket->bytesAvailable() < FCGIFrame::HeaderLength + bodyLength)
            break; // the rest of the record is still on its way
        if (m_socket->read(reinterpret_cast<char *>(m_frame.header()), FCGIFrame::HeaderLength) !=
                FCGIFrame::HeaderLength ||
            !m_frame.reserve(bodyLength) ||
            (bodyLength > 0 && m_socket->read(m_frame.data(), bodyLength) != bodyLength)) {
            terminateSession();
            return;
        }
        if (!handleRecord()) {
            terminateSession();
            return;
        }
    }
    if (m_closing)
        return;
    if (!flushOutput()) {
        terminateSession();
        return;
    }
    // A peer that starts a record and never finishes it would hold the connection for good.
    if (m_socket->bytesAvailable() == 0)
        m_stallTimer->stop();
    else if (!m_stallTimer->isActive())
        m_stallTimer->start();
}

bool FCGIProtocol::handleRecord()
{
    const int requestId = m_frame.requestId();
    FCGIRequest *request = m_requests.value(requestId);
    const int type = m_frame.type();
    if (!request && type != FCGI::BeginRequest)
        return false; // unknown requests and management records (id 0) alike
    switch (type) {
    case FCGI::BeginRequest:
        return beginRequest(requestId);
    case FCGI::AbortRequest:
        return abortRequest(request);
    case FCGI::Params:
        return collectParams(request);
    case FCGI::Stdin:
        // Request bodies are not used by any page.
        return m_frame.contentLength() > 0 || respond(request);
    default:
        return writeUnknownType(requestId, type);
    }
}

bool FCGIProtocol::beginRequest(int requestId)
{
    // role (16 bits, big-endian), flags, 5 reserved bytes
    if (m_frame.contentLength() < 8)
        return false;
    const auto *body = reinterpret_cast<const uchar *>(m_frame.data());
    const int role = body[0] << 8 | body[1];
    if (role != FCGI::RoleResponder)
        return false;
    if (FCGIRequest *previous = m_requests.take(requestId))
        previous->deleteLater();
    if (m_requests.size() >= MaxOpenRequests) {
        qWarning("FCGIProtocol::beginRequest: more than %d open requests", MaxOpenRequests);
        return false;
    }
    const quint8 flags = body[2];
    if (flags & FCGI::FlagKeepConnection)
        m_keepConnection = true;
    m_requests.insert(requestId, new FCGIRequest(requestId, flags, this));
    return true;
}

bool FCGIProtocol::abortRequest(FCGIRequest *request)
{
    writeEndRequest(request->requestId(), request->appStatus());
    finishRequest(request);
    return true;
}

bool FCGIProtocol::collectParams(FCGIRequest *request)
{
    const int length = m_frame.contentLength();
    if (length == 0) {
        // The end of a stream; one after the end changes nothing.
        request->m_paramsComplete = true;
        parseCollectedParams(request);
        return true;
    }
    // A pair may have been cut anywhere, even inside its lengths: the bytes are only parsed once
    // the stream has ended. A stream sent after the end of the first one adds its pairs likewise.
    request->m_paramsComplete = false;
    request->m_paramsBytes += length;
    if (request->m_paramsBytes > MaxParamsStreamLength) {
        qWarning("FCGIProtocol::collectParams: parameters longer than %d bytes",
                 MaxParamsStreamLength);
        return false;
    }
    request->m_paramsStream.append(m_frame.data(), length);
    return true;
}

void FCGIProtocol::parseCollectedParams(FCGIRequest *request)
{
    if (!parseParams(request->m_paramsStream, request->m_params))
        qDebug("FCGIProtocol::collectParams: the parameter stream ends inside a pair");
    request->m_paramsStream = QByteArray();
}

bool FCGIProtocol::parseParams(const QByteArray &stream, QMap<QByteArray, QByteArray> &params)
{
    const qint64 size = stream.size();
    qint64 pos = 0;
    while (size - pos >= 2) {
        qint64 nameLength = 0;
        qint64 valueLength = 0;
        if (!readLength(stream, pos, nameLength) || !readLength(stream, pos, valueLength))
            return false;
        // Compared as differences so that 31-bit lengths cannot overflow.
        if (nameLength > size - pos || valueLength > size - pos - nameLength)
            return false;
        if (nameLength > 0) {
            params.insert(stream.mid(int(pos), int(nameLength)),
                          stream.mid(int(pos + nameLength), int(valueLength)));
        }
        pos += nameLength + valueLength;
    }
    return pos == size;
}

bool FCGIProtocol::respond(FCGIRequest *request)
{
    if (!m_server || !m_server->handler())
        return false;
    if (!request->m_paramsComplete) {
        // Tolerated: a peer that never ended its parameter stream gets what it sent.
        request->m_paramsComplete = true;
        parseCollectedParams(request);
    }
    m_server->handler()(request);

    QBuffer &out = request->stdoutBuffer();
    QBuffer &err = request->stderrBuffer();
    out.seek(0);
    err.seek(0);
    while (!out.atEnd() || !err.atEnd()) {
        if (!out.atEnd())
            writeStdout(request->requestId(), out, FCGIFrame::MaxContentLength);
        if (!err.atEnd())
            writeStderr(request->requestId(), err, FCGIFrame::MaxContentLength);
    }
    writeStdout(request->requestId(), out, 0);
    writeStderr(request->requestId(), err, 0);
    writeEndRequest(request->requestId(), request->appStatus());
    finishRequest(request);
    return true;
}

void FCGIProtocol::finishRequest(FCGIRequest *request)
{
    m_requests.remove(request->requestId());
    request->deleteLater();
    closeWhenIdle();
}

void FCGIProtocol::closeWhenIdle()
{
    if (m_keepConnection || !m_requests.isEmpty())
        return;
    flushOutput();
    m_closing = true;
    m_stallTimer->stop();
    if (auto *socket = qobject_cast<QAbstractSocket *>(m_socket))
        socket->disconnectFromHost();
    else
        m_socket->close();
}

bool FCGIProtocol::write(const FCGIFrame &frame)
{
    appendRecord(frame.header(), frame.data(), frame.bodyLength());
    return true;
}

void FCGIProtocol::appendRecord(const uchar *header, const char *body, int bodyLength)
{
    m_output.append(reinterpret_cast<const char *>(header), FCGIFrame::HeaderLength);
    if (bodyLength > 0)
        m_output.append(body, bodyLength);
}

bool FCGIProtocol::flushOutput()
{
    if (m_output.isEmpty())
        return true;
    // The records of one read pass leave in one write: a write per record cost a system call
    // and a turn of the event loop each, which is where most of a page's time went.
    const qint64 written = m_socket->write(m_output);
    const bool complete = written == m_output.size();
    m_output.clear();
    // Handed to the system at once rather than on the next turn of the event loop; what the
    // system cannot take yet follows when the socket is writable again.
    if (auto *socket = qobject_cast<QAbstractSocket *>(m_socket))
        socket->flush();
    if (!complete)
        qWarning("FCGIProtocol: not all bytes written\n");
    return complete;
}

bool FCGIProtocol::writeStream(quint8 type, const char *name, int requestId, QBuffer &buffer,
                               int maxLength)
{
    const int length = int(qMin<qint64>(qBound(0, maxLength, int(FCGIFrame::MaxContentLength)),
                                        buffer.bytesAvailable()));
    FCGIFrame frame(type, requestId);
    const int padding = frame.setLengths(length);
    // The content goes from the buffer straight into the output, without a frame buffer between.
    appendRecord(frame.header(), nullptr, 0);
    const int at = m_output.size();
    m_output.resize(at + length + padding);
    char *content = m_output.data() + at;
    const qint64 read = length > 0 ? qMax<qint64>(buffer.read(content, length), 0) : 0;
    if (read != length)
        qDebug("FCGIProtocol::%s: not all bytes read", name);
    // What could not be read goes out as zeros, so that the record keeps its declared length.
    std::memset(content + read, 0, size_t(length - read + padding));
    return true;
}

bool FCGIProtocol::writeStdout(int requestId, QBuffer &buffer, int maxLength)
{
    return writeStream(FCGI::Stdout, "writeStdout", requestId, buffer, maxLength);
}

bool FCGIProtocol::writeStderr(int requestId, QBuffer &buffer, int maxLength)
{
    return writeStream(FCGI::Stderr, "writeStderr", requestId, buffer, maxLength);
}

bool FCGIProtocol::writeEndRequest(int requestId, int appStatus)
{
    // application status (32 bits, big-endian), protocol status, 3 reserved bytes
    const char body[8] = {char(appStatus >> 24), char(appStatus >> 16), char(appStatus >> 8),
                          char(appStatus), char(FCGI::RequestComplete)};
    FCGIFrame frame(FCGI::EndRequest, requestId);
    return frame.setContent(sizeof body, body) >= 0 && write(frame);
}

bool FCGIProtocol::writeUnknownType(int requestId, int type)
{
    const char body[8] = {char(type)};
    FCGIFrame frame(FCGI::UnknownType, requestId);
    return frame.setContent(sizeof body, body) >= 0 && write(frame);
}

void FCGIProtocol::terminateSession()
{
    qDebug("FCGIProtocol::terminateSession");
    // Answers already made for earlier requests of the pass still go out, as they would have
    // record by record.
    if (!m_closing)
        flushOutput();
    m_closing = true;
    m_stallTimer->stop();
    m_socket->close();
    deleteLater();
}

qint64 FCGIProtocol::heldBytes() const
{
    qint64 held = m_frame.capacity() + m_output.capacity();
    for (const FCGIRequest *request : m_requests) {
        held += request->m_paramsStream.size();
        for (auto it = request->m_params.cbegin(); it != request->m_params.cend(); ++it)
            held += it.key().size() + it.value().size();
    }
    return held;
}

void FCGIProtocol::clientError(QAbstractSocket::SocketError)
{
    if (!m_closing)
        qDebug("FCGIProtocol: error: %s", qPrintable(m_socket->errorString()));
    m_closing = true;
    m_stallTimer->stop();
    m_socket->close();
    deleteLater();
}

void FCGIProtocol::clientDisconnected()
{
    m_closing = true;
    m_stallTimer->stop();
    deleteLater();
}
