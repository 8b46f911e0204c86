#include "loader_automaton.h"
#include "serve_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Follows the handler protocol; plays the encoder by answering every sent
// command with "<command>\r\nOK\r\n", delivered after HoldPasses further passes.
struct Driver {
    std::vector<std::string> Sent, Parsed;
    std::vector<std::int32_t> Order;
    std::string Pending;
    int HoldPasses = 0;
    int Hold = 0;
    int ParseWaits = 0;

    void OnState(TLoaderAutomata* L, TCustomState* S)
    {
        EXPECT_TRUE(TThread::IsMainThread());
        if (Order.empty() || Order.back() != S->State())
            Order.push_back(S->State());
        if (!Pending.empty()) {
            if (Hold > 0)
                --Hold;
            else {
                const TBytes B(Pending.begin(), Pending.end());
                Pending.clear();
                L->ReadMessage(&B, nullptr);
            }
        }
        auto* K = dynamic_cast<TKVXState*>(S);
        auto* Lst = dynamic_cast<TKVXStateList*>(S);
        switch (S->InnerState()) {
        case isInit:
            S->Advance();
            break;
        case isSend: {
            const std::string M = K ? K->Msg() : Lst ? Lst->Msg() : std::string();
            if (!M.empty()) {
                Sent.push_back(M);
                Pending = M + "\r\nOK\r\n";
                Hold = HoldPasses;
            }
            S->Advance();
            break;
        }
        case isWait:
            if (!K || !K->Response().empty())
                S->Advance();
            break;
        case isParse:
            if (Lst && Lst->Count() > 0) {
                const int Before = Lst->CMsg();
                const bool Answered = !Lst->GetMesRes(Before)->Res.empty();
                S->Advance();
                if (Answered)
                    Parsed.push_back(Lst->GetMesRes(Before)->Res);
                else
                    ++ParseWaits;
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
};

TKVXStateList* ListOf(std::int32_t N, const std::vector<std::string>& Cmds)
{
    auto* L = new TKVXStateList(N);
    std::vector<PMsgChange> Recs;
    for (const auto& C : Cmds)
        Recs.push_back(new TMsgChange{C, ""});
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
    L.ReadMessage(&R, nullptr);
    EXPECT_EQ(static_cast<TKVXState*>(L.FindState(11))->Response(), "");

    TKVXStateList* Lst = ListOf(12, {"A?", "B?"});
    EXPECT_EQ(Lst->GetMesRes(-1), nullptr);
    EXPECT_EQ(Lst->GetMesRes(2), nullptr);
    EXPECT_EQ(Lst->Msg(), "A?");
    Lst->SetMessageList({new TMsgChange{"C?", ""}}); // old records freed
    EXPECT_EQ(Lst->Count(), 1);
    delete Lst;
}

TEST(LoaderAutomaton, RunsByTablePositionWithAListState)
{
    Driver D;
    D.HoldPasses = 3; // replies come a few passes late
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
        ->SetMessageList({new TMsgChange{"PS=A", ""}, new TMsgChange{"PS=B", ""}, new TMsgChange{"PS=C", ""}});
    L.SetActive(true);
    ASSERT_TRUE(ServeUntil([&] { return !L.Active(); }));

    EXPECT_EQ(D.Order, (std::vector<std::int32_t>{125, 127, 126, 128}));
    EXPECT_EQ(D.Sent, (std::vector<std::string>{"PI?", "PS=A", "PS=B", "PS=C", "RT=HELLO"}));
    EXPECT_EQ(D.Parsed, (std::vector<std::string>{"PI?\r\nOK\r\n", "PS=A\r\nOK\r\n", "PS=B\r\nOK\r\n",
                                                  "PS=C\r\nOK\r\n", "RT=HELLO\r\nOK\r\n"}));
    EXPECT_GT(D.ParseWaits, 0); // the list state was handed over again while waiting in isParse
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
}

TEST(LoaderAutomaton, StatusHandlerRunsEveryPassOnTheMainThread)
{
    struct Counter {
        int N = 0;
        void Status(TLoaderAutomata*)
        {
            EXPECT_TRUE(TThread::IsMainThread());
            ++N;
        }
    } C;
    TLoaderAutomata L;
    L.SetOnStatus(TLoaderNotifyEvent(&C, &Counter::Status));
    EXPECT_TRUE(ServeUntil([&] { return C.N >= 3; }));
    L.SetOnStatus(nullptr);
    L.Terminate();
    L.WaitFor();
}
