#include "RichTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

RichTextView::RichTextView(QWidget* parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Long lines scroll rather than wrap, yet the document keeps the view's
    // width, so that a separator's rule reaches across all of it.
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::NoWrap);
    // Its own light page whatever the desktop's theme: the links' pure blue
    // and the rules need a light ground to be read.
    QPalette page = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        page.setColor(group, QPalette::Base, Qt::white);
        page.setColor(group, QPalette::Text, Qt::black);
    }
    setPalette(page);
    // Nothing is ever undone here; an undo record per insertion and format
    // would only cost time and memory.
    document()->setUndoRedoEnabled(false);
}

void RichTextView::SetPlainText(const QString& text)
{
    ReplaceText(text);
    m_linkRuns.clear();
}

// New text would take the format at the cursor, which a click in a link
// leaves as the link's: every text starts from the plain format.
void RichTextView::ReplaceText(const QString& text)
{
    setCurrentCharFormat(QTextCharFormat());
    setPlainText(text);
}

void RichTextView::ShowRendered(const QString& text, const std::vector<std::pair<int, int>>& linkRuns,
                                const std::vector<int>& separators)
{
    ReplaceText(text);
    m_linkRuns.clear();
    FormatFrom(0, linkRuns, separators);
}

void RichTextView::AppendRendered(const QString& text, const std::vector<std::pair<int, int>>& linkRuns,
                                  const std::vector<int>& separators)
{
    const int offset = document()->characterCount() - 1;
    // One edit block: the new text is laid out once, with its formats.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text, QTextCharFormat());
    FormatFrom(offset, linkRuns, separators);
    cursor.endEditBlock();
}

void RichTextView::FormatFrom(int offset, const std::vector<std::pair<int, int>>& linkRuns,
                              const std::vector<int>& separators)
{
    QTextCharFormat link;
    link.setFontWeight(QFont::Bold);
    link.setForeground(QColor(0, 0, 255));
    link.setAnchor(true);
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (const auto& [start, end] : linkRuns) {
        // A run that goes on from the text before is one run with it.
        if (!m_linkRuns.empty() && m_linkRuns.back().second == offset + start)
            m_linkRuns.back().second = offset + end;
        else
            m_linkRuns.emplace_back(offset + start, offset + end);
        cursor.setPosition(offset + start);
        cursor.setPosition(offset + end, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(link);
    }
    QTextBlockFormat rule;
    rule.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth, QTextLength(QTextLength::PercentageLength, 100));
    for (const int position : separators) {
        cursor.setPosition(offset + position);
        cursor.mergeBlockFormat(rule);
    }
    cursor.endEditBlock();
}

QString RichTextView::GetTextRange(int start, int end) const
{
    QTextCursor cursor(document());
    cursor.setPosition(std::clamp(start, 0, document()->characterCount() - 1));
    cursor.setPosition(std::clamp(end, 0, document()->characterCount() - 1), QTextCursor::KeepAnchor);
    // The document stands paragraph separators where the text had line feeds.
    return cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

int RichTextView::CharacterAt(const QPoint& viewportPoint) const
{
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return document()->documentLayout()->hitTest(viewportPoint + offset, Qt::ExactHit);
}

std::pair<int, int> RichTextView::LinkRunAt(const QPoint& viewportPoint) const
{
    return LinkRunOf(CharacterAt(viewportPoint));
}

std::pair<int, int> RichTextView::LinkRunOf(int position) const
{
    if (position < 0)
        return {-1, -1};
    const auto run = std::upper_bound(m_linkRuns.begin(), m_linkRuns.end(), position,
                                      [](int p, const std::pair<int, int>& r) { return p < r.first; });
    if (run == m_linkRuns.begin() || position >= std::prev(run)->second)
        return {-1, -1};
    return *std::prev(run);
}

QString RichTextView::WordAt(const QPoint& viewportPoint) const
{
    const int position = CharacterAt(viewportPoint);
    if (position < 0)
        return {};
    QTextCursor cursor(document());
    cursor.setPosition(position);
    cursor.select(QTextCursor::WordUnderCursor);
    // Beside a word the cursor still selects it: only a word the point is on counts.
    const bool on = cursor.selectionStart() <= position && position < cursor.selectionEnd();
    return on ? cursor.selectedText() : QString();
}

void RichTextView::KeepRoomBelow(int height)
{
    setViewportMargins(0, 0, 0, height);
}

bool RichTextView::IsLaidOutAt(int position) const
{
    const QTextBlock line = document()->findBlock(position);
    return document()->pageSize().isNull() || !line.isValid() || line.layout()->lineCount() > 0;
}

void RichTextView::SetLinkHandler(std::function<void(LinkMouse, int, int)> handler)
{
    m_onLink = std::move(handler);
}

void RichTextView::NotifyLink(QMouseEvent* event, LinkMouse message)
{
    const auto [start, end] = LinkRunAt(event->position().toPoint());
    if (start >= 0 && m_onLink)
        m_onLink(message, start, end);
}

// Enter on a link follows it as a left click does: the caret stands on
// a link when the character after it belongs to one, or at a link's end.
void RichTextView::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto [start, end] = enter ? LinkRunAtCaret() : std::pair{-1, -1};
    if (start < 0 || !m_onLink) {
        QTextEdit::keyPressEvent(event);
        return;
    }
    m_onLink(LinkMouse::LeftDown, start, end);
}

std::pair<int, int> RichTextView::LinkRunAtCaret() const
{
    const int caret = textCursor().position();
    const auto run = LinkRunOf(caret);
    return run.first >= 0 ? run : LinkRunOf(caret - 1);
}

void RichTextView::mousePressEvent(QMouseEvent* event)
{
    QTextEdit::mousePressEvent(event);
    NotifyLink(event, event->button() == Qt::LeftButton ? LinkMouse::LeftDown : LinkMouse::Other);
}

void RichTextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTextEdit::mouseDoubleClickEvent(event);
    NotifyLink(event, event->button() == Qt::LeftButton ? LinkMouse::LeftDoubleClick : LinkMouse::Other);
}

void RichTextView::mouseReleaseEvent(QMouseEvent* event)
{
    QTextEdit::mouseReleaseEvent(event);
    NotifyLink(event, LinkMouse::Other);
}

void RichTextView::mouseMoveEvent(QMouseEvent* event)
{
    QTextEdit::mouseMoveEvent(event);
    NotifyLink(event, LinkMouse::Other);
}
