#include "dialogue/loader_automaton.h"
#include "platform/log.h"
#include "support/log_capture.h"
#include "support/thread_switches.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Follows the handler protocol and plays the encoder: each sent command is
// answered "<command>\r\nOK\r\n". Commands in EarlyReplies are answered at
// once, before their state waits; the others are left in Pending for the test
// to deliver once the loader sits waiting.
struct Driver {
    std::vector<std::string> Sent, Parsed, EarlyReplies;
    std::vector<std::int32_t> Order;
    std::vector<std::string> Calls; // "<state>:<inner state>" of every hand-over
    std::string Pending;
    bool Waiting = false; // the last hand-over left the state waiting for Pending

    void OnState(TLoaderAutomata* L, TCustomState* S)
    {
        EXPECT_TRUE(TThread::IsMainThread());
        if (Order.empty() || Order.back() != S->State())
            Order.push_back(S->State());
        Calls.push_back(std::to_string(S->State()) + ":" + std::to_string(S->InnerState()));
        auto* K = dynamic_cast<TKVXState*>(S);
        auto* Lst = dynamic_cast<TKVXStateList*>(S);
        Waiting = false;
        switch (S->InnerState()) {
        case isInit:
            S->Advance();
            break;
        case isSend: {
            const std::string M = K ? K->Msg() : Lst ? Lst->Msg() : std::string();
            if (!M.empty()) {
                Sent.push_back(M);
                const std::string Reply = M + "\r\nOK\r\n";
                if (std::find(EarlyReplies.begin(), EarlyReplies.end(), M) != EarlyReplies.end()) {
                    const TBytes B(Reply.begin(), Reply.end());
                    L->ReadMessage(&B); // stored while the state is still in isSend
                } else {
                    Pending = Reply;
                }
            }
            S->Advance();
            break;
        }
        case isWait:
            if (!K || !K->Response().empty())
                S->Advance();
            else
                Waiting = true;
            break;
        case isParse:
            if (Lst && Lst->Count() > 0) {
                const int Before = Lst->CMsg();
                const bool Answered = !Lst->GetMesRes(Before)->Res.empty();
                S->Advance();
                if (Answered)
                    Parsed.push_back(Lst->GetMesRes(Before)->Res);
                else
                    Waiting = true;
            } else {
                S->Advance();
                if (K)
                    Parsed.push_back(K->Response());
            }
            break;
        case isNext:
            break;
        }
    }

    // Serves hand-overs until the loader stops, delivering each late reply once
    // the loader has handed over its waiting state and gone to sleep.
    bool Run(TLoaderAutomata& L)
    {
        return ServeUntil([&] {
            if (Waiting && !Pending.empty()) {
                const std::size_t Seen = Calls.size();
                ServeUntil([] { return false; }, 20); // a waiting state is not handed over again
                EXPECT_EQ(Calls.size(), Seen) << Calls.back();
                const TBytes B(Pending.begin(), Pending.end());
                Pending.clear();
                Waiting = false;
                L.ReadMessage(&B);
            }
            return !L.Active();
        });
    }

    int CallsOf(const std::string& Call) const
    {
        return static_cast<int>(std::count(Calls.begin(), Calls.end(), Call));
    }
};

TKVXStateList* ListOf(std::int32_t N, const std::vector<std::string>& Cmds)
{
    auto* L = new TKVXStateList(N);
    std::vector<PMsgChange> Recs;
    for (const auto& C : Cmds)
        Recs.push_back(new TMsgChange {C, ""});
    L->SetMessageList(Recs); // the state takes the records
    return L;
}

} // namespace

TEST(LoaderAutomaton, TableRules)
{
    TLoaderAutomata L;
    L.SetActive(true);
    EXPECT_FALSE(L.Active()); // empty table

    auto* A = new TKVXState(10, "PI", "", 0);
    ASSERT_TRUE(L.AddState(A));
    auto* Dup = new TKVXState(10, "PS", "", 0);
    EXPECT_FALSE(L.AddState(Dup));
    delete Dup;
    ASSERT_TRUE(L.AddState(new TKVXState(11, "PS", "RADIO", 1)));
    EXPECT_EQ(A->Owner(), &L);
    EXPECT_EQ(A->Msg(), "PI?");
    EXPECT_EQ(static_cast<TKVXState*>(L.FindState(11))->Msg(), "PS=RADIO");
    EXPECT_EQ(TKVXState(1, "X", "", 2).Msg(), "");

    L.SetActiveState(99); // unknown: no current state
    EXPECT_EQ(L.CurrentState(), nullptr);
    L.SetActiveState(11);
    EXPECT_EQ(L.CurrentState(), L.FindState(11));
    L.SetActive(true);
    L.SetActiveState(10); // ignored while active
    EXPECT_EQ(L.CurrentState(), L.FindState(11));
    L.SetActive(false);
    EXPECT_EQ(L.CurrentState(), L.FindState(11)); // switching off keeps the state

    // A reply while inactive is dropped; Reset keeps replies, Clear drops them.
    const TBytes R = {'1', '\r', '\n', 'O', 'K', '\r', '\n'};
    L.ReadMessage(&R);
    EXPECT_EQ(static_cast<TKVXState*>(L.FindState(11))->Response(), "");

    TKVXStateList* Lst = ListOf(12, {"A?", "B?"});
    EXPECT_EQ(Lst->GetMesRes(-1), nullptr);
    EXPECT_EQ(Lst->GetMesRes(2), nullptr);
    EXPECT_EQ(Lst->Msg(), "A?");
    Lst->SetMessageList({new TMsgChange {"C?", ""}}); // old records freed
    EXPECT_EQ(Lst->Count(), 1);
    delete Lst;
}

TEST(LoaderAutomaton, RunsByTablePositionWithAListStateAndWaitsWithoutPassing)
{
    Driver D;
    // Replies stored before their state waits satisfy the wait; the others come late.
    D.EarlyReplies = {"PS=B", "RT=HELLO"};
    TLoaderAutomata L;
    L.AddState(new TKVXState(125, "PI", "", 0));
    L.AddState(new TKVXStateList(127));
    L.AddState(new TKVXState(126, "RT", "HELLO", 1));
    L.AddState(new TKVXStateList(128)); // no records: straight through
    L.SetOnState(TLoaderMessageEvent(&D, &Driver::OnState));

    // Clear frees a list state's records, so the list is filled after it.
    L.Clear();
    L.Reset();
    static_cast<TKVXStateList*>(L.FindState(127))
        ->SetMessageList({new TMsgChange {"PS=A", ""}, new TMsgChange {"PS=B", ""}, new TMsgChange {"PS=C", ""}});
    L.SetActive(true);
    ASSERT_TRUE(D.Run(L));

    EXPECT_EQ(D.Order, (std::vector<std::int32_t> {125, 127, 126, 128}));
    EXPECT_EQ(D.Sent, (std::vector<std::string> {"PI?", "PS=A", "PS=B", "PS=C", "RT=HELLO"}));
    EXPECT_EQ(D.Parsed,
        (std::vector<std::string> {
            "PI?\r\nOK\r\n", "PS=A\r\nOK\r\n", "PS=B\r\nOK\r\n", "PS=C\r\nOK\r\n", "RT=HELLO\r\nOK\r\n"}));
    // A late reply: the waiting state is handed over once before it and once after.
    EXPECT_EQ(D.CallsOf("125:2"), 2);
    // A reply stored before the wait: handed over in isWait once, and it goes on.
    EXPECT_EQ(D.CallsOf("126:2"), 1);
    // The list waits in isParse: twice for each of its two late replies, once for the early one.
    EXPECT_EQ(D.CallsOf("127:3"), 5);
    EXPECT_EQ(L.CurrentState(), nullptr);
    auto* Lst = static_cast<TKVXStateList*>(L.FindState(127));
    EXPECT_EQ(Lst->InnerState(), isNext);
    EXPECT_EQ(Lst->CMsg(), 3);

    // A restart without Clear would let stale replies satisfy the waits;
    // Clear empties them, Reset keeps them.
    L.Reset();
    EXPECT_EQ(static_cast<TKVXState*>(L.FindState(125))->Response(), "PI?\r\nOK\r\n");
    L.Clear();
    EXPECT_EQ(static_cast<TKVXState*>(L.FindState(125))->Response(), "");
    EXPECT_EQ(Lst->Count(), 0);

    // A start after an unknown start number begins at the first entry.
    D.Order.clear();
    D.EarlyReplies = {"PI?", "RT=HELLO"};
    L.SetActiveState(999);
    L.SetActive(true);
    ASSERT_TRUE(D.Run(L));
    EXPECT_EQ(D.Order, (std::vector<std::int32_t> {125, 127, 126, 128}));
}

TEST(LoaderAutomaton, RepliesStoredOnTheMainThreadAreServedThereWithoutWakingTheThread)
{
    Driver D;
    TLoaderAutomata L;
    for (std::int32_t N : {1, 2, 3, 4})
        L.AddState(new TKVXState(N, "C" + std::to_string(N), "", 0));
    L.SetOnState(TLoaderMessageEvent(&D, &Driver::OnState));
    L.SetActive(true);
    // The start reaches the main thread through the loader thread; the first
    // state then waits for its reply.
    ASSERT_TRUE(ServeUntil([&] { return D.Waiting; }));
    ServeUntil([] { return false; }, 50); // the thread goes back to sleep
    const long Before = ThreadSwitches("LoaderAutomata");
    ASSERT_GE(Before, 0);
    ASSERT_TRUE(D.Run(L)); // each reply stored on the main thread, as the device's packet event does
    EXPECT_EQ(ThreadSwitches("LoaderAutomata"), Before);
    // The same walk as ever: every phase handed over in order, on the main thread.
    EXPECT_EQ(D.Order, (std::vector<std::int32_t> {1, 2, 3, 4}));
    EXPECT_EQ(D.Sent, (std::vector<std::string> {"C1?", "C2?", "C3?", "C4?"}));
    for (const char* Call : {"1:0", "1:1", "2:0", "2:1", "2:3", "4:3"})
        EXPECT_EQ(D.CallsOf(Call), 1) << Call;
    for (const char* Call : {"1:2", "2:2", "3:2", "4:2"})
        EXPECT_EQ(D.CallsOf(Call), 2) << Call;
    EXPECT_FALSE(L.Active());
}

TEST(LoaderAutomaton, StatusHandlerOpensEveryPassAndIdlePassesAreNotRepeated)
{
    struct Recorder {
        std::vector<std::string> Calls;
        void Status(TLoaderAutomata*)
        {
            EXPECT_TRUE(TThread::IsMainThread());
            Calls.push_back("status");
        }
        void State(TLoaderAutomata*, TCustomState* S)
        {
            Calls.push_back(std::to_string(S->InnerState()));
            auto* K = static_cast<TKVXState*>(S);
            if (S->InnerState() != isWait || !K->Response().empty())
                S->Advance();
        }
    } R;
    TLoaderAutomata L;
    L.AddState(new TKVXState(1, "PI", "", 0));
    L.SetOnStatus(TLoaderNotifyEvent(&R, &Recorder::Status));
    L.SetOnState(TLoaderMessageEvent(&R, &Recorder::State));
    ServeUntil([] { return false; }, 50); // the passes the set-up caused
    R.Calls.clear();
    ServeUntil([] { return false; }, 50);
    EXPECT_TRUE(R.Calls.empty()) << "an inactive loader makes no passes of its own";

    L.SetActive(true);
    ASSERT_TRUE(ServeUntil([&] { return R.Calls.size() >= 6; }));
    ServeUntil([] { return false; }, 50); // waiting in isWait: nothing more
    EXPECT_EQ(R.Calls, (std::vector<std::string> {"status", "0", "status", "1", "status", "2"}));

    const TBytes Reply = {'1', '\r', '\n', 'O', 'K', '\r', '\n'};
    L.ReadMessage(&Reply);
    ASSERT_TRUE(ServeUntil([&] { return !L.Active(); }));
    ServeUntil([] { return false; }, 50);
    EXPECT_EQ(R.Calls,
        (std::vector<std::string> {
            "status", "0", "status", "1", "status", "2", "status", "2", "status", "3", "status"}));
    L.SetOnStatus(nullptr);
    L.TerminateAndWait();
}

TEST(LoaderAutomaton, AThrowingHandlerIsLoggedOnceAndRetriedOnTheNextChange)
{
    TLogCapture Capture;
    struct Flaky {
        int Calls = 0;
        void State(TLoaderAutomata*, TCustomState* S)
        {
            if (++Calls == 1)
                throw std::runtime_error("editor not ready");
            S->SetInnerState(isNext);
        }
    } F;
    TLoaderAutomata L;
    L.AddState(new TKVXState(1, "PI", "", 0));
    L.SetOnState(TLoaderMessageEvent(&F, &Flaky::State));
    L.SetActive(true);
    ASSERT_TRUE(ServeUntil([&] { return F.Calls == 1; }));
    ServeUntil([] { return false; }, 50);
    EXPECT_EQ(F.Calls, 1) << "a pass that failed is not repeated at once";
    L.StateChanged();
    ASSERT_TRUE(ServeUntil([&] { return !L.Active(); }));
    EXPECT_EQ(F.Calls, 2);
    L.TerminateAndWait();
    const auto Log = Capture.Take();
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_NE(Log[0].find("ERROR [LoaderAutomata] loader: state handler threw: editor not ready"), std::string::npos)
        << Log[0];
}
