// Hostile and faulty servers over loopback, in volume: in each case every
// receive notification handles a bounded amount, memory stays bounded, the
// root node's image shows the state and the transcript keeps every
// complete line received.
#include "ConnectionHarness.h"
#include "ScriptedDictServer.h"
#include "TickWatch.h"
#include "WaitUntil.h"
#include "WireLines.h"

#include <QFile>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int ImageClosed = 0;
constexpr int ImageIdle = 1;
// The socket's read buffer holds at most 256 KiB, and one notification
// handles what it holds and the line an earlier read left unfinished: the
// bound on how long a notification keeps the event loop, whatever the
// server sends.
constexpr std::size_t MaxReadPerNotification = 256 * 1024 + 4096;
constexpr char Host[] = "127.0.0.1";
constexpr char TranscriptFile[] = "127.0.0.1.log";
const QByteArray ShowDbReply = "110 1 databases present\r\nwn \"WordNet (r) 3.0 (2006)\"\r\n.\r\n250 ok\r\n";
const QByteArray GreetingLine = ScriptedDictServer::DefaultGreeting() + "\r\n";
const QByteArray DefinitionHeader = "151 \"apple\" wn \"WordNet (r) 3.0 (2006)\"\r\n";

QByteArray ReadTranscript()
{
    QFile file(TranscriptFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string_view View(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Every complete line the server sent, on every connection, is a
// transcript record, in order; `extra` records may follow (the evidence
// of a line given up on). Of a stream the client cut short, the records
// are the lines up to the cut.
void CheckNothingLost(const ScriptedDictServer& server, std::size_t extra = 0, bool cut = false)
{
    const QByteArray transcript = ReadTranscript();
    std::vector<QByteArray> sent;
    std::vector<std::string_view> lines;
    for (int i = 0; i < server.ConnectionCount(); ++i) {
        sent.push_back(server.SentBytes(i));
        const auto more = CompleteLines(View(sent.back()));
        lines.insert(lines.end(), more.begin(), more.end());
    }
    const auto records = InRecords(View(transcript));
    if (cut)
        QVERIFY(records.size() < lines.size());
    else
        QCOMPARE(records.size(), lines.size() + extra);
    for (std::size_t i = 0; i < std::min(records.size(), lines.size()); ++i)
        if (records[i] != lines[i])
            QFAIL(qPrintable(QString("record %1 differs from the line sent").arg(i)));
}

void CheckBounded(ConnectionHarness& harness, const TickWatch& watch, long maxGrowthKb)
{
    const std::size_t largest = harness.Connection().LargestReceive();
    qInfo("largest receive %zu bytes, resident size grew %ld kB", largest, watch.GrowthKb());
    QVERIFY2(largest <= MaxReadPerNotification, qPrintable(QString("%1 bytes in one notification").arg(largest)));
    QVERIFY(watch.Ticks() > 0);
    QVERIFY2(watch.GrewLessThanKb(maxGrowthKb), qPrintable(QString("grew %1 kB").arg(watch.GrowthKb())));
}

// Lines of plain text, none starting with a dot, about `size` bytes.
QByteArray DefinitionBody(int size)
{
    QByteArray body;
    body.reserve(size + 128);
    for (int i = 0; body.size() < size; ++i)
        body += "  apple line " + QByteArray::number(i) + ": fruit with red or yellow or green skin\r\n";
    return body;
}

// The script up to the DEFINE a test then answers.
void ScriptUpToDefine(ScriptedDictServer& server)
{
    server.Send(GreetingLine).WaitForLine("^SHOW DB$").Send(ShowDbReply).WaitForLine("^DEFINE ");
}

// Connected, the greeting answered and the database list handled.
bool WaitUntilListed(ScriptedDictServer& server, ConnectionHarness& harness)
{
    return WaitUntil([&] { return server.ReceivedLines().contains("SHOW DB") && harness.RootImage() == ImageIdle; },
                     20000);
}

bool TranscriptEndsWith(const QByteArray& tail)
{
    QFile file(TranscriptFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    file.seek(std::max<qint64>(0, file.size() - tail.size() - 1));
    return file.readAll().contains(tail);
}

}  // namespace

class tst_HostileServers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void endlessLineIsGivenUpInBoundedMemory();
    void fiftyMegabytesOfDefinitions();
    void tenThousandDatabases();
    void nulBytesAndBrokenUtf8InVolume();
    void connectionEndsInTheMiddleOfAReply_data();
    void connectionEndsInTheMiddleOfAReply();
    void acceptedAndNeverSpoken();

private:
    std::unique_ptr<ScriptedDictServer> m_server;
};

void tst_HostileServers::init()
{
    m_server = std::make_unique<ScriptedDictServer>();
    QVERIFY(m_server->Listen());
}

void tst_HostileServers::endlessLineIsGivenUpInBoundedMemory()
{
    // 16 MB without a line end, in shared 64 kB chunks so that the
    // server's own memory stays small.
    const QByteArray chunk(64 * 1024, 'x');
    m_server->Send(GreetingLine).WaitForLine("^SHOW DB$");
    for (int i = 0; i < 256; ++i)
        m_server->Send(chunk);
    TickWatch watch;
    ConnectionHarness harness(Host, m_server->Port());
    QVERIFY(WaitUntil([&] { return harness.RootImage() == ImageClosed && harness.RootImages().size() > 2; }, 20000));
    QVERIFY(WaitUntil([&] { return m_server->IsScriptDone(); }, 20000));
    CheckBounded(harness, watch, 48 * 1024);
    CheckNothingLost(*m_server, 1);
    const QByteArray transcript = ReadTranscript();
    const auto records = InRecords(View(transcript));
    QVERIFY(records.back().size() > DictConnection::MaxPendingLine);
    QVERIFY(records.back().find_first_not_of('x') == std::string_view::npos);
}

void tst_HostileServers::fiftyMegabytesOfDefinitions()
{
    constexpr int Definitions = 50;
    const QByteArray body = DefinitionBody(1024 * 1024);
    ScriptUpToDefine(*m_server);
    m_server->Send("150 " + QByteArray::number(Definitions) + " definitions retrieved\r\n");
    for (int i = 0; i < Definitions; ++i)
        m_server->Send(DefinitionHeader).Send(body).Send(".\r\n");
    m_server->Send("250 ok\r\n");
    {
        TickWatch watch;
        ConnectionHarness harness(Host, m_server->Port());
        m_server->SetChunkGate(harness.ChunkGate());
        QVERIFY(WaitUntilListed(*m_server, harness));
        harness.Connection().Define("apple");
        QVERIFY(WaitUntil([&] { return m_server->IsScriptDone() && harness.RootImage() == ImageIdle; }, 50000));
        // The texts kept are the data itself; allow them three times over.
        CheckBounded(harness, watch, 3 * Definitions * 1024 + 64 * 1024);
        const auto nodes = harness.DatabaseNodes();
        QCOMPARE(nodes.size(), std::size_t(1));
        const std::string stored = nodes.front().definitions;
        QCOMPARE(std::count(stored.begin(), stored.end(), '\n'), Definitions * (body.count('\n') + 1) - 1);
        QCOMPARE(stored.substr(0, 16), std::string("  apple line 0: "));
        CheckNothingLost(*m_server);
    }
    QVERIFY(QFile::remove(TranscriptFile));
}

void tst_HostileServers::tenThousandDatabases()
{
    constexpr int Count = 10000;
    std::vector<ScriptedDictServer::Database> databases;
    std::multimap<std::string, ScriptedDictServer::Definition> definitions;
    for (int i = 0; i < Count; ++i) {
        const std::string name = "db" + std::to_string(i);
        databases.push_back({name, "Dictionary number " + std::to_string(i)});
        definitions.emplace("apple", ScriptedDictServer::Definition{name, "apple", "apple in " + name});
    }
    m_server->EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(), databases, definitions);
    TickWatch watch;
    ConnectionHarness harness(Host, m_server->Port());
    // Shown and open, so that every node inserted is laid out and measured.
    harness.Tree().Widget()->show();
    harness.Tree().Widget()->topLevelItem(0)->setExpanded(true);
    QVERIFY(WaitUntilListed(*m_server, harness));
    harness.Connection().Define("apple");
    QVERIFY(WaitUntil(
        [&] { return harness.RootImage() == ImageIdle && harness.Tree().GetChildCount(harness.Root()) == Count; },
        30000));
    CheckBounded(harness, watch, 128 * 1024);
    const auto nodes = harness.DatabaseNodes();
    for (std::size_t i = 1; i < nodes.size(); ++i)
        QVERIFY(QString::fromStdString(nodes[i - 1].text)
                    .compare(QString::fromStdString(nodes[i].text), Qt::CaseInsensitive)
                <= 0);
    for (const auto& node : nodes) {
        const std::string number = node.text.substr(node.text.rfind(' ') + 1);
        QCOMPARE(node.definitions, "apple in db" + number + "\n");
    }
    CheckNothingLost(*m_server);
}

void tst_HostileServers::nulBytesAndBrokenUtf8InVolume()
{
    constexpr int Lines = 20000;
    const QByteArray hostile[] = {
        QByteArray("\0nul", 4),  "\xC3\x28",        "\xFF\xFE", "\xE2\x82", "\xED\xA0\x80", "\xC0\xAF",
        QByteArray("tail\0", 5), "\xF4\x90\x80\x80"};
    QByteArray body;
    for (int i = 0; i < Lines; ++i)
        body += "mark" + QByteArray::number(i) + " " + hostile[i % std::size(hostile)] + " caf\xC3\xA9\r\n";
    ScriptUpToDefine(*m_server);
    m_server->Send("150 1 definitions retrieved\r\n" + DefinitionHeader).Send(body).Send(".\r\n250 ok\r\n");
    TickWatch watch;
    ConnectionHarness harness(Host, m_server->Port());
    QVERIFY(WaitUntilListed(*m_server, harness));
    harness.Connection().Define("apple");
    QVERIFY(WaitUntil([&] { return m_server->IsScriptDone() && harness.RootImage() == ImageIdle; }, 20000));
    CheckBounded(harness, watch, 64 * 1024);
    const auto nodes = harness.DatabaseNodes();
    QCOMPARE(nodes.size(), std::size_t(1));
    // Every line arrived in order with its valid parts intact.
    const std::string& stored = nodes.front().definitions;
    QCOMPARE(std::count(stored.begin(), stored.end(), '\n'), Lines);
    std::size_t at = 0;
    for (int i = 0; i < Lines; ++i) {
        at = stored.find("mark" + std::to_string(i) + " ", at);
        QVERIFY2(at != std::string::npos, qPrintable(QString("line %1 lost").arg(i)));
        const std::size_t end = stored.find('\n', at);
        QVERIFY(stored.compare(end - 6, 6, " caf\xC3\xA9") == 0);
        at = end;
    }
    CheckNothingLost(*m_server);
}

enum class Ending { Close, Reset, EndlessDefinition, UnsolicitedStream, TooManyDatabases };

void tst_HostileServers::connectionEndsInTheMiddleOfAReply_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<int>("connections");
    // A request the server left unanswered is sent once more; one the
    // client gave up on is not.
    QTest::newRow("close") << Ending::Close << 2;
    QTest::newRow("reset") << Ending::Reset << 2;
    QTest::newRow("endless definition") << Ending::EndlessDefinition << 1;
    QTest::newRow("unsolicited stream, transcript full") << Ending::UnsolicitedStream << 1;
    QTest::newRow("too many databases") << Ending::TooManyDatabases << 1;
}

void tst_HostileServers::connectionEndsInTheMiddleOfAReply()
{
    QFETCH(Ending, ending);
    QFETCH(int, connections);
    const QByteArray body = DefinitionBody(4 * 1024 * 1024);
    const QByteArray lastLine = body.right(body.size() - body.lastIndexOf("  apple line ", body.size() - 3)).chopped(2);
    // Limits low enough that the 4 MiB body, or the third database, passes them.
    ConnectionLimits limits;
    limits.databases = 2;
    const QByteArray thirdDatabase = "151 \"apple\" jargon \"J\"";
    if (ending == Ending::EndlessDefinition)
        limits.replyBytes = 1024 * 1024;
    if (ending == Ending::TooManyDatabases) {
        m_server->Send(GreetingLine).WaitForLine("^SHOW DB$");
        m_server->Send("110 3\r\ngcide \"G\"\r\nwn \"W\"\r\njargon \"J\"\r\n.\r\n250 ok\r\n").WaitForLine("^DEFINE ");
        m_server->Send("150 3\r\n151 \"apple\" gcide \"G\"\r\n").Send(body);
        m_server->Send(".\r\n151 \"apple\" wn \"W\"\r\nw\r\n.\r\n" + thirdDatabase + "\r\nj\r\n.\r\n250 ok\r\n");
    } else if (ending == Ending::UnsolicitedStream) {
        limits.transcriptBytes = 512 * 1024;
        m_server->Send(GreetingLine).WaitForLine("^SHOW DB$").Send(ShowDbReply).Send(body);
    } else {
        ScriptUpToDefine(*m_server);
        m_server->Send("150 2 definitions retrieved\r\n" + DefinitionHeader).Send(body);
    }
    // A reset drops what the client has not read yet: wait until it has.
    if (ending == Ending::Reset)
        m_server->Send("  a line cut sho").Hold([&] { return TranscriptEndsWith(lastLine + "\n"); }).Abort();
    else if (ending == Ending::Close)
        m_server->Send("  a line cut sho").Close();
    TickWatch watch;
    ConnectionHarness harness(Host, m_server->Port());
    harness.Connection().SetLimits(limits);
    if (ending != Ending::UnsolicitedStream) {
        QVERIFY(WaitUntilListed(*m_server, harness));
        harness.Connection().Define("apple");
    }
    QVERIFY(WaitUntil(
        [&] {
            const bool ended = connections == 2 ? m_server->IsScriptDone(1) : m_server->IsClosedByClient(0);
            return m_server->ConnectionCount() == connections && ended
                && harness.Connection().GetState() == ConnectionState::Closed;
        },
        20000));
    QCOMPARE(harness.RootImage(), ImageClosed);
    CheckBounded(harness, watch, 64 * 1024);
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
    if (connections == 2) {
        CheckNothingLost(*m_server);
        return;
    }
    CheckNothingLost(*m_server, 0, true);
    const QByteArray transcript = ReadTranscript();
    if (ending == Ending::EndlessDefinition) {
        // The reply's lines up to the one that passed the limit, and no more.
        const auto records = InRecords(View(transcript));
        const auto first = std::find(records.begin(), records.end(), "150 2 definitions retrieved");
        std::size_t bytes = 0;
        for (auto record = first; record != records.end(); ++record)
            bytes += record->size() + 1;
        QVERIFY(bytes > limits.replyBytes && bytes - records.back().size() - 1 <= limits.replyBytes);
        QVERIFY(transcript.endsWith("[in ] " + QByteArray(records.back().data(), records.back().size()) + "\n"));
    } else if (ending == Ending::UnsolicitedStream) {
        QVERIFY(transcript.size() <= qsizetype(limits.transcriptBytes));
        QVERIFY(transcript.size() > qsizetype(limits.transcriptBytes) - 256);
    } else {
        QVERIFY(transcript.endsWith("[in ] " + thirdDatabase + "\n"));
    }
    // The next lookup connects anew and is answered, with the new list.
    m_server->ClearScript();
    m_server->EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(),
                                  {{"wn", "WordNet (r) 3.0 (2006)"}},
                                  {{"apple", {"gcide", "apple", "g"}}, {"apple", {"wn", "apple", "w"}}});
    harness.Connection().Define("apple");
    QVERIFY(WaitUntil(
        [&] { return harness.RootImage() == ImageIdle && harness.Tree().GetChildCount(harness.Root()) == 2; }, 20000));
    QCOMPARE(m_server->ConnectionCount(), 2);
    QCOMPARE(harness.DatabaseNodes().front().text, std::string());
    if (ending == Ending::UnsolicitedStream)
        QCOMPARE(ReadTranscript(), transcript);
}

void tst_HostileServers::acceptedAndNeverSpoken()
{
    TickWatch watch;
    ConnectionHarness harness(Host, m_server->Port());
    QVERIFY(WaitUntil([&] { return harness.RootImage() == ImageIdle; }));
    harness.Connection().Define("apple");
    QTest::qWait(200);
    CheckBounded(harness, watch, 16 * 1024);
    QCOMPARE(m_server->ConnectionCount(), 1);
    // The greeting never came: the search waits for it, no line was
    // handled and the root stays connected and idle.
    QVERIFY(m_server->ReceivedLines().isEmpty());
    QCOMPARE(harness.Connection().GetState(), ConnectionState::Connecting);
    QCOMPARE(harness.RootImage(), ImageIdle);
    QVERIFY(ReadTranscript().isEmpty());
}

QTEST_MAIN(tst_HostileServers)
#include "tst_HostileServers.moc"
