#include "AsyncSocket.h"

#include <QTcpSocket>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

constexpr qint64 ReadBufferSize = 256 * 1024;

int TranslateError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return SocketError::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError: return SocketError::HostNotFound;
    case QAbstractSocket::SocketTimeoutError: return SocketError::TimedOut;
    case QAbstractSocket::NetworkError: return SocketError::HostUnreachable;
    case QAbstractSocket::RemoteHostClosedError: return SocketError::None;
    default: return SocketError::Other;
    }
}

}  // namespace

AsyncSocket::AsyncSocket() = default;

AsyncSocket::~AsyncSocket()
{
    Close();
}

bool AsyncSocket::Create()
{
    if (m_pSocket)
        return false;
    m_pSocket = new QTcpSocket;
    // Each read notification then handles a bounded amount, so a server
    // sending without pause cannot hold the event loop for long.
    m_pSocket->setReadBufferSize(ReadBufferSize);
    WireSignals();
    return true;
}

// Wraps a signal handler so that Close knows whether it runs inside one.
template <typename Handler> auto AsyncSocket::Notifying(Handler handler)
{
    return [this, handler] {
        ++m_nNotifyDepth;
        handler();
        --m_nNotifyDepth;
    };
}

void AsyncSocket::WireSignals()
{
    QObject::connect(m_pSocket, &QTcpSocket::connected, m_pSocket, Notifying([this] {
                         m_bConnected = true;
                         OnConnect(SocketError::None);
                     }));
    QObject::connect(m_pSocket, &QTcpSocket::readyRead, m_pSocket, Notifying([this] { OnReceive(SocketError::None); }));
    QObject::connect(m_pSocket, &QTcpSocket::bytesWritten, m_pSocket, Notifying([this] { OnSend(SocketError::None); }));
    QObject::connect(m_pSocket, &QTcpSocket::errorOccurred, m_pSocket, Notifying([this] { HandleError(); }));
    QObject::connect(m_pSocket, &QTcpSocket::disconnected, m_pSocket, Notifying([this] { HandleDisconnected(); }));
}

bool AsyncSocket::Connect(const std::string& host, int port)
{
    // QTcpSocket takes a 16-bit port and would silently wrap anything else.
    if (!m_pSocket || port < 1 || port > 65535 || m_pSocket->state() != QAbstractSocket::UnconnectedState)
        return false;
    m_pSocket->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    return true;
}

void AsyncSocket::HandleError()
{
    m_nLastError = TranslateError(m_pSocket->error());
    // Errors before the connection was made are connect failures; errors on
    // an established connection end in disconnected(), handled there.
    if (!m_bConnected && m_pSocket->state() == QAbstractSocket::UnconnectedState)
        OnConnect(m_nLastError == SocketError::None ? SocketError::Other : m_nLastError);
}

void AsyncSocket::HandleDisconnected()
{
    if (!m_bConnected)
        return;
    m_bConnected = false;
    QTcpSocket* socket = m_pSocket;
    // Deliver what arrived before the close first; the reader sees the end
    // of the stream once the buffer is drained and may close the socket.
    OnReceive(SocketError::None);
    if (m_pSocket == socket)
        OnClose(m_nLastError);
}

int AsyncSocket::Receive(char* buffer, int length)
{
    if (!m_pSocket || length <= 0)
        return -1;
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
    const qint64 taken = m_pSocket->write(data, length);
    m_pSocket->flush();
    if (m_bQuickAck)
        RequestQuickAck();
    return static_cast<int>(taken);
}

void AsyncSocket::RequestQuickAck()
{
    const int one = 1;
    ::setsockopt(static_cast<int>(m_pSocket->socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

void AsyncSocket::Close()
{
    if (!m_pSocket)
        return;
    QTcpSocket* socket = m_pSocket;
    m_pSocket = nullptr;
    m_bConnected = false;
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->abort();
    // Inside one of the socket's own signals it must outlive the signal.
    if (m_nNotifyDepth > 0)
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
