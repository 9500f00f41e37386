// A process killed with SIGKILL in the middle of an exchange leaves a
// transcript complete up to its last record.
#include "ScriptedDictServer.h"
#include "WaitUntil.h"
#include "WireLines.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

constexpr int ListLines = 20000;
constexpr int LinesPerChunk = 40;

QByteArray ReadTranscript()
{
    QFile file("127.0.0.1.log");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string_view View(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// A long database list, sent in many small writes so the kill lands inside it.
void ScriptLongList(ScriptedDictServer& server)
{
    server.Send(ScriptedDictServer::DefaultGreeting() + "\r\n").WaitForLine("^SHOW DB$");
    server.Send("110 " + QByteArray::number(ListLines) + " databases present\r\n");
    QByteArray chunk;
    for (int i = 0; i < ListLines; ++i) {
        chunk += "db" + QByteArray::number(i) + " \"Dictionary number " + QByteArray::number(i) + "\"\r\n";
        if ((i + 1) % LinesPerChunk == 0) {
            server.Send(chunk);
            chunk.clear();
        }
    }
    server.Send(".\r\n250 ok\r\n");
}

}  // namespace

class tst_TranscriptDurability : public QObject {
    Q_OBJECT
private slots:
    void killedMidExchangeLeavesWholeRecords_data();
    void killedMidExchangeLeavesWholeRecords();
};

void tst_TranscriptDurability::killedMidExchangeLeavesWholeRecords_data()
{
    QTest::addColumn<int>("killAfterRecords");
    QTest::newRow("early") << 50;
    QTest::newRow("middle") << 2000;
    QTest::newRow("late") << 8000;
}

void tst_TranscriptDurability::killedMidExchangeLeavesWholeRecords()
{
    QFETCH(int, killAfterRecords);
    QFile::remove("127.0.0.1.log");
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    ScriptLongList(server);
    QProcess child;
    child.start(TRANSCRIPT_CHILD, {QString::number(server.Port())});
    QVERIFY(child.waitForStarted());
    QVERIFY(WaitUntil([&] { return ReadTranscript().count('\n') >= killAfterRecords; }, 20000));
    child.kill();
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QVERIFY2(!server.IsScriptDone(), "the exchange ended before the kill");

    const QByteArray transcript = ReadTranscript();
    QVERIFY(transcript.endsWith('\n'));
    const QByteArray sent = server.SentBytes();
    const auto lines = CompleteLines(View(sent));
    const auto records = InRecords(View(transcript));
    QVERIFY(records.size() >= std::size_t(killAfterRecords) / 2);
    QVERIFY(records.size() <= lines.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i] != lines[i])
            QFAIL(qPrintable(QString("record %1 is not the line sent").arg(i)));
    // Every record is whole: a read size record, a line or the command.
    for (const QByteArray& record : transcript.chopped(1).split('\n'))
        QVERIFY2(record.startsWith("[in ] ") || record.startsWith("[out] ") || record.contains(" = "),
                 record.constData());
}

QTEST_MAIN(tst_TranscriptDurability)
#include "tst_TranscriptDurability.moc"
