#include "ViewCopy.h"

#include "RichTextView.h"
#include "SearchDocument.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

#include <algorithm>

namespace {

bool IsRule(const QTextBlock& line)
{
    return line.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth);
}

// The lines from `first` up to, not including, `end`, a line of dashes
// for a rule; the empty line after the text's last line break is none.
QString LinesBetween(QTextBlock first, const QTextBlock& end)
{
    QString text;
    for (; first.isValid() && first != end; first = first.next()) {
        if (!first.next().isValid() && first.length() == 1)
            break;
        text += (IsRule(first) ? SearchDocument::SeparatorLine : first.text()) + u'\n';
    }
    return text;
}

void OfferCopy(QMenu& menu, QAction* before, const QString& label, const QString& text)
{
    auto* item = new QAction(label, &menu);
    item->setEnabled(!text.isEmpty());
    QObject::connect(item, &QAction::triggered, &menu, [text] { QGuiApplication::clipboard()->setText(text); });
    menu.insertAction(before, item);
}

}  // namespace

QString DefinitionAt(const RichTextView& view, const QPoint& viewportPoint)
{
    if (!view.isEnabled() || view.document()->isEmpty())
        return {};
    const QTextBlock under = view.cursorForPosition(viewportPoint).block();
    if (IsRule(under))
        return {};
    QTextBlock first = under;
    while (first.previous().isValid() && !IsRule(first.previous()))
        first = first.previous();
    QTextBlock end = under.next();
    while (end.isValid() && !IsRule(end))
        end = end.next();
    return LinesBetween(first, end);
}

QString AllDefinitions(const RichTextView& view)
{
    if (!view.isEnabled() || view.document()->isEmpty())
        return {};
    return LinesBetween(view.document()->begin(), QTextBlock());
}

void AddCopyItems(QMenu& menu, const RichTextView& view, const QPoint& viewportPoint)
{
    const QList<QAction*> items = menu.actions();
    auto copy = std::find_if(items.begin(), items.end(), [](QAction* a) { return a->objectName() == "edit-copy"; });
    QAction* before = copy == items.end() || copy + 1 == items.end() ? nullptr : *(copy + 1);
    OfferCopy(menu, before, "Copy Definition", DefinitionAt(view, viewportPoint));
    OfferCopy(menu, before, "Copy All", AllDefinitions(view));
}
