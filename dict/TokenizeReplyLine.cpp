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
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && inDouble && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
            // Servers escape a quote or backslash inside a quoted word (a
            // headword holding a quote); without this the words after it shift.
            word += line[++i];
        } else if (c == '\'' && !inDouble) {
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
