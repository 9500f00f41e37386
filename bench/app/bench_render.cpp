// RenderDefinitions on 1 MiB of definition text with 20,000 cross-references
// and 200 separators, and on 2 MiB with twice as many of each; the time of
// each (best round) and their ratio, which a linear rendering keeps near 2.
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
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const QString one = BuildText(1024);
    const QString two = BuildText(2048);
    // Rounds interleaved, so that both sizes meet the same heap and caches.
    std::vector<double> ones, twos;
    for (int i = 0; i < rounds; ++i) {
        ones.push_back(TimeMs(one));
        twos.push_back(TimeMs(two));
    }
    const double t1 = Best(ones);
    const double t2 = Best(twos);
    std::printf("RenderDefinitions, best of %d interleaved rounds:\n", rounds);
    std::printf("  1 MiB (20,000 references, 200 separators): %8.1f ms\n", t1);
    std::printf("  2 MiB (40,000 references, 400 separators): %8.1f ms\n", t2);
    std::printf("  ratio 2 MiB / 1 MiB:                        %8.2f\n", t2 / t1);
    std::printf("reproduce: cmake --build BUILD --target bench_render && BUILD/bench/app/bench_render %d\n", rounds);
    return 0;
}
