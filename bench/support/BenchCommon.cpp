#include "BenchCommon.h"

#include <QByteArray>

#include <cstdlib>

void UseOffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

double MedianMs(const std::vector<long long>& nanoseconds)
{
    return static_cast<double>(Median(nanoseconds)) / 1e6;
}

int CountArgument(int argc, char** argv, int index, int fallback)
{
    return argc > index ? std::max(1, std::atoi(argv[index])) : fallback;
}
