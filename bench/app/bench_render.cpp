// RenderDefinitions on 1 MiB of definition text with 20,000 cross-references
// and 200 separators, and on 2 MiB with twice as many of each; the time of
// each (median) and their ratio, which a linear rendering keeps near 2.
// Usage: bench_render [ROUNDS]
#include "RenderDefinitions.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QString BuildText(int kibibytes)
{
    const int references = 20 * kibibytes / 1024 * 1000;
    const int separators = 200 * kibibytes / 1024;
    const qsizetype size = qsizetype(kibibytes) * 1024;
    const QString filler = QStringLiteral("   the fruit of a rosaceous tree, see also ");
    QString text;
    text.reserve(size + 64);
    int made = 0;
    int parted = 0;
    while (text.size() < size) {
        text += filler;
        if (made < references) {
            text += (made % 50 == 0) ? QStringLiteral("{{crab\n   apple}}") : QStringLiteral("{apple tree}");
            ++made;
        }
        text += u'\n';
        if (parted < separators && text.size() >= size / (separators + 1) * (parted + 1)) {
            text += QStringLiteral("<qrlexsep>\n");
            ++parted;
        }
    }
    return text;
}

double MedianMs(const QString& text, int rounds)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        const RenderedDefinitions rendered = RenderDefinitions(text);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (rendered.text.isEmpty())
            std::abort();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const QString one = BuildText(1024);
    const QString two = BuildText(2048);
    const double t1 = MedianMs(one, rounds);
    const double t2 = MedianMs(two, rounds);
    std::printf("RenderDefinitions, median of %d rounds:\n", rounds);
    std::printf("  1 MiB (20,000 references, 200 separators): %8.1f ms\n", t1);
    std::printf("  2 MiB (40,000 references, 400 separators): %8.1f ms\n", t2);
    std::printf("  ratio 2 MiB / 1 MiB:                        %8.2f\n", t2 / t1);
    std::printf("reproduce: cmake --build BUILD --target bench_render && BUILD/bench/app/bench_render %d\n", rounds);
    return 0;
}
