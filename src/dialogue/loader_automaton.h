#pragma once
// The loader automaton: a worker thread that walks a table of numbered states,
// one at a time, and hands the current state to a handler on the main thread
// at every pass. A state carries one command (TKVXState) or a list of commands
// (TKVXStateList); the handler sends it through the device, the automaton
// stores the framed reply when it arrives (ReadMessage), and the handler parses
// it. No time-outs and no retries: a waiting state waits until the reply comes
// or until the automaton is switched off.
//
// Passes run back to back while they get somewhere. A pass after which the
// current state waits for a reply not stored yet (AwaitsReply), or whose handler
// changed nothing, is not repeated: the thread sleeps until something changes
// (a reply is stored, a state's phase moves, the automaton is started, stopped,
// reset or cleared, a handler is set, or StateChanged is called) and costs
// nothing meanwhile. A handler that waits for something outside the automaton
// calls StateChanged when it comes.
//
// The passes that follow each other back to back are handed to the main thread
// together, in one hand-over: the thread waits while the main thread runs them,
// in the same order and with the same handler calls as one hand-over each. A
// reply stored on the main thread (the device's packet event) does not need
// the thread at all: while it sleeps, the passes the reply makes due are queued
// for the main thread and run there right after the hand-over that brought the
// reply, so that the packet and the next state reach the main thread in one go.

#include "platform/event.h"
#include "platform/thread.h"
#include "rds/msg_change.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

enum TInnerState : std::uint8_t { isInit = 0, isSend = 1, isWait = 2, isParse = 3, isNext = 4 };

class TLoaderAutomata;

class TCustomState {
public:
    explicit TCustomState(std::int32_t AState);
    virtual ~TCustomState();
    TCustomState(const TCustomState&) = delete;
    TCustomState& operator=(const TCustomState&) = delete;

    // Zeroes Params; the inner state is left alone.
    virtual void Clear();
    virtual void Reset();
    virtual void Advance();
    // Receives a reply packet (Msg may be nullptr); the base ignores it.
    virtual void Survey(const TBytes* Msg);
    // Whether the state waits for a reply that has not been stored yet. The
    // base: the phase is isWait.
    virtual bool AwaitsReply() const;
    // The command the state sends now ("PI?", "ECHO=0", a list's current
    // command); empty for a plain state, which sends nothing.
    virtual std::string Msg() const { return {}; }
    // The reply stored for that command; empty while it is missing.
    virtual std::string Reply() const { return {}; }
    // Whether the state stays in isWait until its reply is stored: a single
    // command does; a list waits in isParse, a plain state waits for nothing.
    virtual bool HoldsForReply() const { return false; }

    std::int32_t State() const { return FState; }
    TInnerState InnerState() const { return FInnerState.load(); }
    void SetInnerState(TInnerState Value);
    TLoaderAutomata* Owner() const { return FOwner; }
    TBytes& Params() { return FParams; }

protected:
    // Tells the owner that something a pass looks at has changed.
    void Changed() const;

    TLoaderAutomata* FOwner = nullptr;
    std::int32_t FState;
    std::atomic<TInnerState> FInnerState {isInit};
    TBytes FParams;

    friend class TLoaderAutomata;
};

// One command and its last reply. Type 0 is a query ("PI?"), 1 a setting ("PI=1234").
class TKVXState : public TCustomState {
public:
    TKVXState(std::int32_t AState, const std::string& ACommand, const std::string& APar, std::uint8_t AType);

    void Clear() override;
    void Survey(const TBytes* Msg) override;
    // In isWait while Response is empty.
    bool AwaitsReply() const override;

    const std::string& Command() const { return FCommand; }
    void SetCommand(const std::string& Value) { FCommand = Value; }
    const std::string& Response() const { return FResponse; }
    void SetResponse(const std::string& Value);
    const std::string& Par() const { return FPar; }
    void SetPar(const std::string& Value) { FPar = Value; }
    std::uint8_t Type() const { return FType; }
    std::string Msg() const override;
    std::string Reply() const override { return FResponse; }
    bool HoldsForReply() const override { return true; }

protected:
    std::string FCommand;
    std::string FResponse;
    std::string FPar;
    std::uint8_t FType;
};

// A list of commands sent one after the other.
class TKVXStateList : public TCustomState {
public:
    explicit TKVXStateList(std::int32_t AState);
    ~TKVXStateList() override;

    void Clear() override;
    void Reset() override;
    // In isParse with a list: waits for the current reply, then steps to the
    // next command (back to isInit) until the last one is answered.
    void Advance() override;
    void Survey(const TBytes* Msg) override;
    // In isWait, or in isParse while the current command's reply is missing.
    bool AwaitsReply() const override;

    std::string Msg() const override;
    // The reply to the current command.
    std::string Reply() const override;
    const std::vector<PMsgChange>& MessageList() const { return *FMessages; }
    // Frees the held records, then takes ownership of the given ones.
    void SetMessageList(const std::vector<PMsgChange>& Value);
    int Count() const { return static_cast<int>(FMessages->size()); }
    int CMsg() const { return FCurMessage; }
    PMsgChange GetMesRes(int Index) const;

protected:
    std::vector<PMsgChange>* FMessages;
    std::int32_t FCurMessage = 0;
};

using TLoaderMessageEvent = TEvent<TLoaderAutomata*, TCustomState*>;
using TLoaderNotifyEvent = TEvent<TLoaderAutomata*>;

class TLoaderAutomata : public TThread {
public:
    // The thread starts when the automaton is first made active.
    TLoaderAutomata();
    // Ends the thread, then frees the states.
    ~TLoaderAutomata() override;

    // Appends the state unless its number is taken (then the caller keeps it).
    // Answers whether it was added.
    bool AddState(TCustomState* AState);
    TCustomState* FindState(std::int32_t AState) const;
    void Reset();
    void Clear();
    bool Active() const { return FActive.load(); }
    void SetActive(bool Value);
    void SetActiveState(std::int32_t AStateNumber);
    void ReadMessage(const TBytes* Msg);
    TCustomState* CurrentState() const;

    TLoaderMessageEvent OnState() const;
    void SetOnState(const TLoaderMessageEvent& Value);
    TLoaderNotifyEvent OnStatus() const;
    void SetOnStatus(const TLoaderNotifyEvent& Value);

    // Wakes a thread that sleeps because its last pass got nowhere: the next
    // pass runs at once. Any thread may call it.
    void StateChanged();

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    // Who runs the passes: nobody (the thread sleeps), the thread (its hand-over
    // is queued or running), or the main thread (queued for it or running there).
    enum TRunner : std::uint8_t { rnNone, rnThread, rnMainQueued, rnMain };

    // The passes queued for the main thread find the automaton through this
    // block, which the destructor empties: a call it could not take back in
    // time then does nothing.
    struct TMainRun {
        std::mutex Lock;
        TLoaderAutomata* Owner = nullptr;
    };

    std::uint64_t Changes() const;
    // Counts a change; wakes the thread, or (ServeOnMain) queues the passes for
    // the main thread, unless passes are under way already.
    void Changed(bool ServeOnMain);
    // One pass: OnStatus, the step to the next state, OnState. Answers whether
    // the next pass is due at once; otherwise Seen is the change count a later
    // change must move past.
    bool Pass(std::uint64_t& Seen);
    // Passes back to back until one finds nothing new; runs on the main thread.
    void RunPasses();
    void RunQueuedPasses();
    void Caught(const char* Where);

    mutable std::recursive_mutex FCS;
    std::vector<TCustomState*> FStates;
    TCustomState* FState = nullptr;
    std::atomic<bool> FActive {false};
    TLoaderMessageEvent FOnState;
    TLoaderNotifyEvent FOnStatus;

    // Counts changes that may give a pass something to do; the thread sleeps on
    // it. FHandled is the count at which the last passes found nothing new.
    mutable std::mutex FWakeLock;
    std::condition_variable FWake;
    std::uint64_t FChanges = 0;
    std::uint64_t FHandled = 0;
    TRunner FRunner = rnNone;
    bool FFirstPass = true;
    // What handlers threw while the passes ran on the main thread; the thread
    // logs it, as it does for the passes it hands over itself.
    std::vector<std::string> FErrors;
    std::shared_ptr<TMainRun> FMainRun;
};
