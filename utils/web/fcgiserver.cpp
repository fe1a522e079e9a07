#include "fcgiserver.h"

#include "fcgiprotocol.h"

#include <QDebug>
#include <QTcpServer>
#include <QTcpSocket>

FCGIServer::FCGIServer(QObject *parent)
    : QObject(parent)
    , m_tcpServer(new QTcpServer(this))
{
    connect(m_tcpServer, &QTcpServer::newConnection, this, &FCGIServer::newConnection);
}

FCGIServer::~FCGIServer() = default;

bool FCGIServer::isListening() const
{
    return m_tcpServer->isListening();
}

quint16 FCGIServer::serverPort() const
{
    return m_tcpServer->serverPort();
}

bool FCGIServer::start(uint port)
{
    if (port > 0xffff) {
        qWarning("FCGIServer::start: no such port %u", port);
        return false;
    }
    if (m_tcpServer->isListening())
        m_tcpServer->close();
    // Only the web server on this machine may talk to the responder.
    if (!m_tcpServer->listen(QHostAddress::LocalHost, quint16(port))) {
        qWarning("FCGIServer::start: %s", qPrintable(m_tcpServer->errorString()));
        return false;
    }
    return true;
}

void FCGIServer::stop()
{
    m_tcpServer->close();
}

void FCGIServer::newConnection()
{
    while (QTcpSocket *socket = m_tcpServer->nextPendingConnection())
        new FCGIProtocol(socket, this);
}
