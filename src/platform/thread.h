#pragma once
// A worker thread object over std::thread, with hand-overs to the main thread.
//
// A derived class overrides Execute, which runs on the new thread and should
// return soon after Terminated() becomes true. Exceptions never leave the
// thread: one escaping Execute is caught and its text kept in FatalException().
//
// Synchronize queues a call for the main thread and blocks until it has run; the
// main thread runs queued calls in CheckSynchronize(). A Qt application installs
// a wake-up callback (SetWakeMainThread) that queues a call to CheckSynchronize on
// its event loop; a console program calls CheckSynchronize from its own loop.
// WaitFor on the main thread keeps serving queued calls while it waits, so a
// worker blocked in Synchronize cannot deadlock with it. ForceQueue queues a
// call without waiting for it, even from the main thread: it runs after the
// call being served, in the same CheckSynchronize.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TThread {
public:
    explicit TThread(bool CreateSuspended);
    // Waits for a running thread. WaitFor throws only when a thread frees
    // itself, a fault that should stop the program at once.
    virtual ~TThread(); // NOLINT(bugprone-exception-escape): see above

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a thread created suspended; does nothing when it already runs.
    void Start();
    // Asks the thread to end: Terminated() becomes true, then TerminatedSet runs.
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    // Waits until Execute (and DoTerminate) returned; answers ReturnValue.
    // Returns at once for a thread never started.
    std::uint32_t WaitFor();
    // Terminate, then WaitFor: how an owner stops its thread.
    std::uint32_t TerminateAndWait();

    bool Started() const { return FStarted.load(); }
    bool Finished() const { return FFinished.load(); }
    // The id under which the thread's message queue is known; fixed at creation.
    std::uint32_t ThreadID() const { return FThreadID; }

    // The name debuggers show (at most 15 characters reach the system).
    void SetName(const std::string& Name);
    std::string ThreadName() const;

    // When true the object deletes itself after its thread has ended; it must
    // then be created with new and never waited for nor deleted by others.
    void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
    bool FreeOnTerminate() const { return FFreeOnTerminate; }

    std::string FatalException() const;
    std::uint32_t ReturnValue() const { return FReturnValue.load(); }

    // Runs Method on the main thread and waits until it has run; runs it
    // directly on the main thread. An exception thrown by Method is rethrown here.
    void Synchronize(const std::function<void()>& Method) { SynchronizeCall(Method); }
    static void SynchronizeCall(const std::function<void()>& Method);

    // Queues Method for the main thread and returns at once, on any thread (the
    // main thread included: the call then runs at its next CheckSynchronize).
    // Owner only tags the call for RemoveQueuedEvents. An exception Method
    // throws is logged.
    static void ForceQueue(const void* Owner, std::function<void()> Method);
    // Drops the calls ForceQueue queued for Owner that have not started yet.
    static void RemoveQueuedEvents(const void* Owner);

    // Runs every queued call, and those queued meanwhile, until none is left;
    // answers whether it ran any. Call on the main thread only. With TimeoutMs
    // > 0 it first waits that long for a call when none is queued.
    static bool CheckSynchronize(int TimeoutMs = 0);

    // Marks the calling thread as the main thread. Without this call the main thread
    // is the first thread that creates a TThread or calls CheckSynchronize.
    static void SetMainThread();
    static bool IsMainThread();
    // Called on the posting thread whenever a call is queued for the main thread.
    static void SetWakeMainThread(std::function<void()> Wake);

protected:
    virtual void Execute() = 0;
    // Runs on the thread after Execute returned.
    virtual void DoTerminate() { }
    // Runs on the caller's thread right after Terminate set the flag; an override
    // wakes whatever the thread may be waiting on.
    virtual void TerminatedSet() { }
    void SetReturnValue(std::uint32_t Value) { FReturnValue = Value; }

private:
    void Run();

    const std::uint32_t FThreadID;
    std::thread FThread;
    std::atomic<bool> FTerminated {false};
    std::atomic<bool> FStarted {false};
    std::atomic<bool> FFinished {false};
    std::atomic<std::uint32_t> FReturnValue {0};
    bool FFreeOnTerminate = false;
    bool FJoined = false;
    mutable std::mutex FStateLock;
    std::string FName;
    std::string FFatal;
    std::mutex FJoinLock;
};
