#include "_conn/custom_buffer.h"

#include <chrono>
#include <mutex>
#include <thread>

TCustomBuffer::TCustomBuffer(TBufferOwner* AOwner)
    : TThread(true), FOwner(AOwner), FListenerLock(AOwner->ListenerLock())
{
}

TCustomBuffer::~TCustomBuffer()
{
    TerminateAndWait();
    // Messages a listener still holds stay alive until it is done with them.
    std::lock_guard<std::mutex> g(FListenerLock);
    for (PInnerMessage m : FData)
        DropHold(m);
    FData.clear();
    FRetained = 0;
}

void TCustomBuffer::Release(PInnerMessage Msg)
{
    FreeMessage(Msg);
}

void TCustomBuffer::Retain(PInnerMessage Msg)
{
    Msg->BufferThread = ThreadID();
    Msg->Refs = 1;
    FData.push_back(Msg);
    FRetained = FData.size();
    ++FRetainings;
}

bool TCustomBuffer::HandStraight(WPARAM Kind, PInnerMessage Msg)
{
    // Anything queued goes first, and a clear sorts out what comes meanwhile.
    if (FQueued > 0 || FWantToClear.load() || !Started() || Finished())
        return false;
    if (Kind == 1 && InnerStatus(Msg) == stStrobe)
        return false;
    if (FOwner->Silent()) {
        Release(Msg);
        return true;
    }
    if (!FOwner->HasSoleThreadListener())
        return false;
    Purge(true); // what the listener has finished with meanwhile
    Retain(Msg);
    FOwner->DispatchLocked(Kind == 0 ? WM_CONN_DATA : WM_CONN_STATUS, Msg);
    if (!FLooking) {
        // The thread sleeps without a look planned: it plans one.
        FLooking = true;
        WakeThread(ThreadID());
    }
    return true;
}

void TCustomBuffer::Dispatch(WPARAM Kind, PInnerMessage Msg)
{
    if (Kind == 0) {
        if (!FOwner->Silent()) {
            Retain(Msg);
            FOwner->DispatchLocked(WM_CONN_DATA, Msg);
        } else {
            Release(Msg);
        }
    } else if (Kind == 1) {
        if (!FOwner->Silent() && InnerStatus(Msg) != stStrobe) {
            Retain(Msg);
            FOwner->DispatchLocked(WM_CONN_STATUS, Msg);
        } else {
            Release(Msg);
        }
    }
    // Any other first parameter: the queue entry is dropped.
}

void TCustomBuffer::TakeInner(const TMsg& M)
{
    auto* msg = reinterpret_cast<PInnerMessage>(M.lParam);
    std::lock_guard<std::mutex> g(FListenerLock);
    --FQueued;
    if (msg)
        Dispatch(M.wParam, msg);
}

void TCustomBuffer::Execute()
{
    TMsg m;
    PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_NOREMOVE); // the queue exists from here
    while (!Terminated()) {
        if (FWantToClear.load()) {
            Drain();
            FWantToClear = false;
        }
        while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE))
            TakeInner(m);
        if (!Terminated() && !FWantToClear.load())
            Sleep();
    }
    if (FWantToClear.load()) {
        Drain();
        FWantToClear = false;
    }
    // Nothing posted may outlive the queue, which ends with this thread.
    while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE)) {
        {
            std::lock_guard<std::mutex> g(FListenerLock);
            --FQueued;
        }
        if (auto* msg = reinterpret_cast<PInnerMessage>(m.lParam))
            Release(msg);
    }
}

void TCustomBuffer::Sleep()
{
    // Listeners let go of messages without waking this thread. Once messages
    // come (a straight hand-over wakes it when it is not looking already), it
    // looks at the retained ones every RetainedLookMs until a whole period
    // brought nothing new; then it asks the listeners still holding one to
    // wake it when they are done, and sleeps until then or until the next
    // message. With nothing retained it sleeps until a message arrives, or
    // Terminate wakes it.
    std::uint64_t seen;
    bool looking;
    {
        std::lock_guard<std::mutex> g(FListenerLock);
        Purge(true);
        if (!FData.empty())
            FLooking = true; // retained through the queue
        looking = FLooking;
        seen = FRetainings;
    }
    if (!looking) {
        WaitMessage(-1, WM_CONN_INNER, WM_CONN_INNER);
        return;
    }
    if (WaitMessage(RetainedLookMs, WM_CONN_INNER, WM_CONN_INNER))
        return;
    {
        std::lock_guard<std::mutex> g(FListenerLock);
        Purge(true);
        if (FRetainings != seen || Terminated() || FWantToClear.load())
            return; // still busy: look again in the next pass
        FLooking = false;
        if (FData.empty())
            return;
        // The flags are set before the counts are looked at again (see
        // InnerMessageDone): a listener finishing meanwhile is seen either way.
        for (PInnerMessage msg : FData)
            msg->WakeBufferWhenDone = true;
        Purge(true);
        if (FData.empty())
            return;
    }
    WaitMessage(-1, WM_CONN_INNER, WM_CONN_INNER);
}

void TCustomBuffer::Drain()
{
    TMsg m;
    while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE)) {
        auto* msg = reinterpret_cast<PInnerMessage>(m.lParam);
        std::lock_guard<std::mutex> g(FListenerLock);
        --FQueued;
        if (!msg)
            continue;
        if (msg->MT == mtStatus && m.wParam == 1)
            Dispatch(1, msg);
        else
            Release(msg);
    }
    std::lock_guard<std::mutex> g(FListenerLock);
    Purge(false);
}

void TCustomBuffer::Purge(bool Aged)
{
    for (auto it = FData.begin(); it != FData.end();) {
        PInnerMessage msg = *it;
        if (!Aged || msg->Used.load() <= 0) {
            DropHold(msg);
            it = FData.erase(it);
        } else {
            ++it;
        }
    }
    FRetained = FData.size();
}

void TCustomBuffer::Clear()
{
    auto* msg = NewMessage();
    msg->MT = mtStatus;
    msg->DataSize = 0;
    msg->Data = reinterpret_cast<void*>(static_cast<std::uintptr_t>(stStrobe));
    msg->PID = 0;
    msg->TimeStamp = Now();
    msg->Tick = TickMs();
    FWantToClear = true;
    {
        std::lock_guard<std::mutex> g(FListenerLock);
        ++FQueued;
    }
    while (!PostThreadMessage(ThreadID(), WM_CONN_INNER, 1, reinterpret_cast<LPARAM>(msg))) {
        if (Finished() || !Started()) {
            {
                std::lock_guard<std::mutex> g(FListenerLock);
                --FQueued;
            }
            Release(msg);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
