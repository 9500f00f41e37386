#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;

// A DICT server for tests, on 127.0.0.1 and a port the system picks. Each
// accepted connection plays the same script of steps (byte chunks, waits
// for client lines, pauses, a close or a reset); after the last step it
// either answers like a DICT server from a table (when one was given) or
// stays silent. Everything the client sends is recorded per connection.
class ScriptedDictServer : public QObject {
    Q_OBJECT
public:
    // One database of the built-in DICT responder.
    struct Database {
        std::string name;
        std::string description;
    };
    // One definition the responder returns for a word.
    struct Definition {
        std::string database;
        std::string headword;
        std::string text;  // lines separated by "\n"; a line "." is dot-stuffed on the wire
    };

    explicit ScriptedDictServer(QObject* parent = nullptr);
    ~ScriptedDictServer() override;

    // Starts listening on a loopback address (any of 127.0.0.0/8, so that
    // several servers can have distinct hosts); false when no port could be had.
    bool Listen(const QString& address = "127.0.0.1");
    quint16 Port() const;
    // Stops accepting; a later connect is refused.
    void StopListening();

    // ---- The script, played on every connection ----
    ScriptedDictServer& Send(const QByteArray& bytes);
    // The bytes as separate writes, cut before each of the given offsets.
    ScriptedDictServer& SendSplit(const QByteArray& bytes, const std::vector<int>& cuts);
    ScriptedDictServer& SendByteByByte(const QByteArray& bytes);
    // Waits until the client has sent a complete line matching the pattern
    // (a line already received and not yet waited for counts).
    ScriptedDictServer& WaitForLine(const QString& pattern);
    ScriptedDictServer& Pause(int milliseconds);
    // Holds the script until the test's condition holds (polled).
    ScriptedDictServer& Hold(std::function<bool()> release);
    // Orderly close after the bytes written so far.
    ScriptedDictServer& Close();
    // Connection reset: pending bytes are dropped and the peer sees RST.
    ScriptedDictServer& Abort();
    void ClearScript();

    // Between two chunk writes the server waits until this returns true
    // (polled, the first time straight after the write), so each chunk
    // reaches the client in its own read. Without a gate it waits a couple
    // of milliseconds.
    void SetChunkGate(std::function<bool()> clientCaughtUp);

    // ---- The DICT responder, used once the script has run out ----
    void EnableDictResponder(const std::string& greeting, const std::vector<Database>& databases,
                             const std::multimap<std::string, Definition>& definitions);
    // "DEFINE db word" answers from the named database, "*" and "!" from all.
    // A responder with a small fixed English table (databases "wn" and
    // "gcide"; words "apple", "ice cream", "a\"b" and "nothing else").
    void EnableDefaultDictResponder();
    // The word the responder reads from a DEFINE command line, using
    // dictd's quoting rules; empty when the line is no DEFINE.
    static std::string ParseDefineWord(const std::string& line);
    static QByteArray DefaultGreeting();

    // Off: the responder forgets each line once answered and nothing sent
    // or received is kept, so that a long run measures the client alone.
    void KeepRecords(bool keep);

    // ---- What was seen ----
    int ConnectionCount() const;
    QByteArray ReceivedBytes(int connection = 0) const;
    QStringList ReceivedLines(int connection = 0) const;
    QByteArray SentBytes(int connection = 0) const;
    // Whether the client side of a connection has closed it.
    bool IsClosedByClient(int connection = 0) const;
    bool IsScriptDone(int connection = 0) const;

signals:
    void lineReceived(int connection, const QString& line);

private:
    struct Step;
    struct Session;

    void OnNewConnection();
    void RunSteps(Session& session);
    bool RunStep(Session& session, const Step& step);
    void ScheduleNext(Session& session, int delayMs);
    void WaitForGate(Session& session, int waitedMs);
    void OnReadyRead(Session& session);
    bool TakeMatchingLine(Session& session, const QRegularExpression& pattern);
    void RespondToLines(Session& session);
    void Respond(Session& session, const std::string& line);
    void RespondShowDb(Session& session);
    void RespondDefine(Session& session, const std::string& database, const std::string& word);
    void Write(Session& session, const QByteArray& bytes);
    const Session& At(int connection) const;

    QTcpServer m_server;
    QList<Step> m_script;
    std::vector<std::unique_ptr<Session>> m_sessions;
    std::function<bool()> m_gate;

    bool m_bResponder = false;
    bool m_bKeepRecords = true;
    std::string m_strGreeting;
    std::vector<Database> m_databases;
    std::multimap<std::string, Definition> m_definitions;
};
