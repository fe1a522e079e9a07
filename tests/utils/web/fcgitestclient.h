// The web server's side of a FastCGI connection, for tests: builds records, sends them over a real
// loopback socket and reads the answer records back. Every wait is bounded.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QTcpSocket>
#include <QTest>

namespace fcgitest {

constexpr int WaitMs = 5000;

struct Record
{
    int version = 0;
    int type = 0;
    int requestId = 0;
    int padding = 0;
    QByteArray content;
};

inline QByteArray record(int type, int requestId, const QByteArray &content, int version = 1)
{
    const int padding = (8 - content.size() % 8) % 8;
    QByteArray bytes;
    bytes.append(char(version)).append(char(type));
    bytes.append(char(requestId >> 8)).append(char(requestId));
    bytes.append(char(content.size() >> 8)).append(char(content.size()));
    bytes.append(char(padding)).append(char(0));
    bytes.append(content).append(QByteArray(padding, '\0'));
    return bytes;
}

inline QByteArray beginRequest(int requestId, int flags = 0, int role = 1)
{
    QByteArray body(8, '\0');
    body[0] = char(role >> 8);
    body[1] = char(role);
    body[2] = char(flags);
    return record(1, requestId, body);
}

inline QByteArray encodeLength(int length, bool longForm = false)
{
    if (length < 128 && !longForm)
        return QByteArray(1, char(length));
    QByteArray bytes;
    bytes.append(char(0x80 | (length >> 24))).append(char(length >> 16));
    bytes.append(char(length >> 8)).append(char(length));
    return bytes;
}

inline QByteArray pair(const QByteArray &name, const QByteArray &value, bool longForm = false)
{
    return encodeLength(name.size(), longForm) + encodeLength(value.size(), longForm) + name +
           value;
}

// BEGIN_REQUEST, one PARAMS record with the pairs, the empty PARAMS and the empty STDIN.
inline QByteArray simpleRequest(int requestId, const QList<QPair<QByteArray, QByteArray>> &pairs,
                                int flags = 0)
{
    QByteArray stream;
    for (const auto &p : pairs)
        stream += pair(p.first, p.second);
    QByteArray bytes = beginRequest(requestId, flags);
    if (!stream.isEmpty())
        bytes += record(4, requestId, stream);
    return bytes + record(4, requestId, {}) + record(5, requestId, {});
}

class Client
{
public:
    explicit Client(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_connected = m_socket.waitForConnected(WaitMs);
    }

    bool isConnected() const { return m_connected; }
    QTcpSocket &socket() { return m_socket; }

    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }

    // Reads records until one of type END_REQUEST for requestId has arrived; the records so far.
    QList<Record> readUntilEnd(int requestId = 1)
    {
        // On a timeout the records so far are returned; the caller's checks then fail.
        (void)QTest::qWaitFor(
            [&] {
                take();
                for (const Record &r : m_records) {
                    if (r.type == 3 && r.requestId == requestId)
                        return true;
                }
                return m_socket.state() != QAbstractSocket::ConnectedState &&
                       m_socket.bytesAvailable() == 0;
            },
            WaitMs);
        QList<Record> records;
        while (!m_records.isEmpty()) {
            records.append(m_records.takeFirst());
            if (records.last().type == 3 && records.last().requestId == requestId)
                break;
        }
        return records;
    }

    // True when the program closed the connection within the bound.
    bool waitForClose()
    {
        return QTest::qWaitFor(
            [&] {
                take();
                return m_socket.state() == QAbstractSocket::UnconnectedState;
            },
            WaitMs);
    }

    // Every byte the program sent so far, unparsed.
    QByteArray received()
    {
        take();
        return m_raw;
    }

private:
    void take()
    {
        const QByteArray fresh = m_socket.readAll();
        m_raw += fresh;
        m_pending += fresh;
        while (m_pending.size() >= 8) {
            const auto *h = reinterpret_cast<const uchar *>(m_pending.constData());
            const int length = (h[4] << 8 | h[5]);
            const int total = 8 + length + h[6];
            if (m_pending.size() < total)
                break;
            m_records.append({h[0], h[1], h[2] << 8 | h[3], h[6], m_pending.mid(8, length)});
            m_pending.remove(0, total);
        }
    }

    QTcpSocket m_socket;
    bool m_connected = false;
    QByteArray m_raw;
    QByteArray m_pending;
    QList<Record> m_records;
};

} // namespace fcgitest
