#pragma once

#include <functional>

// The application's standard help request: any window may send it, the
// application decides what help means.
void RequestHelp();
void SetHelpHandler(std::function<void()> handler);
