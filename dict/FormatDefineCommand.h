#pragma once

#include <string>

// The DEFINE command for every database. CR, LF and NUL never reach the
// wire; a word holding '"' or '\' is written as quoted plain runs with each
// such character escaped outside the quotes, the one form both RFC 2229 and
// dictd read back as the same word.
std::string FormatDefineCommand(const std::string& word);
