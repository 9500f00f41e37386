#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class QSocketNotifier;
class QHostInfo;
class QTimer;

// Opens one TCP connection without blocking and reports once, with a
// connected descriptor or a Windows Sockets error. A host name is looked
// up in the background and its addresses raced: an attempt starts, the
// next one AttemptDelay later (at once when one fails) while the earlier
// ones go on, and the first to connect wins; the others are closed
// unheard. An address that drops attempts so costs one delay, not the
// kernel's two-minute time-out. Qt's own connect takes a reset during the
// handshake for a connect still under way and connects again, without
// end, to a server that resets at once; here that attempt fails.
class TcpConnector {
public:
    // The descriptor (then owned by the callee) and 0, or -1 and an error.
    using Done = std::function<void(int descriptor, int error)>;

    // The delay RFC 8305 recommends between attempts.
    static constexpr std::chrono::milliseconds AttemptDelay{250};
    // A connect no attempt finished within this fails as timed out; other
    // clients give up after 5 to 30 s.
    static constexpr std::chrono::milliseconds TimeLimit{30000};

    explicit TcpConnector(Done done);
    ~TcpConnector();
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    // Tests reach the limit sooner, or keep the next attempt from starting
    // by the clock; called before Start.
    void SetTiming(std::chrono::milliseconds attemptDelay, std::chrono::milliseconds timeLimit);
    // A host name, or an address literal, which is the one attempt.
    void Start(const QString& host, quint16 port);
    // These addresses as a look-up would give them.
    void Start(const QList<QHostAddress>& addresses, quint16 port);

private:
    struct Attempt {
        int descriptor;
        QSocketNotifier* notifier;
    };

    void OnLookedUp(const QHostInfo& info);
    void Race(const QList<QHostAddress>& addresses);
    void StartNextAttempt();
    void OnWritable(int descriptor);
    void Finish(int descriptor, int error);
    void CloseAttempts();

    Done m_done;
    // Parent of the notifiers; lookups and notifiers end with it, so
    // nothing reports after we are gone.
    std::unique_ptr<QObject> m_pContext;
    std::unique_ptr<QTimer> m_pAttemptTimer;
    std::unique_ptr<QTimer> m_pLimitTimer;
    std::chrono::milliseconds m_attemptDelay = AttemptDelay;
    std::chrono::milliseconds m_timeLimit = TimeLimit;
    // Addresses not tried yet, in the order they will be.
    QList<QHostAddress> m_addresses;
    std::vector<Attempt> m_attempts;
    quint16 m_nPort = 0;
    int m_nLookup = -1;
    int m_nLastError = 0;
};
