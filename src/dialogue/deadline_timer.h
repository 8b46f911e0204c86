#pragma once
// A one-shot timer whose handler runs on the main thread. Its own thread
// sleeps until the deadline, or without end while nothing is armed, so an
// armed timer costs one wake-up and an idle one none. Its thread is woken only
// when a deadline comes earlier than the one it sleeps towards: a Disarm, or
// an Arm for later, waits for that sleep to end, so a dialogue that arms and
// disarms at every command costs about one wake-up a deadline, not two a
// command. Arm and Disarm are
// called on the main thread; the handler runs there only when the deadline it
// was armed for is still the current one, so a Disarm or a new Arm made just
// before the hand-over wins.

#include "platform/thread.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class TDeadlineTimer : public TThread {
public:
    explicit TDeadlineTimer(std::function<void()> OnExpired);
    ~TDeadlineTimer() override;

    // Fires once after Ms milliseconds; replaces a deadline already armed.
    void Arm(std::int64_t Ms);
    void Disarm();
    bool Armed() const;

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    void Fire(std::uint64_t Generation);

    std::function<void()> FOnExpired;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    bool FArmed = false;
    std::chrono::steady_clock::time_point FDeadline;
    // Counts every Arm and Disarm, so that a late hand-over can tell it is stale.
    std::uint64_t FGeneration = 0;
    // The generation last handed to the main thread: handed over once only.
    std::uint64_t FHandedOver = 0;
    // Where the thread's current sleep ends (the far future when it sleeps
    // without end, or is between sleeps and will look again).
    std::chrono::steady_clock::time_point FSleepEnd = std::chrono::steady_clock::time_point::max();
};
