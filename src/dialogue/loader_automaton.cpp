#include "dialogue/loader_automaton.h"

#include "platform/log.h"

#include <algorithm>

// ---------------------------------------------------------------- states

TCustomState::TCustomState(std::int32_t AState) : FState(AState)
{
}

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
    SetInnerState(isInit);
}

void TCustomState::Advance()
{
    const TInnerState S = FInnerState.load();
    if (S < isNext)
        SetInnerState(static_cast<TInnerState>(S + 1));
}

void TCustomState::Survey(const TBytes*)
{
}

bool TCustomState::AwaitsReply() const
{
    return FInnerState.load() == isWait;
}

void TCustomState::SetInnerState(TInnerState Value)
{
    if (FInnerState.exchange(Value) != Value)
        Changed();
}

void TCustomState::Changed() const
{
    if (FOwner)
        FOwner->StateChanged();
}

TKVXState::TKVXState(std::int32_t AState, const std::string& ACommand, const std::string& APar, std::uint8_t AType)
    : TCustomState(AState), FCommand(ACommand), FPar(APar), FType(AType)
{
}

void TKVXState::Clear()
{
    TCustomState::Clear();
    if (!FResponse.empty()) {
        FResponse.clear();
        Changed();
    }
}

void TKVXState::Survey(const TBytes* Msg)
{
    if (Msg) {
        FResponse.assign(Msg->begin(), Msg->end());
        Changed();
    }
}

bool TKVXState::AwaitsReply() const
{
    return FInnerState.load() == isWait && FResponse.empty();
}

void TKVXState::SetResponse(const std::string& Value)
{
    FResponse = Value;
    Changed();
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

TKVXStateList::TKVXStateList(std::int32_t AState) : TCustomState(AState), FMessages(new std::vector<PMsgChange>)
{
}

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
    Changed();
}

void TKVXStateList::Reset()
{
    FCurMessage = 0;
    TCustomState::Reset();
    Changed();
}

void TKVXStateList::Advance()
{
    if (FInnerState.load() == isParse && !FMessages->empty()) {
        PMsgChange Cur = GetMesRes(FCurMessage);
        if (!Cur || Cur->Res.empty())
            return;
        ++FCurMessage;
        Changed();
        if (FCurMessage < Count()) {
            SetInnerState(isInit);
            return;
        }
    }
    TCustomState::Advance();
}

void TKVXStateList::Survey(const TBytes* Msg)
{
    TCustomState::Survey(Msg);
    if (Msg)
        if (PMsgChange Cur = GetMesRes(FCurMessage)) {
            Cur->Res.assign(Msg->begin(), Msg->end());
            Changed();
        }
}

bool TKVXStateList::AwaitsReply() const
{
    if (TCustomState::AwaitsReply())
        return true;
    const PMsgChange Cur = GetMesRes(FCurMessage);
    return FInnerState.load() == isParse && Cur && Cur->Res.empty();
}

std::string TKVXStateList::Msg() const
{
    PMsgChange Cur = GetMesRes(FCurMessage);
    return Cur ? Cur->Msg : std::string();
}

std::string TKVXStateList::Reply() const
{
    PMsgChange Cur = GetMesRes(FCurMessage);
    return Cur ? Cur->Res : std::string();
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
    Changed();
}

PMsgChange TKVXStateList::GetMesRes(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return (*FMessages)[static_cast<std::size_t>(Index)];
}

// ---------------------------------------------------------------- automaton

namespace {
// The automaton whose ReadMessage is storing a reply on this thread, when it is
// the main thread: the change that reply makes is served there.
thread_local const TLoaderAutomata* ReplyOnMainFor = nullptr;
} // namespace

TLoaderAutomata::TLoaderAutomata() : TThread(true), FMainRun(std::make_shared<TMainRun>())
{
    FMainRun->Owner = this;
    SetName("LoaderAutomata");
    SetFreeOnTerminate(false);
}

TLoaderAutomata::~TLoaderAutomata()
{
    TerminateAndWait();
    // Passes still queued for the main thread must not reach a freed automaton.
    {
        std::lock_guard<std::mutex> G(FMainRun->Lock);
        FMainRun->Owner = nullptr;
    }
    TThread::RemoveQueuedEvents(this);
    for (TCustomState* S : FStates) {
        S->FOwner = nullptr;
        delete S;
    }
    FStates.clear();
}

bool TLoaderAutomata::AddState(TCustomState* AState)
{
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        if (!AState)
            return false;
        for (TCustomState* S : FStates)
            if (S->State() == AState->State())
                return false;
        FStates.push_back(AState);
        AState->FOwner = this;
    }
    StateChanged();
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
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        FState = nullptr;
        for (TCustomState* S : FStates)
            S->Reset();
    }
    StateChanged();
}

void TLoaderAutomata::Clear()
{
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        FState = nullptr;
        for (TCustomState* S : FStates)
            S->Clear();
    }
    StateChanged();
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
    // The thread starts with the first activation: an automaton never started
    // has nothing to walk.
    if (Value)
        Start();
    StateChanged();
}

void TLoaderAutomata::SetActiveState(std::int32_t AStateNumber)
{
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        if (FActive.load())
            return;
        Reset();
        FState = FindState(AStateNumber);
    }
    StateChanged();
}

void TLoaderAutomata::ReadMessage(const TBytes* Msg)
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    if (!FActive.load() || !FState)
        return;
    struct TReplyScope {
        explicit TReplyScope(const TLoaderAutomata* L) { ReplyOnMainFor = TThread::IsMainThread() ? L : nullptr; }
        ~TReplyScope() { ReplyOnMainFor = nullptr; }
        TReplyScope(const TReplyScope&) = delete;
        TReplyScope& operator=(const TReplyScope&) = delete;
    } Scope(this);
    FState->Survey(Msg); // a stored reply counts as a change
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
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        FOnState = Value;
    }
    StateChanged();
}

TLoaderNotifyEvent TLoaderAutomata::OnStatus() const
{
    std::lock_guard<std::recursive_mutex> G(FCS);
    return FOnStatus;
}

void TLoaderAutomata::SetOnStatus(const TLoaderNotifyEvent& Value)
{
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        FOnStatus = Value;
    }
    StateChanged();
}

void TLoaderAutomata::StateChanged()
{
    Changed(ReplyOnMainFor == this);
}

void TLoaderAutomata::Changed(bool ServeOnMain)
{
    bool Wake = false;
    bool Queue = false;
    {
        std::lock_guard<std::mutex> W(FWakeLock);
        ++FChanges;
        // Passes under way, or about to be, count the change themselves.
        if (FRunner == rnNone) {
            if (ServeOnMain) {
                FRunner = rnMainQueued;
                Queue = true;
            } else
                Wake = true;
        }
    }
    if (Queue)
        TThread::ForceQueue(this, [Run = FMainRun] {
            std::lock_guard<std::mutex> G(Run->Lock);
            if (Run->Owner)
                Run->Owner->RunQueuedPasses();
        });
    if (Wake)
        FWake.notify_all();
}

std::uint64_t TLoaderAutomata::Changes() const
{
    std::lock_guard<std::mutex> W(FWakeLock);
    return FChanges;
}

void TLoaderAutomata::TerminatedSet()
{
    {
        std::lock_guard<std::mutex> W(FWakeLock);
    }
    FWake.notify_all();
}

void TLoaderAutomata::Caught(const char* Where)
{
    const std::string Text = std::string(Where) + ": " + kvx::log::CaughtText();
    std::lock_guard<std::mutex> W(FWakeLock);
    FErrors.push_back(Text);
}

bool TLoaderAutomata::Pass(std::uint64_t& Seen)
{
    const std::uint64_t PassStart = Changes();
    // A handler that throws must not end the passes.
    try {
        if (const TLoaderNotifyEvent St = OnStatus())
            St(this);
    } catch (...) {
        Caught("loader: status handler threw");
    }
    TCustomState* Cur = nullptr;
    {
        std::lock_guard<std::recursive_mutex> G(FCS);
        if (FActive.load()) {
            if (FState && FState->InnerState() == isNext) {
                const std::int32_t N = FState->State();
                auto It
                    = std::find_if(FStates.begin(), FStates.end(), [&](TCustomState* S) { return S->State() == N; });
                FState = (It != FStates.end() && It + 1 != FStates.end()) ? *(It + 1) : nullptr;
            }
            Cur = FState;
            if (!Cur)
                FActive = false;
        }
    }
    if (!Cur) {
        // Inactive, or the table ran out: nothing to do until something changes.
        Seen = PassStart;
        return false;
    }
    const std::uint64_t Before = Changes();
    const TInnerState PhaseBefore = Cur->InnerState();
    try {
        if (const TLoaderMessageEvent H = OnState())
            H(this, Cur);
    } catch (...) {
        Caught("loader: state handler threw");
    }
    // A pass that changed nothing, or that found the state waiting for its
    // reply and left it so, would only be repeated to no effect.
    std::lock_guard<std::recursive_mutex> G(FCS);
    const std::uint64_t After = Changes();
    const TInnerState Phase = Cur->InnerState();
    const bool Idle = FActive.load() && FState == Cur && Phase != isNext
        && (After == Before || (Phase == PhaseBefore && Cur->AwaitsReply()));
    Seen = After;
    return !Idle;
}

void TLoaderAutomata::RunPasses()
{
    std::uint64_t Seen = 0;
    bool More = true;
    while (More && !Terminated())
        More = Pass(Seen);
    std::lock_guard<std::mutex> W(FWakeLock);
    FHandled = Seen;
}

void TLoaderAutomata::RunQueuedPasses()
{
    {
        std::lock_guard<std::mutex> W(FWakeLock);
        FRunner = rnMain;
    }
    RunPasses();
    bool Wake;
    {
        std::lock_guard<std::mutex> W(FWakeLock);
        FRunner = rnNone;
        // A change from another thread meanwhile, or an error to log, is the
        // thread's business.
        Wake = FChanges != FHandled || !FErrors.empty();
    }
    if (Wake)
        FWake.notify_all();
}

void TLoaderAutomata::Execute()
{
    for (;;) {
        std::vector<std::string> Errors;
        bool Run;
        {
            std::unique_lock<std::mutex> W(FWakeLock);
            const auto Due = [&] { return FRunner == rnNone && (FFirstPass || FChanges != FHandled); };
            FWake.wait(W, [&] { return Terminated() || !FErrors.empty() || Due(); });
            Errors.swap(FErrors);
            Run = !Terminated() && Due();
            if (Run) {
                FRunner = rnThread;
                FFirstPass = false;
            }
        }
        for (const std::string& E : Errors)
            kvx::log::Error(E);
        if (!Run) {
            if (Terminated())
                return;
            continue;
        }
        // The passes that follow each other run on the main thread in one hand-over.
        Synchronize([this] { RunPasses(); });
        std::lock_guard<std::mutex> W(FWakeLock);
        FRunner = rnNone;
    }
}
