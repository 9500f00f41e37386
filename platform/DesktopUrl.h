#pragma once

#include <QUrl>

#include <functional>

// Opens a URL in the desktop's browser. While an observer is set the URL
// goes to it instead (tests use this).
void OpenUrlInBrowser(const QUrl& url);
void SetUrlObserver(std::function<void(const QUrl&)> observer);
