#include "SearchDocument.h"

#include "RenderDefinitions.h"
#include "Utf8Text.h"

#include <algorithm>

const QString SearchDocument::SeparatorLine(40, u'-');

namespace {

const QString LinkOpen = QStringLiteral("<b style=\"color: #0000ff\">");
const QString LinkClose = QStringLiteral("</b>");

// The node's texts as the tree holds them, one for each database node
// that holds any; stops early when `each` says so.
void ForEachStored(const TreeCtrl& tree, const SearchDocument::StoredTextOf& storedText,
                   const std::function<bool(HTREEITEM root, HTREEITEM node, const std::string&)>& each)
{
    for (int r = 0; r < tree.GetRootCount(); ++r) {
        const HTREEITEM root = tree.GetRootItem(r);
        for (int c = 0; c < tree.GetChildCount(root); ++c) {
            const HTREEITEM node = tree.GetChildItem(root, c);
            const std::string* stored = storedText(node);
            if (stored && !stored->empty() && !each(root, node, *stored))
                return;
        }
    }
}

void AppendEscaped(QString& out, QStringView text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        default: out += c;
        }
    }
}

// The rendered characters from `from` up to `to`, escaped, the parts of
// link runs among them in bold blue; `run` is the first run that may
// reach past `from` and moves on with the text.
void AppendLinked(QString& out, const RenderedDefinitions& rendered, int from, int to,
                  std::vector<std::pair<int, int>>::const_iterator& run)
{
    const auto end = rendered.linkRuns.end();
    const QStringView text(rendered.text);
    while (from < to) {
        while (run != end && run->second <= from)
            ++run;
        if (run == end || run->first >= to) {
            AppendEscaped(out, text.sliced(from, to - from));
            return;
        }
        const int start = std::max(run->first, from);
        const int stop = std::min(run->second, to);
        AppendEscaped(out, text.sliced(from, start - from));
        out += LinkOpen;
        AppendEscaped(out, text.sliced(start, stop - start));
        out += LinkClose;
        from = stop;
    }
}

// Each run of lines between two separators as a block of its own, the
// separator's line a rule between them.
void AppendDefinitionsHtml(QString& out, const RenderedDefinitions& rendered)
{
    const int size = static_cast<int>(rendered.text.size());
    auto run = rendered.linkRuns.cbegin();
    int from = 0;
    const auto block = [&](int to) {
        if (to > from && rendered.text[to - 1] == u'\n')
            --to;
        out += QStringLiteral("<pre style=\"white-space: pre-wrap\">");
        AppendLinked(out, rendered, from, to, run);
        out += QStringLiteral("</pre>\n");
    };
    for (const int separator : rendered.separators) {
        block(separator);
        out += QStringLiteral("<hr>\n");
        from = separator + 1;
        if (from < size && rendered.text[from] == u'\n')
            ++from;
    }
    block(size);
}

}  // namespace

SearchDocument SearchDocument::Take(const TreeCtrl& tree, const QString& word, const StoredTextOf& storedText)
{
    SearchDocument document;
    document.m_strWord = word;
    // A database the server's list did not name has no description.
    ForEachStored(tree, storedText, [&](HTREEITEM root, HTREEITEM node, const std::string& stored) {
        const QString description = Utf8Text(tree.GetItemText(node));
        document.m_sections.push_back(
            {Utf8Text(tree.GetItemText(root)) + (description.isEmpty() ? "" : " \u2014 " + description), stored});
        return true;
    });
    return document;
}

bool SearchDocument::HasDefinitions(const TreeCtrl& tree, const StoredTextOf& storedText)
{
    bool found = false;
    ForEachStored(tree, storedText, [&](HTREEITEM, HTREEITEM, const std::string&) { return !(found = true); });
    return found;
}

QString SearchDocument::SuggestedFileName(const QString& word)
{
    QString name = word.simplified();
    for (QChar& c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>'
            || c == u'|' || c.category() == QChar::Other_Control)
            c = u'_';
    if (name.startsWith(u'.') || name.startsWith(u'-'))
        name[0] = u'_';
    return name.isEmpty() ? QStringLiteral("definitions") : name;
}

QString SearchDocument::Html() const
{
    QString out = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>");
    AppendEscaped(out, m_strWord);
    out += QStringLiteral("</title>\n</head>\n<body>\n<h1>");
    AppendEscaped(out, m_strWord);
    out += QStringLiteral("</h1>\n");
    for (const Section& section : m_sections) {
        out += QStringLiteral("<h2>");
        AppendEscaped(out, section.heading);
        out += QStringLiteral("</h2>\n");
        AppendDefinitionsHtml(out, RenderDefinitions(Utf8Text(section.stored)));
    }
    out += QStringLiteral("</body>\n</html>\n");
    return out;
}

QString SearchDocument::PlainText() const
{
    QString out = m_strWord + QStringLiteral("\n");
    for (const Section& section : m_sections) {
        out += QStringLiteral("\n") + section.heading + QStringLiteral("\n\n");
        const RenderedDefinitions rendered = RenderDefinitions(Utf8Text(section.stored));
        const QStringView text(rendered.text);
        qsizetype from = 0;
        for (const int separator : rendered.separators) {
            out += text.sliced(from, separator - from);
            out += SeparatorLine;
            from = separator + 1;
        }
        out += text.sliced(from);
    }
    return out;
}
