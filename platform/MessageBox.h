#pragma once

#include <functional>
#include <string>

class QWidget;

enum class MessageIcon { None, Information, Error, Stop, Warning };

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

// A modal message box with an OK button. While an observer is set the box
// is not shown; the observer sees it instead (tests use this).
void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon);
void SetMessageBoxObserver(std::function<void(const MessageBoxRecord&)> observer);
