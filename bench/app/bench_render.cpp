// RenderDefinitions on 1 MiB of definition text with 20,000 cross-references
// and 200 separators, and on 2 MiB with twice as many of each; the time of
// each (best round) and their ratio, which a linear rendering keeps near 2;
// 4 MiB too, to show the cost of a character beyond the cache.
// Usage: bench_render [ROUNDS]
#include "BenchCommon.h"
#include "RenderDefinitions.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double TimeMs(const QString& text)
{
    QElapsedTimer timer;
    timer.start();
    const RenderedDefinitions rendered = RenderDefinitions(text);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (rendered.text.isEmpty())
        std::abort();
    return ms;
}

// The fastest round: other work on the machine only ever adds time.
double Best(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = CountArgument(argc, argv, 1, 9);
    // 4 MiB as well: past the processor's cache, where the cost of a
    // character no longer drops with a smaller working set.
    const int sizes[] = {1024, 2048, 4096};
    std::vector<QString> texts;
    for (const int kibibytes : sizes)
        texts.push_back(DefinitionsText(kibibytes));
    // Rounds interleaved, so that all sizes meet the same heap and caches.
    std::vector<std::vector<double>> times(texts.size());
    for (int i = 0; i < rounds; ++i)
        for (std::size_t k = 0; k < texts.size(); ++k)
            times[k].push_back(TimeMs(texts[k]));
    std::printf("RenderDefinitions, best of %d interleaved rounds:\n", rounds);
    std::vector<double> best;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        best.push_back(Best(times[k]));
        const int mib = sizes[k] / 1024;
        std::printf("  %d MiB (%6d references, %4d separators): %8.1f ms  %5.1f ns/character\n", mib, 20000 * mib,
                    200 * mib, best[k], best[k] * 1e6 / static_cast<double>(texts[k].size()));
    }
    std::printf("  ratio 2 MiB / 1 MiB: %5.2f\n", best[1] / best[0]);
    std::printf("  ratio 4 MiB / 2 MiB: %5.2f\n", best[2] / best[1]);
    std::printf("reproduce: cmake --build BUILD --target bench_render && BUILD/bench/app/bench_render %d\n", rounds);
    return 0;
}
