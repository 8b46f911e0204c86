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
    {
        std::lock_guard<std::mutex> G(FLock);
        FArmed = true;
        FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms < 0 ? 0 : Ms);
        ++FGeneration;
    }
    FWake.notify_all();
}

void TDeadlineTimer::Disarm()
{
    {
        std::lock_guard<std::mutex> G(FLock);
        if (!FArmed)
            return;
        FArmed = false;
        ++FGeneration;
    }
    FWake.notify_all();
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
    std::unique_lock<std::mutex> G(FLock);
    while (!Terminated()) {
        if (!FArmed) {
            FWake.wait(G, [&] { return FArmed || Terminated(); });
            continue;
        }
        const std::uint64_t Generation = FGeneration;
        if (FWake.wait_until(G, FDeadline, [&] { return FGeneration != Generation || Terminated(); }))
            continue;
        G.unlock();
        try {
            Synchronize([this, Generation] { Fire(Generation); });
        } catch (...) {
            kvx::log::Caught("deadline timer: handler threw");
        }
        G.lock();
        // The same deadline is not handed over twice: wait for a new one.
        FWake.wait(G, [&] { return FGeneration != Generation || Terminated(); });
    }
}
