#include "ConnectionHarness.h"
#include "ScriptedDictServer.h"
#include "WaitUntil.h"
#include "WireLines.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

// DictConnection against scripted servers on loopback: line cutting, the
// transcript, the commands, the reply state machine and the tree.
class DictConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void init();

    void greetingOfAnyCodeIsAnsweredWithShowDb();
    void walkThroughRecordsEveryReadLineAndImage();
    void everySplitOfAReplyGivesTheSameResult();
    void byteByByteGivesTheSameResult();
    void repliesFollowTheStateMachine_data();
    void repliesFollowTheStateMachine();
    void lineWithNothingExpectedIsIgnored();
    void lineEndsOfEveryKind();
    void selectedNodeIsReportedGrownWhenADefinitionArrives();
    void twoSearchesInQuickSuccessionShowOnlyTheLatest();
    void searchWhileAReplyArrivesDropsTheOldReply();
    void searchBeforeTheGreetingGoesBehindShowDb_data();
    void searchBeforeTheGreetingGoesBehindShowDb();
    void refusingPortLeavesImageZero();
    void closeOrResetIsSurvived_data();
    void closeOrResetIsSurvived();
    void nulBytesAreRecordedAndKept();
    void endlessLineClosesTheConnection();
    void malformedUtf8BecomesReplacementCharacter();
    void wordIsSentInTheFormDictdReads();
    void overlongCommandIsNotSent();
    void portOutsideRangeNeverConnects_data();
    void portOutsideRangeNeverConnects();
    void slashInHostStaysInTheCurrentDirectory();
    void recreatedConnectionTruncatesItsTranscript();
    void alreadyConnectedCountsAsSuccess();
    void deadPeerIsNoticedWithinHalfAMinute();
    void newTreeReplacesTheRootNode();
};

namespace {

const std::string Host = "127.0.0.1";
const QByteArray GreetingLine = "220 scripted.test dictd 1.13.0/rf on Linux <auth.mime> <1.1@scripted.test>\r\n";
const QByteArray ListReply = "110 2 databases present\r\n"
                             "gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n"
                             "wn \"WordNet (r) 3.0 (2006)\"\r\n"
                             ".\r\n"
                             "250 ok\r\n";
const std::string Gcide = "The Collaborative International Dictionary of English v.0.48";
const std::string WordNet = "WordNet (r) 3.0 (2006)";
const std::string Separator = "<qrlexsep>\n";

// A reply as dictd gives it for "apple", cut down, with its blank line,
// tab, UTF-8, a stuffed "." and a line that merely begins with dots.
const QByteArray AppleReply = "150 2 definitions retrieved\r\n"
                              "151 \"Apple\" gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n"
                              "Apple \\Ap\"ple\\ ([a^]p\"p'l), n. [OE. appel, eppel, AS. [ae]ppel,\r\n"
                              "   [ae]pl; akin to Fries. & D. appel.]\r\n"
                              "   1. The fleshy pome or fruit of a rosaceous tree ({Pyrus\r\n"
                              "      malus}) cultivated in numberless varieties.\r\n"
                              "\r\n"
                              "   Note: The European crab apple is supposed to be the original.\r\n"
                              "..\r\n"
                              "...-based\r\n"
                              ".\r\n"
                              "151 \"apple\" wn \"WordNet (r) 3.0 (2006)\"\r\n"
                              "apple\r\n"
                              "    n 1: fruit with red or yellow or green skin\tand {crisp} flesh\r\n"
                              "    2: native Eurasian tree; German \xC3\x84pfel\r\n"
                              ".\r\n"
                              "250 ok [d/m/c = 2/0/30; 0.000r 0.000u 0.000s]\r\n";
const std::string AppleGcideText = "Apple \\Ap\"ple\\ ([a^]p\"p'l), n. [OE. appel, eppel, AS. [ae]ppel,\n"
                                   "   [ae]pl; akin to Fries. & D. appel.]\n"
                                   "   1. The fleshy pome or fruit of a rosaceous tree ({Pyrus\n"
                                   "      malus}) cultivated in numberless varieties.\n"
                                   "\n"
                                   "   Note: The European crab apple is supposed to be the original.\n"
                                   ".\n"
                                   "...-based\n";
const std::string AppleWnText = "apple\n"
                                "    n 1: fruit with red or yellow or green skin\tand {crisp} flesh\n"
                                "    2: native Eurasian tree; German \xC3\x84pfel\n";

struct ExpectedNode {
    std::string text;
    std::string definitions;
};

// The greeting, the database list, then the script waits for a DEFINE.
void ScriptUpToDefine(ScriptedDictServer& server, const QByteArray& list = ListReply)
{
    server.Send(GreetingLine).WaitForLine("^SHOW DB$").Send(list).WaitForLine("^DEFINE ");
}

bool LastRecordIs(const ConnectionHarness& harness, const QByteArray& record)
{
    const auto records = harness.Transcript();
    return !records.isEmpty() && records.back() == record;
}

// Waits until the connection has handled `line` and expects nothing more.
bool WaitForIdleAfter(ConnectionHarness& harness, const QByteArray& line)
{
    return WaitUntil([&] { return harness.RootImage() == 1 && LastRecordIs(harness, "[in ] " + line); });
}

// The database list read, a search for "x" and its reply read to "250 ok".
bool SearchXAfterTheList(ConnectionHarness& harness)
{
    if (!WaitForIdleAfter(harness, "250 ok"))
        return false;
    harness.Connection().Define("x");
    return WaitForIdleAfter(harness, "250 ok");
}

QList<QByteArray> ReplyLineRecords(const QByteArray& reply)
{
    QList<QByteArray> records;
    for (const QByteArray& line : reply.split('\n'))
        if (!line.isEmpty())
            records.append("[in ] " + line.chopped(1));
    return records;
}

QList<QByteArray> RecordsAfter(const QList<QByteArray>& records, const QByteArray& first)
{
    const qsizetype at = records.indexOf(first);
    return at < 0 ? QList<QByteArray>() : records.mid(at + 1);
}

QList<QByteArray> ReadSizeRecords(const QList<QByteArray>& records)
{
    QList<QByteArray> reads;
    for (const QByteArray& record : records)
        if (!record.startsWith('[') && record.contains(" = "))
            reads.append(record);
    return reads;
}

qsizetype BytesRead(const QList<QByteArray>& records)
{
    qsizetype read = 0;
    for (const QByteArray& record : ReadSizeRecords(records))
        read += record.split(' ').front().toLongLong();
    return read;
}

// A line is handled at its CR: the LF after it may still be on its way.
bool WaitForDefineReplyRead(const ConnectionHarness& harness, const QByteArray& command, qsizetype size)
{
    return WaitUntil([&] { return BytesRead(RecordsAfter(harness.Transcript(), command)) == size; });
}

QByteArray ReadRecord(qsizetype read, qsizetype buffered)
{
    return QByteArray::number(read) + " = " + QByteArray::number(buffered);
}

void CheckNodes(ConnectionHarness& harness, const std::vector<ExpectedNode>& expected)
{
    const auto nodes = harness.DatabaseNodes();
    QCOMPARE(nodes.size(), expected.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        QCOMPARE(nodes[i].text, expected[i].text);
        QCOMPARE(nodes[i].image, 3);
        QCOMPARE(nodes[i].data, reinterpret_cast<std::uintptr_t>(&harness.Connection()));
        QCOMPARE(nodes[i].definitions, expected[i].definitions);
    }
}

// Runs the greeting, the list and a search for "apple" whose reply comes
// as the script's last steps; returns when the reply has been handled.
bool SearchApple(ConnectionHarness& harness)
{
    if (!WaitForIdleAfter(harness, "250 ok"))
        return false;
    harness.Connection().Define("apple");
    return WaitForIdleAfter(harness, AppleReply.split('\n').at(AppleReply.count('\n') - 1).chopped(1));
}

void CheckAppleResult(ConnectionHarness& harness)
{
    CheckNodes(harness, {{Gcide, AppleGcideText}, {WordNet, AppleWnText}});
    const QList<QByteArray> expected = QList<QByteArray>{"[out] DEFINE * \"apple\""} + ReplyLineRecords(AppleReply);
    const auto lines = harness.TranscriptLineRecords();
    QCOMPARE(lines.mid(lines.indexOf("[out] DEFINE * \"apple\"")), expected);
}

}  // namespace

void DictConnectionTest::init()
{
    QFile::remove(QString::fromStdString(Host) + ".log");
}

void DictConnectionTest::greetingOfAnyCodeIsAnsweredWithShowDb()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.Send("530 access denied\r\n");
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitUntil([&] { return server.ReceivedLines() == QStringList{"SHOW DB"}; }));
    QCOMPARE(server.ReceivedBytes(), QByteArray("SHOW DB\r\n"));
    QCOMPARE(harness.Transcript(), QList<QByteArray>({"19 = 19", "[in ] 530 access denied", "[out] SHOW DB"}));
}

// The exchange of a whole session, record for record and image for image.
void DictConnectionTest::walkThroughRecordsEveryReadLineAndImage()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    server.Send(AppleReply);
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(SearchApple(harness));
    CheckAppleResult(harness);

    QList<QByteArray> expected{ReadRecord(GreetingLine.size(), GreetingLine.size()), "[in ] " + GreetingLine.chopped(2),
                               QByteArray("[out] SHOW DB"), ReadRecord(ListReply.size(), ListReply.size())};
    expected += ReplyLineRecords(ListReply);
    expected += {"[out] DEFINE * \"apple\"", ReadRecord(AppleReply.size(), AppleReply.size())};
    expected += ReplyLineRecords(AppleReply);
    QCOMPARE(harness.Transcript(), expected);

    // Closed, connected; then one frame per handled line while a reply is
    // outstanding, 1 whenever the queue runs empty.
    std::vector<int> images{0, 1};
    int frame = 0;
    auto handled = [&](bool idle) {
        const int image = idle ? 1 : 4 + frame;
        frame = idle ? frame : (frame + 1) % 3;
        if (images.back() != image)
            images.push_back(image);
    };
    for (int line = 0; line < 1 + ListReply.count('\n'); ++line)
        handled(line == ListReply.count('\n'));  // greeting and list; the list's 250 ends it
    for (int line = 0; line < AppleReply.count('\n'); ++line)
        handled(line == AppleReply.count('\n') - 1);
    QCOMPARE(harness.RootImages(), images);
}

void DictConnectionTest::everySplitOfAReplyGivesTheSameResult()
{
    for (int cut = 1; cut < AppleReply.size(); ++cut) {
        ScriptedDictServer server;
        QVERIFY(server.Listen());
        ScriptUpToDefine(server);
        server.SendSplit(AppleReply, {cut});
        ConnectionHarness harness(Host, server.Port());
        server.SetChunkGate(harness.ChunkGate());
        QVERIFY2(SearchApple(harness), qPrintable(QString("cut at %1").arg(cut)));
        QVERIFY(WaitForDefineReplyRead(harness, "[out] DEFINE * \"apple\"", AppleReply.size()));
        CheckAppleResult(harness);
        // The reply really came in two reads, the second finding in the
        // buffer what the first left after its last line end.
        const QByteArray first = AppleReply.left(cut);
        const qsizetype pending = first.size() - 1 - std::max(first.lastIndexOf('\n'), first.lastIndexOf('\r'));
        const auto reads = ReadSizeRecords(RecordsAfter(harness.Transcript(), "[out] DEFINE * \"apple\""));
        QCOMPARE(reads,
                 QList<QByteArray>(
                     {ReadRecord(cut, cut), ReadRecord(AppleReply.size() - cut, AppleReply.size() - cut + pending)}));
    }
}

void DictConnectionTest::byteByByteGivesTheSameResult()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    server.SendByteByByte(AppleReply);
    ConnectionHarness harness(Host, server.Port());
    server.SetChunkGate(harness.ChunkGate());
    QVERIFY(WaitUntil([&] { return WaitForIdleAfter(harness, "250 ok"); }));
    harness.Connection().Define("apple");
    QVERIFY(WaitUntil([&] { return harness.RootImage() == 1 && harness.TranscriptLineRecords().size() > 20; }, 20000));
    QVERIFY(WaitForDefineReplyRead(harness, "[out] DEFINE * \"apple\"", AppleReply.size()));
    CheckAppleResult(harness);
    const auto reads = ReadSizeRecords(RecordsAfter(harness.Transcript(), "[out] DEFINE * \"apple\""));
    QCOMPARE(reads.size(), AppleReply.size());
    QVERIFY(std::all_of(reads.begin(), reads.end(), [](const QByteArray& r) { return r.startsWith("1 = "); }));
}

void DictConnectionTest::repliesFollowTheStateMachine_data()
{
    using Nodes = std::vector<ExpectedNode>;
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Nodes>("nodes");
    const QByteArray wn = "151 \"x\" wn \"WordNet (r) 3.0 (2006)\"\r\n";
    const QByteArray gcide = "151 \"x\" gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n";
    const QByteArray end = "250 ok\r\n";
    QTest::newRow("151 from two databases, sorted by description")
        << ListReply << "150 2 definitions retrieved\r\n" + wn + "w1\r\n.\r\n" + gcide + "g1\r\n.\r\n" + end
        << Nodes{{Gcide, "g1\n"}, {WordNet, "w1\n"}};
    QTest::newRow("two definitions from one database are joined")
        << ListReply << "150 2\r\n" + wn + "a\r\nb\r\n.\r\n" + wn + "c\r\n.\r\n" + end
        << Nodes{{WordNet, "a\nb\n" + Separator + "c\n"}};
    QTest::newRow("150 count is not used")
        << ListReply << "150 99 definitions retrieved\r\n" + wn + "w\r\n.\r\n" + end << Nodes{{WordNet, "w\n"}};
    QTest::newRow("reply without 150") << ListReply << wn + "w\r\n.\r\n" + end << Nodes{{WordNet, "w\n"}};
    QTest::newRow("552 leaves no nodes") << ListReply << QByteArray("552 no match\r\n") << Nodes{};
    QTest::newRow("error status ends the exchange") << ListReply << QByteArray("550 invalid database\r\n") << Nodes{};
    QTest::newRow("non-numeric status counts as 0") << ListReply << QByteArray("oops\r\n") << Nodes{};
    QTest::newRow("1xx other than 110 is read as a list")
        << QByteArray("113 list\r\nwn \"Other WordNet\"\r\n.\r\n250 ok\r\n") << "150 1\r\n" + wn + "w\r\n.\r\n" + end
        << Nodes{{"Other WordNet", "w\n"}};
    QTest::newRow("554 records nothing") << QByteArray("554 no databases present\r\n")
                                         << "150 1\r\n" + wn + "w\r\n.\r\n" + end << Nodes{{"", "w\n"}};
    QTest::newRow("single word list line is name and description")
        << QByteArray("110 1\r\nwn\r\n.\r\n250 ok\r\n") << "150 1\r\n" + wn + "w\r\n.\r\n" + end
        << Nodes{{"wn", "w\n"}};
    QTest::newRow("list past the bound is read on, not recorded")
        << QByteArray("110 3\r\ngcide \"G\"\r\nwn \"W\"\r\njargon \"J\"\r\n.\r\n250 ok\r\n")
        << "150 2\r\n" + wn + "w\r\n.\r\n151 \"x\" jargon \"J\"\r\nj\r\n.\r\n" + end
        << Nodes{{"", "j\n"}, {"W", "w\n"}};
    QTest::newRow("later list line replaces") << QByteArray("110 2\r\nwn \"first\"\r\nwn \"second\"\r\n.\r\n250 ok\r\n")
                                              << "150 1\r\n" + wn + "w\r\n.\r\n" + end << Nodes{{"second", "w\n"}};
    QTest::newRow("database the list did not name")
        << ListReply << QByteArray("150 1\r\n151 \"x\" jargon \"J\"\r\nj\r\n.\r\n250 ok\r\n") << Nodes{{"", "j\n"}};
    QTest::newRow("blank line stored as newline")
        << ListReply << "150 1\r\n" + wn + "a\r\n\r\nb\r\n.\r\n" + end << Nodes{{WordNet, "a\n\nb\n"}};
    QTest::newRow("a lone dot-dot is a lone dot, other leading dots stay")
        << ListReply << "150 1\r\n" + wn + "..\r\n..x\r\n...\r\n.\r\n" + end << Nodes{{WordNet, ".\n..x\n...\n"}};
    QTest::newRow("period with more on the line is text")
        << ListReply << "150 1\r\n" + wn + " .\r\n. \r\n.x\r\n.\r\n" + end << Nodes{{WordNet, " .\n. \n.x\n"}};
    QTest::newRow("empty first definition adds nothing")
        << ListReply << "150 2\r\n" + wn + ".\r\n" + wn + "b\r\n.\r\n" + end << Nodes{{WordNet, "b\n"}};
    QTest::newRow("empty later definition adds a bare separator")
        << ListReply << "150 2\r\n" + wn + "a\r\n.\r\n" + wn + ".\r\n" + end << Nodes{{WordNet, "a\n" + Separator}};
    QTest::newRow("only empty definition still makes a node")
        << ListReply << "150 1\r\n" + wn + ".\r\n" + end << Nodes{{WordNet, ""}};
    QTest::newRow("blank status lines keep their expectation")
        << QByteArray("  \r\n110 1\r\n \t \r\nwn \"WordNet (r) 3.0 (2006)\"\r\n.\r\n\r\n250 ok\r\n")
        << QByteArray("\r\n   \r\n150 1\r\n\t\r\n151 \"x\" wn \"W\"\r\nw\r\n.\r\n \r\n250 ok\r\n")
        << Nodes{{WordNet, "w\n"}};
    QTest::newRow("151 with fewer than three words keeps the exchange in step")
        << ListReply
        << QByteArray("150 3\r\n151\r\nlost\r\n.\r\n151 \"x\"\r\nlost too\r\n.\r\n151 \"x\" wn "
                      "\"W\"\r\nkept\r\n.\r\n250 ok\r\n")
        << Nodes{{WordNet, "kept\n"}};
}

void DictConnectionTest::repliesFollowTheStateMachine()
{
    QFETCH(QByteArray, list);
    QFETCH(QByteArray, reply);
    QFETCH(std::vector<ExpectedNode>, nodes);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server, list);
    server.Send(reply);
    ConnectionHarness harness(Host, server.Port());
    harness.Connection().SetLimits({.databases = 2});  // as many as any row's reply names
    QVERIFY(WaitForIdleAfter(harness, list.split('\n').at(list.count('\n') - 1).chopped(1)));
    harness.Connection().Define("x");
    QVERIFY(WaitForIdleAfter(harness, reply.split('\n').at(reply.count('\n') - 1).chopped(1)));
    CheckNodes(harness, nodes);
    QCOMPARE(harness.TranscriptLineRecords().mid(harness.TranscriptLineRecords().indexOf("[out] DEFINE * \"x\"") + 1),
             ReplyLineRecords(reply));
}

void DictConnectionTest::lineWithNothingExpectedIsIgnored()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    server.Send("552 no match\r\n").Pause(20).Send("151 \"x\" wn \"W\"\r\nstray\r\n.\r\n");
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    harness.Connection().Define("x");
    QVERIFY(WaitForIdleAfter(harness, "552 no match"));
    const auto images = harness.RootImages();
    QVERIFY(WaitUntil([&] { return LastRecordIs(harness, "[in ] ."); }));
    QCOMPARE(harness.RootImages(), images);
    QCOMPARE(harness.RootImage(), 1);
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
}

// CR LF, a lone LF and a lone CR each end one line; runs of them are blank
// lines, however the reads fall.
void DictConnectionTest::lineEndsOfEveryKind()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    const QByteArray reply = "150 1\n151 \"x\" wn \"W\"\rlf\ncr\rcrlf\r\n\n\r\r\n\rtwo\r\rcr\r.\r\n250 ok\n";
    server.SendSplit(reply, {19, 20, 21, 33, 34, 35, 36});
    ConnectionHarness harness(Host, server.Port());
    server.SetChunkGate(harness.ChunkGate());
    QVERIFY(SearchXAfterTheList(harness));
    CheckNodes(harness, {{WordNet, "lf\ncr\ncrlf\n\n\n\n\ntwo\n\ncr\n"}});
    QCOMPARE(RecordsAfter(harness.TranscriptLineRecords(), "[out] DEFINE * \"x\""),
             QList<QByteArray>({"[in ] 150 1", "[in ] 151 \"x\" wn \"W\"", "[in ] lf", "[in ] cr", "[in ] crlf",
                                "[in ] ", "[in ] ", "[in ] ", "[in ] ", "[in ] two", "[in ] ", "[in ] cr", "[in ] .",
                                "[in ] 250 ok"}));
}

void DictConnectionTest::selectedNodeIsReportedGrownWhenADefinitionArrives()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    bool selected = false;
    const QByteArray wn = "151 \"x\" wn \"WordNet (r) 3.0 (2006)\"\r\n";
    server.Send("150 2\r\n" + wn + "first\r\n.\r\n")
        .Hold([&] { return selected; })
        .Send(wn + "second\r\n.\r\n250 ok\r\n");
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    harness.Connection().Define("x");
    QVERIFY(WaitUntil([&] { return LastRecordIs(harness, "[in ] ."); }));
    const HTREEITEM node = harness.Tree().GetChildItem(harness.Root(), 0);
    QVERIFY(node);
    harness.Tree().SelectItem(node);
    selected = true;
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    QCOMPARE(harness.SelectionChanges(), std::vector<HTREEITEM>({node}));
    QCOMPARE(harness.Growths(), 1);
    QCOMPARE(harness.TextsSeenOnSelection().back(), "first\n" + Separator + "second\n");
    QCOMPARE(harness.Tree().GetItemData(harness.Root()), std::uintptr_t(0));
}

void DictConnectionTest::twoSearchesInQuickSuccessionShowOnlyTheLatest()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    server.WaitForLine("^DEFINE \\* \"pear\"$")
        .Send(AppleReply)
        .Send("150 1\r\n151 \"pear\" wn \"WordNet (r) 3.0 (2006)\"\r\npear\r\n.\r\n250 ok pear\r\n");
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    harness.Connection().Define("apple");
    harness.Connection().Define("pear");
    QVERIFY(WaitForIdleAfter(harness, "250 ok pear"));
    CheckNodes(harness, {{WordNet, "pear\n"}});
}

void DictConnectionTest::searchWhileAReplyArrivesDropsTheOldReply()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    const qsizetype half = AppleReply.indexOf("151 \"apple\" wn");
    server.Send(AppleReply.left(half))
        .WaitForLine("^DEFINE \\* \"pear\"$")
        .Send(AppleReply.mid(half)
              + "150 1\r\n151 \"pear\" wn \"WordNet (r) 3.0 (2006)\"\r\npear\r\n.\r\n250 ok pear\r\n");
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    harness.Connection().Define("apple");
    QVERIFY(WaitUntil(
        [&] { return harness.DatabaseNodes().size() == 1 && !harness.DatabaseNodes()[0].definitions.empty(); }));
    harness.Tree().SelectItem(harness.Tree().GetChildItem(harness.Root(), 0));
    harness.Connection().Define("pear");
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
    QVERIFY(WaitForIdleAfter(harness, "250 ok pear"));
    CheckNodes(harness, {{WordNet, "pear\n"}});
}

void DictConnectionTest::searchBeforeTheGreetingGoesBehindShowDb_data()
{
    using Nodes = std::vector<ExpectedNode>;
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<Nodes>("nodes");
    const Nodes described{{Gcide, AppleGcideText}, {WordNet, AppleWnText}};
    QTest::newRow("greeting") << GreetingLine << ListReply << described;
    QTest::newRow("refusing greeting") << QByteArray("530 access denied\r\n") << ListReply << described;
    QTest::newRow("failed list") << GreetingLine << QByteArray("554 no databases present\r\n")
                                 << Nodes{{"", AppleGcideText}, {"", AppleWnText}};
}

// Only the latest word waits for the greeting, and goes out in the same
// write as "SHOW DB", behind it: the list's reply comes first and labels
// the nodes. The server answers nothing before both commands are in.
void DictConnectionTest::searchBeforeTheGreetingGoesBehindShowDb()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, list);
    QFETCH(std::vector<ExpectedNode>, nodes);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    bool searched = false;
    server.Hold([&] { return searched; }).Send(greeting).WaitForLine("^DEFINE ").Send(list + AppleReply);
    ConnectionHarness harness(Host, server.Port());
    harness.Connection().Define("early");
    harness.Connection().Define("apple");
    searched = true;
    QVERIFY(WaitForIdleAfter(harness, "250 ok [d/m/c = 2/0/30; 0.000r 0.000u 0.000s]"));
    CheckNodes(harness, nodes);
    QCOMPARE(server.ReceivedBytes(), QByteArray("SHOW DB\r\nDEFINE * \"apple\"\r\n"));
    QCOMPARE(harness.TranscriptLineRecords(),
             QList<QByteArray>({"[in ] " + greeting.chopped(2), "[out] SHOW DB", "[out] DEFINE * \"apple\""})
                 + ReplyLineRecords(list) + ReplyLineRecords(AppleReply));
}

void DictConnectionTest::refusingPortLeavesImageZero()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const int port = closed.serverPort();
    closed.close();
    ConnectionHarness harness(Host, port);
    QVERIFY(WaitUntil([&] { return !harness.Connection().ConnectErrors().empty(); }));
    QCOMPARE(harness.Connection().ConnectErrors(), std::vector<int>({SocketError::ConnectionRefused}));
    QCOMPARE(harness.RootImages(), std::vector<int>({0}));
    QVERIFY(harness.Transcript().isEmpty());
}

enum class Drop { CloseMidDefinition, ResetMidDefinition, ResetAfterGreeting, ResetBeforeSearch, CloseWordHeld };

void DictConnectionTest::closeOrResetIsSurvived_data()
{
    QTest::addColumn<Drop>("drop");
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("afterNextLookup");
    // A request left unanswered is sent once more on a new connection.
    QTest::newRow("orderly close mid-definition") << Drop::CloseMidDefinition << 2 << 4;
    QTest::newRow("reset mid-definition") << Drop::ResetMidDefinition << 2 << 4;
    QTest::newRow("reset after the greeting") << Drop::ResetAfterGreeting << 1 << 2;
    QTest::newRow("reset not yet noticed when searching") << Drop::ResetBeforeSearch << 2 << 4;
    QTest::newRow("close after the greeting, word held") << Drop::CloseWordHeld << 2 << 4;
}

// Every connection the server drops ends closed, without a crash and
// with every complete line received in the transcript; the next lookup
// connects again, and a server that keeps failing is not retried in a loop.
void DictConnectionTest::closeOrResetIsSurvived()
{
    QFETCH(Drop, drop);
    QFETCH(int, connections);
    QFETCH(int, afterNextLookup);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    std::unique_ptr<ConnectionHarness> harness;
    bool searched = false;
    switch (drop) {
    case Drop::CloseMidDefinition:
    case Drop::ResetMidDefinition:
        ScriptUpToDefine(server);
        server.Send("150 1\r\n151 \"x\" wn \"W\"\r\nhalf a line\r\nno line end");
        drop == Drop::ResetMidDefinition ? server.Abort() : server.Close();
        break;
    case Drop::ResetAfterGreeting: server.Send(GreetingLine).Abort(); break;
    case Drop::CloseWordHeld:
        server.Hold([&] { return searched; }).Send(GreetingLine).WaitForLine("^DEFINE ").Close();
        break;
    case Drop::ResetBeforeSearch:
        // The search goes out right after the reset, before Qt has seen it.
        server.Send(GreetingLine)
            .WaitForLine("^SHOW DB$")
            .Send(ListReply)
            .Hold([&] { return harness->Connection().GetState() == ConnectionState::Ready; })
            .Abort()
            .Hold([&] {
                if (!std::exchange(searched, true))
                    harness->Connection().Define("x");
                return true;
            });
        break;
    }
    harness = std::make_unique<ConnectionHarness>(Host, server.Port());
    if (drop == Drop::CloseWordHeld) {
        harness->Connection().Define("x");
        searched = true;
    }
    if (drop == Drop::CloseMidDefinition || drop == Drop::ResetMidDefinition) {
        QVERIFY(WaitForIdleAfter(*harness, "250 ok"));
        harness->Connection().Define("x");
    }
    const auto settled = [&](int count) {
        return WaitUntil([&] {
            return server.ConnectionCount() == count && server.IsScriptDone(count - 1)
                && harness->Connection().GetState() == ConnectionState::Closed;
        });
    };
    QVERIFY(settled(connections));
    QCOMPARE(harness->RootImage(), 0);
    QCOMPARE(harness->Tree().GetChildCount(harness->Root()), 0);
    if (connections == 2)
        QCOMPARE(server.ReceivedLines(1), QStringList({"SHOW DB", "DEFINE * \"x\""}));
    harness->Connection().Define("y");
    QVERIFY(settled(afterNextLookup));
    // Each connection's records are the first lines it sent, whole: a reset
    // may drop what the client had not read yet, never part of a line.
    const QList<QByteArray> records = harness->TranscriptLineRecords();
    auto record = records.begin();
    for (int i = 0; i < afterNextLookup; ++i) {
        const QByteArray sent = server.SentBytes(i);
        for (const std::string_view line : CompleteLines({sent.constData(), static_cast<std::size_t>(sent.size())})) {
            record = std::find_if(record, records.end(), [](const QByteArray& r) { return r.startsWith("[in ] "); });
            if (record == records.end() || record->mid(6).toStdString() != line)
                break;
            ++record;
        }
    }
    QVERIFY(std::none_of(record, records.end(), [](const QByteArray& r) { return r.startsWith("[in ] "); }));
    if (drop == Drop::CloseMidDefinition || drop == Drop::ResetMidDefinition)
        QVERIFY(records.contains("[in ] half a line"));
}

void DictConnectionTest::nulBytesAreRecordedAndKept()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    const char bytes[] = "150 1\r\n151 \"x\" wn \"W\"\r\nnul\0in\0line\r\n\0\r\n.\r\n250 ok\r\n";
    const QByteArray reply(bytes, sizeof bytes - 1);
    server.Send(reply);
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(SearchXAfterTheList(harness));
    QList<QByteArray> expected{ReadRecord(reply.size(), reply.size())};
    for (qsizetype i = 0; i < reply.size(); ++i)
        if (reply[i] == '\0')
            expected.append("Character index " + QByteArray::number(i) + " is null");
    expected += ReplyLineRecords(reply);
    QCOMPARE(RecordsAfter(harness.Transcript(), "[out] DEFINE * \"x\""), expected);
    CheckNodes(harness, {{WordNet, std::string("nul\0in\0line\n\0\n", 14)}});
}

void DictConnectionTest::endlessLineClosesTheConnection()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    const QByteArray endless(DictConnection::MaxPendingLine + 4096, 'x');
    server.Send("150 1\r\n151 \"x\" wn \"W\"\r\nlast line\r\n" + endless);
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    harness.Connection().Define("x");
    // Given up on, the request is not sent again.
    QVERIFY(WaitUntil([&] { return server.IsClosedByClient(0); }));
    QCOMPARE(harness.Connection().GetState(), ConnectionState::Closed);
    QCOMPARE(server.ConnectionCount(), 1);
    QCOMPARE(harness.RootImage(), 0);
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
    auto records = RecordsAfter(harness.Transcript(), "[out] DEFINE * \"x\"");
    records = records.mid(
        0,
        std::find_if(records.begin(), records.end(), [](const QByteArray& r) { return r.startsWith("[in ] xxx"); })
            - records.begin() + 1);
    QList<QByteArray> lines;
    for (const QByteArray& record : records)
        if (record.startsWith("[in ] "))
            lines.append(record.left(20));
    QCOMPARE(lines,
             QList<QByteArray>({"[in ] 150 1", "[in ] 151 \"x\" wn \"W\"", "[in ] last line", "[in ] xxxxxxxxxxxxxx"}));
    // Everything read is in the transcript: the last record holds the
    // whole pending text the buffer had when the connection was given up.
    const QByteArray last = records.back();
    const QList<QByteArray> lastRead = records[records.size() - 2].split(' ');
    QCOMPARE(last, "[in ] " + QByteArray(lastRead.back().toLongLong(), 'x'));
    QVERIFY(static_cast<std::size_t>(lastRead.back().toLongLong()) > DictConnection::MaxPendingLine);
    QCOMPARE(BytesRead(records), qsizetype(strlen("150 1\r\n151 \"x\" wn \"W\"\r\nlast line\r\n")) + last.size() - 6);
}

void DictConnectionTest::malformedUtf8BecomesReplacementCharacter()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server, "110 1\r\nwn \"Caf\xE9 \xC3\xA4\"\r\n.\r\n250 ok\r\n");
    server.Send("150 1\r\n151 \"x\" wn \"W\"\r\ncaf\xE9 \xE2\x82 ok \xC3\xBC\r\n.\r\n250 ok\r\n");
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(SearchXAfterTheList(harness));
    CheckNodes(harness, {{"Caf\xEF\xBF\xBD \xC3\xA4", "caf\xEF\xBF\xBD \xEF\xBF\xBD ok \xC3\xBC\n"}});
    QVERIFY(harness.Transcript().contains("[in ] caf\xE9 \xE2\x82 ok \xC3\xBC"));
}

void DictConnectionTest::wordIsSentInTheFormDictdReads()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDefaultDictResponder();
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    harness.Connection().Define("a\"b");
    QVERIFY(WaitUntil([&] { return harness.RootImage() == 1 && harness.Tree().GetChildCount(harness.Root()) == 1; }));
    QCOMPARE(server.ReceivedLines().back(), "DEFINE * \"a\"\\\"\"b\"");
    QVERIFY(harness.Transcript().contains("[out] DEFINE * \"a\"\\\"\"b\""));
    // dictd escapes the quote in the 151 line's headword; the database
    // name after it must still be read as such.
    CheckNodes(harness, {{Gcide, "a\"b\n   A word with a quote.\n.\n...-based\n"}});

    harness.Connection().Define(std::string("ice\r\ncream\0 QUIT", 16));
    QVERIFY(WaitUntil([&] { return server.ReceivedLines().size() == 3; }));
    QCOMPARE(server.ReceivedLines().back(), "DEFINE * \"icecream QUIT\"");
    QVERIFY(WaitForIdleAfter(harness, "552 no match [d/m/c = 0/0/0; 0.000r 0.000u 0.000s]"));
}

void DictConnectionTest::overlongCommandIsNotSent()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDefaultDictResponder();
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    // "DEFINE * \"\"" is 11 characters; with CR LF a 1011-character word fills 1024.
    const std::string fits(1011, 'w');
    const std::string tooLong(1012, 'w');
    harness.Connection().Define(tooLong);
    harness.Connection().Define(fits);
    harness.Connection().Define("apple");
    QVERIFY(WaitUntil([&] { return harness.RootImage() == 1 && harness.Tree().GetChildCount(harness.Root()) == 2; }));
    QCOMPARE(server.ReceivedLines(),
             QStringList({"SHOW DB", QString::fromStdString("DEFINE * \"" + fits + "\""), "DEFINE * \"apple\""}));
    // Not sent, so not recorded either.
    QVERIFY(!harness.Transcript().contains(QByteArray::fromStdString("[out] DEFINE * \"" + tooLong + "\"")));
    CheckNodes(
        harness,
        {{Gcide, "Apple \\Ap\"ple\\, n.\n   The fleshy pome or fruit of a rosaceous tree.\n\n   See {Crab apple}.\n"},
         {WordNet, "apple\n    n 1: fruit with red or yellow or green skin {apple tree}\n"}});
}

void DictConnectionTest::portOutsideRangeNeverConnects_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("zero");
    QTest::newRow("port 0") << 0 << true;
    QTest::newRow("port + 65536") << 65536 << false;
    QTest::newRow("negative") << -65536 << false;
}

void DictConnectionTest::portOutsideRangeNeverConnects()
{
    QFETCH(int, offset);
    QFETCH(bool, zero);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.Send(GreetingLine);
    const int port = zero ? 0 : server.Port() + offset;
    ConnectionHarness harness(Host, port);
    QTest::qWait(100);
    QCOMPARE(server.ConnectionCount(), 0);
    QCOMPARE(harness.RootImages(), std::vector<int>({0}));
    QCOMPARE(harness.Tree().GetItemText(harness.Root()), Host + ":" + std::to_string(port));
}

void DictConnectionTest::slashInHostStaysInTheCurrentDirectory()
{
    QFile::remove("dir_host.log");
    {
        ConnectionHarness harness("dir/host", 2628, false);
        QCOMPARE(harness.Tree().GetItemText(harness.Root()), "dir/host:2628");
    }
    QVERIFY(QFile::exists("dir_host.log"));
    QVERIFY(!QFile::exists("dir"));
}

void DictConnectionTest::recreatedConnectionTruncatesItsTranscript()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    server.EnableDefaultDictResponder();
    {
        ConnectionHarness first(Host, server.Port());
        first.Connection().Define("old");
        QVERIFY(WaitUntil([&] { return first.Transcript().contains("[out] DEFINE * \"old\""); }));
    }
    ConnectionHarness second(Host, server.Port(), false);
    QVERIFY(second.Transcript().isEmpty());
}

void DictConnectionTest::alreadyConnectedCountsAsSuccess()
{
    ConnectionHarness harness(Host, 2628, false);
    harness.Connection().NotifyConnect(SocketError::ConnectionRefused);
    QCOMPARE(harness.RootImage(), 0);
    harness.Connection().NotifyConnect(SocketError::IsConnected);
    QCOMPARE(harness.RootImage(), 1);
}

void DictConnectionTest::newTreeReplacesTheRootNode()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptUpToDefine(server);
    server.Send(AppleReply);
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(SearchApple(harness));
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 2);

    harness.Connection().InsertRootItem(&harness.Tree());
    QCOMPARE(harness.Tree().GetRootCount(), 1);
    QCOMPARE(harness.Tree().GetItemImage(harness.Root()), 0);
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);

    QTreeWidget otherWidget;
    TreeCtrl other(&otherWidget);
    harness.Connection().InsertRootItem(&other);
    QCOMPARE(harness.Tree().GetRootCount(), 0);
    QCOMPARE(other.GetRootCount(), 1);
    QCOMPARE(other.GetItemText(harness.Root()), Host + ":" + std::to_string(server.Port()));
    QCOMPARE(other.GetItemImage(harness.Root()), 0);
    harness.Connection().InsertRootItem(&harness.Tree());
}

namespace {

// The client's end of a loopback connection to the port, found among the
// process's descriptors; -1 when there is none.
int ClientSocketTo(quint16 port)
{
    for (const QString& entry : QDir("/proc/self/fd").entryList(QDir::Files | QDir::System)) {
        const int fd = entry.toInt();
        sockaddr_in peer{}, local{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET)
            continue;
        length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        if (ntohs(peer.sin_port) == port && ntohs(local.sin_port) != port)
            return fd;
    }
    return -1;
}

int SocketOption(int fd, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

}  // namespace

// A server gone without a reset (suspended, route dropped) is given up
// on by the kernel's probes, idle or not, within about 30 s.
void DictConnectionTest::deadPeerIsNoticedWithinHalfAMinute()
{
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ConnectionHarness harness(Host, server.Port());
    QVERIFY(WaitUntil([&] { return harness.RootImage() == 1; }));
    const int fd = ClientSocketTo(server.Port());
    QVERIFY(fd >= 0);
    QCOMPARE(SocketOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    const int idle = SocketOption(fd, IPPROTO_TCP, TCP_KEEPIDLE);
    const int probes = SocketOption(fd, IPPROTO_TCP, TCP_KEEPINTVL) * SocketOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
    QVERIFY2(idle > 0 && probes > 0 && idle + probes <= 30, qPrintable(QString("%1 + %2 s").arg(idle).arg(probes)));
    const int unacknowledged = SocketOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT);
    QVERIFY(unacknowledged > 0 && unacknowledged <= 30000);
}

QTEST_MAIN(DictConnectionTest)
#include "tst_DictConnection.moc"
