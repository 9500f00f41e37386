#include "TcpConnector.h"

#include "AsyncSocket.h"

#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace {

int TranslateErrno(int error)
{
    switch (error) {
    case ECONNREFUSED: return SocketError::ConnectionRefused;
    case ETIMEDOUT: return SocketError::TimedOut;
    case ECONNRESET: return SocketError::ConnectionReset;
    case EHOSTUNREACH:
    case ENETUNREACH: return SocketError::HostUnreachable;
    case ENETDOWN: return SocketError::NetworkDown;
    default: return SocketError::Other;
    }
}

// Takes the look-up's result by a named slot: a look-up given a functor
// leaks it when the program ends before the look-up does.
class LookupReceiver : public QObject {
    Q_OBJECT
public:
    explicit LookupReceiver(std::function<void(const QHostInfo&)> done) : m_done(std::move(done)) {}

public slots:
    void OnLookedUp(const QHostInfo& info) { m_done(info); }

private:
    std::function<void(const QHostInfo&)> m_done;
};

}  // namespace

TcpConnector::TcpConnector(Done done)
    : m_done(std::move(done)),
      m_pContext(std::make_unique<LookupReceiver>([this](const QHostInfo& info) { OnLookedUp(info); }))
{
}

TcpConnector::~TcpConnector()
{
    if (m_nLookup >= 0)
        QHostInfo::abortHostLookup(m_nLookup);
    CloseDescriptor();
}

void TcpConnector::Start(const QString& host, quint16 port)
{
    m_nPort = port;
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        m_addresses = {literal};
        TryNextAddress();
        return;
    }
    m_nLookup = QHostInfo::lookupHost(host, m_pContext.get(), SLOT(OnLookedUp(QHostInfo)));
}

void TcpConnector::OnLookedUp(const QHostInfo& info)
{
    m_nLookup = -1;
    // Whatever kept the name from resolving, the host was not found.
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Finish(-1, SocketError::HostNotFound);
        return;
    }
    m_addresses = info.addresses();
    TryNextAddress();
}

void TcpConnector::TryNextAddress()
{
    while (!m_addresses.isEmpty()) {
        const QHostAddress address = m_addresses.takeFirst();
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(m_nPort);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::copy(std::begin(bytes.c), std::end(bytes.c), in6.sin6_addr.s6_addr);
            length = sizeof in6;
        } else {
            auto& in4 = reinterpret_cast<sockaddr_in&>(storage);
            in4.sin_family = AF_INET;
            in4.sin_port = htons(m_nPort);
            in4.sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof in4;
        }
        m_nDescriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_nDescriptor < 0) {
            m_nLastError = errno;
            continue;
        }
        if (::connect(m_nDescriptor, reinterpret_cast<sockaddr*>(&storage), length) == 0) {
            Finish(std::exchange(m_nDescriptor, -1), SocketError::None);
            return;
        }
        if (errno == EINPROGRESS) {
            m_pNotifier = std::make_unique<QSocketNotifier>(m_nDescriptor, QSocketNotifier::Write);
            QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pContext.get(),
                             [this] { OnWritable(); });
            return;
        }
        m_nLastError = errno;
        CloseDescriptor();
    }
    Finish(-1, TranslateErrno(m_nLastError));
}

// The handshake ended; its outcome is read once, so no second attempt
// is ever started on the same descriptor.
void TcpConnector::OnWritable()
{
    // Not deleted inside its own signal.
    m_pNotifier->setEnabled(false);
    m_pNotifier.release()->deleteLater();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_nDescriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        Finish(std::exchange(m_nDescriptor, -1), SocketError::None);
        return;
    }
    m_nLastError = error;
    CloseDescriptor();
    TryNextAddress();
}

void TcpConnector::Finish(int descriptor, int error)
{
    m_done(descriptor, error);
}

void TcpConnector::CloseDescriptor()
{
    m_pNotifier.reset();
    if (m_nDescriptor >= 0)
        ::close(std::exchange(m_nDescriptor, -1));
}

#include "TcpConnector.moc"
