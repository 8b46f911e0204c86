#include "platform/serve_until.h"

#include "platform/thread.h"

#include <algorithm>
#include <climits>

TDeadline DeadlineIn(std::int64_t Ms)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<std::int64_t>(Ms, 0));
}

bool ServeUntil(const std::function<bool()>& Done, TDeadline Deadline, int LongestSleepMs)
{
    using namespace std::chrono;
    for (;;) {
        if (Done())
            return true;
        const auto Now = steady_clock::now();
        if (Now >= Deadline)
            return Done();
        // Sleeps until a hand-over is queued or the deadline is reached,
        // rounded up so that the wake-up is never early; a long wait sleeps
        // in the longest steps the hand-over queue takes.
        const auto Left = duration_cast<milliseconds>(Deadline - Now) + milliseconds(1);
        const auto Step = std::min<milliseconds::rep>(Left.count(), std::max(LongestSleepMs, 1));
        TThread::CheckSynchronize(static_cast<int>(Step));
    }
}

void WakeMainThread()
{
    TThread::SynchronizeCall([] {});
}
