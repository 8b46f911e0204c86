#include "moving_clock.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<bool> Active {false};
std::atomic<std::int64_t> NextMs {0};
std::atomic<std::int64_t> Step {0};
std::atomic<int> Count {0};

} // namespace

// Takes the place of the C library's clock_gettime for this test program: the
// executable's definition comes first for every caller, the standard
// library's system_clock included.
extern "C" int clock_gettime(clockid_t Id, struct timespec* Ts) noexcept
{
    if (Id == CLOCK_REALTIME && Active.load()) {
        const std::int64_t Ms = NextMs.fetch_add(Step.load());
        ++Count;
        Ts->tv_sec = static_cast<time_t>(Ms / 1000);
        Ts->tv_nsec = static_cast<long>(Ms % 1000) * 1000000L;
        return 0;
    }
    return static_cast<int>(syscall(SYS_clock_gettime, Id, Ts));
}

MovingClock::MovingClock(std::int64_t StartMs, std::int64_t StepMs)
{
    NextMs = StartMs;
    Step = StepMs;
    Count = 0;
    Active = true;
}

MovingClock::~MovingClock()
{
    Active = false;
}

int MovingClock::Readings() const
{
    return Count.load();
}
