#include "ControlCharacter.h"

#include <QString>

#include <algorithm>

bool HoldsControlCharacter(const std::string& text)
{
    // fromStdString keeps an embedded NUL, which a C string would cut.
    const QString decoded = QString::fromStdString(text);
    return std::any_of(decoded.begin(), decoded.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}
