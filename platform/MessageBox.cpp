#include "MessageBox.h"

#include <QMessageBox>

namespace {
std::function<void(const MessageBoxRecord&)>& Observer()
{
    static std::function<void(const MessageBoxRecord&)> observer;
    return observer;
}

QMessageBox::Icon ToQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Error:
    case MessageIcon::Stop: return QMessageBox::Critical;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption, MessageIcon icon)
{
    if (Observer()) {
        Observer()({text, caption, icon});
        return;
    }
    QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, owner);
    box.exec();
}

void SetMessageBoxObserver(std::function<void(const MessageBoxRecord&)> observer)
{
    Observer() = std::move(observer);
}
