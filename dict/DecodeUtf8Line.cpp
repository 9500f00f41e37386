#include "DecodeUtf8Line.h"

#include <cstddef>

namespace {

constexpr char Replacement[] = "\xEF\xBF\xBD";

// Length of the valid sequence starting at i, or 0 when it is malformed;
// `consumed` is then the maximal prefix that one replacement stands for.
std::size_t ValidSequenceLength(const unsigned char* s, std::size_t n, std::size_t i, std::size_t& consumed)
{
    const unsigned char lead = s[i];
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        consumed = 1;
        return 0;
    }
    consumed = 1;
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= n)
            return 0;
        const unsigned char c = s[i + k];
        const unsigned char min = k == 1 ? low : 0x80;
        const unsigned char max = k == 1 ? high : 0xBF;
        if (c < min || c > max)
            return 0;
        consumed = k + 1;
    }
    return length;
}

}  // namespace

std::string DecodeUtf8Line(const std::string& line)
{
    const auto* s = reinterpret_cast<const unsigned char*>(line.data());
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n && s[i] < 0x80)
        ++i;
    if (i == n)
        return line;  // plain ASCII, the common case

    std::string text(line, 0, i);
    text.reserve(n + 8);
    while (i < n) {
        if (s[i] < 0x80) {
            text += static_cast<char>(s[i++]);
            continue;
        }
        std::size_t consumed = 0;
        const std::size_t length = ValidSequenceLength(s, n, i, consumed);
        if (length) {
            text.append(line, i, length);
            i += length;
        } else {
            text += Replacement;
            i += consumed;
        }
    }
    return text;
}
