#include "platform/serve_until.h"

#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Times the calling thread gave up the processor of its own accord: each
// sleep that ended is one.
long VoluntarySwitches()
{
    std::ifstream In("/proc/thread-self/status");
    for (std::string Line; std::getline(In, Line);)
        if (Line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stol(Line.substr(Line.find(':') + 1));
    return -1;
}

TEST(ServeUntil, EndsOnAHandOverOrAtTheDeadline)
{
    TThread::SetMainThread();
    // A worker's hand-over makes Done true: it ran on the main thread, and the wait ends.
    bool Seen = false;
    std::thread Worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        TThread::SynchronizeCall([&] { Seen = TThread::IsMainThread(); });
    });
    EXPECT_TRUE(ServeUntil([&] { return Seen; }, DeadlineIn(60000)));
    Worker.join();

    // Nothing comes: false at the deadline, not before it.
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ServeUntil([] { return false; }, DeadlineIn(200)));
    EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(200));

    // A deadline already past still asks Done once.
    EXPECT_TRUE(ServeUntil([] { return true; }, DeadlineIn(0)));
}

TEST(ServeUntil, SleepsWithoutWakingUpAndIsWokenFromOutside)
{
    TThread::SetMainThread();
    // 600 ms of waiting for nothing: a poll every few milliseconds would wake
    // the thread a hundred times; a deadline wakes it about once.
    const long Before = VoluntarySwitches();
    ASSERT_GE(Before, 0);
    EXPECT_FALSE(ServeUntil([] { return false; }, DeadlineIn(600)));
    EXPECT_LE(VoluntarySwitches() - Before, 5);

    // A flag set by another thread is seen once that thread wakes the main one.
    std::atomic<bool> Flag {false};
    std::thread Waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Flag = true;
        WakeMainThread();
    });
    EXPECT_TRUE(ServeUntil([&] { return Flag.load(); }, NoDeadline));
    Waker.join();
}

} // namespace
