#pragma once
// TCustomBuffer: the companion thread of a connection, which keeps each message
// alive while listeners look at it and posts it to them.

#include "_conn/inner_message.h"
#include "platform/message_queue.h"
#include "platform/thread.h"

#include <atomic>
#include <cstddef>
#include <vector>

class TCustomConnection;

class TCustomBuffer : public TThread {
public:
    explicit TCustomBuffer(TCustomConnection* AOwner);
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
    void Drain();
    // Lets go of retained messages: with Aged true of those no listener holds any
    // more, with Aged false of all.
    void Purge(bool Aged);
    void TakeInner(const TMsg& M);
    static void Release(PInnerMessage Msg);
    void Retain(PInnerMessage Msg);

    TCustomConnection* FOwner;
    std::atomic<bool> FWantToClear {false};
    std::vector<PInnerMessage> FData;
    std::atomic<std::size_t> FRetained {0};

    friend class TCustomConnection;
};
