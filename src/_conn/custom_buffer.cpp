#include "_conn/custom_buffer.h"

#include "_conn/custom_connection.h"

#include <chrono>
#include <thread>

TCustomBuffer::TCustomBuffer(TCustomConnection* AOwner) : TThread(true), FOwner(AOwner)
{
}

TCustomBuffer::~TCustomBuffer()
{
    Terminate();
    WaitFor();
    // Messages a listener still holds stay alive until it is done with them.
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
}

void TCustomBuffer::TakeInner(const TMsg& M)
{
    auto* msg = reinterpret_cast<PInnerMessage>(M.lParam);
    if (!msg)
        return;
    if (M.wParam == 0) {
        if (!FOwner->Silent()) {
            Retain(msg);
            FOwner->DispatchMessage(WM_CONN_DATA, msg);
        } else {
            Release(msg);
        }
    } else if (M.wParam == 1) {
        if (!FOwner->Silent() && InnerStatus(msg) != stStrobe) {
            Retain(msg);
            FOwner->DispatchMessage(WM_CONN_STATUS, msg);
        } else {
            Release(msg);
        }
    }
    // Any other first parameter: the queue entry is dropped.
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
        Purge(true);
        // Until a message arrives, a listener lets go of one (InnerMessageDone
        // wakes the thread), or Terminate wakes it.
        if (!Terminated() && !FWantToClear.load())
            WaitMessage(-1, WM_CONN_INNER, WM_CONN_INNER);
    }
    if (FWantToClear.load()) {
        Drain();
        FWantToClear = false;
    }
    // Nothing posted may outlive the queue, which ends with this thread.
    while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE))
        if (auto* msg = reinterpret_cast<PInnerMessage>(m.lParam))
            Release(msg);
}

void TCustomBuffer::Drain()
{
    TMsg m;
    while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE)) {
        auto* msg = reinterpret_cast<PInnerMessage>(m.lParam);
        if (!msg)
            continue;
        if (msg->MT == mtStatus && m.wParam == 1 && !FOwner->Silent() && InnerStatus(msg) != stStrobe) {
            Retain(msg);
            FOwner->DispatchMessage(WM_CONN_STATUS, msg);
        } else {
            Release(msg);
        }
    }
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
    while (!PostThreadMessage(ThreadID(), WM_CONN_INNER, 1, reinterpret_cast<LPARAM>(msg))) {
        if (Finished() || !Started()) {
            Release(msg);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
