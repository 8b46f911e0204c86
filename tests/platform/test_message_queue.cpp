#include "platform/message_queue.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A thread that owns a queue and does only what the test tells it.
struct QueueThread {
    std::atomic<std::uint32_t> Id {0};
    std::atomic<bool> Stop {false};
    std::atomic<bool> Peeked {false};
    std::thread T;
    explicit QueueThread(bool PeekFirst)
    {
        T = std::thread([this, PeekFirst] {
            Id = GetCurrentThreadId();
            if (PeekFirst) {
                TMsg m;
                PeekMessage(m, 0, 1, 1, PM_NOREMOVE);
                Peeked = true;
            }
            while (!Stop) {
                if (PeekFirst)
                    WaitMessage(50, 0xFFFF, 0xFFFF);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        WaitUntil([&] { return Id.load() != 0 && (!PeekFirst || Peeked.load()); });
    }
    ~QueueThread()
    {
        Stop = true;
        T.join();
    }
};

TEST(MessageQueue, PostFailsBeforeTheTargetsFirstPeek)
{
    QueueThread t(false);
    EXPECT_FALSE(PostThreadMessage(t.Id, 100, 1, 2));
    EXPECT_FALSE(PostThreadMessage(0xFFFFFFF0u, 100, 1, 2)); // no such thread
}

TEST(MessageQueue, QueueRefusesPostsWhileTenThousandWait)
{
    QueueThread t(true);
    for (std::size_t i = 0; i < MaxQueuedMessages; ++i)
        ASSERT_TRUE(PostThreadMessage(t.Id, 200, i, 0)) << i;
    EXPECT_FALSE(PostThreadMessage(t.Id, 200, 0, 0));
    EXPECT_EQ(QueuedMessageCount(t.Id), MaxQueuedMessages);
}

TEST(MessageQueue, QueueEndsWithItsThread)
{
    std::uint32_t id = 0;
    {
        QueueThread t(true);
        id = t.Id;
        EXPECT_TRUE(PostThreadMessage(id, 5, 0, 0));
    }
    EXPECT_FALSE(PostThreadMessage(id, 5, 0, 0));
}

TEST(MessageQueue, PeekTakesTheFirstMessageInRangeInOrder)
{
    TMsg m;
    PeekMessage(m, 0, 0, 0, PM_NOREMOVE); // creates this thread's queue
    const std::uint32_t me = GetCurrentThreadId();
    ASSERT_TRUE(PostThreadMessage(me, 10, 1, 0));
    ASSERT_TRUE(PostThreadMessage(me, 20, 2, 0));
    ASSERT_TRUE(PostThreadMessage(me, 21, 3, -7));
    ASSERT_TRUE(PostThreadMessage(me, 10, 4, 0));

    ASSERT_TRUE(PeekMessage(m, 0, 20, 21, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessage(m, 0, 20, 21, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessage(m, 0, 20, 21, PM_REMOVE));
    EXPECT_EQ(m.message, 21u);
    EXPECT_EQ(m.lParam, -7);
    EXPECT_FALSE(PeekMessage(m, 0, 20, 21, PM_REMOVE));
    EXPECT_FALSE(PeekMessage(m, 0, 30, 40, PM_REMOVE));

    // 0..0 takes any number, oldest first.
    ASSERT_TRUE(PeekMessage(m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    ASSERT_TRUE(PeekMessage(m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 4u);
    EXPECT_FALSE(PeekMessage(m, 0, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, WaitEndsEarlyOnAMessageInRangeOrAWake)
{
    std::atomic<std::uint32_t> id {0};
    std::atomic<int> stage {0};
    std::atomic<bool> gotMessage {false}, gotWake {false};
    std::thread t([&] {
        id = GetCurrentThreadId();
        TMsg m;
        PeekMessage(m, 0, 0, 0, PM_NOREMOVE);
        stage = 1;
        // A message out of range must not end the wait; one in range must.
        gotMessage = WaitMessage(-1, 50, 60);
        stage = 2;
        PeekMessage(m, 0, 50, 60, PM_REMOVE);
        // WakeThread ends a wait without a message.
        gotWake = !WaitMessage(-1, 50, 60);
        stage = 3;
    });
    ASSERT_TRUE(WaitUntil([&] { return stage.load() == 1; }));
    ASSERT_TRUE(PostThreadMessage(id, 70, 0, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stage.load(), 1);
    ASSERT_TRUE(PostThreadMessage(id, 55, 0, 0));
    ASSERT_TRUE(WaitUntil([&] { return stage.load() == 2 || stage.load() == 3; }));
    EXPECT_TRUE(gotMessage);
    ASSERT_TRUE(WaitUntil([&] {
        WakeThread(id);
        return stage.load() == 3;
    }));
    t.join();
    EXPECT_TRUE(gotWake);
}

TEST(MessageQueue, WindowQueueLivesFromCreateToDestroy)
{
    const HWND w = CreateWindowQueue();
    EXPECT_TRUE(IsWindow(w));
    EXPECT_FALSE(PostThreadMessage(w, 1, 0, 0)); // a window is no thread
    ASSERT_TRUE(PostMessage(w, 9, 3, 4));
    TMsg m;
    EXPECT_TRUE(WaitWindowMessage(w, 1000));
    ASSERT_TRUE(PeekMessage(m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.message, 9u);
    EXPECT_EQ(m.wParam, 3u);
    DestroyWindowQueue(w);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(PostMessage(w, 9, 0, 0));
    EXPECT_FALSE(PeekMessage(m, w, 0, 0, PM_REMOVE));
}

} // namespace
