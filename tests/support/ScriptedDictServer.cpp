#include "ScriptedDictServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <sys/socket.h>
#include <unordered_map>

namespace {

constexpr int UngatedChunkGapMs = 2;
constexpr int GatePollMs = 1;
constexpr int GateGiveUpMs = 2000;

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Splits a command line the way dictd does: blanks separate arguments;
// outside double quotes a backslash takes the next character literally;
// inside them a backslash is literal and a quote always ends the part;
// adjacent parts join into one argument.
std::vector<std::string> CommandArguments(const std::string& line)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"')
                inQuotes = false;
            else
                current += c;
        } else if (c == ' ' || c == '\t') {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            inQuotes = inArgument = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            current += line[++i];
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

std::string QuotedForStatus(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

QByteArray DotStuffedText(const std::string& text)
{
    QByteArray wire;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        wire += QByteArray::fromStdString(line == "." ? ".." : line) + "\r\n";
        start = end + 1;
    }
    return wire;
}

}  // namespace

struct ScriptedDictServer::Step {
    enum Kind { SendBytes, WaitLine, PauseFor, HoldUntil, CloseOrderly, Reset } kind;
    QByteArray bytes;
    QRegularExpression pattern;
    int milliseconds = 0;
    std::function<bool()> release;
};

struct ScriptedDictServer::Session {
    int index = 0;
    QTcpSocket* socket = nullptr;
    int nextStep = 0;
    bool waitingForLine = false;
    bool scriptDone = false;
    bool responding = false;
    bool closedByServer = false;
    bool closedByClient = false;
    QByteArray received;
    QByteArray pendingLine;
    QStringList lines;
    QList<QByteArray> rawLines;
    int linesWaitedFor = 0;
    int linesAnswered = 0;
    QByteArray sent;
};

ScriptedDictServer::ScriptedDictServer(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedDictServer::OnNewConnection);
}

ScriptedDictServer::~ScriptedDictServer()
{
    // Sockets go first: their pending timers refer to the sessions.
    for (auto& session : m_sessions) {
        session->socket->disconnect(this);
        delete session->socket;
    }
}

bool ScriptedDictServer::Listen(const QString& address)
{
    const QHostAddress host(address);
    return host.isLoopback() && m_server.listen(host, 0);
}

quint16 ScriptedDictServer::Port() const
{
    return m_server.serverPort();
}

void ScriptedDictServer::StopListening()
{
    m_server.close();
}

ScriptedDictServer& ScriptedDictServer::Send(const QByteArray& bytes)
{
    m_script.append(Step{Step::SendBytes, bytes, {}, 0, {}});
    return *this;
}

ScriptedDictServer& ScriptedDictServer::SendSplit(const QByteArray& bytes, const std::vector<int>& cuts)
{
    int start = 0;
    for (const int cut : cuts) {
        if (cut <= start || cut >= bytes.size())
            continue;
        Send(bytes.mid(start, cut - start));
        start = cut;
    }
    return Send(bytes.mid(start));
}

ScriptedDictServer& ScriptedDictServer::SendByteByByte(const QByteArray& bytes)
{
    for (const char c : bytes)
        Send(QByteArray(1, c));
    return *this;
}

ScriptedDictServer& ScriptedDictServer::WaitForLine(const QString& pattern)
{
    m_script.append(Step{Step::WaitLine, {}, QRegularExpression(pattern), 0, {}});
    return *this;
}

ScriptedDictServer& ScriptedDictServer::Pause(int milliseconds)
{
    m_script.append(Step{Step::PauseFor, {}, {}, milliseconds, {}});
    return *this;
}

ScriptedDictServer& ScriptedDictServer::Hold(std::function<bool()> release)
{
    m_script.append(Step{Step::HoldUntil, {}, {}, 0, std::move(release)});
    return *this;
}

ScriptedDictServer& ScriptedDictServer::Close()
{
    m_script.append(Step{Step::CloseOrderly, {}, {}, 0, {}});
    return *this;
}

ScriptedDictServer& ScriptedDictServer::Abort()
{
    m_script.append(Step{Step::Reset, {}, {}, 0, {}});
    return *this;
}

void ScriptedDictServer::ClearScript()
{
    m_script.clear();
}

void ScriptedDictServer::SetChunkGate(std::function<bool()> clientCaughtUp)
{
    m_gate = std::move(clientCaughtUp);
}

void ScriptedDictServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        m_sessions.push_back(std::make_unique<Session>());
        Session& session = *m_sessions.back();
        session.index = static_cast<int>(m_sessions.size()) - 1;
        session.socket = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, &session] { OnReadyRead(session); });
        connect(socket, &QTcpSocket::disconnected, this, [&session] {
            if (!session.closedByServer)
                session.closedByClient = true;
        });
        RunSteps(session);
    }
}

void ScriptedDictServer::RunSteps(Session& session)
{
    while (session.nextStep < m_script.size()) {
        if (!RunStep(session, m_script[session.nextStep]))
            return;
    }
    if (session.scriptDone)
        return;
    session.scriptDone = true;
    if (!m_bResponder || session.closedByServer)
        return;
    session.responding = true;
    if (!m_strGreeting.empty())
        Write(session, QByteArray::fromStdString(m_strGreeting) + "\r\n");
    RespondToLines(session);
}

// Runs one step; false when the script continues later from a timer or
// from the client's next line.
bool ScriptedDictServer::RunStep(Session& session, const Step& step)
{
    switch (step.kind) {
    case Step::SendBytes: {
        Write(session, step.bytes);
        ++session.nextStep;
        const bool chunkFollows =
            session.nextStep < m_script.size() && m_script[session.nextStep].kind == Step::SendBytes;
        if (!chunkFollows)
            return true;
        WaitForGate(session, 0);
        return false;
    }
    case Step::WaitLine:
        if (!TakeMatchingLine(session, step.pattern)) {
            session.waitingForLine = true;
            return false;
        }
        session.waitingForLine = false;
        ++session.nextStep;
        return true;
    case Step::PauseFor:
        ++session.nextStep;
        ScheduleNext(session, step.milliseconds);
        return false;
    case Step::HoldUntil:
        if (!step.release()) {
            ScheduleNext(session, GatePollMs);
            return false;
        }
        ++session.nextStep;
        return true;
    case Step::CloseOrderly:
        session.closedByServer = true;
        session.socket->disconnectFromHost();
        ++session.nextStep;
        return true;
    case Step::Reset: {
        session.closedByServer = true;
        // A zero linger time turns the close into a reset.
        const linger hard{1, 0};
        ::setsockopt(static_cast<int>(session.socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        session.socket->abort();
        ++session.nextStep;
        return true;
    }
    }
    return true;
}

void ScriptedDictServer::ScheduleNext(Session& session, int delayMs)
{
    QTimer::singleShot(delayMs, session.socket, [this, &session] { RunSteps(session); });
}

void ScriptedDictServer::WaitForGate(Session& session, int waitedMs)
{
    if (!m_gate) {
        ScheduleNext(session, UngatedChunkGapMs);
        return;
    }
    // The first poll comes straight after the write, before the client can
    // have read: it lets the gate take its bearings.
    if (m_gate() || waitedMs >= GateGiveUpMs) {
        RunSteps(session);
        return;
    }
    QTimer::singleShot(GatePollMs, session.socket,
                       [this, &session, waitedMs] { WaitForGate(session, waitedMs + GatePollMs); });
}

void ScriptedDictServer::OnReadyRead(Session& session)
{
    const QByteArray bytes = session.socket->readAll();
    if (m_bKeepRecords)
        session.received += bytes;
    session.pendingLine += bytes;
    qsizetype end;
    while ((end = session.pendingLine.indexOf('\n')) >= 0) {
        QByteArray line = session.pendingLine.left(end);
        session.pendingLine.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        session.rawLines.append(line);
        session.lines.append(QString::fromUtf8(line));
        emit lineReceived(session.index, session.lines.back());
    }
    if (session.waitingForLine)
        RunSteps(session);
    if (session.responding)
        RespondToLines(session);
}

bool ScriptedDictServer::TakeMatchingLine(Session& session, const QRegularExpression& pattern)
{
    while (session.linesWaitedFor < session.lines.size()) {
        const QString& line = session.lines[session.linesWaitedFor++];
        if (pattern.match(line).hasMatch()) {
            // Lines up to here belong to the script, not to the responder.
            session.linesAnswered = std::max(session.linesAnswered, session.linesWaitedFor);
            return true;
        }
    }
    return false;
}

void ScriptedDictServer::RespondToLines(Session& session)
{
    while (session.responding && session.linesAnswered < session.rawLines.size())
        Respond(session, session.rawLines[session.linesAnswered++].toStdString());
    // The script has run out when the responder answers: no wait needs them.
    if (m_bKeepRecords)
        return;
    session.rawLines.remove(0, session.linesAnswered);
    session.lines.remove(0, session.linesAnswered);
    session.linesWaitedFor = std::max(0, session.linesWaitedFor - session.linesAnswered);
    session.linesAnswered = 0;
}

void ScriptedDictServer::Respond(Session& session, const std::string& line)
{
    const auto arguments = CommandArguments(line);
    const std::string command = arguments.empty() ? std::string() : Lowered(arguments.front());
    if (command == "show" && arguments.size() >= 2
        && (Lowered(arguments[1]) == "db" || Lowered(arguments[1]) == "databases")) {
        RespondShowDb(session);
    } else if (command == "define" && arguments.size() == 3) {
        RespondDefine(session, arguments[1], arguments[2]);
    } else if (command == "quit") {
        Write(session, "221 bye\r\n");
        session.responding = false;
        session.closedByServer = true;
        session.socket->disconnectFromHost();
    } else if (command == "client") {
        Write(session, "250 ok\r\n");
    } else {
        Write(session, "500 unknown command\r\n");
    }
}

void ScriptedDictServer::RespondShowDb(Session& session)
{
    if (m_databases.empty()) {
        Write(session, "554 no databases present\r\n");
        return;
    }
    QByteArray reply =
        "110 " + QByteArray::number(static_cast<qulonglong>(m_databases.size())) + " databases present\r\n";
    for (const auto& database : m_databases)
        reply += QByteArray::fromStdString(database.name + " " + QuotedForStatus(database.description)) + "\r\n";
    reply += ".\r\n250 ok\r\n";
    Write(session, reply);
}

void ScriptedDictServer::RespondDefine(Session& session, const std::string& database, const std::string& word)
{
    std::vector<const Definition*> found;
    const auto [begin, end] = m_definitions.equal_range(Lowered(word));
    for (auto it = begin; it != end; ++it)
        if (database == "*" || database == "!" || it->second.database == database)
            found.push_back(&it->second);
    if (found.empty()) {
        Write(session, "552 no match [d/m/c = 0/0/0; 0.000r 0.000u 0.000s]\r\n");
        return;
    }
    // A map, not a search of the list per definition: tests answer with
    // thousands of databases, and this server shares the client's loop.
    std::unordered_map<std::string, const std::string*> descriptions;
    for (const Database& d : m_databases)
        descriptions.emplace(d.name, &d.description);
    QByteArray reply =
        "150 " + QByteArray::number(static_cast<qulonglong>(found.size())) + " definitions retrieved\r\n";
    for (const Definition* entry : found) {
        const Definition& definition = *entry;
        const auto database = descriptions.find(definition.database);
        const std::string& description = database == descriptions.end() ? definition.database : *database->second;
        reply += QByteArray::fromStdString("151 " + QuotedForStatus(definition.headword) + " " + definition.database
                                           + " " + QuotedForStatus(description))
            + "\r\n";
        reply += DotStuffedText(definition.text) + ".\r\n";
    }
    reply += "250 ok [d/m/c = 1/0/20; 0.000r 0.000u 0.000s]\r\n";
    Write(session, reply);
}

void ScriptedDictServer::Write(Session& session, const QByteArray& bytes)
{
    if (m_bKeepRecords)
        session.sent += bytes;
    session.socket->write(bytes);
    session.socket->flush();
}

void ScriptedDictServer::EnableDictResponder(const std::string& greeting, const std::vector<Database>& databases,
                                             const std::multimap<std::string, Definition>& definitions)
{
    m_bResponder = true;
    m_strGreeting = greeting;
    m_databases = databases;
    m_definitions.clear();
    for (const auto& [word, definition] : definitions)
        m_definitions.emplace(Lowered(word), definition);
}

QByteArray ScriptedDictServer::DefaultGreeting()
{
    return "220 scripted.test dictd 1.13.0/rf on Linux <auth.mime> <1.1@scripted.test>";
}

void ScriptedDictServer::EnableDefaultDictResponder()
{
    const std::vector<Database> databases = {
        {"gcide", "The Collaborative International Dictionary of English v.0.48"},
        {"wn", "WordNet (r) 3.0 (2006)"},
    };
    const std::multimap<std::string, Definition> definitions = {
        {"apple",
         {"gcide", "Apple",
          "Apple \\Ap\"ple\\, n.\n   The fleshy pome or fruit of a rosaceous tree.\n\n   See {Crab apple}."}},
        {"apple", {"wn", "apple", "apple\n    n 1: fruit with red or yellow or green skin {apple tree}"}},
        {"ice cream", {"wn", "ice cream", "ice cream\n    n 1: frozen dessert containing cream and sugar"}},
        {"a\"b", {"gcide", "a\"b", "a\"b\n   A word with a quote.\n.\n...-based"}},
    };
    EnableDictResponder(DefaultGreeting().toStdString(), databases, definitions);
}

std::string ScriptedDictServer::ParseDefineWord(const std::string& line)
{
    const auto arguments = CommandArguments(line);
    if (arguments.size() != 3 || Lowered(arguments.front()) != "define")
        return {};
    return arguments[2];
}

// ---- Records ----

const ScriptedDictServer::Session& ScriptedDictServer::At(int connection) const
{
    static const Session none;
    if (connection < 0 || connection >= static_cast<int>(m_sessions.size()))
        return none;
    return *m_sessions[static_cast<std::size_t>(connection)];
}

int ScriptedDictServer::ConnectionCount() const
{
    return static_cast<int>(m_sessions.size());
}

QByteArray ScriptedDictServer::ReceivedBytes(int connection) const
{
    return At(connection).received;
}

QStringList ScriptedDictServer::ReceivedLines(int connection) const
{
    return At(connection).lines;
}

QByteArray ScriptedDictServer::SentBytes(int connection) const
{
    return At(connection).sent;
}

void ScriptedDictServer::KeepRecords(bool keep)
{
    m_bKeepRecords = keep;
}

bool ScriptedDictServer::IsClosedByClient(int connection) const
{
    return At(connection).closedByClient;
}

bool ScriptedDictServer::IsScriptDone(int connection) const
{
    return At(connection).scriptDone;
}
