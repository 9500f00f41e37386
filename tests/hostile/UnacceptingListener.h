#pragma once

#include <QTcpServer>
#include <QTcpSocket>

// Listens and never accepts. One that drops holds its queue full with a
// connection of its own: the kernel answers no further attempt, as behind
// a firewall that drops.
struct UnacceptingListener {
    bool Listen(const QHostAddress& address, quint16 port, bool drops)
    {
        server.setListenBacklogSize(drops ? 0 : 8);
        if (!server.listen(address, port))
            return false;
        server.pauseAccepting();
        if (drops)
            filler.connectToHost(address, server.serverPort());
        return !drops || filler.waitForConnected(5000);
    }
    QTcpServer server;
    QTcpSocket filler;
};
