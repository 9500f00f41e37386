#include "WireLines.h"

std::vector<std::string_view> CompleteLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return lines;
}

std::vector<std::string_view> InRecords(std::string_view transcript)
{
    constexpr std::string_view Prefix = "[in ] ";
    std::vector<std::string_view> records;
    std::size_t start = 0;
    while (start < transcript.size()) {
        std::size_t end = transcript.find('\n', start);
        if (end == std::string_view::npos)
            end = transcript.size();
        const std::string_view record = transcript.substr(start, end - start);
        if (record.substr(0, Prefix.size()) == Prefix)
            records.push_back(record.substr(Prefix.size()));
        start = end + 1;
    }
    return records;
}
