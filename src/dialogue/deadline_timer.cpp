#include "dialogue/deadline_timer.h"

#include "platform/log.h"

TDeadlineTimer::TDeadlineTimer(std::function<void()> OnExpired) : TThread(true), FOnExpired(std::move(OnExpired))
{
    SetName("DeadlineTimer");
    SetFreeOnTerminate(false);
    Start();
}

TDeadlineTimer::~TDeadlineTimer()
{
    TerminateAndWait();
}

void TDeadlineTimer::Arm(std::int64_t Ms)
{
    bool Earlier;
    {
        std::lock_guard<std::mutex> G(FLock);
        FArmed = true;
        FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms < 0 ? 0 : Ms);
        ++FGeneration;
        Earlier = FDeadline < FSleepEnd;
    }
    if (Earlier)
        FWake.notify_all();
}

void TDeadlineTimer::Disarm()
{
    // The thread finds the timer disarmed when its sleep ends.
    std::lock_guard<std::mutex> G(FLock);
    if (!FArmed)
        return;
    FArmed = false;
    ++FGeneration;
}

bool TDeadlineTimer::Armed() const
{
    std::lock_guard<std::mutex> G(FLock);
    return FArmed;
}

void TDeadlineTimer::TerminatedSet()
{
    {
        // Taken so that the flag cannot change between the thread's check and its wait.
        std::lock_guard<std::mutex> G(FLock);
    }
    FWake.notify_all();
}

void TDeadlineTimer::Fire(std::uint64_t Generation)
{
    {
        std::lock_guard<std::mutex> G(FLock);
        if (!FArmed || FGeneration != Generation)
            return;
        FArmed = false;
        ++FGeneration;
    }
    if (FOnExpired)
        FOnExpired();
}

void TDeadlineTimer::Execute()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> G(FLock);
    while (!Terminated()) {
        // Every wake-up, early or late, looks at the timer afresh.
        if (!FArmed || FHandedOver == FGeneration) {
            FSleepEnd = Clock::time_point::max();
            FWake.wait(G);
            continue;
        }
        if (Clock::now() < FDeadline) {
            FSleepEnd = FDeadline;
            FWake.wait_until(G, FDeadline);
            continue;
        }
        const std::uint64_t Generation = FGeneration;
        FHandedOver = Generation;
        FSleepEnd = Clock::time_point::max();
        G.unlock();
        try {
            Synchronize([this, Generation] { Fire(Generation); });
        } catch (...) {
            kvx::log::Caught("deadline timer: handler threw");
        }
        G.lock();
    }
}
