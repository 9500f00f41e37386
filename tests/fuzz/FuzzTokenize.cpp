// The tokenizer on any line: it never yields an empty word, never invents
// characters, and splits a line without quotes exactly at its blanks.
// Quotes, blanks and escaping backslashes are the only characters it drops.

#include "TokenizeReplyLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string WithoutQuotesAndBlanks(const std::string& text)
{
    std::string kept;
    for (const char c : text)
        if (c != '"' && c != '\'' && c != '\\' && c != ' ' && c != '\t' && c != '\r' && c != '\n')
            kept += c;
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const auto words = TokenizeReplyLine(line);
    std::string joined;
    for (const std::string& word : words) {
        if (word.empty())
            std::abort();
        joined += word;
    }
    // Quotes only ever drop out; blanks only drop out outside quotes.
    if (WithoutQuotesAndBlanks(joined) != WithoutQuotesAndBlanks(line))
        std::abort();
    if (line.find_first_of("\"'\\") == std::string::npos && joined != WithoutQuotesAndBlanks(line))
        std::abort();
    return 0;
}
