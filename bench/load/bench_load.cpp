// Fifty scripted servers on 127.0.0.2 to 127.0.0.51 in the registry and
// a thousand searches with links followed and Back/Forwards mixed in;
// every reply is checked. Prints the time per search and the resident
// size after warm-up, at 100 and at 1,000 searches; the scripted servers
// in the same process keep no records of the traffic meanwhile. Then one
// server whose reply brings a definition from each of as many databases as
// a connection takes, unlisted and in descending name order, into a shown tree with its
// root open, and the next search that removes their nodes: the longest
// event-loop gap of each and the peak resident size.
// Usage: bench_load [SERVERS] [SEARCHES]
#include "BenchCommon.h"
#include "ConnectionLimits.h"
#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "GapWatch.h"
#include "LoadRun.h"
#include "ProcStatusKb.h"
#include "ScriptedDictServer.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr char ManyHost[] = "127.0.0.254";
constexpr int ImageIdle = 1;

// The longest gap while `act` runs and until `done` holds; none when it never does.
std::optional<qint64> GapUntil(const std::function<void()>& act, const std::function<bool()>& done)
{
    GapWatch watch;
    act();
    if (!WaitUntil(done, 120000))
        return std::nullopt;
    return watch.LargestMs();
}

int ManyDatabases()
{
    const int count = static_cast<int>(ConnectionLimits::MaxDatabases);
    // Unlisted, so their nodes' labels are all empty and keep the order of
    // arrival, the opposite of the order in which they are removed.
    const std::vector<ScriptedDictServer::Database> databases;
    std::multimap<std::string, ScriptedDictServer::Definition> definitions;
    for (int i = count - 1; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof name, "db%05d", i);
        definitions.emplace("apple", ScriptedDictServer::Definition{name, "apple", std::string("apple in ") + name});
    }
    ScriptedDictServer server;
    if (!server.Listen(ManyHost)) {
        std::fprintf(stderr, "no port on %s\n", ManyHost);
        return 1;
    }
    server.EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(), databases, definitions);
    server.KeepRecords(false);
    QTreeWidget widget;
    TreeCtrl tree(&widget);
    widget.show();
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    registry.AttachTree(&tree);
    registry.AddServer(ManyHost, server.Port());
    DictConnection* connection = registry.FindConnection(ManyHost);
    const HTREEITEM root = connection->GetRootItem();
    widget.topLevelItem(0)->setExpanded(true);
    const auto idle = [&] {
        return tree.GetItemImage(root) == ImageIdle && connection->GetState() == ConnectionState::Ready;
    };
    if (!WaitUntil(idle, 20000)) {
        std::fprintf(stderr, "%s never listed its databases\n", ManyHost);
        return 1;
    }
    const auto arrived =
        GapUntil([&] { registry.DefineAll("apple"); }, [&] { return idle() && tree.GetChildCount(root) == count; });
    const auto removed =
        GapUntil([&] { registry.DefineAll("pear"); }, [&] { return idle() && tree.GetChildCount(root) == 0; });
    registry.RemoveAllServers();
    registry.AttachTree(nullptr);
    if (!arrived || !removed) {
        std::fprintf(stderr, "the %d nodes %s\n", count, arrived ? "were not removed" : "never all arrived");
        return 1;
    }
    std::printf("%d unlisted databases, one definition each, descending order, tree shown and open:\n", count);
    std::printf("  reply arriving:   longest gap %lld ms\n", static_cast<long long>(*arrived));
    std::printf("  next search:      longest gap %lld ms\n", static_cast<long long>(*removed));
    std::printf("  peak resident:    VmHWM %ld kB\n", ProcStatusKb("VmHWM"));
    return 0;
}

// The fifty servers' searches; false when a reply came wrong.
bool Load(int servers, int searches)
{
    LoadRun run(servers);
    const QString started = run.Start();
    if (!started.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(started));
        return false;
    }
    std::printf("load: %d servers, %d searches (bench_load %d %d)\n", servers, searches, servers, searches);
    std::printf("after start: VmRSS %ld kB, VmHWM %ld kB\n", ProcStatusKb("VmRSS"), ProcStatusKb("VmHWM"));
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= searches; ++i) {
        const QString problem = run.Search();
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "search %d: %s\n", i, qPrintable(problem));
            return false;
        }
        if (i == 100 || i == searches)
            std::printf("after %4d searches: VmRSS %ld kB, VmHWM %ld kB, %.3f ms per search so far\n", i,
                        ProcStatusKb("VmRSS"), ProcStatusKb("VmHWM"), clock.nsecsElapsed() / 1e6 / i);
    }
    const QString tree = run.CheckTree();
    std::printf("tree at the end: %s\n", tree.isEmpty() ? "right" : qPrintable(tree));
    return tree.isEmpty();
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int servers = CountArgument(argc, argv, 1, 50);
    const int searches = CountArgument(argc, argv, 2, 1000);
    if (!Load(servers, searches))
        return 1;
    return ManyDatabases();
}
