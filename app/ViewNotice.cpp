#include "ViewNotice.h"

namespace {

void AppendLine(RenderedDefinitions& notice, const QString& line)
{
    notice.text += line + '\n';
}

// The link's text is what a click looks up, so it stands alone on its line.
void AppendLinkLine(RenderedDefinitions& notice, const QString& link)
{
    const auto start = static_cast<int>(notice.text.size());
    notice.linkRuns.emplace_back(start, start + static_cast<int>(link.size()));
    AppendLine(notice, link);
}

}  // namespace

RenderedDefinitions NothingFoundNotice(const QString& word, const QStringList& unanswered,
                                       const QStringList& suggestions)
{
    RenderedDefinitions notice;
    AppendLine(notice, QString("No definitions found for \u201C%1\u201D.").arg(word));
    for (const QString& line : unanswered)
        AppendLine(notice, line);
    if (suggestions.isEmpty())
        return notice;
    AppendLine(notice, QString());
    AppendLine(notice, "Did you mean:");
    for (const QString& suggestion : suggestions)
        AppendLinkLine(notice, suggestion);
    return notice;
}

RenderedDefinitions NoServersNotice()
{
    RenderedDefinitions notice;
    notice.text = "No DICT servers are listed yet: add one in ";
    const auto start = static_cast<int>(notice.text.size());
    notice.text += "Tools, Servers...";
    notice.linkRuns.emplace_back(start, static_cast<int>(notice.text.size()));
    notice.text += "\nDICT servers listen on port 2628, and public ones exist; the guide names one.\n";
    return notice;
}
