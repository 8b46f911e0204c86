#include "platform/thread.h"

#include "platform/message_queue.h"
#include "platform/wake_event.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include <poll.h>

namespace {

class LambdaThread : public TThread {
public:
    explicit LambdaThread(std::function<void(LambdaThread&)> Body, bool Suspended = true)
        : TThread(true), FBody(std::move(Body))
    {
        if (!Suspended)
            Start();
    }
    ~LambdaThread() override { TerminateAndWait(); }
    using TThread::Terminated;
    std::atomic<int> TerminatedSetCalls {0};

protected:
    void Execute() override { FBody(*this); }
    void TerminatedSet() override { ++TerminatedSetCalls; }

private:
    std::function<void(LambdaThread&)> FBody;
};

TEST(Thread, SuspendedThreadRunsOnlyAfterStartAndKeepsItsId)
{
    TThread::SetMainThread();
    std::atomic<bool> ran {false};
    std::atomic<std::uint32_t> seenId {0};
    LambdaThread t([&](LambdaThread&) {
        ran = true;
        seenId = GetCurrentThreadId();
    });
    const std::uint32_t id = t.ThreadID();
    EXPECT_NE(id, 0u);
    EXPECT_FALSE(t.Started());
    EXPECT_EQ(t.WaitFor(), 0u); // never started: nothing to wait for
    EXPECT_FALSE(ran);
    t.Start();
    t.WaitFor();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(seenId.load(), id);
}

TEST(Thread, TerminateSetsTheFlagAndCallsTheHook)
{
    TThread::SetMainThread();
    LambdaThread t(
        [](LambdaThread& self) {
            while (!self.Terminated())
                WaitMessage(1000);
        },
        false);
    t.Terminate();
    t.WaitFor();
    EXPECT_TRUE(t.Terminated());
    EXPECT_EQ(t.TerminatedSetCalls.load(), 1);
}

TEST(Thread, ExceptionStaysInTheThread)
{
    TThread::SetMainThread();
    LambdaThread t([](LambdaThread&) { throw std::runtime_error("boom"); }, false);
    t.WaitFor();
    EXPECT_EQ(t.FatalException(), "boom");
}

TEST(Thread, SynchronizeRunsOnTheMainThreadWhileWaitForServesIt)
{
    TThread::SetMainThread();
    std::vector<int> order;
    std::atomic<bool> onMain {false};
    LambdaThread t(
        [&](LambdaThread& self) {
            for (int i = 0; i < 50; ++i)
                self.Synchronize([&, i] {
                    onMain = TThread::IsMainThread();
                    order.push_back(i);
                });
        },
        false);
    // The worker blocks in Synchronize; WaitFor on the main thread must serve it.
    t.WaitFor();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_TRUE(onMain);
}

TEST(Thread, SynchronizeOnTheMainThreadRunsDirectlyAndRethrows)
{
    TThread::SetMainThread();
    bool ran = false;
    TThread::SynchronizeCall([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(TThread::CheckSynchronize());

    std::atomic<bool> caught {false};
    LambdaThread t(
        [&](LambdaThread& self) {
            try {
                self.Synchronize([] { throw std::runtime_error("in handler"); });
            } catch (const std::runtime_error&) {
                caught = true;
            }
        },
        false);
    t.WaitFor();
    EXPECT_TRUE(caught);
}

TEST(Thread, QueuedCallsRunAfterTheCallThatQueuedThemAndCanBeTakenBack)
{
    TThread::SetMainThread();
    std::vector<std::string> order;
    int owner = 0, other = 0;
    // A call queued by a hand-over runs in the same visit, after it.
    LambdaThread t(
        [&](LambdaThread& self) {
            self.Synchronize([&] {
                TThread::ForceQueue(&owner, [&] { order.push_back("queued"); });
                order.push_back("hand-over");
            });
        },
        false);
    EXPECT_TRUE(TThread::CheckSynchronize(10000)); // one visit serves both
    EXPECT_EQ(order, (std::vector<std::string> {"hand-over", "queued"}));
    t.WaitFor();

    // Queued on the main thread itself: nothing runs before the next visit,
    // and calls taken back never run.
    order.clear();
    TThread::ForceQueue(&owner, [&] { order.push_back("taken back"); });
    TThread::ForceQueue(&other, [&] { order.push_back("kept"); });
    EXPECT_TRUE(order.empty());
    TThread::RemoveQueuedEvents(&owner);
    EXPECT_TRUE(TThread::CheckSynchronize());
    EXPECT_EQ(order, (std::vector<std::string> {"kept"}));

    // Nobody waits for a queued call: what it throws is logged, not rethrown.
    TLogCapture log;
    TThread::ForceQueue(nullptr, [] { throw std::runtime_error("late failure"); });
    EXPECT_NO_THROW(TThread::CheckSynchronize());
    const auto lines = log.Take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("queued call threw: late failure"), std::string::npos) << lines[0];
}

TEST(Thread, WakeCallbackAnnouncesQueuedCalls)
{
    TThread::SetMainThread();
    std::atomic<int> wakes {0};
    TThread::SetWakeMainThread([&] { ++wakes; });
    std::atomic<bool> done {false};
    LambdaThread t(
        [&](LambdaThread& self) {
            self.Synchronize([] {});
            done = true;
        },
        false);
    // Serve it the way an event loop would: only after being woken.
    for (int i = 0; i < 10000 && wakes.load() == 0; ++i)
        TThread::CheckSynchronize(1);
    EXPECT_GE(wakes.load(), 1);
    while (!done.load())
        TThread::CheckSynchronize(10);
    t.WaitFor();
    TThread::SetWakeMainThread(nullptr);
}

TEST(Thread, FreeOnTerminateDeletesTheObject)
{
    static std::atomic<int> destroyed {0};
    struct SelfFreeing : TThread {
        SelfFreeing() : TThread(true) { SetFreeOnTerminate(true); }
        ~SelfFreeing() override { ++destroyed; }
        void Execute() override { }
    };
    const int before = destroyed.load();
    auto* t = new SelfFreeing;
    t->Start();
    for (int i = 0; i < 10000 && destroyed.load() == before; ++i)
        TThread::CheckSynchronize(1);
    EXPECT_EQ(destroyed.load(), before + 1);
}

// A thread asleep in poll() on a wake event ends when the event is signalled;
// the signal stays until consumed, and a closed event is left out of poll.
TEST(WakeEvent, SignalWakesAPollUntilConsumed)
{
    TWakeEvent W;
    ASSERT_TRUE(W.Open());
    auto Readable = [&W] {
        pollfd P {W.Fd(), POLLIN, 0};
        return ::poll(&P, 1, 0) == 1 && (P.revents & POLLIN);
    };
    EXPECT_FALSE(Readable());
    std::atomic<bool> Woke {false};
    LambdaThread T(
        [&](LambdaThread&) {
            pollfd P {W.Fd(), POLLIN, 0};
            Woke = ::poll(&P, 1, -1) == 1;
        },
        false);
    W.Signal();
    T.WaitFor();
    EXPECT_TRUE(Woke.load());
    EXPECT_TRUE(Readable());
    W.Consume();
    EXPECT_FALSE(Readable());
    W.Close();
    EXPECT_EQ(W.Fd(), -1);
    W.Signal(); // harmless while closed
    ASSERT_TRUE(W.Open());
    EXPECT_FALSE(Readable());
}

} // namespace
