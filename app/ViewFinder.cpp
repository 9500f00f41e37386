#include "ViewFinder.h"

#include "RichTextView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace {

// On the view's own white page whatever the desktop's theme.
const QColor MatchColour(255, 236, 110);
const QColor CurrentColour(255, 170, 60);
// How often to look whether the view has laid a match's line out again.
constexpr int LayoutPollMs = 10;

}  // namespace

ViewFinder::ViewFinder(RichTextView* view) : m_pView(view)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { Step(); });
    connect(view->document(), &QTextDocument::contentsChange, this,
            [this](int from, int, int) { OnContentsChange(from); });
    // Only the matches on screen are highlighted: thousands of them would
    // each cost the view a layout of their line. The scroll bars change in
    // the middle of a change of the text, where the highlights' cursors
    // must not go: a cursor destroyed while the text is being cleared is
    // left behind in it, freed, and written to after.
    m_highlightTimer.setSingleShot(true);
    connect(&m_highlightTimer, &QTimer::timeout, this, [this] { Highlight(); });
    for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] { m_highlightTimer.start(0); });
        connect(bar, &QScrollBar::rangeChanged, this, [this] { m_highlightTimer.start(0); });
    }
}

void ViewFinder::SetOutcomeHandler(std::function<void(Outcome)> handler)
{
    m_onOutcome = std::move(handler);
}

bool ViewFinder::IsComplete() const
{
    return m_nSearched >= m_pView->document()->characterCount();
}

void ViewFinder::Find(const QString& text)
{
    const int from = m_nCurrent >= 0 ? m_nCurrent : Origin(false);
    Stop();
    m_strText = text;
    // What was selected is no match of the new text until found again.
    if (m_pView->textCursor().hasSelection()) {
        QTextCursor caret = m_pView->textCursor();
        caret.setPosition(from);
        m_pView->setTextCursor(caret);
    }
    if (text.isEmpty()) {
        Report(Outcome::None);
        return;
    }
    m_seek = Seek{from, false};
    Step();
}

void ViewFinder::Next()
{
    if (!m_strText.isEmpty())
        SeekFrom(m_nCurrent >= 0 ? m_nCurrent + 1 : Origin(true), false);
}

void ViewFinder::Previous()
{
    if (!m_strText.isEmpty())
        SeekFrom(m_nCurrent >= 0 ? m_nCurrent : Origin(false), true);
}

// With no current match a step starts at the reader's selection, or else
// at the top of what is shown: the caret stands wherever the fill left it.
int ViewFinder::Origin(bool afterSelection) const
{
    const QTextCursor caret = m_pView->textCursor();
    if (caret.hasSelection())
        return afterSelection ? caret.selectionEnd() : caret.selectionStart();
    return m_pView->LineBelow(m_pView->verticalScrollBar()->value()).position();
}

void ViewFinder::Stop()
{
    m_timer.stop();
    m_strText.clear();
    m_matches.clear();
    m_nSearched = 0;
    m_nCurrent = -1;
    m_seek.reset();
    Highlight();
}

void ViewFinder::SeekFrom(int from, bool backwards)
{
    m_seek = Seek{from, backwards};
    Resolve();
}

// The changed line and all after it may have moved or gone: they are
// searched again. A current match among them is lost, and the search goes
// on from where the change began.
void ViewFinder::OnContentsChange(int from)
{
    // The highlights' cursors may have moved with the text.
    m_shown.clear();
    m_nShownCurrent = -1;
    if (m_strText.isEmpty())
        return;
    const int line = m_pView->document()->findBlock(from).position();
    m_matches.erase(std::lower_bound(m_matches.begin(), m_matches.end(), line), m_matches.end());
    m_nSearched = std::min(m_nSearched, line);
    if (m_nCurrent >= line) {
        m_nCurrent = -1;
        m_seek = m_seek.value_or(Seek{line, false});
    }
    if (m_seek)
        m_seek->from = std::min(m_seek->from, line);
    m_timer.start(0);
}

// Matches never cross a line: the field holds one line of text.
void ViewFinder::Step()
{
    int budget = StepChars;
    for (QTextBlock line = m_pView->document()->findBlock(m_nSearched); line.isValid() && budget > 0;
         line = line.next()) {
        const QString text = line.text();
        for (qsizetype at = text.indexOf(m_strText, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(m_strText, at + m_strText.size(), Qt::CaseInsensitive))
            m_matches.push_back(line.position() + static_cast<int>(at));
        m_nSearched = line.position() + line.length();
        budget -= line.length();
    }
    if (!IsComplete())
        m_timer.start(0);
    Resolve();
    Highlight();
}

// A step is taken as soon as the matches found settle it; past the end it
// goes round to the other end, and with no match at all it waits for text
// still to come.
void ViewFinder::Resolve()
{
    if (!m_seek)
        return;
    const auto [from, backwards] = *m_seek;
    const auto after = std::lower_bound(m_matches.begin(), m_matches.end(), from);
    if (!backwards && after != m_matches.end())
        return Select(*after, Outcome::Found);
    if (backwards && after != m_matches.begin() && m_nSearched >= from)
        return Select(*std::prev(after), Outcome::Found);
    if (!IsComplete())
        return;
    if (m_matches.empty())
        return Report(Outcome::NotFound);
    if (backwards)
        Select(m_matches.back(), Outcome::WrappedToBottom);
    else
        Select(m_matches.front(), Outcome::WrappedToTop);
}

void ViewFinder::Select(int start, Outcome outcome)
{
    // Scrolled to before the view has laid it out again after a zoom, a
    // match would have all before it laid out at once.
    if (!m_pView->IsLaidOutAt(start)) {
        m_timer.start(LayoutPollMs);
        return;
    }
    m_seek.reset();
    m_nCurrent = start;
    QTextCursor match(m_pView->document());
    match.setPosition(start);
    match.setPosition(start + static_cast<int>(m_strText.size()), QTextCursor::KeepAnchor);
    m_pView->setTextCursor(match);
    m_pView->ensureCursorVisible();
    Highlight();
    Report(outcome);
}

void ViewFinder::Report(Outcome outcome)
{
    if (m_onOutcome)
        m_onOutcome(outcome);
}

// The matches within the screen's edges, found from the characters at
// them: a long line may hold far more than the screen shows, and each
// highlight costs the view a walk along its whole line.
void ViewFinder::Highlight()
{
    std::vector<int> shown;
    if (!m_matches.empty()) {
        const int height = m_pView->viewport()->height();
        const int scrolled = m_pView->verticalScrollBar()->value();
        // A match that begins left of the screen may reach into it.
        const int reach = static_cast<int>(m_strText.size()) - 1;
        for (const QTextBlock& line : m_pView->LinesOnScreen()) {
            const QTextLayout& layout = *line.layout();
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine row = layout.lineAt(i);
                const qreal top = layout.position().y() + row.y() - scrolled;
                if (top + row.height() <= 0 || top >= height)
                    continue;
                const int first = line.position() + m_pView->CharacterAtX(line, row, 0) - reach;
                const int last = line.position() + m_pView->CharacterAtX(line, row, m_pView->viewport()->width());
                for (auto match = std::lower_bound(m_matches.begin(), m_matches.end(), first);
                     match != m_matches.end() && *match <= last; ++match)
                    shown.push_back(*match);
            }
        }
    }
    // Unchanged, they are not set again: each setting costs the view as
    // much as drawing them.
    if (shown == m_shown && m_nShownCurrent == m_nCurrent)
        return;
    m_shown = std::move(shown);
    m_nShownCurrent = m_nCurrent;
    QList<QTextEdit::ExtraSelection> highlights;
    for (const int match : m_shown) {
        QTextEdit::ExtraSelection highlight;
        highlight.cursor = QTextCursor(m_pView->document());
        highlight.cursor.setPosition(match);
        highlight.cursor.setPosition(match + static_cast<int>(m_strText.size()), QTextCursor::KeepAnchor);
        highlight.format.setBackground(match == m_nCurrent ? CurrentColour : MatchColour);
        highlights.append(highlight);
    }
    m_pView->setExtraSelections(highlights);
}
