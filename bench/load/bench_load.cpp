// Fifty scripted servers on 127.0.0.2 to 127.0.0.51 in the registry and
// a thousand searches with links followed and Back/Forwards mixed in;
// every reply is checked. Prints the time per search and the resident
// size after warm-up, at 100 and at 1,000 searches; the scripted servers
// in the same process keep no records of the traffic meanwhile.
// Usage: bench_load [SERVERS] [SEARCHES]
#include "BenchCommon.h"
#include "LoadRun.h"
#include "ProcStatusKb.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int servers = CountArgument(argc, argv, 1, 50);
    const int searches = CountArgument(argc, argv, 2, 1000);
    LoadRun run(servers);
    const QString started = run.Start();
    if (!started.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(started));
        return 1;
    }
    std::printf("load: %d servers, %d searches (bench_load %d %d)\n", servers, searches, servers, searches);
    std::printf("after start: VmRSS %ld kB, VmHWM %ld kB\n", ProcStatusKb("VmRSS"), ProcStatusKb("VmHWM"));
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= searches; ++i) {
        const QString problem = run.Search();
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "search %d: %s\n", i, qPrintable(problem));
            return 1;
        }
        if (i == 100 || i == searches)
            std::printf("after %4d searches: VmRSS %ld kB, VmHWM %ld kB, %.3f ms per search so far\n", i,
                        ProcStatusKb("VmRSS"), ProcStatusKb("VmHWM"), clock.nsecsElapsed() / 1e6 / i);
    }
    const QString tree = run.CheckTree();
    std::printf("tree at the end: %s\n", tree.isEmpty() ? "right" : qPrintable(tree));
    return tree.isEmpty() ? 0 : 1;
}
