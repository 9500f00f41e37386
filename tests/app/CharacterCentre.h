#pragma once

#include <QPoint>

class QTextEdit;

// The centre of the character at a position of the view, in viewport pixels.
QPoint CharacterCentre(const QTextEdit* view, int position);
