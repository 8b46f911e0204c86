#pragma once
// Serves worker hand-overs on the calling (main) thread until a condition holds.
#include "platform/thread.h"

#include <chrono>

template <typename Pred>
bool ServeUntil(Pred P, int TimeoutMs = 10000)
{
    const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!P()) {
        if (std::chrono::steady_clock::now() > End)
            return P();
        TThread::CheckSynchronize(2);
    }
    return true;
}
