// The program's FastCGI responder: listens on the loopback interface for the web server and
// answers each request through one handler, synchronously on the GUI thread.
#pragma once

#include <QObject>

#include <functional>

class FCGIRequest;
class QTcpServer;

class FCGIServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(FCGIRequest *)>;

    static constexpr quint16 DefaultPort = 9000;
    // How long a connection may leave a record incomplete before it is closed.
    static constexpr int DefaultStallTimeout = 10000; // ms

    explicit FCGIServer(QObject *parent = nullptr);
    ~FCGIServer() override;

    // Writes the whole answer of a request into its output buffers before it returns.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    const Handler &handler() const { return m_handler; }

    // Applies to connections accepted afterwards.
    void setStallTimeout(int ms) { m_stallTimeout = ms; }
    int stallTimeout() const { return m_stallTimeout; }

    bool isListening() const;
    // The port listened on; useful after a start on port 0.
    quint16 serverPort() const;

public slots:
    bool start(uint port);
    bool start() { return start(DefaultPort); }
    // Stops listening; connections already open are served to their end.
    void stop();

protected slots:
    void newConnection();

private:
    Handler m_handler;
    QTcpServer *m_tcpServer;
    int m_stallTimeout = DefaultStallTimeout;
};
