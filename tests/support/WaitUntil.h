#pragma once

#include <functional>

// Turns the event loop until the condition holds or the time is up;
// returns the condition's last value.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
