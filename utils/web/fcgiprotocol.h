// The FastCGI conversation on one connection: reads complete records, keeps the connection's
// requests, runs the server's handler on each finished request and sends its answer back.
//
// Everything the peer sends is hostile until checked: a record is only taken once it is complete,
// every length is checked against what is there, and anything unexpected closes the connection.
// What a peer can make the program hold is bounded (one record, a limited parameter stream per
// request, a limited number of open requests), and a record left incomplete for longer than the
// server's stall time-out ends the connection.
#pragma once

#include "fcgiframe.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QMap>
#include <QObject>

class FCGIRequest;
class FCGIServer;
class QBuffer;
class QIODevice;
class QTimer;

class FCGIProtocol : public QObject
{
    Q_OBJECT

public:
    // Bytes of name-value pairs a request may send; web servers send a few kilobytes.
    static constexpr int MaxParamsStreamLength = 256 * 1024;
    // Requests open at once on one connection; web servers multiplex little if at all.
    static constexpr int MaxOpenRequests = 32;

    // Takes ownership of device, normally the accepted socket. Any sequential device will do,
    // which lets the record parser be exercised without a network.
    FCGIProtocol(QIODevice *device, FCGIServer *server);
    ~FCGIProtocol() override;

    // Records are collected and leave together at the end of the read pass that made them.
    bool write(const FCGIFrame &frame);
    bool writeStdout(int requestId, QBuffer &buffer, int maxLength);
    bool writeStderr(int requestId, QBuffer &buffer, int maxLength);
    bool writeEndRequest(int requestId, int appStatus);
    bool writeUnknownType(int requestId, int type);
    void terminateSession();

    // Bytes held on the peer's behalf (frame buffer and parameters); bounded whatever it sends.
    qint64 heldBytes() const;
    int openRequestCount() const { return m_requests.size(); }

    // Parses a name-value pair stream into params. A pair that the stream cannot hold and all
    // after it are dropped; false then, true when the stream ends on a pair boundary.
    static bool parseParams(const QByteArray &stream, QMap<QByteArray, QByteArray> &params);

protected slots:
    // Reads and handles every complete record available.
    void dataReady();
    void clientError(QAbstractSocket::SocketError error);
    void clientDisconnected();

private:
    bool handleRecord();
    bool beginRequest(int requestId);
    bool abortRequest(FCGIRequest *request);
    bool collectParams(FCGIRequest *request);
    bool respond(FCGIRequest *request);
    void parseCollectedParams(FCGIRequest *request);
    bool writeStream(quint8 type, const char *name, int requestId, QBuffer &buffer, int maxLength);
    void appendRecord(const uchar *header, const char *body, int bodyLength);
    bool flushOutput();
    void finishRequest(FCGIRequest *request);
    void closeWhenIdle();

    FCGIServer *m_server;
    QIODevice *m_socket;
    bool m_keepConnection = false;
    QMap<int, FCGIRequest *> m_requests;
    FCGIFrame m_frame;
    QByteArray m_output;
    QTimer *m_stallTimer;
    bool m_closing = false;
};
