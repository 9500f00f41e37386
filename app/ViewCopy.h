#pragma once

class QMenu;
class QPoint;
class QString;
class RichTextView;

// "Copy Definition" and "Copy All" for the view's context menu, after its
// own Copy: the definition under a point of the viewport, the lines
// between the rules around it, and every definition the view shows, a
// line of dashes for each rule; both as plain text.
void AddCopyItems(QMenu& menu, const RichTextView& view, const QPoint& viewportPoint);
QString DefinitionAt(const RichTextView& view, const QPoint& viewportPoint);
QString AllDefinitions(const RichTextView& view);
