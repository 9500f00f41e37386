#pragma once

#include <QString>

#include <algorithm>
#include <vector>

// What the benchmarks share: their platform, their arguments, their medians.

// The offscreen platform unless QT_QPA_PLATFORM asks for another.
void UseOffscreenUnlessSet();
// The count given as argument `index`, at least 1; `fallback` when absent.
int CountArgument(int argc, char** argv, int index, int fallback);

// Stored definitions text of about `kibibytes` KiB: short lines, 20,000
// cross-references per MiB (every 50th a double-brace one broken over two
// lines) and 200 separators per MiB.
QString DefinitionsText(int kibibytes);

// Nanosecond samples' median in milliseconds.
double MedianMs(const std::vector<long long>& nanoseconds);

template <typename T> T Median(std::vector<T> values)
{
    if (values.empty())
        return T();
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
