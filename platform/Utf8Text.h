#pragma once

#include <QString>

#include <string_view>

// UTF-8 bytes as text, as QString::fromUtf8 gives it, except that a
// leading U+FEFF stays: dropped, it would make a name or a line another.
QString Utf8Text(std::string_view bytes);
