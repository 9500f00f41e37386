#include "CharacterCentre.h"

#include <QTextCursor>
#include <QTextEdit>

QPoint CharacterCentre(const QTextEdit* view, int position)
{
    QTextCursor cursor(view->document());
    cursor.setPosition(position);
    const QRect left = view->cursorRect(cursor);
    cursor.setPosition(position + 1);
    const QRect right = view->cursorRect(cursor);
    return QPoint((left.x() + right.x()) / 2, left.center().y());
}
