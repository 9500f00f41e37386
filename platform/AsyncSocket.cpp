#include "AsyncSocket.h"

#include "TcpConnector.h"

#include <QTcpSocket>
#include <QTimer>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>

namespace {

constexpr qint64 ReadBufferSize = 256 * 1024;
// A server that vanished without a reset (suspended, route dropped) is
// given up after about 25 s, idle or with data unacknowledged, instead of
// after TCP's 15 minutes.
constexpr int KeepIdleSeconds = 10;
constexpr int KeepIntervalSeconds = 5;
constexpr int KeepProbes = 3;
constexpr int UserTimeoutMs = 25000;

int TranslateError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::SocketTimeoutError: return SocketError::TimedOut;
    case QAbstractSocket::NetworkError: return SocketError::HostUnreachable;
    case QAbstractSocket::RemoteHostClosedError: return SocketError::None;
    default: return SocketError::Other;
    }
}

void SetOption(qintptr descriptor, int level, int name, int value)
{
    ::setsockopt(static_cast<int>(descriptor), level, name, &value, sizeof value);
}

}  // namespace

// Marks a call made on the socket: what Qt reports meanwhile waits.
class AsyncSocket::CallScope {
public:
    explicit CallScope(AsyncSocket& socket) : m_socket(socket) { ++m_socket.m_nCallDepth; }
    ~CallScope() { --m_socket.m_nCallDepth; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    AsyncSocket& m_socket;
};

AsyncSocket::AsyncSocket() = default;

AsyncSocket::~AsyncSocket()
{
    Close();
}

bool AsyncSocket::Create()
{
    if (m_pSocket)
        return false;
    if (!m_pDeferTimer) {
        m_pDeferTimer = std::make_unique<QTimer>();
        m_pDeferTimer->setSingleShot(true);
        QObject::connect(m_pDeferTimer.get(), &QTimer::timeout, [this] { DeliverDeferred(); });
    }
    m_pSocket = new QTcpSocket;
    // Each read notification then handles a bounded amount, so a server
    // sending without pause cannot hold the event loop for long.
    m_pSocket->setReadBufferSize(ReadBufferSize);
    WireSignals();
    return true;
}

void AsyncSocket::WireSignals()
{
    const auto wire = [this](auto signal, std::function<void()> handler) {
        QObject::connect(m_pSocket, signal, m_pSocket, [this, handler] {
            ++m_nSignalDepth;
            Deliver(handler);
            --m_nSignalDepth;
        });
    };
    wire(&QTcpSocket::readyRead, [this] { OnReceive(SocketError::None); });
    wire(&QTcpSocket::bytesWritten, [this] { OnSend(SocketError::None); });
    wire(&QTcpSocket::errorOccurred, [this] { HandleError(); });
    wire(&QTcpSocket::disconnected, [this] { HandleDisconnected(); });
}

// The one place notifications are run: at once from the event loop,
// later when Qt reports inside one of our calls, and always in order.
void AsyncSocket::Deliver(std::function<void()> notification)
{
    if (m_nCallDepth == 0 && m_deferred.empty())
        notification();
    else
        Defer(std::move(notification));
}

void AsyncSocket::Defer(std::function<void()> notification)
{
    m_deferred.push_back(std::move(notification));
    if (!m_pDeferTimer->isActive())
        m_pDeferTimer->start(0);
}

void AsyncSocket::DeliverDeferred()
{
    // A notification may close the socket, which drops the rest.
    while (!m_deferred.empty()) {
        const std::function<void()> notification = std::move(m_deferred.front());
        m_deferred.pop_front();
        notification();
    }
}

bool AsyncSocket::Connect(const std::string& host, int port)
{
    // QTcpSocket takes a 16-bit port and would silently wrap anything else.
    if (!m_pSocket || m_pConnector || port < 1 || port > 65535
        || m_pSocket->state() != QAbstractSocket::UnconnectedState)
        return false;
    CallScope call(*this);
    m_pConnector =
        std::make_unique<TcpConnector>([this](int descriptor, int error) { OnConnectDone(descriptor, error); });
    m_pConnector->Start(QString::fromStdString(host), static_cast<quint16>(port));
    return true;
}

// The socket takes the descriptor at once, so that a Close before the
// report is delivered closes it too; the report waits for the event loop,
// whenever the connector gives it.
void AsyncSocket::OnConnectDone(int descriptor, int error)
{
    if (error == SocketError::None)
        m_pSocket->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState);
    Defer([this, error] {
        m_pConnector.reset();
        if (error == SocketError::None)
            HandleConnected();
        else
            OnConnect(error);
    });
}

void AsyncSocket::HandleConnected()
{
    m_bConnected = true;
    DetectDeadPeer();
    OnConnect(SocketError::None);
}

void AsyncSocket::DetectDeadPeer()
{
    const qintptr descriptor = m_pSocket->socketDescriptor();
    SetOption(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, KeepIdleSeconds);
    SetOption(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, KeepIntervalSeconds);
    SetOption(descriptor, IPPROTO_TCP, TCP_KEEPCNT, KeepProbes);
    SetOption(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT, UserTimeoutMs);
}

// The error of an established connection; it ends in disconnected().
void AsyncSocket::HandleError()
{
    m_nLastError = TranslateError(m_pSocket->error());
}

void AsyncSocket::HandleDisconnected()
{
    if (!m_bConnected)
        return;
    m_bConnected = false;
    // Deliver what arrived before the close first; the reader sees the end
    // of the stream once the buffer is drained and may close the socket,
    // and even open a new one, which may take the old one's address.
    const unsigned closes = m_nCloses;
    OnReceive(SocketError::None);
    if (m_nCloses == closes)
        OnClose(m_nLastError);
}

int AsyncSocket::Receive(char* buffer, int length)
{
    if (!m_pSocket || length <= 0)
        return -1;
    CallScope call(*this);
    if (m_pSocket->bytesAvailable() > 0)
        return static_cast<int>(m_pSocket->read(buffer, length));
    if (m_pSocket->state() == QAbstractSocket::UnconnectedState)
        return 0;
    return -1;
}

int AsyncSocket::Send(const char* data, int length)
{
    if (!IsConnected())
        return -1;
    CallScope call(*this);
    // Straight to the kernel while Qt holds nothing unsent: Qt's own write
    // starts and stops watching the socket for room, each a wake-up of the
    // event loop, and reports the bytes written from the next turn, which
    // holds back every notification behind it. Only what the kernel does
    // not take at once goes through Qt.
    qint64 taken = 0;
    if (m_pSocket->bytesToWrite() == 0)
        taken = std::max<ssize_t>(0,
                                  ::send(static_cast<int>(m_pSocket->socketDescriptor()), data,
                                         static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT));
    if (taken < length) {
        taken += m_pSocket->write(data + taken, length - taken);
        m_pSocket->flush();
    }
    if (m_bQuickAck)
        RequestQuickAck();
    return static_cast<int>(taken);
}

void AsyncSocket::RequestQuickAck()
{
    SetOption(m_pSocket->socketDescriptor(), IPPROTO_TCP, TCP_QUICKACK, 1);
}

void AsyncSocket::Close()
{
    ++m_nCloses;
    m_deferred.clear();
    m_pConnector.reset();
    if (!m_pSocket)
        return;
    QTcpSocket* socket = m_pSocket;
    m_pSocket = nullptr;
    m_bConnected = false;
    m_nLastError = SocketError::None;
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->abort();
    // Inside one of the socket's own signals it must outlive the signal.
    if (m_nSignalDepth > 0)
        socket->deleteLater();
    else
        delete socket;
}

bool AsyncSocket::IsConnected() const
{
    return m_pSocket && m_bConnected && m_pSocket->state() == QAbstractSocket::ConnectedState;
}

void AsyncSocket::SetQuickAck(bool enabled)
{
    m_bQuickAck = enabled;
}

void AsyncSocket::OnConnect(int) {}
void AsyncSocket::OnReceive(int) {}
void AsyncSocket::OnSend(int) {}
void AsyncSocket::OnClose(int) {}
