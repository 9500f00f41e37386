#pragma once

#include <QStringList>

class QWidget;

// What is wrong with how a window places its texts: a label, group box,
// push button or check box whose text is wider than the room the control
// gives it, or a label that runs into a neighbouring control. Empty when
// nothing is.
QStringList LayoutFaults(const QWidget& window);
