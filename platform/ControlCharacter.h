#pragma once

#include <string>

// Whether UTF-8 text holds a control character (C0, DEL or C1): such text
// cannot be a host name, nor a value name in the store.
bool HoldsControlCharacter(const std::string& text);
