// Lookups against a real dictd that closes every connection 3 s after it
// opened it and after 5 commands (its limit_time and limit_queries, 600 s
// and 2,000 by default): 30 lookups spread over more than 10 s, the
// reconnections they took, and a lookup's time with and without one.
// Usage: bench_reconnect [LOOKUPS]
#include "BenchCommon.h"
#include "DictdFixture.h"
#include "TimedConnection.h"
#include "TreeCtrl.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <vector>

namespace {

void Idle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int lookups = CountArgument(argc, argv, 1, 30);
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
    std::printf("reproduce: cmake --build BUILD --target bench_reconnect && (cd /tmp && "
                "BUILD/bench/dict/bench_reconnect %d)\n",
                lookups);
    return 0;
}
