#include "DialogUnits.h"

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

namespace {
// a * b / c rounded half away from zero, the way the dialog manager rounds.
int MulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}
}  // namespace

DialogBaseUnits GetDialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int w, int h)
{
    const DialogBaseUnits base = GetDialogBaseUnits(font);
    return QRect(MulDiv(x, base.x, 4), MulDiv(y, base.y, 8), MulDiv(w, base.x, 4), MulDiv(h, base.y, 8));
}
