#pragma once
// Waiting in widget tests: the Qt events are processed meanwhile.

#include <functional>

// Processes events until Cond holds or TimeoutMs passed; answers whether it held.
bool WaitFor(const std::function<bool()>& Cond, int TimeoutMs = 10000);
