#include "FormatDefineCommand.h"

#include <algorithm>

namespace {

bool IsSpecial(char c)
{
    return c == '"' || c == '\\';
}

std::string QuoteWord(const std::string& word)
{
    if (std::none_of(word.begin(), word.end(), IsSpecial))
        return '"' + word + '"';
    std::string quoted;
    std::size_t i = 0;
    while (i < word.size()) {
        if (IsSpecial(word[i])) {
            quoted += '\\';
            quoted += word[i++];
            continue;
        }
        const std::size_t end = std::find_if(word.begin() + static_cast<long>(i), word.end(), IsSpecial) - word.begin();
        quoted += '"' + word.substr(i, end - i) + '"';
        i = end;
    }
    return quoted;
}

}  // namespace

std::string FormatDefineCommand(const std::string& word)
{
    std::string clean;
    clean.reserve(word.size());
    for (const char c : word)
        if (c != '\r' && c != '\n' && c != '\0')
            clean += c;
    return "DEFINE * " + QuoteWord(clean);
}
