#pragma once
// TCustomBuffer: the companion thread of a connection, which keeps each message
// alive while listeners look at it and posts it to them.
//
// A message for a connection with a sole thread listener (the device) and
// nothing waiting in this thread's queue is handed straight to that listener's
// queue by the thread that posts it: it crosses one thread, not two, and this
// thread keeps it as it keeps every other. The rest (several listeners, a
// window listener, a clear under way) goes through this thread's queue. In
// both cases the connection's listener lock orders the dispatches and guards
// the retained messages.

#include "_conn/inner_message.h"
#include "platform/message_queue.h"
#include "platform/thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <mutex>

// What the buffer thread needs of the connection it serves.
class TBufferOwner {
public:
    // Orders the dispatches; guards the listener lists and the buffer's
    // retained messages. Asked once, by the buffer's constructor.
    virtual std::mutex& ListenerLock() = 0;
    // A silent connection's messages go to nobody.
    virtual bool Silent() const = 0;
    // Whether one thread and no window listens (the listener lock is held).
    virtual bool HasSoleThreadListener() const = 0;
    // Posts the message to every listener (the listener lock is held).
    virtual void DispatchLocked(UINT MsgID, PInnerMessage Msg) = 0;

protected:
    ~TBufferOwner() = default;
};

class TCustomBuffer : public TThread {
public:
    explicit TCustomBuffer(TBufferOwner* AOwner);
    ~TCustomBuffer() override;

    // Drops the data messages not yet dispatched and lets go of the retained
    // ones (a message a listener still holds is freed by that listener); a
    // stStrobe marker travels through the queue to wake the thread.
    void Clear();

    // Number of retained messages (those dispatched and not yet released).
    std::size_t RetainedCount() const { return FRetained.load(); }

protected:
    void Execute() override;

private:
    // How long after it last retained a message the thread looks at the
    // retained ones on its own, in ms.
    static constexpr int RetainedLookMs = 50;

    // The owner's listener lock is held by the caller of these.
    //
    // Hands a message the owner posts straight to its sole thread listener, or
    // releases it when the owner is silent; false when it must be queued.
    bool HandStraight(WPARAM Kind, PInnerMessage Msg);
    void Retain(PInnerMessage Msg);
    // Lets go of retained messages: with Aged true of those no listener holds any
    // more, with Aged false of all.
    void Purge(bool Aged);
    // Retains and dispatches a message taken off the queue, or releases it.
    void Dispatch(WPARAM Kind, PInnerMessage Msg);

    // Sleeps until there is something to do.
    void Sleep();
    void Drain();
    void TakeInner(const TMsg& M);
    static void Release(PInnerMessage Msg);

    TBufferOwner* FOwner;
    // Taken from the owner once, when it makes this buffer: the thread looks
    // at it as soon as it runs, while a derived connection may still be
    // under construction (a virtual call then would race with it).
    std::mutex& FListenerLock;
    std::atomic<bool> FWantToClear {false};
    std::vector<PInnerMessage> FData; // guarded by the owner's listener lock
    std::atomic<std::size_t> FRetained {0};
    std::size_t FQueued = 0;       // posted to this thread's queue and not taken yet (the listener lock)
    bool FLooking = false;         // the thread looks at the retained messages on its own soon (the listener lock)
    std::uint64_t FRetainings = 0; // messages retained so far (the listener lock)

    friend class TCustomConnection;
};
