#include "support/wait_until.h"

#include "platform/serve_until.h"

#include <chrono>
#include <thread>

bool WaitUntil(const std::function<bool()>& Pred, int TimeoutMs)
{
    const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Pred()) {
        if (std::chrono::steady_clock::now() > End)
            return Pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool ServeUntil(const std::function<bool()>& Pred, int TimeoutMs)
{
    // Pred may look at what a worker changes without a hand-over: a short sleep.
    return ServeUntil(Pred, DeadlineIn(TimeoutMs), 2);
}
