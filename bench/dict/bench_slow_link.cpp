// Lookups over a slow link: a relay in front of a loopback dictd holds
// every chunk the set one-way delay each way (its accept is not delayed).
// From the search to the reply's final status, and from the greeting:
//   a lookup on a live connection,
//   a lookup after the server closed the connection (it reconnects),
//   a word searched before the greeting (a new connection),
//   a lookup after the server's close to a host whose first address
//   (::1) drops connection attempts; this row needs "localhost" to give
//   ::1 before 127.0.0.1, which the command below arranges.
// On a real link the TCP handshake adds a round trip to the reconnecting rows.
// Usage: bench_slow_link [ROUNDS] [DELAY_MS]
#include "BenchCommon.h"
#include "DelayRelay.h"
#include "DictdFixture.h"
#include "TimedConnection.h"
#include "TreeCtrl.h"
#include "UnacceptingListener.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QTreeWidget>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const Words[] = {"apple", "house", "computer", "zebra"};

struct Row {
    const char* label;
    const char* goal;  // from the search
    std::vector<long long> fromSearch, fromGreeting;
};

void Report(const Row& row, double delayMs)
{
    const double search = MedianMs(row.fromSearch);
    const double greeting = MedianMs(row.fromGreeting);
    std::printf("| %-38s | %8.1f | %5.2f | %-13s |", row.label, search, search / delayMs, row.goal);
    if (row.fromGreeting.empty())
        std::printf("          |       |\n");
    else
        std::printf(" %8.1f | %5.2f |\n", greeting, greeting / delayMs);
}

void WaitUntilClosed(TimedConnection& connection)
{
    while (connection.GetState() != ConnectionState::Closed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The server closes the connection, then a lookup.
void LookUpAfterClose(TimedConnection& connection, DelayRelay& relay, const char* word, Row& row)
{
    relay.CloseAll();
    WaitUntilClosed(connection);
    row.fromSearch.push_back(connection.TimeDefine(word));
    row.fromGreeting.push_back(connection.GreetingToFinalStatus());
}

bool LocalhostIsIpv6First()
{
    const QList<QHostAddress> addresses = QHostInfo::fromName("localhost").addresses();
    return addresses.size() >= 2 && addresses[0] == QHostAddress::LocalHostIPv6
        && addresses.contains(QHostAddress::LocalHost);
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int rounds = CountArgument(argc, argv, 1, 5);
    const int delayMs = CountArgument(argc, argv, 2, 100);
    const std::chrono::milliseconds delay(delayMs);

    const DictdFixture dictd;
    DelayRelay relay(static_cast<quint16>(dictd.Port()), delay);
    if (dictd.Port() == 0 || !relay.Listen()) {
        std::fprintf(stderr, "no loopback dictd\n");
        return 1;
    }
    // The relay's port on ::1 drops attempts, for the connection by name.
    UnacceptingListener dropping;
    const bool dualStack = LocalhostIsIpv6First() && dropping.Listen(QHostAddress::LocalHostIPv6, relay.Port(), true);

    QTreeWidget widget;
    TreeCtrl tree(&widget);
    Row live{"lookup on a live connection", "2 delays", {}, {}};
    Row closed{"lookup after the server's close", "3 delays", {}, {}};
    Row early{"word searched before the greeting", "2 after it", {}, {}};
    Row firstDrops{"after the close, first address drops", "3 + 250 ms", {}, {}};
    TimedConnection connection("127.0.0.1", relay.Port());
    TimedConnection byName("localhost", relay.Port());
    if (!connection.Open(&tree) || (dualStack && !byName.Open(&tree))) {
        std::fprintf(stderr, "no connection through the relay\n");
        return 1;
    }
    for (int round = -1; round < rounds; ++round) {
        // The first round warms dictd's pages and our caches up.
        Row warmUp{"", "", {}, {}};
        for (const char* word : Words) {
            // The relay closes every connection: each row's own comes up anew.
            LookUpAfterClose(connection, relay, word, round < 0 ? warmUp : closed);
            (round < 0 ? warmUp : live).fromSearch.push_back(connection.TimeDefine(word));
            if (dualStack)
                LookUpAfterClose(byName, relay, word, round < 0 ? warmUp : firstDrops);

            TimedConnection fresh("127.0.0.1", relay.Port());
            fresh.InsertRootItem(&tree);
            fresh.Create();
            fresh.ConnectToServer();
            Row& row = round < 0 ? warmUp : early;
            row.fromSearch.push_back(fresh.TimeDefine(word));
            row.fromGreeting.push_back(fresh.GreetingToFinalStatus());
            fresh.RemoveRootItem();
        }
    }
    connection.RemoveRootItem();
    byName.RemoveRootItem();

    std::printf("DEFINE * through a relay delaying every chunk %d ms each way, dictd on 127.0.0.1, "
                "median of %d lookups:\n\n",
                delayMs, rounds * static_cast<int>(std::size(Words)));
    std::printf("| %-38s | search ms | delays | goal          | greeting ms | delays |\n", "lookup");
    std::printf("|%s|---------:|------:|---------------|---------:|------:|\n", std::string(40, '-').c_str());
    Report(live, delayMs);
    Report(closed, delayMs);
    Report(early, delayMs);
    if (dualStack)
        Report(firstDrops, delayMs);
    else
        std::printf("\n(the last row needs \"localhost\" to give ::1 first, then 127.0.0.1: see the command)\n");
    std::printf("\nreproduce: cmake --build BUILD --target bench_slow_link && printf '::1 localhost\\n127.0.0.1 "
                "localhost\\n' >/tmp/hosts && (cd /tmp && unshare -m sh -c 'mount --bind /tmp/hosts /etc/hosts && "
                "exec BUILD/bench/dict/bench_slow_link %d %d')\n",
                rounds, delayMs);
    return 0;
}
