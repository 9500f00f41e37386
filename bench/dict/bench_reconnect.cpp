// Lookups against a real dictd that closes every connection 3 s after it
// opened it and after 5 commands (its limit_time and limit_queries, 600 s
// and 2,000 by default): 30 lookups spread over more than 10 s, the
// reconnections they took, and a lookup's time with and without one.
// Then the time to connected when the server's first address (::1) drops
// connection attempts, as a firewall or an IPv6 route going nowhere does.
// Usage: bench_reconnect [LOOKUPS] [CONNECTS]
#include "BenchCommon.h"
#include "DictdFixture.h"
#include "TcpConnector.h"
#include "TimedConnection.h"
#include "TreeCtrl.h"
#include "UnacceptingListener.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

void Idle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Nanoseconds from the start of a connect to the connected descriptor;
// -1 when it failed.
qint64 TimeConnect(const QList<QHostAddress>& addresses, quint16 port)
{
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 ns = -1;
    bool done = false;
    TcpConnector connector([&](int descriptor, int error) {
        if (error == SocketError::None) {
            ns = clock.nsecsElapsed();
            ::close(descriptor);
        }
        done = true;
        loop.quit();
    });
    clock.start();
    connector.Start(addresses, port);
    if (!done)
        loop.exec();
    return ns;
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int lookups = CountArgument(argc, argv, 1, 30);
    const int connects = CountArgument(argc, argv, 2, 21);
    const DictdFixture dictd({"limit_time 3", "limit_queries 5"});
    if (dictd.Port() == 0)
        return 1;

    QTreeWidget widget;
    TreeCtrl tree(&widget);
    const char* const words[] = {"apple", "pear", "ice cream", "green", "tree"};
    std::vector<long long> plain, reconnected;
    int connections = 0;
    {
        TimedConnection connection("127.0.0.1", dictd.Port());
        connection.Open(&tree);
        for (int i = 0; i < lookups; ++i) {
            const int before = connection.Greetings();
            const qint64 ns = connection.TimeDefine(words[i % std::size(words)]);
            (connection.Greetings() == before ? plain : reconnected).push_back(ns);
            Idle(400);
        }
        connections = connection.Greetings();
        connection.RemoveRootItem();
    }
    std::printf("%d lookups, 400 ms apart, on dictd with limit_time 3 and limit_queries 5:\n", lookups);
    std::printf("  connections made:           %d (%d reconnections)\n", connections, connections - 1);
    std::printf("  lookup on an open connection:  median %8.3f ms over %zu\n", MedianMs(plain), plain.size());
    std::printf("  lookup that reconnected first: median %8.3f ms over %zu\n", MedianMs(reconnected),
                reconnected.size());

    const quint16 port = static_cast<quint16>(dictd.Port());
    UnacceptingListener dropping;
    if (!dropping.Listen(QHostAddress::LocalHostIPv6, port, true))
        return 1;
    std::vector<long long> alone, afterDropping;
    for (int i = 0; i < connects; ++i) {
        alone.push_back(TimeConnect({QHostAddress::LocalHost}, port));
        afterDropping.push_back(TimeConnect({QHostAddress::LocalHostIPv6, QHostAddress::LocalHost}, port));
        if (alone.back() < 0 || afterDropping.back() < 0)
            return 1;
    }
    std::printf("time to connected, dictd on 127.0.0.1, median of %d:\n", connects);
    std::printf("  127.0.0.1 alone:                        %10.3f ms\n", MedianMs(alone));
    std::printf("  ::1 dropping attempts, then 127.0.0.1:  %10.3f ms\n", MedianMs(afterDropping));
    std::printf("reproduce: cmake --build BUILD --target bench_reconnect && (cd /tmp && "
                "BUILD/bench/dict/bench_reconnect %d %d)\n",
                lookups, connects);
    return 0;
}
