#pragma once

#include <string>
#include <vector>

// Splits a reply line into words; a part in double quotes or apostrophes
// joins the word it touches and loses its quotes; inside double quotes a
// backslash escapes a quote or a backslash. No word is empty.
std::vector<std::string> TokenizeReplyLine(const std::string& line);
