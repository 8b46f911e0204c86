#include "support/conn_listener.h"

#include "_conn/custom_connection.h"
#include "platform/message_queue.h"

#include <chrono>

TListener::TListener()
{
    FThread = std::thread([this] { Run(); });
    std::unique_lock Lock(FLock);
    FChanged.wait(Lock, [this] { return FReady; });
}

TListener::~TListener()
{
    FStop = true;
    WakeThread(FId.load());
    FThread.join();
}

Words TListener::Statuses() const
{
    std::lock_guard Lock(FLock);
    return FStatuses;
}

std::string TListener::Data() const
{
    std::lock_guard Lock(FLock);
    return FData;
}

std::size_t TListener::DataSize() const
{
    std::lock_guard Lock(FLock);
    return FData.size();
}

bool TListener::WaitFor(const std::function<bool(const Words&, const std::string&)>& Pred, int TimeoutMs) const
{
    std::unique_lock Lock(FLock);
    const auto Holds = [&] { return Pred(FStatuses, FData); };
    if (TimeoutMs < 0) {
        FChanged.wait(Lock, Holds);
        return true;
    }
    return FChanged.wait_for(Lock, std::chrono::milliseconds(TimeoutMs), Holds);
}

void TListener::Run()
{
    FId = GetCurrentThreadId();
    TMsg M;
    PeekMessage(M, 0, 0, 0, PM_NOREMOVE); // creates the queue
    {
        std::lock_guard Lock(FLock);
        FReady = true;
    }
    FChanged.notify_all();
    while (!FStop.load()) {
        WaitMessage(-1, WM_CONN_STATUS, WM_CONN_DATA);
        while (PeekMessage(M, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_REMOVE)) {
            auto* Msg = reinterpret_cast<PInnerMessage>(M.lParam);
            {
                std::lock_guard Lock(FLock);
                if (Msg->PID <= FLastPID)
                    FInOrder = false;
                FLastPID = Msg->PID;
                if (M.message == WM_CONN_STATUS)
                    FStatuses.emplace_back(ConnStatusText(InnerStatus(Msg)));
                else
                    FData.append(static_cast<const char*>(Msg->Data), static_cast<std::size_t>(Msg->DataSize));
            }
            InnerMessageDone(Msg);
            FChanged.notify_all();
        }
    }
}

bool WaitWords(const TListener& L, std::size_t Count)
{
    return L.WaitFor([Count](const Words& S, const std::string&) { return S.size() >= Count; });
}

Words Concat(Words A, const Words& B)
{
    A.insert(A.end(), B.begin(), B.end());
    return A;
}
