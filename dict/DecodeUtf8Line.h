#pragma once

#include <string>

// The received line as text: valid UTF-8 unchanged, every malformed
// sequence replaced by U+FFFD (as UTF-8), NUL bytes kept.
std::string DecodeUtf8Line(const std::string& line);
