#include "loader_automaton.h"

#include <algorithm>
#include <chrono>

// ---------------------------------------------------------------- states

TCustomState::TCustomState(std::int32_t AState) : FState(AState) {}

TCustomState::~TCustomState()
{
    // Only the base part is left here: zero its own data.
    std::fill(FParams.begin(), FParams.end(), 0);
}

void TCustomState::Clear()
{
    std::fill(FParams.begin(), FParams.end(), 0);
}

void TCustomState::Reset()
{
    FInnerState = isInit;
}

void TCustomState::Advance()
{
    const TInnerState S = FInnerState.load();
    if (S < isNext)
        FInnerState = static_cast<TInnerState>(S + 1);
}

void TCustomState::Survey(const TBytes*, const TBytes*) {}

TKVXState::TKVXState(std::int32_t AState, const std::string& ACommand, const std::string& APar, std::uint8_t AType)
    : TCustomState(AState), FCommand(ACommand), FPar(APar), FType(AType)
{
}

void TKVXState::Clear()
{
    TCustomState::Clear();
    FResponse.clear();
}

void TKVXState::Survey(const TBytes* Msg, const TBytes*)
{
    if (Msg)
        FResponse.assign(Msg->begin(), Msg->end());
}

std::string TKVXState::Msg() const
{
    switch (FType) {
    case 0:
        return FCommand + "?";
    case 1:
        return FCommand + "=" + FPar;
    default:
        return {};
    }
}

TKVXStateList::TKVXStateList(std::int32_t AState) : TCustomState(AState), FMessages(new std::vector<PMsgChange>) {}

TKVXStateList::~TKVXStateList()
{
    TKVXStateList::Clear();
    delete FMessages;
}

void TKVXStateList::Clear()
{
    TCustomState::Clear();
    for (PMsgChange M : *FMessages) {
        M->Msg.clear();
        M->Res.clear();
        delete M;
    }
    FMessages->clear();
    FCurMessage = 0;
}

void TKVXStateList::Reset()
{
    TCustomState::Reset();
    FCurMessage = 0;
}

void TKVXStateList::Advance()
{
    if (FInnerState.load() == isParse && !FMessages->empty()) {
        PMsgChange Cur = GetMesRes(FCurMessage);
        if (!Cur || Cur->Res.empty())
            return;
        ++FCurMessage;
        if (FCurMessage < Count()) {
            FInnerState = isInit;
            return;
        }
    }
    TCustomState::Advance();
}

void TKVXStateList::Survey(const TBytes* Msg, const TBytes* Msg1)
{
    TCustomState::Survey(Msg, Msg1);
    if (Msg)
        if (PMsgChange Cur = GetMesRes(FCurMessage))
            Cur->Res.assign(Msg->begin(), Msg->end());
}

std::string TKVXStateList::Msg() const
{
    PMsgChange Cur = GetMesRes(FCurMessage);
    return Cur ? Cur->Msg : std::string();
}

void TKVXStateList::SetMessageList(const std::vector<PMsgChange>& Value)
{
    // Copied first: the given list may be our own.
    const std::vector<PMsgChange> Taken = Value;
    if (&Value != FMessages)
        Clear();
    else {
        TCustomState::Clear();
        FMessages->clear();
        FCurMessage = 0;
    }
    FMessages->assign(Taken.begin(), Taken.end());
}

PMsgChange TKVXStateList::GetMesRes(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return (*FMessages)[static_cast<std::size_t>(Index)];
}

// ---------------------------------------------------------------- automaton

TLoaderAutomata::TLoaderAutomata() : TThread(true)
{
    SetFreeOnTerminate(false);
    Start();
}

TLoaderAutomata::~TLoaderAutomata()
{
    Terminate();
    WaitFor();
    for (TCustomState* S : FStates)
        delete S;
    FStates.clear();
}

bool TLoaderAutomata::AddState(TCustomState* AState)
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    if (!AState)
        return false;
    for (TCustomState* S : FStates)
        if (S->State() == AState->State())
            return false;
    FStates.push_back(AState);
    AState->FOwner = this;
    return true;
}

TCustomState* TLoaderAutomata::FindState(std::int32_t AState) const
{
    // Called on the thread that builds the table; the table only grows there.
    for (TCustomState* S : FStates)
        if (S->State() == AState)
            return S;
    return nullptr;
}

void TLoaderAutomata::Reset()
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    FState = nullptr;
    for (TCustomState* S : FStates)
        S->Reset();
}

void TLoaderAutomata::Clear()
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    FState = nullptr;
    for (TCustomState* S : FStates)
        S->Clear();
}

void TLoaderAutomata::SetActive(bool Value)
{
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        FActive = Value;
        if (FStates.empty())
            FActive = false;
        else if (!FState)
            FState = FStates.front();
    }
    if (FActive.load()) {
        std::lock_guard<std::mutex> W(FWakeLock);
        FWoken = true;
        FWake.notify_all();
    }
}

void TLoaderAutomata::SetActiveState(std::int32_t AStateNumber)
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    if (FActive.load())
        return;
    Reset();
    FState = FindState(AStateNumber);
}

void TLoaderAutomata::ReadMessage(const TBytes* Msg, const TBytes* Msg1)
{
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        if (!FActive.load() || !FState)
            return;
        FState->Survey(Msg, Msg1);
    }
    std::lock_guard<std::mutex> W(FWakeLock);
    FWoken = true;
    FWake.notify_all();
}

TCustomState* TLoaderAutomata::CurrentState() const
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    return FState;
}

TLoaderMessageEvent TLoaderAutomata::OnState() const
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    return FOnState;
}

void TLoaderAutomata::SetOnState(const TLoaderMessageEvent& Value)
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    FOnState = Value;
}

TLoaderNotifyEvent TLoaderAutomata::OnStatus() const
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    return FOnStatus;
}

void TLoaderAutomata::SetOnStatus(const TLoaderNotifyEvent& Value)
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    FOnStatus = Value;
}

void TLoaderAutomata::TerminatedSet()
{
    std::lock_guard<std::mutex> W(FWakeLock);
    FWoken = true;
    FWake.notify_all();
}

void TLoaderAutomata::Pause(int Ms, bool ForReply)
{
    std::unique_lock<std::mutex> W(FWakeLock);
    FWake.wait_for(W, std::chrono::milliseconds(Ms), [&] { return FWoken || Terminated(); });
    (void)ForReply;
    FWoken = false;
}

void TLoaderAutomata::Execute()
{
    while (!Terminated()) {
        // A handler that throws must not end the loader thread.
        try {
            if (const TLoaderNotifyEvent St = OnStatus())
                Synchronize([&] { St(this); });
        } catch (...) {
        }
        if (!FActive.load()) {
            Pause(100, false);
            continue;
        }
        TCustomState* Cur = nullptr;
        {
            std::lock_guard<std::recursive_mutex> G(FCS);
            if (FState && FState->InnerState() == isNext) {
                const std::int32_t N = FState->State();
                auto It = std::find_if(FStates.begin(), FStates.end(),
                                       [&](TCustomState* S) { return S->State() == N; });
                FState = (It != FStates.end() && It + 1 != FStates.end()) ? *(It + 1) : nullptr;
            }
            Cur = FState;
        }
        if (Cur) {
            try {
                if (const TLoaderMessageEvent H = OnState())
                    Synchronize([&] { H(this, Cur); });
            } catch (...) {
            }
            if (Cur->InnerState() == isWait)
                Pause(1, true);
        } else {
            FActive = false;
            Pause(100, false);
        }
    }
}
