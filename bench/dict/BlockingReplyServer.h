#pragma once

#include <atomic>
#include <string>
#include <thread>

// A DICT server on 127.0.0.1 in a thread of its own, so that its writing
// does not share the client's event loop: it greets, answers "SHOW DB"
// with one database and every DEFINE with the same prepared reply, one
// connection after the other. With an endless tail, that reply never
// ends: the tail follows it again and again until the client goes.
class BlockingReplyServer {
public:
    explicit BlockingReplyServer(std::string defineReply, std::string endlessTail = {});
    ~BlockingReplyServer();
    BlockingReplyServer(const BlockingReplyServer&) = delete;
    BlockingReplyServer& operator=(const BlockingReplyServer&) = delete;

    // 0 when no port could be had.
    int Port() const { return m_nPort; }
    static std::string DatabaseList();

private:
    void Serve();
    void Converse(int connection);

    bool SendDefineReply(int connection) const;

    std::string m_strDefineReply;
    std::string m_strEndlessTail;
    int m_nListener = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::thread m_thread;
};
