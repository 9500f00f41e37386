#pragma once

#include <QString>

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
