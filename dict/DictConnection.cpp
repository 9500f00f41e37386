#include "DictConnection.h"

#include "DecodeUtf8Line.h"
#include "FormatDefineCommand.h"
#include "TokenizeReplyLine.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int ReadSize = 1024;

std::string TranscriptFileName(std::string host)
{
    // The host is not trusted to name a file outside the current
    // directory, nor one that its C string would cut short.
    std::replace(host.begin(), host.end(), '/', '_');
    std::replace(host.begin(), host.end(), '\0', '_');
    return host + ".log";
}

// find_first_of would scan its set for every byte; this is the hot loop.
std::size_t FindLineEnd(const std::string& buffer, std::size_t from)
{
    for (std::size_t i = from; i < buffer.size(); ++i)
        if (buffer[i] == '\n' || buffer[i] == '\r')
            return i;
    return std::string::npos;
}

int StatusCode(const std::vector<std::string>& words)
{
    return std::atoi(words.front().c_str());
}

}  // namespace

DictConnection::DictConnection(const std::string& host, int port) : m_strHost(host), m_nPort(port)
{
    m_transcript.open(TranscriptFileName(m_strHost), std::ios::out | std::ios::trunc);
}

DictConnection::~DictConnection()
{
    FlushRecords();
    m_transcript.close();
}

std::string DictConnection::GetHost() const
{
    return m_strHost;
}

int DictConnection::GetPort() const
{
    return m_nPort;
}

void DictConnection::InsertRootItem(TreeCtrl* tree)
{
    m_nodes.InsertRootItem(tree, *this);
}

void DictConnection::RemoveRootItem()
{
    m_nodes.RemoveRootItem();
}

void DictConnection::AddListener(DefinitionListener* listener)
{
    m_listeners.push_back(listener);
}

void DictConnection::RemoveListener(DefinitionListener* listener)
{
    std::erase(m_listeners, listener);
}

// The tree's nodes hear first: a listener may look for the node of what
// it is told.
template <typename Report> void DictConnection::Tell(Report report)
{
    report(static_cast<DefinitionListener&>(m_nodes));
    for (std::size_t i = 0; i < m_listeners.size(); ++i)
        report(*m_listeners[i]);
}

bool DictConnection::IsLookupPending() const
{
    return m_bWordHeld || m_nOutstandingDefines > 0;
}

void DictConnection::EndLookup(const LookupEnd& end)
{
    Tell([&](DefinitionListener& listener) { listener.OnLookupEnded(*this, end); });
}

void DictConnection::ConnectToServer()
{
    ResetStream();
    m_expectedReplies.push_back(Greeting);
    m_state = ConnectionState::Connecting;
    // A connect that fails at once reports nothing later.
    if (!Connect(GetHost(), m_nPort))
        OnConnectionLost(LookupEnd::Way::Unreachable, SocketError::Other);
}

// A new connection is a new stream: nothing of the old one carries over,
// only the transcript, which goes on in the same file.
void DictConnection::Reconnect()
{
    Close();
    Create();
    ConnectToServer();
}

void DictConnection::ResetStream()
{
    m_expectedReplies.clear();
    m_strReceiveBuffer.clear();
    m_nScannedBytes = 0;
    m_bPendingLf = false;
    m_strCurrentDefinition.clear();
    m_bKeepCurrentDefinition = false;
    m_nOutstandingDefines = 0;
    m_nReplyBytes = 0;
    m_nUnexpectedBytes = 0;
}

void DictConnection::OnConnect(int error)
{
    if (error == SocketError::None || error == SocketError::IsConnected)
        Tell([&](DefinitionListener& listener) { listener.OnActivity(*this, ConnectionActivity::Idle); });
    else
        OnConnectionLost(LookupEnd::Way::Unreachable, error);
    AsyncSocket::OnConnect(error);
}

void DictConnection::OnClose(int error)
{
    OnConnectionLost(LookupEnd::Way::Closed, error);
    AsyncSocket::OnClose(error);
}

// Every way a connection ends comes here. A request left unanswered (a
// server's time or query limit, a reset) is sent once more on a new
// connection; otherwise the server stays closed until the next lookup,
// and a lookup on its way has ended the way the connection did.
void DictConnection::OnConnectionLost(LookupEnd::Way way, int error)
{
    const bool resend = m_nOutstandingDefines > 0 && !m_bResent;
    const bool pending = IsLookupPending();
    m_state = ConnectionState::Closed;
    m_nOutstandingDefines = 0;
    m_bWordHeld = false;
    // A definition cut short is never completed; its memory goes now.
    std::string().swap(m_strCurrentDefinition);
    m_lookupDatabases.clear();
    Tell([&](DefinitionListener& listener) { listener.OnActivity(*this, ConnectionActivity::Closed); });
    if (!resend) {
        if (pending)
            EndLookup({way, std::string(), error});
        return;
    }
    m_bResent = true;
    m_bWordHeld = true;
    Reconnect();
}

void DictConnection::OnSend(int error)
{
    AsyncSocket::OnSend(error);
}

void DictConnection::RemoveDatabaseItems()
{
    m_nodes.RemoveDatabaseItems();
}

// ---- Line reception ----

void DictConnection::OnReceive(int error)
{
    if (error != SocketError::None)
        return;
    ReceiveAvailable();
    FlushRecords();
}

void DictConnection::ReceiveAvailable()
{
    char buffer[ReadSize];
    for (;;) {
        const int n = Receive(buffer, ReadSize);
        if (n < 0)
            return;
        if (n == 0) {
            CloseAsAtEndOfStream();
            return;
        }
        if (!ReceiveBytes(buffer, n))
            return;
    }
}

bool DictConnection::ReceiveBytes(const char* data, int n)
{
    m_strReceiveBuffer.append(data, static_cast<std::size_t>(n));
    WriteRecord(std::to_string(n) + " = " + std::to_string(m_strReceiveBuffer.size()));
    for (int i = 0; i < n; ++i)
        if (data[i] == '\0')
            WriteRecord("Character index " + std::to_string(i) + " is null");
    if (!CutLines())
        return false;
    if (m_strReceiveBuffer.size() <= MaxPendingLine)
        return true;
    // Keep the evidence of what the server sent before giving up.
    WriteRecord("[in ] " + m_strReceiveBuffer);
    GiveUp();
    return false;
}

void DictConnection::CloseAsAtEndOfStream()
{
    Close();
    OnConnectionLost(LookupEnd::Way::Closed, SocketError::None);
}

// The server sent more than any reply may hold: the connection ends as at
// a reset, and the request is not sent again, for the same answer would
// come once more. The next lookup connects anew.
void DictConnection::GiveUp()
{
    m_bResent = true;
    FlushRecords();
    Close();
    OnConnectionLost(LookupEnd::Way::GivenUp, SocketError::None);
}

// Every CR LF, lone CR or lone LF ends exactly one line, wherever the reads
// happen to split the stream. False when a line made the connection give
// up: the rest of the stream is not read.
bool DictConnection::CutLines()
{
    std::string& buffer = m_strReceiveBuffer;
    std::size_t start = 0;
    if (m_bPendingLf) {
        m_bPendingLf = false;
        if (buffer[0] == '\n')
            start = 1;
    }
    std::size_t end = std::max(start, m_nScannedBytes);
    while ((end = FindLineEnd(buffer, end)) != std::string::npos) {
        const std::string line = buffer.substr(start, end - start);
        if (buffer[end] == '\r') {
            if (end + 1 == buffer.size())
                m_bPendingLf = true;
            else if (buffer[end + 1] == '\n')
                ++end;
        }
        start = ++end;
        OnLine(line);
        // Lines arrive only while connected; closed now means given up.
        if (m_state == ConnectionState::Closed)
            return false;
    }
    buffer.erase(0, start);
    m_nScannedBytes = buffer.size();
    return true;
}

void DictConnection::OnLine(const std::string& line)
{
    WriteRecord("[in ] " + line);
    if (!CountLineBytes(line)) {
        GiveUp();
        return;
    }
    const std::string text = DecodeUtf8Line(line);
    if (m_expectedReplies.empty()) {
        OnUnexpectedLine(text);
        return;
    }
    const int kind = m_expectedReplies.front();
    m_expectedReplies.pop_front();
    m_bReplyGoesOn = false;
    switch (kind) {
    case Greeting: OnGreeting(text); break;
    case DatabaseListStatus: OnDatabaseListStatus(text); break;
    case DatabaseListLine: OnDatabaseListLine(text); break;
    case DefineStatus: OnDefineStatus(text); break;
    case DefinitionText: OnDefinitionLine(text); break;
    default: OnUnexpectedLine(text); break;
    }
    // A handler found the reply past a limit and gave up on the server.
    if (m_state == ConnectionState::Closed)
        return;
    if (!m_bReplyGoesOn)
        m_nReplyBytes = 0;
    UpdateActivity();
}

// False once the line takes its reply, or the lines nobody asked for,
// past their limit. Its line end counts too, so that empty lines add up.
bool DictConnection::CountLineBytes(const std::string& line)
{
    const std::size_t bytes = line.size() + 1;
    const int kind = m_expectedReplies.empty() ? 0 : m_expectedReplies.front();
    if (kind < Greeting || kind > DefinitionText)
        return (m_nUnexpectedBytes += bytes) <= m_limits.unexpectedBytes;
    return (m_nReplyBytes += bytes) <= m_limits.replyBytes;
}

// A handler's line leaves its reply unfinished: the next line is of the
// same reply.
void DictConnection::ExpectMore(ReplyKind kind)
{
    m_expectedReplies.push_front(kind);
    m_bReplyGoesOn = true;
}

void DictConnection::UpdateActivity()
{
    const auto activity = m_expectedReplies.empty() ? ConnectionActivity::Idle : ConnectionActivity::Busy;
    Tell([&](DefinitionListener& listener) { listener.OnActivity(*this, activity); });
}

void DictConnection::OnUnexpectedLine(const std::string&) {}

// ---- Transcript ----

void DictConnection::WriteRecord(const std::string& record)
{
    if (m_bTranscriptFull)
        return;
    m_strPendingRecords += record;
    m_strPendingRecords += '\n';
}

// One write per receive notification instead of one per line, and only
// whole records, so a process killed at any moment leaves a transcript
// that ends on a record.
void DictConnection::FlushRecords()
{
    if (m_strPendingRecords.empty())
        return;
    const std::uint64_t room = m_limits.transcriptBytes - std::min(m_nTranscriptBytes, m_limits.transcriptBytes);
    std::size_t size = m_strPendingRecords.size();
    if (size > room) {
        // Whole records only, up to the limit, and none after them.
        const std::size_t lastEnd = room == 0 ? std::string::npos : m_strPendingRecords.rfind('\n', room - 1);
        size = lastEnd == std::string::npos ? 0 : lastEnd + 1;
        m_bTranscriptFull = true;
    }
    m_transcript.write(m_strPendingRecords.data(), static_cast<std::streamsize>(size));
    m_transcript.flush();
    m_nTranscriptBytes += size;
    m_strPendingRecords.clear();
}

// ---- Commands ----

// False when the command is too long to go out whole: it is then neither
// sent nor recorded, and must queue no reply, or every later reply would
// be matched against the wrong expectation.
bool DictConnection::QueueCommand(const std::string& command)
{
    if (!FitsCommandLine(command))
        return false;
    m_strOutgoing += command;
    m_strOutgoing += "\r\n";
    WriteRecord("[out] " + command);
    return true;
}

// The commands queued go out in one write, and their records follow them
// to the file: their replies are read only after we return, so the file
// keeps the same order and the write costs the round trip nothing. A
// send that fails on a dropped connection counts as sent; the close that
// follows settles it.
void DictConnection::SendQueuedCommands()
{
    if (!m_strOutgoing.empty())
        Send(m_strOutgoing.data(), static_cast<int>(m_strOutgoing.size()));
    m_strOutgoing.clear();
    FlushRecords();
}

// A held word rides in the same write: the list's reply comes before the
// definitions, so their nodes are labelled from it all the same, and the
// word is answered a round trip sooner.
void DictConnection::SendShowDb()
{
    if (QueueCommand("SHOW DB"))
        m_expectedReplies.push_back(DatabaseListStatus);
    if (m_bWordHeld)
        SendLatestWord();
    else
        SendQueuedCommands();
}

// A new connection's list replaces the last one's: the server may have
// changed its databases meanwhile.
void DictConnection::OnGreeting(const std::string&)
{
    m_state = ConnectionState::Listing;
    m_databaseDescriptions.clear();
    SendShowDb();
}

// Once "SHOW DB" is out a lookup goes at once: the list's reply comes
// first. Before, only the latest word is kept, for the greeting.
void DictConnection::Define(const std::string& word)
{
    m_strLatestWord = word;
    m_bResent = false;
    if (m_state == ConnectionState::Listing || m_state == ConnectionState::Ready) {
        SendLatestWord();
        return;
    }
    ClearDefinitions();
    m_bWordHeld = true;
    if (m_state == ConnectionState::Closed)
        Reconnect();
}

// The old definitions go once the request is on its way, which keeps
// their removal off the round trip.
void DictConnection::SendLatestWord()
{
    m_bWordHeld = false;
    const bool sent = QueueCommand(FormatDefineCommand(m_strLatestWord));
    if (sent) {
        m_expectedReplies.push_back(DefineStatus);
        ++m_nOutstandingDefines;
    }
    SendQueuedCommands();
    ClearDefinitions();
    if (!sent && !IsLookupPending())
        EndLookup({LookupEnd::Way::NotSent, std::string(), SocketError::None});
}

// ---- Replies ----

void DictConnection::OnDatabaseListStatus(const std::string& line)
{
    const auto words = TokenizeReplyLine(line);
    if (words.empty()) {
        ExpectMore(DatabaseListStatus);
        return;
    }
    const int code = StatusCode(words);
    if (code >= 100 && code <= 199)
        ExpectMore(DatabaseListLine);
    else
        m_state = ConnectionState::Ready;
}

void DictConnection::OnDatabaseListLine(const std::string& line)
{
    if (line == ".") {
        // The list's closing status line answers this request too.
        ExpectMore(DatabaseListStatus);
        return;
    }
    ExpectMore(DatabaseListLine);
    const auto words = TokenizeReplyLine(line);
    if (words.empty())
        return;
    // Past the limit the list is read on and not recorded.
    const auto found = m_databaseDescriptions.find(words.front());
    if (found != m_databaseDescriptions.end())
        found->second = words.back();
    else if (m_databaseDescriptions.size() < m_limits.databases)
        m_databaseDescriptions.emplace(words.front(), words.back());
}

bool DictConnection::IsReplySuperseded() const
{
    // Replies come in request order, so the one arriving is the latest
    // request's only when no later request is outstanding behind it.
    return m_nOutstandingDefines > 1;
}

void DictConnection::OnDefineStatus(const std::string& line)
{
    const auto words = TokenizeReplyLine(line);
    if (words.empty()) {
        ExpectMore(DefineStatus);
        return;
    }
    const int code = StatusCode(words);
    if (code == 150) {
        ExpectMore(DefineStatus);
        return;
    }
    if (code != 151) {
        if (m_nOutstandingDefines > 0 && --m_nOutstandingDefines == 0 && !m_bWordHeld)
            EndLookup({LookupEnd::Way::Answered, line, SocketError::None});
        return;
    }
    ExpectMore(DefinitionText);
    m_bKeepCurrentDefinition = words.size() >= 3 && !IsReplySuperseded() && IsListened();
    if (!m_bKeepCurrentDefinition)
        return;
    m_strCurrentDatabase = words[2];
    if (!m_lookupDatabases.contains(m_strCurrentDatabase)) {
        // More databases than any server has: given up like a reply too long.
        if (m_lookupDatabases.size() >= m_limits.databases) {
            GiveUp();
            return;
        }
        m_lookupDatabases.insert(m_strCurrentDatabase);
    }
    // Told again for a database met before: its node shows it has definitions.
    const std::string description = DatabaseDescription(m_strCurrentDatabase);
    Tell([&](DefinitionListener& listener) { listener.OnDatabaseBegins(*this, m_strCurrentDatabase, description); });
}

// Definitions nobody hears need not be kept.
bool DictConnection::IsListened() const
{
    return m_nodes.IsAttached() || !m_listeners.empty();
}

// Empty for a database the list did not name.
std::string DictConnection::DatabaseDescription(const std::string& name) const
{
    const auto found = m_databaseDescriptions.find(name);
    return found == m_databaseDescriptions.end() ? std::string() : found->second;
}

void DictConnection::OnDefinitionLine(const std::string& line)
{
    if (line != ".") {
        ExpectMore(DefinitionText);
        if (m_bKeepCurrentDefinition) {
            // Servers double a text line that is a lone dot; dictd doubles
            // no other leading dot, so none other is taken away.
            if (line == "..")
                m_strCurrentDefinition += '.';
            else
                m_strCurrentDefinition += line;
            m_strCurrentDefinition += '\n';
        }
        return;
    }
    ExpectMore(DefineStatus);
    if (m_bKeepCurrentDefinition)
        Tell([&](DefinitionListener& listener) {
            listener.OnDefinitionComplete(*this, m_strCurrentDatabase, m_strCurrentDefinition);
        });
    m_bKeepCurrentDefinition = false;
    // Its copy is stored; a long one's memory is not kept for the next.
    std::string().swap(m_strCurrentDefinition);
}

void DictConnection::ClearDefinitions()
{
    m_lookupDatabases.clear();
    Tell([&](DefinitionListener& listener) { listener.OnDefinitionsCleared(*this); });
}

std::string DictConnection::GetDefinitions(HTREEITEM item)
{
    const std::string* stored = FindDefinitions(item);
    return stored ? *stored : std::string();
}

const std::string* DictConnection::FindDefinitions(HTREEITEM item) const
{
    return m_nodes.FindDefinitions(item);
}

HTREEITEM DictConnection::FindDatabaseItem(const std::string& database) const
{
    return m_nodes.FindDatabaseItem(database);
}
