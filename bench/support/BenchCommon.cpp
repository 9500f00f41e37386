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

QString DefinitionsText(int kibibytes)
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
