// The FastCGI responder as the web server sees it: records over a real loopback connection.
#include "fcgitestclient.h"

#include "utils/web/fcgiframe.h"
#include "utils/web/fcgiprotocol.h"
#include "utils/web/fcgirequest.h"
#include "utils/web/fcgiserver.h"

#include <QPointer>
#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace fcgitest;

namespace {

class FCGIProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.setHandler([this](FCGIRequest *request) {
            ++handled;
            lastParams = request->params();
            request->stdoutBuffer().write("Content-type: text/plain\n\n");
            request->stdoutBuffer().write(request->param("ECHO", "none"));
            request->stdoutBuffer().write(QByteArray(answerLength, 'x'));
            if (!errorText.isEmpty())
                request->stderrBuffer().write(errorText);
        });
        ASSERT_TRUE(server.start(0));
        port = server.serverPort();
    }

    // The protocol object's socket on the program's side: the only one there is.
    QTcpSocket *serverSocket() { return server.findChild<QTcpSocket *>(); }

    FCGIServer server;
    quint16 port = 0;
    int handled = 0;
    int answerLength = 0;
    QByteArray errorText;
    QMap<QByteArray, QByteArray> lastParams;
};

QByteArray stdoutOf(const QList<Record> &records)
{
    QByteArray out;
    for (const Record &r : records) {
        if (r.type == 6)
            out += r.content;
    }
    return out;
}

} // namespace

TEST(FCGIFrameTest, ContentIsClippedAndPaddedToMultiplesOfEight)
{
    FCGIFrame frame(6, 0x1234);
    EXPECT_EQ(frame.setContent(70000), 65535);
    EXPECT_EQ(frame.contentLength(), 65535);
    EXPECT_EQ(frame.paddingLength(), 1);
    EXPECT_EQ(frame.setContent(4465), 4465);
    EXPECT_EQ(frame.paddingLength(), 7);
    EXPECT_EQ(frame.setContent(0), 0);
    EXPECT_EQ(frame.paddingLength(), 0);
    EXPECT_EQ(frame.requestId(), 0x1234);
    EXPECT_EQ(frame.setContent(3, "abc"), 3);
    EXPECT_EQ(QByteArray(frame.data(), 8), QByteArray("abc\0\0\0\0\0", 8));
    EXPECT_FALSE(frame.reserve(FCGIFrame::MaxContentLength + FCGIFrame::MaxPaddingLength + 1));
}

TEST(FCGIParamsTest, PairsInBothLengthFormsAreParsedAndPairsPastTheEndDropped)
{
    QMap<QByteArray, QByteArray> params;
    // A four-byte length with its top bit set is 31 bits: 0x80000003 is 3.
    const QByteArray longName = QByteArray::fromHex("80000003") + QByteArray(1, 2) + "ABCxy";
    ASSERT_TRUE(FCGIProtocol::parseParams(
        longName + pair("", "skipped") + pair("K", "1") + pair("K", "2"), params));
    EXPECT_EQ(params.value("ABC"), "xy");
    EXPECT_EQ(params.value("K"), "2");
    EXPECT_EQ(params.size(), 2);

    // Lengths that overrun the stream, up to the largest 31-bit one, and a cut length field.
    for (const QByteArray &bad :
         {QByteArray::fromHex("7fffffffff") + "a", QByteArray::fromHex("01ffffffff") + "ab",
          QByteArray::fromHex("0305") + "abcde" + "f", QByteArray::fromHex("80ff"),
          QByteArray::fromHex("01")}) {
        QMap<QByteArray, QByteArray> none;
        EXPECT_FALSE(FCGIProtocol::parseParams(bad, none)) << bad.toHex().constData();
        EXPECT_TRUE(none.isEmpty());
    }
}

TEST_F(FCGIProtocolTest, RecordSplitAcrossTwoWritesIsHandledOnceComplete)
{
    Client client(port);
    ASSERT_TRUE(client.isConnected());
    const QByteArray request = simpleRequest(1, {{"ECHO", "split"}});
    const int cut = request.size() - 5; // inside the empty STDIN record's header
    client.send(request.left(cut));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return serverSocket() && serverSocket()->bytesAvailable() == 3; }, WaitMs));
    EXPECT_EQ(handled, 0);
    client.send(request.mid(cut));
    const QList<Record> records = client.readUntilEnd(1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(stdoutOf(records), "Content-type: text/plain\n\nsplit");
}

TEST_F(FCGIProtocolTest, LongAnswerIsCutIntoRecordsThenStreamsEndAndRequestEnds)
{
    answerLength = 70000 - int(qstrlen("Content-type: text/plain\n\nnone"));
    Client client(port);
    client.send(simpleRequest(7, {}));
    const QList<Record> records = client.readUntilEnd(7);
    ASSERT_EQ(records.size(), 5);
    EXPECT_EQ(records[0].type, 6);
    EXPECT_EQ(records[0].content.size(), 65535);
    EXPECT_EQ(records[0].padding, 1);
    EXPECT_EQ(records[1].type, 6);
    EXPECT_EQ(records[1].content.size(), 4465);
    EXPECT_EQ(records[1].padding, 7);
    EXPECT_EQ(records[2].type, 6);
    EXPECT_TRUE(records[2].content.isEmpty());
    EXPECT_EQ(records[3].type, 7);
    EXPECT_TRUE(records[3].content.isEmpty());
    EXPECT_EQ(records[4].type, 3);
    EXPECT_EQ(records[4].content, QByteArray(8, '\0')); // status 0, REQUEST_COMPLETE
    for (const Record &r : records) {
        EXPECT_EQ(r.version, 1);
        EXPECT_EQ(r.requestId, 7);
    }
    EXPECT_EQ(stdoutOf(records).size(), 70000);
    EXPECT_TRUE(client.waitForClose()) << "no KEEP_CONN: closed after the last request";
}

TEST_F(FCGIProtocolTest, StandardErrorInterleavesWithStandardOutput)
{
    errorText = "Tessaro: something";
    Client client(port);
    client.send(simpleRequest(2, {}));
    const QList<Record> records = client.readUntilEnd(2);
    QList<int> types;
    for (const Record &r : records)
        types << r.type;
    ASSERT_EQ(types, QList<int>({6, 7, 6, 7, 3}));
    EXPECT_EQ(records[1].content, errorText);
}

TEST_F(FCGIProtocolTest, WithoutKeepConnTheConnectionClosesAfterTheLastOpenRequest)
{
    Client client(port);
    client.send(beginRequest(1) + beginRequest(2) + record(4, 1, {}) + record(4, 2, {}) +
                record(5, 1, {}));
    client.readUntilEnd(1);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(client.socket().state(), QAbstractSocket::ConnectedState) << "request 2 is open";
    client.send(record(5, 2, {}));
    client.readUntilEnd(2);
    EXPECT_EQ(handled, 2);
    EXPECT_TRUE(client.waitForClose());
}

TEST_F(FCGIProtocolTest, KeepConnOnAnyRequestKeepsTheConnectionOpen)
{
    Client client(port);
    client.send(simpleRequest(1, {{"ECHO", "one"}}, FCGI::FlagKeepConnection));
    EXPECT_EQ(stdoutOf(client.readUntilEnd(1)), "Content-type: text/plain\n\none");
    // A later request without the flag does not clear it.
    client.send(simpleRequest(1, {{"ECHO", "two"}}));
    EXPECT_EQ(stdoutOf(client.readUntilEnd(1)), "Content-type: text/plain\n\ntwo");
    client.send(simpleRequest(3, {{"ECHO", "three"}}));
    EXPECT_EQ(stdoutOf(client.readUntilEnd(3)), "Content-type: text/plain\n\nthree");
    EXPECT_EQ(client.socket().state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(handled, 3);
}

TEST_F(FCGIProtocolTest, AbortEndsTheRequestWithoutRunningTheHandler)
{
    Client client(port);
    client.send(beginRequest(5) + record(4, 5, pair("ECHO", "x")) + record(2, 5, {}));
    const QList<Record> records = client.readUntilEnd(5);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].type, 3);
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(client.waitForClose());
}

TEST_F(FCGIProtocolTest, UnknownTypeIsAnsweredAndTheConnectionStays)
{
    Client client(port);
    client.send(beginRequest(4) + record(8, 4, "data"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.received().size() >= 16; }, WaitMs));
    const QByteArray answer = client.received();
    EXPECT_EQ(answer, record(11, 4, QByteArray("\x08\0\0\0\0\0\0\0", 8)));
    client.send(record(4, 4, {}) + record(5, 4, "body is ignored") + record(5, 4, {}));
    client.readUntilEnd(4);
    EXPECT_EQ(handled, 1);
}

TEST_F(FCGIProtocolTest, FourByteLengthsAndPairsSplitAcrossParamsRecordsArrive)
{
    const QByteArray value(300, 'v');
    const QByteArray stream = pair("SHORT", "s", true) + pair("ECHO", value) + pair("LAST", "l");
    Client client(port);
    // The web server may cut the stream anywhere, even inside a length field.
    client.send(beginRequest(1) + record(4, 1, stream.left(3)) + record(4, 1, stream.mid(3, 10)) +
                record(4, 1, stream.mid(13)) + record(4, 1, {}) + record(5, 1, {}));
    EXPECT_EQ(stdoutOf(client.readUntilEnd(1)), "Content-type: text/plain\n\n" + value);
    EXPECT_EQ(lastParams.value("SHORT"), "s");
    EXPECT_EQ(lastParams.value("LAST"), "l");
}

TEST_F(FCGIProtocolTest, ProtocolViolationsCloseTheConnectionWithoutAnswer)
{
    const struct
    {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"authorizer role", beginRequest(1, 0, 2) + record(4, 1, {}) + record(5, 1, {})},
        {"management record", record(9, 0, pair("FCGI_MAX_CONNS", ""))},
        {"wrong version", record(1, 1, QByteArray::fromHex("0001000000000000"), 2)},
        // The 4-byte body is followed by a valid PARAMS record that must not be read as its rest.
        {"short BEGIN_REQUEST", record(1, 1, QByteArray::fromHex("00010000")) + record(4, 1, {})},
        {"record for no request", record(4, 3, {})},
    };
    for (const auto &c : cases) {
        Client client(port);
        ASSERT_TRUE(client.isConnected());
        client.send(c.bytes);
        EXPECT_TRUE(client.waitForClose()) << c.what;
        EXPECT_TRUE(client.received().isEmpty()) << c.what;
    }
    EXPECT_EQ(handled, 0);
}

TEST_F(FCGIProtocolTest, PairsTheStreamCannotHoldAreDroppedAndLaterStreamsAdded)
{
    const struct
    {
        const char *what;
        QByteArray params;
        QByteArray expected; // the pairs the handler sees, as "name=value;"
    } cases[] = {
        {"cut pair at the end", pair("ECHO", "kept") + "\x05\x01ab", "ECHO=kept;"},
        {"31-bit name length", pair("ECHO", "kept") + QByteArray::fromHex("ffffffff01") + "abc",
         "ECHO=kept;"},
        {"lone length byte", pair("ECHO", "kept") + "\x03", "ECHO=kept;"},
        {"empty name", pair("", "skipped") + pair("ECHO", "kept"), "ECHO=kept;"},
    };
    for (const auto &c : cases) {
        Client client(port);
        client.send(beginRequest(1) + record(4, 1, c.params) + record(4, 1, {}) + record(5, 1, {}));
        const QByteArray answer = stdoutOf(client.readUntilEnd(1));
        QByteArray seen;
        for (auto it = lastParams.cbegin(); it != lastParams.cend(); ++it)
            seen += it.key() + '=' + it.value() + ';';
        EXPECT_EQ(seen, c.expected) << c.what;
        EXPECT_TRUE(answer.startsWith("Content-type: text/plain")) << c.what;
        EXPECT_TRUE(client.waitForClose()) << c.what;
    }

    // Pairs sent after the end of the stream still count, as a stream of their own.
    Client late(port);
    late.send(beginRequest(1) + record(4, 1, pair("A", "1")) + record(4, 1, {}) +
              record(4, 1, pair("ECHO", "late")) + record(4, 1, {}) + record(4, 1, {}) +
              record(5, 1, {}));
    EXPECT_EQ(stdoutOf(late.readUntilEnd(1)), "Content-type: text/plain\n\nlate");
    EXPECT_EQ(lastParams.value("A"), "1");
}

TEST(FCGIServerTest, NoHandlerClosesTheConnectionWithoutAnswer)
{
    FCGIServer server;
    ASSERT_TRUE(server.start(0));
    Client client(server.serverPort());
    client.send(simpleRequest(1, {}));
    EXPECT_TRUE(client.waitForClose());
    EXPECT_TRUE(client.received().isEmpty());
}

TEST_F(FCGIProtocolTest, HostilePeersAreDisconnectedWhileOthersAreServed)
{
    server.setStallTimeout(200);
    Client steady(port);
    steady.send(simpleRequest(1, {{"ECHO", "a"}}, FCGI::FlagKeepConnection));
    EXPECT_EQ(stdoutOf(steady.readUntilEnd(1)), "Content-type: text/plain\n\na");

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char(i * 131 + 7));
    // A pair declaring 2 GiB, and records to fill it.
    QByteArray hugePair = beginRequest(1) + record(4, 1, QByteArray::fromHex("ffffffff7fffffff"));
    while (hugePair.size() < FCGIProtocol::MaxParamsStreamLength + 70000)
        hugePair += record(4, 1, QByteArray(65535, 'h'));
    const QByteArray floodRecord = record(4, 1, QByteArray(60000, 'p'));
    QByteArray flood = beginRequest(1);
    while (flood.size() < FCGIProtocol::MaxParamsStreamLength + 2 * floodRecord.size())
        flood += floodRecord;
    QByteArray tooMany;
    for (int id = 1; id <= FCGIProtocol::MaxOpenRequests + 1; ++id)
        tooMany += beginRequest(id);

    const struct
    {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"garbage", garbage},
        {"truncated record", beginRequest(1) + record(4, 1, QByteArray(1000, 'q')).left(500)},
        {"header of a record that never comes", record(4, 1, QByteArray(65535, 'q')).left(8)},
        {"huge declared pair length", hugePair},
        {"endless parameter stream", flood},
        {"too many open requests", tooMany},
    };
    for (const auto &c : cases) {
        Client hostile(port);
        ASSERT_TRUE(hostile.isConnected());
        hostile.send(c.bytes);
        EXPECT_TRUE(hostile.waitForClose()) << c.what;
        // The steady connection and new ones are served as before.
        steady.send(simpleRequest(1, {{"ECHO", c.what}}));
        EXPECT_EQ(stdoutOf(steady.readUntilEnd(1)),
                  "Content-type: text/plain\n\n" + QByteArray(c.what))
            << c.what;
        Client fresh(port);
        fresh.send(simpleRequest(9, {{"ECHO", "fresh"}}));
        EXPECT_EQ(stdoutOf(fresh.readUntilEnd(9)), "Content-type: text/plain\n\nfresh") << c.what;
    }
    // The program holds nothing of the hostile peers once their objects are gone.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_LE(server.findChildren<FCGIProtocol *>().size(), 2);
}

TEST_F(FCGIProtocolTest, StopEndsListeningButServesOpenConnections)
{
    Client open(port);
    ASSERT_TRUE(open.isConnected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return serverSocket() != nullptr; }, WaitMs));
    server.stop();
    EXPECT_FALSE(server.isListening());
    open.send(simpleRequest(1, {{"ECHO", "still"}}));
    EXPECT_EQ(stdoutOf(open.readUntilEnd(1)), "Content-type: text/plain\n\nstill");
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(refused.waitForConnected(WaitMs));
}
