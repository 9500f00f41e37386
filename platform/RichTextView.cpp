#include "RichTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>

namespace {

// Characters drawn beyond each edge of the screen: the shaping of the
// characters at a cut may differ from the whole line's.
constexpr int CutMargin = 32;
constexpr qreal Hair = 0.01;

// A layout that keeps no glyphs lets them go at the end of a draw; drawn
// with its line below the clip it draws nothing else.
void LetGlyphsGo(QTextLayout& layout)
{
    layout.setCacheEnabled(false);
    QImage none(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&none);
    layout.draw(&painter, QPointF(), {}, QRectF(0, layout.position().y() - 2, 1, 1));
}

// Tabs stand at stops measured from the line's start and right-to-left
// runs reorder, so that a part of such a line does not lay out as it does
// within the whole.
bool LaysOutInParts(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (c == u'\t')
            return false;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
        switch (QChar::direction(c)) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI: return false;
        default: break;
        }
    }
    return true;
}

}  // namespace

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
    // Told before the document lays the new text out.
    connect(document(), &QTextDocument::contentsChange, this, &RichTextView::KeepShapedAsLaidOut);
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
    // The lines kept go with the text and must not be asked anything after;
    // let go here, as resetting the format may have weighed them again.
    m_shaped.clear();
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

QTextBlock RichTextView::LineBelow(qreal y) const
{
    const QTextDocument& text = *document();
    int low = 0;
    int high = text.blockCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const QTextLayout* layout = text.findBlockByNumber(middle).layout();
        if (layout->lineCount() == 0 || layout->position().y() + layout->boundingRect().height() > y)
            high = middle;
        else
            low = middle + 1;
    }
    return text.findBlockByNumber(std::min(low, text.blockCount() - 1));
}

std::vector<QTextBlock> RichTextView::LinesOnScreen() const
{
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    std::vector<QTextBlock> lines;
    for (QTextBlock line = LineBelow(top);
         line.isValid() && IsLaidOutAt(line.position()) && line.layout()->position().y() < bottom; line = line.next())
        lines.push_back(line);
    return lines;
}

int RichTextView::CharacterAtX(const QTextBlock& line, const QTextLine& row, int viewportX) const
{
    const qreal x = viewportX + horizontalScrollBar()->value() - line.layout()->position().x();
    return row.xToCursor(x, QTextLine::CursorOnCharacter);
}

int RichTextView::ShapedChars() const
{
    int chars = 0;
    for (const Shaped& shaped : m_shaped)
        chars += shaped.line.length();
    return chars;
}

// The document lays a line out and lets its glyphs go: were it kept only
// from the first paint on, a long line would be shaped twice before it is
// seen. New long lines keep the shaping of their layout, within the bound;
// the next paint lets go of those it does not show.
void RichTextView::KeepShapedAsLaidOut(int from, int /*removed*/, int added)
{
    // A changed line lays out anew, and may have grown: it is weighed again.
    const auto changed = [&](const Shaped& shaped) {
        return shaped.line.position() + shaped.line.length() > from && shaped.line.position() <= from + added;
    };
    for (const Shaped& shaped : m_shaped)
        if (changed(shaped))
            shaped.line.layout()->setCacheEnabled(false);
    std::erase_if(m_shaped, changed);
    int chars = ShapedChars();
    for (QTextBlock line = document()->findBlock(from); line.isValid() && line.position() <= from + added;
         line = line.next()) {
        if (line.length() < LongLine || chars + line.length() > ShapedCharsLimit)
            continue;
        chars += line.length();
        m_shaped.push_back({line, LaysOutInParts(line.text())});
        line.layout()->setCacheEnabled(true);
    }
}

// Qt shapes a line anew for every paint, hit test and cursor after a draw
// has let its glyphs go: a second or more for a line of a megabyte. The
// long lines on screen keep them, up to a bound, and only while on screen.
void RichTextView::KeepShapedOnScreen()
{
    std::vector<Shaped> kept;
    int chars = 0;
    for (const QTextBlock& line : LinesOnScreen()) {
        if (line.length() < LongLine || chars + line.length() > ShapedCharsLimit)
            continue;
        chars += line.length();
        const auto was =
            std::find_if(m_shaped.begin(), m_shaped.end(), [&](const Shaped& shaped) { return shaped.line == line; });
        kept.push_back(was != m_shaped.end() ? *was : Shaped{line, LaysOutInParts(line.text())});
        line.layout()->setCacheEnabled(true);
    }
    for (const Shaped& shaped : m_shaped)
        if (std::none_of(kept.begin(), kept.end(), [&](const Shaped& k) { return k.line == shaped.line; }))
            LetGlyphsGo(*shaped.line.layout());
    m_shaped = std::move(kept);
}

// Qt draws every glyph of a line however little of it is on screen: the
// part of a long line on screen is laid out and drawn on its own, with the
// formats and selections that fall within it. The caret is left to Qt.
QRect RichTextView::PaintOnScreenPart(const Shaped& shaped)
{
    const QTextLayout& whole = *shaped.line.layout();
    if (!shaped.partsDrawn || whole.lineCount() != 1 || (hasFocus() && textCursor().block() == shaped.line))
        return {};
    const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QTextLine row = whole.lineAt(0);
    const QPointF origin = whole.position();
    const QRect band = QRectF(QPointF(0, origin.y() + row.y() - scroll.y()), QSizeF(viewport()->width(), row.height()))
                           .toAlignedRect();
    const int length = shaped.line.length() - 1;
    const int first = std::max(0, CharacterAtX(shaped.line, row, 0) - CutMargin);
    const int last = std::min(length, CharacterAtX(shaped.line, row, viewport()->width()) + CutMargin + 1);
    if (first >= last)
        return {};
    const auto within = [&](int start, int end, QTextCharFormat format) {
        QTextLayout::FormatRange range;
        range.start = std::max(start, first) - first;
        range.length = std::min(end, last) - first - range.start;
        range.format = std::move(format);
        return range;
    };
    QList<QTextLayout::FormatRange> formats;
    for (const QTextLayout::FormatRange& format : shaped.line.textFormats())
        if (format.start < last && format.start + format.length > first)
            formats.append(within(format.start, format.start + format.length, format.format));
    QList<QTextLayout::FormatRange> selections;
    const int base = shaped.line.position();
    const auto select = [&](const QTextCursor& cursor, const QTextCharFormat& format) {
        const int start = cursor.selectionStart() - base;
        const int end = cursor.selectionEnd() - base;
        if (start < last && end > first)
            selections.append(within(start, end, format));
    };
    for (const QAbstractTextDocumentLayout::Selection& selection : Selections())
        select(selection.cursor, selection.format);
    QTextLayout part(shaped.line.text().mid(first, last - first), document()->defaultFont());
    part.setTextOption(whole.textOption());
    part.setFormats(formats);
    part.beginLayout();
    QTextLine partRow = part.createLine();
    partRow.setLineWidth(row.width());
    partRow.setPosition(QPointF(0, row.y() + row.ascent() - partRow.ascent()));
    part.endLayout();
    QPainter painter(viewport());
    painter.setClipRect(band);
    part.draw(&painter, origin + QPointF(row.cursorToX(first), 0) - scroll, selections);
    return band;
}

// The highlights, then the selection, as Qt draws them.
QList<QAbstractTextDocumentLayout::Selection> RichTextView::Selections() const
{
    QList<QAbstractTextDocumentLayout::Selection> selections;
    for (const QTextEdit::ExtraSelection& highlight : extraSelections())
        selections.append({highlight.cursor, highlight.format});
    if (textCursor().hasSelection()) {
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        QTextCharFormat selected;
        selected.setBackground(palette().brush(group, QPalette::Highlight));
        selected.setForeground(palette().brush(group, QPalette::HighlightedText));
        selections.append({textCursor(), selected});
    }
    return selections;
}

// Qt draws a line that only touches the clip's edge: the rows next to a
// part drawn here are drawn with a clip kept a hair clear of it.
void RichTextView::paintEvent(QPaintEvent* event)
{
    KeepShapedOnScreen();
    QRegion rest = event->region();
    std::vector<QRectF> edges;
    for (const Shaped& shaped : m_shaped) {
        const QRect band = PaintOnScreenPart(shaped);
        if (band.isEmpty())
            continue;
        rest -= band.adjusted(0, -1, 0, 1);
        edges.emplace_back(QPointF(0, band.top() - 1), QPointF(band.right() + 1, band.top() - Hair));
        edges.emplace_back(QPointF(0, band.bottom() + 1 + Hair), QPointF(band.right() + 1, band.bottom() + 2));
    }
    if (rest == event->region()) {
        QTextEdit::paintEvent(event);
        return;
    }
    for (const QRect& part : rest) {
        QPaintEvent partEvent(part);
        QTextEdit::paintEvent(&partEvent);
    }
    QPainter painter(viewport());
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-scroll);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.selections = Selections();
    for (const QRectF& edge : edges) {
        context.clip = edge.translated(scroll);
        painter.setClipRect(context.clip);
        document()->documentLayout()->draw(&painter, context);
    }
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
