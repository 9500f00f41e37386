#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <chrono>
#include <memory>
#include <vector>

// A slow link in front of a loopback server: every connection accepted
// (at once, undelayed) is joined to a new connection to the server, and
// every chunk either side sends, and its end of stream, reaches the other
// side the set delay later, in order.
class DelayRelay : public QObject {
    Q_OBJECT
public:
    DelayRelay(quint16 serverPort, std::chrono::milliseconds delay);
    ~DelayRelay() override;

    bool Listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 Port() const { return m_server.serverPort(); }
    // Both ends of every relayed connection closed at once, as a server
    // closing its idle connections does; the client sees the end undelayed.
    void CloseAll();

private:
    class Direction;
    struct Link;

    void OnNewConnection();

    QTcpServer m_server;
    quint16 m_nServerPort;
    std::chrono::milliseconds m_delay;
    std::vector<std::unique_ptr<Link>> m_links;
};
