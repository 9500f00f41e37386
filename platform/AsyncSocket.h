#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

class QTcpSocket;
class QTimer;
class TcpConnector;

// Windows Sockets error numbers, kept because the connection logic and the
// transcript of failures are written in their terms.
namespace SocketError {
constexpr int None = 0;
constexpr int NetworkDown = 10050;
constexpr int ConnectionReset = 10054;
constexpr int IsConnected = 10056;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostUnreachable = 10065;
constexpr int HostNotFound = 11001;
constexpr int Other = 10022;
}  // namespace SocketError

// A non-blocking stream socket whose notifications arrive as virtual calls
// on the UI thread. Name resolution happens in the background.
//
// A notification never runs inside a call made on the socket (Connect,
// Receive, Send, Close): Qt can notice a reset inside a flush, and a
// handler closing the socket there would pull it from under the caller.
// What Qt reports during such a call is delivered from the event loop
// once the call has returned, in the order reported. After Close no
// notification of the closed connection arrives.
class AsyncSocket {
public:
    AsyncSocket();
    virtual ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // A fresh socket; false while one exists (Close it first).
    bool Create();
    // Host name, dotted IPv4 or IPv6 literal. A port outside 1..65535 fails.
    bool Connect(const std::string& host, int port);
    // Bytes read; 0 at the end of the stream; negative when nothing is there now.
    int Receive(char* buffer, int length);
    // Bytes taken; negative when the socket is not connected.
    int Send(const char* data, int length);
    void Close();

    bool IsConnected() const;
    // Ask the kernel to acknowledge received data at once after each send;
    // servers that write replies in pieces otherwise stall on delayed ACKs.
    void SetQuickAck(bool enabled);

protected:
    virtual void OnConnect(int error);
    virtual void OnReceive(int error);
    virtual void OnSend(int error);
    virtual void OnClose(int error);

private:
    class CallScope;

    void WireSignals();
    void Deliver(std::function<void()> notification);
    void Defer(std::function<void()> notification);
    void DeliverDeferred();
    void OnConnectDone(int descriptor, int error);
    void HandleConnected();
    void HandleDisconnected();
    void HandleError();
    void RequestQuickAck();
    void DetectDeadPeer();

    QTcpSocket* m_pSocket = nullptr;
    std::unique_ptr<TcpConnector> m_pConnector;
    std::unique_ptr<QTimer> m_pDeferTimer;
    std::deque<std::function<void()>> m_deferred;
    unsigned m_nCloses = 0;
    int m_nCallDepth = 0;
    int m_nSignalDepth = 0;
    bool m_bConnected = false;
    bool m_bQuickAck = true;
    int m_nLastError = SocketError::None;
};
