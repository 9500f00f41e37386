#include "DictdPort.h"
#include "ScriptedDictServer.h"
#include "WaitUntil.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

// The harness itself: what the tests of the program rely on.
class TestSupport : public QObject {
    Q_OBJECT
private slots:
    void playsChunksInOrderAndRecordsLines();
    void splitChunksArriveSeparately();
    void waitsForClientLine();
    void resetIsSeenAsReset();
    void listensOnOtherLoopbackAddressesOnly();
    void reportsLinesAndClosesByEitherSide();
    void responderAnswersLikeDictd_data();
    void responderAnswersLikeDictd();
    void parsesWordsTheWayDictdDoes_data();
    void parsesWordsTheWayDictdDoes();
    void fixtureDictdGreets();
};

namespace {

bool Connect(QTcpSocket& client, quint16 port)
{
    client.connectToHost(QHostAddress::LocalHost, port);
    return client.waitForConnected(3000);
}

QByteArray ReadUntil(QTcpSocket& client, const QByteArray& ending)
{
    QByteArray all;
    WaitUntil([&] {
        all += client.readAll();
        return all.endsWith(ending) || client.state() == QAbstractSocket::UnconnectedState;
    });
    return all + client.readAll();
}

}  // namespace

void TestSupport::playsChunksInOrderAndRecordsLines()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.Send("220 hi\r\n").Send("bye\r\n").Close();
    QTcpSocket client;
    QVERIFY(Connect(client, server.Port()));
    client.write("one\r\ntwo\nthr");
    QCOMPARE(ReadUntil(client, "never"), QByteArray("220 hi\r\nbye\r\n"));
    QVERIFY(WaitUntil([&] { return server.ReceivedBytes() == "one\r\ntwo\nthr"; }));
    QCOMPARE(server.ReceivedLines(), QStringList({"one", "two"}));
    QCOMPARE(server.SentBytes(), QByteArray("220 hi\r\nbye\r\n"));
    QVERIFY(server.IsScriptDone());
    QCOMPARE(server.ConnectionCount(), 1);
}

void TestSupport::splitChunksArriveSeparately()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    QList<QByteArray> reads;
    QTcpSocket client;
    connect(&client, &QTcpSocket::readyRead, [&] { reads.append(client.readAll()); });
    int readsAtLastChunk = 0;
    server.SetChunkGate(
        [&] { return reads.size() > readsAtLastChunk && (readsAtLastChunk = static_cast<int>(reads.size())); });
    server.SendSplit("abcdef", {1, 3}).SendByteByByte("xy");
    QVERIFY(Connect(client, server.Port()));
    QVERIFY(WaitUntil([&] { return reads.size() >= 5; }));
    QCOMPARE(reads, QList<QByteArray>({"a", "bc", "def", "x", "y"}));
}

void TestSupport::waitsForClientLine()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.WaitForLine("^SHOW DB$").Send("after\r\n");
    QTcpSocket client;
    QVERIFY(Connect(client, server.Port()));
    client.write("SHOW\r\n");
    QTest::qWait(50);
    QCOMPARE(client.bytesAvailable(), 0);
    client.write("SHOW DB\r\n");
    QCOMPARE(ReadUntil(client, "\r\n"), QByteArray("after\r\n"));
}

void TestSupport::resetIsSeenAsReset()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.Send("151 partial\r\n").Abort();
    QTcpSocket client;
    QVERIFY(Connect(client, server.Port()));
    QVERIFY(WaitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(client.error(), QAbstractSocket::RemoteHostClosedError);
}

void TestSupport::listensOnOtherLoopbackAddressesOnly()
{
    ScriptedDictServer second;
    QVERIFY(second.Listen("127.0.0.2"));
    second.Send("220 second\r\n");
    QTcpSocket client;
    client.connectToHost(QHostAddress("127.0.0.2"), second.Port());
    QVERIFY(client.waitForConnected(3000));
    QCOMPARE(ReadUntil(client, "\r\n"), QByteArray("220 second\r\n"));
    ScriptedDictServer outside;
    QVERIFY(!outside.Listen("0.0.0.0"));
}

void TestSupport::reportsLinesAndClosesByEitherSide()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    QSignalSpy lines(&server, &ScriptedDictServer::lineReceived);
    QTcpSocket client;
    QVERIFY(Connect(client, server.Port()));
    client.write("QUIT\r\n");
    QVERIFY(WaitUntil([&] { return lines.size() == 1; }));
    QCOMPARE(lines.at(0), QVariantList({0, QString("QUIT")}));
    QVERIFY(!server.IsClosedByClient());
    client.disconnectFromHost();
    QVERIFY(WaitUntil([&] { return server.IsClosedByClient(); }));

    const quint16 port = server.Port();
    server.StopListening();
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!refused.waitForConnected(3000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestSupport::responderAnswersLikeDictd_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("show db") << QByteArray("SHOW DB")
                             << QByteArray("110 2 databases present\r\n"
                                           "gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n"
                                           "wn \"WordNet (r) 3.0 (2006)\"\r\n.\r\n250 ok\r\n");
    QTest::newRow("no match") << QByteArray("DEFINE * \"zzz\"")
                              << QByteArray("552 no match [d/m/c = 0/0/0; 0.000r 0.000u 0.000s]\r\n");
    QTest::newRow("quote word")
        << QByteArray("DEFINE * \"a\"\\\"\"b\"")
        << QByteArray("150 1 definitions retrieved\r\n"
                      "151 \"a\\\"b\" gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n"
                      "a\"b\r\n   A word with a quote.\r\n..\r\n...-based\r\n.\r\n"
                      "250 ok [d/m/c = 1/0/20; 0.000r 0.000u 0.000s]\r\n");
    QTest::newRow("one database")
        << QByteArray("DEFINE wn apple")
        << QByteArray("150 1 definitions retrieved\r\n"
                      "151 \"apple\" wn \"WordNet (r) 3.0 (2006)\"\r\n"
                      "apple\r\n    n 1: fruit with red or yellow or green skin {apple tree}\r\n.\r\n"
                      "250 ok [d/m/c = 1/0/20; 0.000r 0.000u 0.000s]\r\n");
    QTest::newRow("unknown") << QByteArray("HELLO") << QByteArray("500 unknown command\r\n");
}

void TestSupport::responderAnswersLikeDictd()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDefaultDictResponder();
    QTcpSocket client;
    QVERIFY(Connect(client, server.Port()));
    const QByteArray greeting = ScriptedDictServer::DefaultGreeting() + "\r\n";
    QCOMPARE(ReadUntil(client, "\r\n"), greeting);
    client.write(command + "\r\n");
    QCOMPARE(ReadUntil(client, reply.right(10)), reply);
}

void TestSupport::parsesWordsTheWayDictdDoes_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("word");
    QTest::newRow("plain") << "DEFINE * \"apple\""
                           << "apple";
    QTest::newRow("space") << "DEFINE * \"ice cream\""
                           << "ice cream";
    QTest::newRow("joined parts") << "DEFINE * \"a\"\\\"\"b\""
                                  << "a\"b";
    QTest::newRow("backslash inside quotes is literal") << "DEFINE * \"a\\\"b\""
                                                        << "a\\b";
    QTest::newRow("escaped backslash") << "DEFINE * \"a\"\\\\\"b\""
                                       << "a\\b";
    QTest::newRow("unquoted") << "define wn apple"
                              << "apple";
    QTest::newRow("no define") << "SHOW DB"
                               << "";
}

void TestSupport::parsesWordsTheWayDictdDoes()
{
    QFETCH(QString, line);
    QFETCH(QString, word);
    QCOMPARE(QString::fromStdString(ScriptedDictServer::ParseDefineWord(line.toStdString())), word);
}

void TestSupport::fixtureDictdGreets()
{
    const int port = DictdPort();
    QVERIFY2(port > 0, "QUORLEX_DICTD_PORT_FILE names no port");
    QTcpSocket client;
    QVERIFY(Connect(client, static_cast<quint16>(port)));
    QVERIFY(ReadUntil(client, "\r\n").startsWith("220 "));
}

QTEST_MAIN(TestSupport)
#include "tst_TestSupport.moc"
