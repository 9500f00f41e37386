#include "BlockingReplyServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SendAll(int connection, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

BlockingReplyServer::BlockingReplyServer(std::string defineReply, std::string endlessTail)
    : m_strDefineReply(std::move(defineReply)), m_strEndlessTail(std::move(endlessTail))
{
    m_nListener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_nListener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_nListener, 4) != 0
        || ::getsockname(m_nListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_nPort = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

BlockingReplyServer::~BlockingReplyServer()
{
    m_bStopping = true;
    ::shutdown(m_nListener, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_nListener);
}

std::string BlockingReplyServer::DatabaseList()
{
    return "110 1 databases present\r\n"
           "gcide \"The Collaborative International Dictionary of English v.0.48\"\r\n"
           ".\r\n250 ok\r\n";
}

void BlockingReplyServer::Serve()
{
    while (!m_bStopping) {
        const int connection = ::accept(m_nListener, nullptr, nullptr);
        if (connection < 0)
            return;
        Converse(connection);
        ::close(connection);
    }
}

void BlockingReplyServer::Converse(int connection)
{
    if (!SendAll(connection, "220 bench.test dictd 1.13.0/rf <auth.mime> <1.1@bench.test>\r\n"))
        return;
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find("\r\n")) != std::string::npos) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 2);
            const bool sent = command.rfind("DEFINE", 0) == 0 ? SendDefineReply(connection)
                : command == "SHOW DB"                        ? SendAll(connection, DatabaseList())
                                                              : SendAll(connection, "500 unknown command\r\n");
            if (!sent)
                return;
        }
    }
}

bool BlockingReplyServer::SendDefineReply(int connection) const
{
    if (!SendAll(connection, m_strDefineReply))
        return false;
    while (!m_strEndlessTail.empty())
        if (!SendAll(connection, m_strEndlessTail))
            return false;
    return true;
}
