#pragma once

#include "RenderDefinitions.h"

#include <QTimer>

#include <memory>
#include <string>

class RichTextView;

// Fills the definition view with a stored definitions text, which stays
// its owner's (a new selection, which the text's removal makes, stops the
// fill first), a piece at a time: the first piece at once, the others from
// the event loop, each one sized by what the last cost, so that no text
// holds the window up for long. Pieces of stored text are cut at line ends
// before which every brace is closed: rendered on their own they give what
// one rendering of the whole text gives, so the view ends holding exactly
// that. Where a brace stays open, the braces of all the rest are paired
// once, and with that the pieces go on, cut at any line end. A text that
// grows only grows in the view: a brace left open in what was rendered
// stays as it was shown, though it would pair with one that came.
class DefinitionFill {
public:
    // Rendered characters of the first piece: more than a screenful.
    static constexpr qsizetype FirstPieceChars = 16 * 1024;

    explicit DefinitionFill(RichTextView* view);

    // Empties the view and fills it with the text.
    void Start(const std::string& stored);
    // The text being shown grew at its end: the fill goes on to the new end.
    void Grow();
    // Leaves the view as it stands.
    void Stop();
    bool IsEmpty() const { return !m_pStored; }
    int PieceCount() const { return m_nPieces; }

private:
    bool Done() const;
    void Step();
    void RenderNext();
    qsizetype AppendPiece();

    RichTextView* m_pView;
    QTimer m_timer;
    const std::string* m_pStored = nullptr;
    // The stored text up to m_nRendered is rendered; of its last rendered
    // part, the view holds the first m_nPendingShown characters.
    qsizetype m_nRendered = 0;
    RenderedDefinitions m_pending;
    qsizetype m_nPendingShown = 0;
    // The pairs of the stored text from the first piece whose braces did
    // not close, where that piece began, and the number of the next brace
    // to render with them.
    std::unique_ptr<BracePairs> m_pPairs;
    qsizetype m_nPairsFrom = 0;
    std::size_t m_nBrace = 0;
    qsizetype m_nPieceChars = FirstPieceChars;
    // Where in the view the last piece began; -1 before the first.
    int m_nLastPieceStart = -1;
    int m_nPieces = 0;
};
