#include "TokenizeReplyLine.h"

namespace {
bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
}  // namespace

std::vector<std::string> TokenizeReplyLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inDouble = false;
    bool inSingle = false;
    for (const char c : line) {
        if (c == '\'' && !inDouble) {
            inSingle = !inSingle;
        } else if (c == '"' && !inSingle) {
            inDouble = !inDouble;
        } else if (!inDouble && !inSingle && IsSeparator(c)) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}
