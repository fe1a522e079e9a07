// One FastCGI request of a connection, from its BEGIN_REQUEST until its END_REQUEST. The handler
// reads the parameters and writes the whole response, CGI headers included, into stdoutBuffer.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QMap>
#include <QObject>

class FCGIProtocol;

class FCGIRequest : public QObject
{
    Q_OBJECT

public:
    FCGIRequest(int requestId, quint8 flags, FCGIProtocol *protocol);

    int requestId() const { return m_requestId; }
    quint8 flags() const { return m_flags; }
    int role() const { return m_role; }
    int appStatus() const { return m_appStatus; }

    const QMap<QByteArray, QByteArray> &params() const { return m_params; }
    QByteArray param(const QByteArray &name, const QByteArray &defaultValue = QByteArray()) const
    {
        return m_params.value(name, defaultValue);
    }

    QBuffer &stdinBuffer() { return m_stdinBuffer; }
    QBuffer &stdoutBuffer() { return m_stdoutBuffer; }
    QBuffer &stderrBuffer() { return m_stderrBuffer; }
    FCGIProtocol *protocol() const { return m_protocol; }

private:
    friend class FCGIProtocol;

    int m_requestId;
    quint8 m_flags;
    int m_role = 1;
    int m_appStatus = 0;
    QBuffer m_stdinBuffer;
    QBuffer m_stdoutBuffer;
    QBuffer m_stderrBuffer;
    QMap<QByteArray, QByteArray> m_params;
    FCGIProtocol *m_protocol;

    // Name-value pairs arrive as one stream that the web server may cut into records anywhere,
    // even inside a pair: the stream is collected whole and parsed at its empty end record.
    QByteArray m_paramsStream;
    bool m_paramsComplete = false;
    qint64 m_paramsBytes = 0; // all PARAMS content of the request, bounded
};
