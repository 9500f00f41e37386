#pragma once

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextEdit>

#include <functional>
#include <utility>
#include <vector>

// The mouse messages a link notification carries; only left presses and
// double clicks follow a link.
enum class LinkMouse { LeftDown = 0x0201, LeftDoubleClick = 0x0203, Other = 0 };

// Read-only rich text with link runs and full-width separator rules.
// Positions count characters of the plain text, a line break as one.
class RichTextView : public QTextEdit {
public:
    explicit RichTextView(QWidget* parent = nullptr);

    // Plain text, no links or rules.
    void SetPlainText(const QString& text);
    // Bold pure blue links over the given runs, a rule across the whole
    // width for the line of each separator position.
    void ShowRendered(const QString& text, const std::vector<std::pair<int, int>>& linkRuns,
                      const std::vector<int>& separators);
    // The same after what is shown; runs and separators count from the
    // start of the appended text, and a run from its start continues one
    // that ended there.
    void AppendRendered(const QString& text, const std::vector<std::pair<int, int>>& linkRuns,
                        const std::vector<int>& separators);
    QString GetTextRange(int start, int end) const;
    // The link run under a point of the viewport, or (-1, -1).
    std::pair<int, int> LinkRunAt(const QPoint& viewportPoint) const;
    // The word under a point of the viewport, or "" over anything else.
    QString WordAt(const QPoint& viewportPoint) const;
    // A strip of this height below the text, for a bar laid over the
    // view's bottom edge: the text scrolls clear of it.
    void KeepRoomBelow(int height);
    // Whether the line at a position is laid out. After a change of font
    // the view lays its text out anew, a step at a time from the event
    // loop; asking where a line not laid out yet stands, or adding text
    // after it, would lay out all before it at once. A view never shown
    // lays out nothing.
    bool IsLaidOutAt(int position) const;
    // The first line whose bottom lies below y, found by where the lines
    // are laid out: a hit test would walk the lines one by one from above
    // the first. A line not laid out yet counts as below everything.
    QTextBlock LineBelow(qreal y) const;
    // The laid-out lines that reach into the screen, top to bottom.
    std::vector<QTextBlock> LinesOnScreen() const;
    // The character of a row of a line under an x of the viewport, counted
    // from the line's start.
    int CharacterAtX(const QTextBlock& line, const QTextLine& row, int viewportX) const;
    // The characters of the long lines whose shaping the view keeps: only
    // lines on screen, at most ShapedCharsLimit of them.
    int ShapedChars() const;
    // Lines at least this long keep their shaping while on screen and are
    // drawn from their part on screen.
    static constexpr int LongLine = 16 * 1024;
    static constexpr int ShapedCharsLimit = 4 << 20;
    void SetLinkHandler(std::function<void(LinkMouse, int start, int end)> handler);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Shaped {
        QTextBlock line;
        // Neither tabs nor right-to-left text: a part of it lays out as it
        // does within the whole.
        bool partsDrawn;
    };
    void KeepShapedAsLaidOut(int from, int removed, int added);
    void KeepShapedOnScreen();
    QRect PaintOnScreenPart(const Shaped& shaped);
    QList<QAbstractTextDocumentLayout::Selection> Selections() const;
    void ReplaceText(const QString& text);
    void FormatFrom(int offset, const std::vector<std::pair<int, int>>& linkRuns, const std::vector<int>& separators);
    int CharacterAt(const QPoint& viewportPoint) const;
    std::pair<int, int> LinkRunOf(int position) const;
    std::pair<int, int> LinkRunAtCaret() const;
    void NotifyLink(QMouseEvent* event, LinkMouse message);

    std::vector<std::pair<int, int>> m_linkRuns;
    std::vector<Shaped> m_shaped;
    std::function<void(LinkMouse, int, int)> m_onLink;
};
