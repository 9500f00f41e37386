#include "ConnectionHarness.h"
#include "DictdPort.h"
#include "WaitUntil.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// DictConnection against the real dictd of the test fixture, checked
// against what a plain socket reads from the same server.
class DictdConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void greetingAndDatabaseList();
    void definitionsMatchWhatTheServerSends_data();
    void definitionsMatchWhatTheServerSends();
    void wordWithNoMatchLeavesNoChildren();
    void serverLimitsAreOutlived();

private:
    int m_nPort = 0;
};

namespace {

const std::string Host = "127.0.0.1";
const QByteArray ListEnd = "250 ok";

// A plain client: sends a command and collects the reply's lines.
class RawReply {
public:
    explicit RawReply(int port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        m_socket.waitForConnected(3000);
        m_greeting = ReadLine();
    }
    QByteArray Greeting() const { return m_greeting; }
    QList<QByteArray> ShowDb()
    {
        Send("SHOW DB");
        QList<QByteArray> lines{ReadLine()};
        if (lines.back().startsWith("110"))
            ReadText(lines);
        lines.append(ReadLine());
        return lines;
    }
    QList<QByteArray> Define(const QByteArray& command)
    {
        Send(command);
        QList<QByteArray> lines;
        for (;;) {
            lines.append(ReadLine());
            if (lines.back().startsWith("151"))
                ReadText(lines);
            else if (!lines.back().startsWith("150"))
                return lines;
        }
    }

private:
    void Send(const QByteArray& command)
    {
        m_socket.write(command + "\r\n");
        m_socket.flush();
    }
    void ReadText(QList<QByteArray>& lines)
    {
        do
            lines.append(ReadLine());
        while (lines.back() != ".");
    }
    QByteArray ReadLine()
    {
        WaitUntil([&] { return m_socket.canReadLine() || m_socket.state() != QAbstractSocket::ConnectedState; });
        QByteArray line = m_socket.readLine();
        line.chop(line.endsWith("\r\n") ? 2 : 0);
        return line;
    }

    QTcpSocket m_socket;
    QByteArray m_greeting;
};

// The server's statistics at the end of a status line vary from run to run.
QByteArray Normalised(const QByteArray& record)
{
    const qsizetype statistics = record.indexOf(" [d/m/c");
    return statistics < 0 ? record : record.left(statistics);
}

QList<QByteArray> Normalised(const QList<QByteArray>& records)
{
    QList<QByteArray> normalised;
    for (const QByteArray& record : records)
        normalised.append(Normalised(record));
    return normalised;
}

QList<QByteArray> InRecords(const QList<QByteArray>& lines)
{
    QList<QByteArray> records;
    for (const QByteArray& line : lines)
        records.append("[in ] " + line);
    return records;
}

std::map<std::string, std::string> Descriptions(const QList<QByteArray>& showDb)
{
    std::map<std::string, std::string> descriptions;
    for (const QByteArray& line : showDb.mid(1, showDb.size() - 3)) {
        const qsizetype blank = line.indexOf(' ');
        descriptions[line.left(blank).toStdString()] = line.mid(blank + 2).chopped(1).toStdString();
    }
    return descriptions;
}

// Database name to stored text, built from the raw reply the way the
// stored text is specified: lines plus "\n", definitions joined by the marker.
std::map<std::string, std::string> StoredTexts(const QList<QByteArray>& reply)
{
    std::map<std::string, std::string> texts;
    std::string* current = nullptr;
    std::string definition;
    for (const QByteArray& line : reply) {
        if (!current && line.startsWith("151")) {
            const QByteArray afterWord = line.mid(line.indexOf('"', 5) + 2);
            current = &texts[afterWord.left(afterWord.indexOf(' ')).toStdString()];
        } else if (current && line == ".") {
            *current += (current->empty() ? "" : "<qrlexsep>\n") + definition;
            definition.clear();
            current = nullptr;
        } else if (current) {
            definition += (line == ".." ? "." : line.toStdString()) + "\n";
        }
    }
    return texts;
}

using Nodes = std::vector<std::pair<std::string, std::string>>;

// Description and stored text of each node the reply gives, in the tree's order.
Nodes ExpectedNodes(const std::map<std::string, std::string>& descriptions, const QList<QByteArray>& reply)
{
    Nodes expected;
    for (const auto& [database, text] : StoredTexts(reply))
        expected.emplace_back(descriptions.at(database), text);
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return QString::compare(QString::fromStdString(a.first), QString::fromStdString(b.first), Qt::CaseInsensitive)
            < 0;
    });
    return expected;
}

Nodes ShownNodes(ConnectionHarness& harness)
{
    Nodes shown;
    for (const auto& node : harness.DatabaseNodes())
        shown.emplace_back(node.text, node.definitions);
    return shown;
}

bool WaitForIdleAfter(ConnectionHarness& harness, const QByteArray& prefix)
{
    return WaitUntil([&] {
        const auto records = harness.Transcript();
        return harness.RootImage() == 1 && !records.isEmpty() && records.back().startsWith("[in ] " + prefix);
    });
}

}  // namespace

void DictdConnectionTest::initTestCase()
{
    m_nPort = DictdPort();
    QVERIFY2(m_nPort > 0, "the dictd fixture gave no port");
}

void DictdConnectionTest::init()
{
    QFile::remove(QString::fromStdString(Host) + ".log");
}

void DictdConnectionTest::greetingAndDatabaseList()
{
    RawReply raw(m_nPort);
    const QList<QByteArray> showDb = raw.ShowDb();
    QCOMPARE(showDb.size(), 8);  // 110, five databases, ".", 250

    ConnectionHarness harness(Host, m_nPort);
    QVERIFY(WaitForIdleAfter(harness, ListEnd));
    const auto lines = harness.TranscriptLineRecords();
    QVERIFY(lines[0].startsWith("[in ] 220 "));
    QVERIFY(lines[0].contains("<auth.mime>"));
    QCOMPARE(lines[1], QByteArray("[out] SHOW DB"));
    QCOMPARE(Normalised(lines.mid(2)), Normalised(InRecords(showDb)));
    QCOMPARE(harness.RootImages().front(), 0);
    QCOMPARE(harness.RootImages()[1], 1);
    QCOMPARE(harness.RootImages().back(), 1);
    for (const int image : harness.RootImages())
        QVERIFY(image == 0 || image == 1 || (image >= 4 && image <= 6));
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
}

void DictdConnectionTest::definitionsMatchWhatTheServerSends_data()
{
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("minimumDatabases");
    QTest::newRow("apple") << QByteArray("apple") << 3;
    QTest::newRow("ice cream") << QByteArray("ice cream") << 2;
    QTest::newRow("utf-8 word") << QByteArray("caf\xC3\xA9") << 1;
    QTest::newRow("utf-8 in the reply") << QByteArray("green") << 3;
}

void DictdConnectionTest::definitionsMatchWhatTheServerSends()
{
    QFETCH(QByteArray, word);
    QFETCH(int, minimumDatabases);
    const QByteArray command = "DEFINE * \"" + word + "\"";
    RawReply raw(m_nPort);
    const auto descriptions = Descriptions(raw.ShowDb());
    const QList<QByteArray> reply = raw.Define(command);
    const Nodes expected = ExpectedNodes(descriptions, reply);
    QVERIFY(static_cast<int>(expected.size()) >= minimumDatabases);

    ConnectionHarness harness(Host, m_nPort);
    QVERIFY(WaitForIdleAfter(harness, ListEnd));
    harness.Connection().Define(word.toStdString());
    QVERIFY(WaitForIdleAfter(harness, Normalised(reply.back())));

    const auto lines = harness.TranscriptLineRecords();
    QCOMPARE(Normalised(lines.mid(lines.indexOf("[out] " + command) + 1)), Normalised(InRecords(reply)));

    QCOMPARE(ShownNodes(harness), expected);
    const auto nodes = harness.DatabaseNodes();
    QCOMPARE(nodes.size(), expected.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        QCOMPARE(nodes[i].image, 3);
        QCOMPARE(nodes[i].data, reinterpret_cast<std::uintptr_t>(&harness.Connection()));
    }
}

void DictdConnectionTest::wordWithNoMatchLeavesNoChildren()
{
    ConnectionHarness harness(Host, m_nPort);
    QVERIFY(WaitForIdleAfter(harness, ListEnd));
    harness.Connection().Define("apple");
    QVERIFY(WaitForIdleAfter(harness, "250 ok"));
    QVERIFY(harness.Tree().GetChildCount(harness.Root()) > 0);
    harness.Connection().Define("qzxqzxq");
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
    QVERIFY(WaitForIdleAfter(harness, "552 no match"));
    QCOMPARE(harness.Tree().GetChildCount(harness.Root()), 0);
    QCOMPARE(harness.Transcript().mid(harness.Transcript().size() - 3, 1),
             QList<QByteArray>({"[out] DEFINE * \"qzxqzxq\""}));
}

// A dictd that closes every connection 3 s after it opened it and after 5
// commands: lookups spread over more than 10 s are all answered, each as
// the unlimited server answers it, and the transcript runs on across the
// reconnections.
void DictdConnectionTest::serverLimitsAreOutlived()
{
    constexpr int Lookups = 30;
    const int limited = DictdPort("QUORLEX_DICTD_LIMITED_PORT_FILE");
    QVERIFY2(limited > 0, "the limited dictd fixture gave no port");
    const QByteArray words[] = {"apple", "pear", "ice cream", "green", "tree"};
    std::map<QByteArray, Nodes> expected;
    RawReply raw(m_nPort);
    const auto descriptions = Descriptions(raw.ShowDb());
    for (const QByteArray& word : words)
        expected[word] = ExpectedNodes(descriptions, raw.Define("DEFINE * \"" + word + "\""));

    ConnectionHarness harness(Host, limited);
    for (int i = 0; i < Lookups; ++i) {
        const QByteArray& word = words[i % std::size(words)];
        harness.Connection().Define(word.toStdString());
        QVERIFY2(WaitUntil(
                     [&] {
                         return harness.RootImage() == 1 && harness.Connection().GetState() == ConnectionState::Ready
                             && ShownNodes(harness) == expected[word];
                     },
                     20000),
                 word.constData());
        QTest::qWait(400);
    }
    // A connection takes the database list and four lookups at most.
    const auto records = harness.TranscriptLineRecords();
    QVERIFY(records.front().startsWith("[in ] 220 "));
    const auto greetings =
        std::count_if(records.begin(), records.end(), [](const QByteArray& r) { return r.startsWith("[in ] 220 "); });
    const auto lookups = std::count_if(records.begin(), records.end(),
                                       [](const QByteArray& r) { return r.startsWith("[out] DEFINE "); });
    QVERIFY2(greetings >= Lookups / 4, qPrintable(QString("%1 connections").arg(greetings)));
    QVERIFY(lookups >= Lookups);
    qInfo("%lld connections, %lld definition requests for %d lookups", static_cast<long long>(greetings),
          static_cast<long long>(lookups), Lookups);
}

QTEST_MAIN(DictdConnectionTest)
#include "tst_DictdConnection.moc"
