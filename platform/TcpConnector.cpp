#include "TcpConnector.h"

#include "AsyncSocket.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
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

// A link-local IPv6 address names no host without its interface, which a
// look-up gives as a number and a typed address (fe80::1%eth0) as a name.
socklen_t ToSocketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& storage)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::copy(std::begin(bytes.c), std::end(bytes.c), in6.sin6_addr.s6_addr);
        in6.sin6_scope_id = static_cast<uint32_t>(QNetworkInterface::interfaceIndexFromName(address.scopeId()));
        return sizeof in6;
    }
    auto& in4 = reinterpret_cast<sockaddr_in&>(storage);
    in4.sin_family = AF_INET;
    in4.sin_port = htons(port);
    in4.sin_addr.s_addr = htonl(address.toIPv4Address());
    return sizeof in4;
}

// The families take turns, led by the family the system put first: a
// family whose every address goes nowhere then delays the other by one
// attempt, not by one attempt per address.
QList<QHostAddress> AlternateFamilies(const QList<QHostAddress>& addresses)
{
    QList<QHostAddress> leading, other;
    for (const QHostAddress& address : addresses)
        (address.protocol() == addresses.front().protocol() ? leading : other).append(address);
    QList<QHostAddress> ordered;
    for (qsizetype i = 0; i < std::max(leading.size(), other.size()); ++i) {
        if (i < leading.size())
            ordered.append(leading[i]);
        if (i < other.size())
            ordered.append(other[i]);
    }
    return ordered;
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
      m_pContext(std::make_unique<LookupReceiver>([this](const QHostInfo& info) { OnLookedUp(info); })),
      m_pAttemptTimer(std::make_unique<QTimer>()), m_pLimitTimer(std::make_unique<QTimer>())
{
    m_pAttemptTimer->setSingleShot(true);
    m_pLimitTimer->setSingleShot(true);
    QObject::connect(m_pAttemptTimer.get(), &QTimer::timeout, [this] { StartNextAttempt(); });
    QObject::connect(m_pLimitTimer.get(), &QTimer::timeout, [this] { Finish(-1, SocketError::TimedOut); });
}

TcpConnector::~TcpConnector()
{
    if (m_nLookup >= 0)
        QHostInfo::abortHostLookup(m_nLookup);
    CloseAttempts();
}

void TcpConnector::SetTiming(std::chrono::milliseconds attemptDelay, std::chrono::milliseconds timeLimit)
{
    m_attemptDelay = attemptDelay;
    m_timeLimit = timeLimit;
}

void TcpConnector::Start(const QString& host, quint16 port)
{
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        Start(QList<QHostAddress>{literal}, port);
        return;
    }
    m_nPort = port;
    m_pLimitTimer->start(m_timeLimit);
    m_nLookup = QHostInfo::lookupHost(host, m_pContext.get(), SLOT(OnLookedUp(QHostInfo)));
}

void TcpConnector::Start(const QList<QHostAddress>& addresses, quint16 port)
{
    m_nPort = port;
    m_pLimitTimer->start(m_timeLimit);
    Race(addresses);
}

void TcpConnector::OnLookedUp(const QHostInfo& info)
{
    // A result already queued when the connect was given up (the time
    // limit) comes all the same: it must not start a second race.
    if (m_nLookup < 0)
        return;
    m_nLookup = -1;
    // Whatever kept the name from resolving, the host was not found.
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Finish(-1, SocketError::HostNotFound);
        return;
    }
    Race(info.addresses());
}

void TcpConnector::Race(const QList<QHostAddress>& addresses)
{
    m_addresses = AlternateFamilies(addresses);
    StartNextAttempt();
}

// An address whose connect fails at once gives way to the next at once.
void TcpConnector::StartNextAttempt()
{
    while (!m_addresses.isEmpty()) {
        sockaddr_storage storage{};
        const socklen_t length = ToSocketAddress(m_addresses.takeFirst(), m_nPort, storage);
        const int descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (descriptor < 0) {
            m_nLastError = errno;
            continue;
        }
        if (::connect(descriptor, reinterpret_cast<sockaddr*>(&storage), length) == 0) {
            Finish(descriptor, SocketError::None);
            return;
        }
        if (errno != EINPROGRESS) {
            m_nLastError = errno;
            ::close(descriptor);
            continue;
        }
        auto* notifier = new QSocketNotifier(descriptor, QSocketNotifier::Write, m_pContext.get());
        QObject::connect(notifier, &QSocketNotifier::activated, m_pContext.get(),
                         [this, descriptor] { OnWritable(descriptor); });
        m_attempts.push_back({descriptor, notifier});
        if (!m_addresses.isEmpty())
            m_pAttemptTimer->start(m_attemptDelay);
        return;
    }
    if (m_attempts.empty())
        Finish(-1, TranslateErrno(m_nLastError));
}

// An attempt's handshake ended; its outcome is read once, so no second
// connect is ever started on the same descriptor.
void TcpConnector::OnWritable(int descriptor)
{
    const auto attempt = std::find_if(m_attempts.begin(), m_attempts.end(),
                                      [descriptor](const Attempt& a) { return a.descriptor == descriptor; });
    if (attempt == m_attempts.end())
        return;
    // Not deleted inside its own signal.
    attempt->notifier->setEnabled(false);
    attempt->notifier->deleteLater();
    m_attempts.erase(attempt);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        Finish(descriptor, SocketError::None);
        return;
    }
    m_nLastError = error;
    ::close(descriptor);
    StartNextAttempt();
}

// Whatever the outcome, nothing of the race goes on.
void TcpConnector::Finish(int descriptor, int error)
{
    m_pAttemptTimer->stop();
    m_pLimitTimer->stop();
    if (m_nLookup >= 0)
        QHostInfo::abortHostLookup(std::exchange(m_nLookup, -1));
    m_addresses.clear();
    CloseAttempts();
    m_done(descriptor, error);
}

void TcpConnector::CloseAttempts()
{
    for (const Attempt& attempt : m_attempts) {
        delete attempt.notifier;
        ::close(attempt.descriptor);
    }
    m_attempts.clear();
}

#include "TcpConnector.moc"
