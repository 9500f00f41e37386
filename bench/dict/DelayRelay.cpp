#include "DelayRelay.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <deque>

namespace {

// The relay's own acknowledgements must not wait: a server that writes a
// reply in pieces would stall on them, and the delay would not be the link's.
void AcknowledgeAtOnce(QTcpSocket& socket)
{
    const int on = 1;
    ::setsockopt(static_cast<int>(socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

}  // namespace

// One way of a link: what `from` sends goes to `to` after the delay.
class DelayRelay::Direction {
public:
    Direction(QTcpSocket& from, QTcpSocket& to, std::chrono::milliseconds delay) : m_from(from), m_to(to)
    {
        m_clock.start();
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { PassDue(); });
        // The timer as context: nothing reaches a direction that is gone.
        QObject::connect(&m_from, &QTcpSocket::readyRead, &m_timer, [this, delay] {
            AcknowledgeAtOnce(m_from);
            Hold(m_from.readAll(), delay);
        });
        QObject::connect(&m_from, &QTcpSocket::disconnected, &m_timer, [this, delay] { Hold({}, delay); });
    }

private:
    struct Chunk {
        qint64 due;
        QByteArray bytes;  // empty: the end of the stream
    };

    void Hold(const QByteArray& bytes, std::chrono::milliseconds delay)
    {
        m_chunks.push_back({m_clock.elapsed() + delay.count(), bytes});
        if (!m_timer.isActive())
            Schedule();
    }

    void Schedule()
    {
        if (!m_chunks.empty())
            m_timer.start(static_cast<int>(std::max<qint64>(0, m_chunks.front().due - m_clock.elapsed())));
    }

    void PassDue()
    {
        while (!m_chunks.empty() && m_chunks.front().due <= m_clock.elapsed()) {
            const QByteArray bytes = m_chunks.front().bytes;
            m_chunks.pop_front();
            if (bytes.isEmpty())
                m_to.disconnectFromHost();
            else
                m_to.write(bytes);
        }
        Schedule();
    }

    QTcpSocket& m_from;
    QTcpSocket& m_to;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<Chunk> m_chunks;
};

struct DelayRelay::Link {
    std::unique_ptr<QTcpSocket> client;
    QTcpSocket server;
    std::unique_ptr<Direction> up, down;
};

DelayRelay::DelayRelay(quint16 serverPort, std::chrono::milliseconds delay) : m_nServerPort(serverPort), m_delay(delay)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DelayRelay::OnNewConnection);
}

DelayRelay::~DelayRelay() = default;

bool DelayRelay::Listen(const QHostAddress& address, quint16 port)
{
    return m_server.listen(address, port);
}

void DelayRelay::CloseAll()
{
    for (const auto& link : m_links) {
        link->client->disconnectFromHost();
        link->server.disconnectFromHost();
    }
}

void DelayRelay::OnNewConnection()
{
    while (QTcpSocket* accepted = m_server.nextPendingConnection()) {
        auto link = std::make_unique<Link>();
        link->client.reset(accepted);
        accepted->setParent(nullptr);
        accepted->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QTcpSocket* server = &link->server;
        connect(server, &QTcpSocket::connected, server,
                [server] { server->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
        link->up = std::make_unique<Direction>(*link->client, link->server, m_delay);
        link->down = std::make_unique<Direction>(link->server, *link->client, m_delay);
        link->server.connectToHost(QHostAddress::LocalHost, m_nServerPort);
        m_links.push_back(std::move(link));
    }
}
