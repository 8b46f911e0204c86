#include "platform/message_queue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

struct Queue {
    std::mutex Lock;
    std::condition_variable Arrived;
    std::deque<TMsg> Messages;
    bool WakeRequested = false;
    bool IsWindow = false;
};

struct Registry {
    std::mutex Lock;
    std::unordered_map<std::uint32_t, std::shared_ptr<Queue>> Queues;
};

Registry& Reg()
{
    static Registry* r = new Registry; // never destroyed: threads may outlive static destruction
    return *r;
}

std::atomic<std::uint32_t> NextId {1};

std::shared_ptr<Queue> Find(std::uint32_t Id)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.Lock);
    auto it = r.Queues.find(Id);
    return it == r.Queues.end() ? nullptr : it->second;
}

// The calling thread's id and queue; the queue is removed when the thread ends.
struct ThreadState {
    std::uint32_t Id = 0;
    std::shared_ptr<Queue> Q;
    ~ThreadState()
    {
        if (Q) {
            Registry& r = Reg();
            std::lock_guard<std::mutex> g(r.Lock);
            r.Queues.erase(Id);
        }
    }
};

thread_local ThreadState Current;

std::shared_ptr<Queue> OwnQueue()
{
    if (!Current.Q) {
        auto q = std::make_shared<Queue>();
        const std::uint32_t id = GetCurrentThreadId();
        Registry& r = Reg();
        std::lock_guard<std::mutex> g(r.Lock);
        r.Queues[id] = q;
        Current.Q = q;
    }
    return Current.Q;
}

bool InRange(UINT m, UINT lo, UINT hi)
{
    return (lo == 0 && hi == 0) || (m >= lo && m <= hi);
}

bool Post(std::uint32_t Id, bool ToWindow, UINT Msg, WPARAM w, LPARAM l)
{
    auto q = Find(Id);
    if (!q || q->IsWindow != ToWindow)
        return false;
    {
        std::lock_guard<std::mutex> g(q->Lock);
        if (q->Messages.size() >= MaxQueuedMessages)
            return false;
        q->Messages.push_back(TMsg {ToWindow ? Id : 0, Msg, w, l});
    }
    q->Arrived.notify_all();
    return true;
}

bool Peek(Queue& q, TMsg& Msg, UINT lo, UINT hi, UINT flags)
{
    std::lock_guard<std::mutex> g(q.Lock);
    for (auto it = q.Messages.begin(); it != q.Messages.end(); ++it) {
        if (InRange(it->message, lo, hi)) {
            Msg = *it;
            if (flags & PM_REMOVE)
                q.Messages.erase(it);
            return true;
        }
    }
    return false;
}

bool Wait(Queue& q, int TimeoutMs, UINT lo, UINT hi)
{
    std::unique_lock<std::mutex> g(q.Lock);
    auto ready = [&] {
        if (q.WakeRequested)
            return true;
        for (const TMsg& m : q.Messages)
            if (InRange(m.message, lo, hi))
                return true;
        return false;
    };
    if (TimeoutMs < 0)
        q.Arrived.wait(g, ready);
    else
        q.Arrived.wait_for(g, std::chrono::milliseconds(TimeoutMs), ready);
    q.WakeRequested = false;
    for (const TMsg& m : q.Messages)
        if (InRange(m.message, lo, hi))
            return true;
    return false;
}

} // namespace

std::uint32_t AllocateThreadId()
{
    return NextId.fetch_add(1);
}

std::uint32_t GetCurrentThreadId()
{
    if (Current.Id == 0)
        Current.Id = AllocateThreadId();
    return Current.Id;
}

void platform_detail::AdoptThreadId(std::uint32_t ThreadId)
{
    Current.Id = ThreadId;
}

bool PostThreadMessage(std::uint32_t ThreadId, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return Post(ThreadId, false, Msg, wParam, lParam);
}

bool PeekMessage(TMsg& Msg, HWND Wnd, UINT MsgMin, UINT MsgMax, UINT RemoveFlags)
{
    std::shared_ptr<Queue> q;
    if (Wnd == 0) {
        q = OwnQueue();
    } else {
        q = Find(Wnd);
        if (!q || !q->IsWindow)
            return false;
    }
    return Peek(*q, Msg, MsgMin, MsgMax, RemoveFlags);
}

bool WaitMessage(int TimeoutMs, UINT MsgMin, UINT MsgMax)
{
    return Wait(*OwnQueue(), TimeoutMs, MsgMin, MsgMax);
}

void WakeThread(std::uint32_t ThreadId)
{
    auto q = Find(ThreadId);
    if (!q)
        return;
    {
        std::lock_guard<std::mutex> g(q->Lock);
        q->WakeRequested = true;
    }
    q->Arrived.notify_all();
}

std::size_t QueuedMessageCount(std::uint32_t ThreadIdOrWnd)
{
    auto q = Find(ThreadIdOrWnd);
    if (!q)
        return 0;
    std::lock_guard<std::mutex> g(q->Lock);
    return q->Messages.size();
}

HWND CreateWindowQueue()
{
    auto q = std::make_shared<Queue>();
    q->IsWindow = true;
    const HWND h = AllocateThreadId();
    Registry& r = Reg();
    std::lock_guard<std::mutex> g(r.Lock);
    r.Queues[h] = q;
    return h;
}

void DestroyWindowQueue(HWND Wnd)
{
    std::shared_ptr<Queue> q;
    {
        Registry& r = Reg();
        std::lock_guard<std::mutex> g(r.Lock);
        auto it = r.Queues.find(Wnd);
        if (it == r.Queues.end() || !it->second->IsWindow)
            return;
        q = it->second;
        r.Queues.erase(it);
    }
    {
        std::lock_guard<std::mutex> g(q->Lock);
        q->WakeRequested = true;
    }
    q->Arrived.notify_all();
}

bool IsWindow(HWND Wnd)
{
    auto q = Find(Wnd);
    return q && q->IsWindow;
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return Post(Wnd, true, Msg, wParam, lParam);
}

bool WaitWindowMessage(HWND Wnd, int TimeoutMs, UINT MsgMin, UINT MsgMax)
{
    auto q = Find(Wnd);
    if (!q || !q->IsWindow)
        return false;
    return Wait(*q, TimeoutMs, MsgMin, MsgMax);
}
