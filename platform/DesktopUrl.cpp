#include "DesktopUrl.h"

#include <QDesktopServices>

#include <utility>

namespace {
std::function<void(const QUrl&)>& Observer()
{
    static std::function<void(const QUrl&)> observer;
    return observer;
}
}  // namespace

void OpenUrlInBrowser(const QUrl& url)
{
    if (Observer())
        Observer()(url);
    else
        QDesktopServices::openUrl(url);
}

void SetUrlObserver(std::function<void(const QUrl&)> observer)
{
    Observer() = std::move(observer);
}
