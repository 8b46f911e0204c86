#include "platform/thread.h"

#include "platform/log.h"
#include "platform/message_queue.h"

#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <pthread.h>
#include <stdexcept>

namespace {

struct SyncCall {
    std::function<void()> Method;
    std::exception_ptr Error;
    bool Done = false;                // under SyncState::Lock
    std::condition_variable Finished; // the caller waits on it for Done
    const void* QueuedBy = nullptr;   // set for a call nobody waits for (ForceQueue)
};

// Calls queued for the main thread; the same lock and condition also tell the
// main thread that a worker has finished (so WaitFor can stop serving calls).
// Conditions are signalled after the lock is let go, so that the woken thread
// does not at once sleep again on the lock.
struct SyncState {
    std::mutex Lock;
    std::condition_variable Changed; // a call was queued or a thread finished
    std::deque<std::shared_ptr<SyncCall>> Calls;
    std::function<void()> Wake;
    // The main thread, readable without the lock (asked at every hand-over).
    std::atomic<bool> MainSet {false};
    std::atomic<pthread_t> Main {};
};

SyncState& Sync()
{
    static SyncState* s = new SyncState; // never destroyed: workers may outlive statics
    return *s;
}

void EnsureMainThread()
{
    SyncState& s = Sync();
    if (s.MainSet.load())
        return;
    std::lock_guard<std::mutex> g(s.Lock);
    if (!s.MainSet.load()) {
        s.Main = pthread_self();
        s.MainSet = true;
    }
}

} // namespace

TThread::TThread(bool CreateSuspended) : FThreadID(AllocateThreadId())
{
    EnsureMainThread();
    if (!CreateSuspended)
        Start();
}

TThread::~TThread() // NOLINT(bugprone-exception-escape): throws only when a thread frees itself
{
    if (FStarted.load() && !FFreeOnTerminate)
        TerminateAndWait();
}

void TThread::Start()
{
    bool expected = false;
    if (!FStarted.compare_exchange_strong(expected, true))
        return;
    // Run waits for this lock, so a self-freeing thread cannot end before it is detached.
    std::lock_guard<std::mutex> g(FJoinLock);
    FThread = std::thread([this] { Run(); });
    if (FFreeOnTerminate) {
        FJoined = true;
        FThread.detach();
    }
}

void TThread::Run()
{
    platform_detail::AdoptThreadId(FThreadID);
    {
        std::lock_guard<std::mutex> g(FJoinLock);
    }
    const std::string name = ThreadName();
    if (!name.empty())
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    try {
        Execute();
    } catch (...) {
        const std::string text = kvx::log::CaughtText();
        kvx::log::Error("thread ended by an exception: " + text);
        std::lock_guard<std::mutex> g(FStateLock);
        FFatal = text;
    }
    try {
        DoTerminate();
    } catch (...) {
        kvx::log::Caught("thread's DoTerminate threw");
    }
    const bool freeSelf = FFreeOnTerminate;
    SyncState& s = Sync();
    {
        std::lock_guard<std::mutex> g(s.Lock);
        FFinished = true;
    }
    s.Changed.notify_all();
    if (freeSelf)
        delete this;
}

void TThread::Terminate()
{
    FTerminated = true;
    TerminatedSet();
    WakeThread(FThreadID);
}

std::uint32_t TThread::TerminateAndWait()
{
    Terminate();
    return WaitFor();
}

std::uint32_t TThread::WaitFor()
{
    if (!FStarted.load())
        return FReturnValue.load();
    if (FThread.get_id() == std::this_thread::get_id())
        throw std::logic_error("Thread cannot wait for itself");
    SyncState& s = Sync();
    if (IsMainThread()) {
        while (!FFinished.load()) {
            CheckSynchronize();
            std::unique_lock<std::mutex> g(s.Lock);
            s.Changed.wait_for(g, std::chrono::milliseconds(100), [&] { return FFinished.load() || !s.Calls.empty(); });
        }
    } else {
        std::unique_lock<std::mutex> g(s.Lock);
        s.Changed.wait(g, [&] { return FFinished.load(); });
    }
    std::lock_guard<std::mutex> g(FJoinLock);
    if (!FJoined && FThread.joinable()) {
        FThread.join();
        FJoined = true;
    }
    return FReturnValue.load();
}

void TThread::SetName(const std::string& Name)
{
    {
        std::lock_guard<std::mutex> g(FStateLock);
        FName = Name;
    }
    std::lock_guard<std::mutex> j(FJoinLock);
    if (FStarted.load() && !FFinished.load() && !FJoined && FThread.joinable()) {
        const std::string shortName = Name.substr(0, 15);
        pthread_setname_np(FThread.native_handle(), shortName.c_str());
    }
}

std::string TThread::ThreadName() const
{
    std::lock_guard<std::mutex> g(FStateLock);
    return FName;
}

std::string TThread::FatalException() const
{
    std::lock_guard<std::mutex> g(FStateLock);
    return FFatal;
}

void TThread::SynchronizeCall(const std::function<void()>& Method)
{
    if (IsMainThread()) {
        Method();
        return;
    }
    SyncState& s = Sync();
    auto call = std::make_shared<SyncCall>();
    call->Method = Method;
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> g(s.Lock);
        s.Calls.push_back(call);
        wake = s.Wake;
    }
    s.Changed.notify_all();
    if (wake)
        wake();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> g(s.Lock);
        call->Finished.wait(g, [&] { return call->Done; });
        // Taken out under the lock, so that this thread holds the only
        // reference: the main thread's copy of the call never outlives the
        // exception's last use here.
        error = std::move(call->Error);
    }
    if (error)
        std::rethrow_exception(error);
}

void TThread::ForceQueue(const void* Owner, std::function<void()> Method)
{
    SyncState& s = Sync();
    auto call = std::make_shared<SyncCall>();
    call->Method = std::move(Method);
    call->QueuedBy = Owner ? Owner : &s;
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> g(s.Lock);
        s.Calls.push_back(std::move(call));
        wake = s.Wake;
    }
    s.Changed.notify_all();
    if (wake)
        wake();
}

void TThread::RemoveQueuedEvents(const void* Owner)
{
    SyncState& s = Sync();
    std::lock_guard<std::mutex> g(s.Lock);
    std::erase_if(s.Calls, [&](const std::shared_ptr<SyncCall>& C) { return Owner && C->QueuedBy == Owner; });
}

bool TThread::CheckSynchronize(int TimeoutMs)
{
    EnsureMainThread();
    if (!IsMainThread())
        return false;
    SyncState& s = Sync();
    bool ran = false;
    // Calls are taken one at a time, so that one queued meanwhile (ForceQueue
    // from a call) is served in the same visit, and one removed meanwhile
    // (RemoveQueuedEvents) never runs.
    for (;;) {
        std::shared_ptr<SyncCall> call;
        {
            std::unique_lock<std::mutex> g(s.Lock);
            if (!ran && s.Calls.empty() && TimeoutMs > 0)
                s.Changed.wait_for(g, std::chrono::milliseconds(TimeoutMs), [&] { return !s.Calls.empty(); });
            if (s.Calls.empty())
                return ran;
            call = std::move(s.Calls.front());
            s.Calls.pop_front();
        }
        ran = true;
        try {
            call->Method();
        } catch (...) {
            if (call->QueuedBy)
                kvx::log::Caught("queued call threw");
            else
                call->Error = std::current_exception();
        }
        if (call->QueuedBy)
            continue; // nobody waits for it
        {
            std::lock_guard<std::mutex> g(s.Lock);
            call->Done = true;
        }
        call->Finished.notify_one(); // this thread's reference keeps the call alive
    }
}

void TThread::SetMainThread()
{
    SyncState& s = Sync();
    std::lock_guard<std::mutex> g(s.Lock);
    s.Main = pthread_self();
    s.MainSet = true;
}

bool TThread::IsMainThread()
{
    SyncState& s = Sync();
    return s.MainSet.load() && pthread_equal(s.Main.load(), pthread_self());
}

void TThread::SetWakeMainThread(std::function<void()> Wake)
{
    SyncState& s = Sync();
    std::lock_guard<std::mutex> g(s.Lock);
    s.Wake = std::move(Wake);
}
