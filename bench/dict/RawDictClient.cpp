#include "RawDictClient.h"

#include "ConnectLoopback.h"
#include "FormatDefineCommand.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

RawDictClient::~RawDictClient()
{
    if (m_nSocket >= 0)
        ::close(m_nSocket);
}

bool RawDictClient::Connect(int port)
{
    m_nSocket = ConnectLoopback(port);
    if (m_nSocket < 0)
        return false;
    std::string greeting;
    return ReadLine(greeting) && greeting.starts_with("220");
}

long long RawDictClient::TimeDefine(const std::string& word)
{
    const std::string command = FormatDefineCommand(word) + "\r\n";
    const auto start = std::chrono::steady_clock::now();
    if (::send(m_nSocket, command.data(), command.size(), 0) != static_cast<ssize_t>(command.size()))
        return -1;
    const int on = 1;
    ::setsockopt(m_nSocket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    if (!ReadToFinalStatus())
        return -1;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
}

bool RawDictClient::ReadToFinalStatus()
{
    bool inText = false;
    std::string line;
    while (ReadLine(line)) {
        if (inText) {
            inText = line != ".";
            continue;
        }
        const int code = std::atoi(line.c_str());
        if (code == 151)
            inText = true;
        else if (code != 150)
            return true;
    }
    return false;
}

bool RawDictClient::ReadLine(std::string& line)
{
    for (;;) {
        const std::size_t end = m_strBuffer.find("\r\n", m_nStart);
        if (end != std::string::npos) {
            line.assign(m_strBuffer, m_nStart, end - m_nStart);
            m_nStart = end + 2;
            return true;
        }
        m_strBuffer.erase(0, m_nStart);
        m_nStart = 0;
        char chunk[65536];
        const ssize_t n = ::recv(m_nSocket, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        m_strBuffer.append(chunk, static_cast<std::size_t>(n));
    }
}
