#pragma once

#include <QByteArray>

class QWidget;

// On X11, asks the window manager to activate a window for the launch a
// startup id names, with the launch's time, which is what a manager that
// prevents focus stealing weighs; and ends that launch's busy feedback.
// Nothing elsewhere, nor without an id.
void ActivateForLaunch(QWidget* window, const QByteArray& startupId);
