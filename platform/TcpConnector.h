#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class QSocketNotifier;
class QHostInfo;

// Opens one TCP connection without blocking: resolves a host name in the
// background, tries its addresses in turn and reports once, with a
// connected descriptor or a Windows Sockets error. Qt's own connect takes
// a reset during the handshake for a connect still under way and connects
// again, without end, to a server that resets at once; here it fails.
class TcpConnector {
public:
    // The descriptor (then owned by the callee) and 0, or -1 and an error.
    using Done = std::function<void(int descriptor, int error)>;

    explicit TcpConnector(Done done);
    ~TcpConnector();
    TcpConnector(const TcpConnector&) = delete;
    TcpConnector& operator=(const TcpConnector&) = delete;

    void Start(const QString& host, quint16 port);

private:
    void OnLookedUp(const QHostInfo& info);
    void TryNextAddress();
    void OnWritable();
    void Finish(int descriptor, int error);
    void CloseDescriptor();

    Done m_done;
    // Lookups and notifiers end with it, so nothing reports after we are gone.
    std::unique_ptr<QObject> m_pContext;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    QList<QHostAddress> m_addresses;
    quint16 m_nPort = 0;
    int m_nDescriptor = -1;
    int m_nLookup = -1;
    int m_nLastError = 0;
};
