#pragma once
// Waiting for a condition in tests, with a generous limit so that a slow
// machine never fails a test that a fast one passes.

#include "platform/serve_until.h"

#include <functional>

// Polls Pred until it holds or TimeoutMs passed; answers its last value.
bool WaitUntil(const std::function<bool()>& Pred, int TimeoutMs = 10000);

// The same on the main thread, serving the workers' hand-overs meanwhile
// (ServeUntil of platform/serve_until.h, with short sleeps).
bool ServeUntil(const std::function<bool()>& Pred, int TimeoutMs = 10000);
