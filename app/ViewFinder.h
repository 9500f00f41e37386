#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class RichTextView;

// Finds a text in a view, whatever its case, line by line in steps of a
// bounded size from the event loop, so that no text holds the window up.
// It follows the view's text as it changes: what the fill appends is
// searched as it arrives, a new text from its start. The matches on screen
// are highlighted; the current one is the view's selection.
class ViewFinder : public QObject {
public:
    // How the last step went; None while there is nothing to find.
    enum class Outcome { None, Found, WrappedToTop, WrappedToBottom, NotFound };
    // Characters searched in one step, a few milliseconds' work.
    static constexpr int StepChars = 512 * 1024;

    explicit ViewFinder(RichTextView* view);

    // A new text, searched from the current match on, or when there is
    // none from the view's selection, or else from the top of the screen.
    void Find(const QString& text);
    void Next();
    void Previous();
    // Nothing more is searched or highlighted; the current match stays
    // selected.
    void Stop();
    void SetOutcomeHandler(std::function<void(Outcome)> handler);
    qsizetype MatchCount() const { return static_cast<qsizetype>(m_matches.size()); }
    // The whole text of the view is searched.
    bool IsComplete() const;

private:
    struct Seek {
        int from;
        bool backwards;
    };
    int Origin(bool afterSelection) const;
    void SeekFrom(int from, bool backwards);
    void OnContentsChange(int from);
    void Step();
    void Resolve();
    void Select(int start, Outcome outcome);
    void Report(Outcome outcome);
    void Highlight();

    RichTextView* m_pView;
    QTimer m_timer;
    QTimer m_highlightTimer;
    QString m_strText;
    // The starts of the matches before m_nSearched, in order.
    std::vector<int> m_matches;
    // The matches highlighted, and the current one among them when set.
    std::vector<int> m_shown;
    int m_nShownCurrent = -1;
    int m_nSearched = 0;
    int m_nCurrent = -1;
    // A step to a match that waits for the search to get far enough.
    std::optional<Seek> m_seek;
    std::function<void(Outcome)> m_onOutcome;
};
