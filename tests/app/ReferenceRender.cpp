#include "ReferenceRender.h"

namespace {

void Erase(QString& text, std::vector<bool>& linked, int position, int count)
{
    text.remove(position, count);
    linked.erase(linked.begin() + position, linked.begin() + position + count);
}

void Link(std::vector<bool>& linked, int first, int last)
{
    for (int i = first; i <= last; ++i)
        linked[static_cast<std::size_t>(i)] = true;
}

void DoubleBraces(QString& text, std::vector<bool>& linked)
{
    for (;;) {
        const int b = static_cast<int>(text.indexOf(QStringLiteral("{{")));
        if (b < 0)
            return;
        const int e = static_cast<int>(text.indexOf(QStringLiteral("}}"), b));
        if (e < 0)
            return;
        Link(linked, b + 2, e - 1);
        Erase(text, linked, b, 2);
        Erase(text, linked, e - 2, 2);
    }
}

void SingleBraces(QString& text, std::vector<bool>& linked)
{
    for (;;) {
        const int b = static_cast<int>(text.indexOf(u'{'));
        if (b < 0)
            return;
        const int e = static_cast<int>(text.indexOf(u'}', b));
        if (e < 0)
            return;
        Link(linked, b, e);
        Erase(text, linked, b, 1);
        Erase(text, linked, e - 1, 1);
    }
}

void Separators(QString& text, std::vector<bool>& linked, std::vector<int>& separators)
{
    for (;;) {
        const int f = static_cast<int>(text.indexOf(QStringLiteral("<qrlexsep>")));
        if (f < 0)
            return;
        // The tab replacing the selected marker takes its first character's format.
        const bool tabLinked = linked[static_cast<std::size_t>(f)];
        Erase(text, linked, f, 10);
        text.insert(f, u'\t');
        linked.insert(linked.begin() + f, tabLinked);
        separators.push_back(f);
    }
}

}  // namespace

RenderedDefinitions ReferenceRender(const QString& stored)
{
    RenderedDefinitions rendered;
    rendered.text = stored;
    std::vector<bool> linked(static_cast<std::size_t>(stored.size()), false);
    DoubleBraces(rendered.text, linked);
    SingleBraces(rendered.text, linked);
    Separators(rendered.text, linked, rendered.separators);
    for (int i = 0; i < static_cast<int>(linked.size()); ++i) {
        if (!linked[static_cast<std::size_t>(i)])
            continue;
        if (!rendered.linkRuns.empty() && rendered.linkRuns.back().second == i)
            rendered.linkRuns.back().second = i + 1;
        else
            rendered.linkRuns.emplace_back(i, i + 1);
    }
    return rendered;
}
