#include "support/wait_until.h"

#include "platform/thread.h"

#include <chrono>
#include <thread>

namespace {

bool Poll(const std::function<bool()>& Pred, int TimeoutMs, const std::function<void()>& Between)
{
    const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Pred()) {
        if (std::chrono::steady_clock::now() > End)
            return Pred();
        Between();
    }
    return true;
}

} // namespace

bool WaitUntil(const std::function<bool()>& Pred, int TimeoutMs)
{
    return Poll(Pred, TimeoutMs, [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

bool ServeUntil(const std::function<bool()>& Pred, int TimeoutMs)
{
    return Poll(Pred, TimeoutMs, [] { TThread::CheckSynchronize(2); });
}
