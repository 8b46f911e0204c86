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
    bool Done = false;
    // Queued without a waiting caller: an exception is logged here.
    bool Detached = false;
};

// Calls queued for the main thread; the same lock and condition also tell the
// main thread that a worker has finished (so WaitFor can stop serving calls).
struct SyncState {
    std::mutex Lock;
    std::condition_variable Changed;  // a call was queued or a thread finished
    std::condition_variable CallDone; // a queued call has run
    std::deque<std::shared_ptr<SyncCall>> Calls;
    std::function<void()> Wake;
    std::atomic<bool> MainSet {false};
    std::thread::id Main;
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
        s.Main = std::this_thread::get_id();
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
    if (FStarted.load() && !FFreeOnTerminate) {
        Terminate();
        WaitFor();
    }
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
    {
        SyncState& s = Sync();
        std::lock_guard<std::mutex> g(s.Lock);
        FFinished = true;
        s.Changed.notify_all();
        s.CallDone.notify_all();
    }
    if (freeSelf)
        delete this;
}

void TThread::Terminate()
{
    FTerminated = true;
    TerminatedSet();
    WakeThread(FThreadID);
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
        s.Changed.notify_all();
    }
    if (wake)
        wake();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> g(s.Lock);
        s.CallDone.wait(g, [&] { return call->Done; });
        // Taken out under the lock, so that this thread holds the only
        // reference: the main thread's copy of the call never outlives the
        // exception's last use here.
        error = std::move(call->Error);
    }
    if (error)
        std::rethrow_exception(error);
}

void TThread::Queue(std::function<void()> Method)
{
    if (IsMainThread()) {
        try {
            Method();
        } catch (...) {
            kvx::log::Caught("queued call threw");
        }
        return;
    }
    SyncState& s = Sync();
    auto call = std::make_shared<SyncCall>();
    call->Method = std::move(Method);
    call->Detached = true;
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> g(s.Lock);
        s.Calls.push_back(std::move(call));
        wake = s.Wake;
        s.Changed.notify_all();
    }
    if (wake)
        wake();
}

bool TThread::CheckSynchronize(int TimeoutMs)
{
    EnsureMainThread();
    if (!IsMainThread())
        return false;
    SyncState& s = Sync();
    std::deque<std::shared_ptr<SyncCall>> calls;
    {
        std::unique_lock<std::mutex> g(s.Lock);
        if (s.Calls.empty() && TimeoutMs > 0)
            s.Changed.wait_for(g, std::chrono::milliseconds(TimeoutMs), [&] { return !s.Calls.empty(); });
        calls.swap(s.Calls);
    }
    for (auto& call : calls) {
        try {
            call->Method();
        } catch (...) {
            if (call->Detached)
                kvx::log::Caught("queued call threw");
            else
                call->Error = std::current_exception();
        }
        std::lock_guard<std::mutex> g(s.Lock);
        call->Done = true;
        s.CallDone.notify_all();
    }
    return !calls.empty();
}

void TThread::SetMainThread()
{
    SyncState& s = Sync();
    std::lock_guard<std::mutex> g(s.Lock);
    s.Main = std::this_thread::get_id();
    s.MainSet = true;
}

bool TThread::IsMainThread()
{
    SyncState& s = Sync();
    std::lock_guard<std::mutex> g(s.Lock);
    return s.MainSet.load() && s.Main == std::this_thread::get_id();
}

void TThread::SetWakeMainThread(std::function<void()> Wake)
{
    SyncState& s = Sync();
    std::lock_guard<std::mutex> g(s.Lock);
    s.Wake = std::move(Wake);
}
