#pragma once

#include "AsyncSocket.h"
#include "ConnectionLimits.h"
#include "ConnectionState.h"
#include "DefinitionListener.h"
#include "ReplyKind.h"
#include "ServerNodes.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

// The client side of one connection to one DICT server: its socket, its
// transcript and its reply state machine. What it learns goes to its
// listeners: first its own nodes in the results tree, then any added.
class DictConnection : public AsyncSocket {
public:
    // A pending line longer than this is never going to end; the
    // connection is given up rather than let the buffer grow without end.
    static constexpr std::size_t MaxPendingLine = 1024 * 1024;
    // RFC 2229's limit for a command line, CR LF included.
    static constexpr std::size_t MaxCommandLine = 1024;
    // Whether the command goes out whole; one that does not is never sent.
    static bool FitsCommandLine(const std::string& command) { return command.size() + 2 <= MaxCommandLine; }

    DictConnection(const std::string& host, int port);
    ~DictConnection() override;

    std::string GetHost() const;
    int GetPort() const;
    void InsertRootItem(TreeCtrl* tree);
    void RemoveRootItem();
    void ConnectToServer();
    HTREEITEM GetRootItem() const { return m_nodes.GetRootItem(); }
    ConnectionState GetState() const { return m_state; }
    // A listener hears every report after the tree's nodes have; it must
    // outlive the connection or be removed first.
    void AddListener(DefinitionListener* listener);
    void RemoveListener(DefinitionListener* listener);
    // The latest lookup is on its way: held for the greeting or not yet
    // answered by its final status.
    bool IsLookupPending() const;
    // Tests reach the limits sooner by lowering them.
    void SetLimits(const ConnectionLimits& limits) { m_limits = limits; }
    // One read's bytes: recorded, cut into lines and handled. False when the
    // connection gave up on the server (a limit was passed) and closed. The records reach
    // the file when the receive notification ends, a command goes, the
    // connection is destroyed or FlushRecords is called.
    bool ReceiveBytes(const char* data, int n);
    void FlushRecords();

    virtual void SendShowDb();
    virtual void OnDatabaseListStatus(const std::string& line);
    virtual void OnLine(const std::string& line);
    virtual void OnDatabaseListLine(const std::string& line);
    virtual void OnGreeting(const std::string& line);
    virtual void OnUnexpectedLine(const std::string& line);
    virtual void RemoveDatabaseItems();
    virtual void Define(const std::string& word);
    virtual void OnDefineStatus(const std::string& line);
    virtual void OnDefinitionLine(const std::string& line);
    virtual void ClearDefinitions();
    virtual std::string GetDefinitions(HTREEITEM item);
    // The node's stored text itself, or null: a view of a large text need
    // not copy it. It lives until the node is removed from the tree.
    const std::string* FindDefinitions(HTREEITEM item) const;
    // The node of a database that returned definitions for the current
    // word, or null.
    HTREEITEM FindDatabaseItem(const std::string& database) const;

protected:
    void OnReceive(int error) override;
    void OnSend(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;

private:
    bool QueueCommand(const std::string& command);
    void SendQueuedCommands();
    void SendLatestWord();
    void Reconnect();
    void ResetStream();
    void OnConnectionLost(LookupEnd::Way way, int error);
    void ReceiveAvailable();
    void WriteRecord(const std::string& record);
    void UpdateActivity();
    template <typename Report> void Tell(Report report);
    void EndLookup(const LookupEnd& end);
    bool CutLines();
    bool CountLineBytes(const std::string& line);
    void ExpectMore(ReplyKind kind);
    void CloseAsAtEndOfStream();
    void GiveUp();
    std::string DatabaseDescription(const std::string& name) const;
    bool IsReplySuperseded() const;
    bool IsListened() const;

    std::string m_strHost;
    int m_nPort;
    std::deque<int> m_expectedReplies;
    std::fstream m_transcript;
    ConnectionLimits m_limits;
    // Bytes written to the transcript file; once a record did not fit no
    // later one is written, so the file never has a gap.
    std::uint64_t m_nTranscriptBytes = 0;
    bool m_bTranscriptFull = false;
    // Records of one receive notification, written together at its end.
    std::string m_strPendingRecords;
    // Command lines queued to go out together.
    std::string m_strOutgoing;
    ServerNodes m_nodes;
    std::vector<DefinitionListener*> m_listeners;
    std::map<std::string, std::string> m_databaseDescriptions;
    // Databases that returned definitions for the current word.
    std::set<std::string> m_lookupDatabases;
    std::string m_strCurrentDatabase;
    std::string m_strReceiveBuffer;
    std::string m_strCurrentDefinition;

    // Bytes at the front of the buffer already searched for a line end.
    std::size_t m_nScannedBytes = 0;
    // The last line ended with a CR at the end of a read; an LF opening
    // the next read belongs to it.
    bool m_bPendingLf = false;
    // The connection's life: a lookup is sent, held or first reconnects
    // according to m_state alone.
    ConnectionState m_state = ConnectionState::Closed;
    // The word of the latest lookup; held until the greeting is in.
    std::string m_strLatestWord;
    bool m_bWordHeld = false;
    // The latest word was sent once more after a close left it unanswered;
    // a new lookup clears the mark, so a failing server never loops.
    bool m_bResent = false;
    // Line bytes of the reply under way, and of lines nobody asked for
    // since the connect.
    std::size_t m_nReplyBytes = 0;
    std::size_t m_nUnexpectedBytes = 0;
    // Set by a handler whose line leaves its reply unfinished.
    bool m_bReplyGoesOn = false;
    // Definition requests sent on this connection and not yet answered by
    // a final status.
    int m_nOutstandingDefines = 0;
    // Whether the definition now arriving is kept (it belongs to the
    // latest request and names its database).
    bool m_bKeepCurrentDefinition = false;
};
