// Round trip of DEFINE * "apple" on one persistent connection to a real
// dictd on loopback, with the quick acknowledgement after each send on
// and off. Usage: bench_define_roundtrip [ROUNDS]
#include "BenchCommon.h"
#include "DictdFixture.h"
#include "TimedConnection.h"
#include "TreeCtrl.h"

#include <QApplication>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

std::vector<qint64> Measure(TimedConnection& connection, bool quickAck, int rounds)
{
    connection.SetQuickAck(quickAck);
    connection.TimeDefine("apple");  // warm-up
    std::vector<qint64> samples;
    for (int i = 0; i < rounds; ++i)
        samples.push_back(connection.TimeDefine("apple"));
    return samples;
}

}  // namespace

int main(int argc, char** argv)
{
    UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int rounds = CountArgument(argc, argv, 1, 101);

    const DictdFixture dictd;
    if (dictd.Port() == 0)
        return 1;

    QTreeWidget widget;
    TreeCtrl tree(&widget);
    {
        TimedConnection connection("127.0.0.1", dictd.Port());
        connection.Open(&tree);
        const double on = MedianMs(Measure(connection, true, rounds));
        const double off = MedianMs(Measure(connection, false, rounds));
        std::printf("DEFINE * \"apple\" round trip, dictd on 127.0.0.1, one persistent connection, median of %d:\n",
                    rounds);
        std::printf("  quick acknowledgement on:  %8.3f ms\n", on);
        std::printf("  quick acknowledgement off: %8.3f ms\n", off);
        connection.RemoveRootItem();
    }
    std::printf("reproduce: cmake --build BUILD --target bench_define_roundtrip && (cd /tmp && "
                "BUILD/bench/dict/bench_define_roundtrip %d)\n",
                rounds);
    return 0;
}
