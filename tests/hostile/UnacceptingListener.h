#pragma once

#include <QTcpServer>
#include <QTcpSocket>

// Listens and never accepts: connections wait in the kernel's queue. One
// that drops holds its queue full with a connection of its own, and the
// kernel answers no further attempt, as behind a firewall that drops.
class UnacceptingListener {
public:
    bool Listen(const QHostAddress& address, quint16 port, bool drops)
    {
        m_server.setListenBacklogSize(drops ? 0 : 8);
        if (!m_server.listen(address, port))
            return false;
        m_server.pauseAccepting();
        if (drops)
            m_filler.connectToHost(address, m_server.serverPort());
        return !drops || m_filler.waitForConnected(5000);
    }
    quint16 Port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
    QTcpSocket m_filler;
};
