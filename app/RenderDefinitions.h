#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

// What the definition view shows for a stored definitions text: the text
// with cross-reference braces removed and separator markers turned into
// tabs, the link runs (start, end) and the positions of the separator tabs.
struct RenderedDefinitions {
    QString text;
    std::vector<std::pair<int, int>> linkRuns;
    std::vector<int> separators;
    // Every opening brace found its closing one: text appended to the
    // stored text then renders on its own, after what this gave.
    bool closed = true;
};

// The result of pairing "{{" with "}}", then "{" with "}", each pair taken
// as the first opening in the text and the first closing at or after it,
// then replacing every "<qrlexsep>" by a tab; computed in linear time.
RenderedDefinitions RenderDefinitions(const QString& stored);

// How the braces of a whole text pair. The pairing depends on nothing but
// the braces' order and which of them touch, so it is found on the braces
// alone, each run of other characters standing in as one: far quicker
// than a rendering of the text, and it lets any stretch of the text be
// rendered on its own as part of the whole.
struct BracePairs {
    static constexpr std::uint8_t Deleted = 1;
    static constexpr std::uint8_t Linked = 2;
    static constexpr std::uint8_t LinkedBefore = 4;
    // One entry per brace, in order, and one after the last: what became
    // of the brace, and whether the other characters before it are linked.
    std::vector<std::uint8_t> braces;
};
BracePairs PairBraces(std::string_view stored);

// The rendering of a stretch of the text the pairs were found on, cut at a
// line end, whose first brace is the one numbered `brace`; on return
// `brace` numbers the first brace after the stretch.
RenderedDefinitions RenderDefinitions(const QString& stretch, const BracePairs& pairs, std::size_t& brace);
