#include "_conn/device.h"
#include "_conn/ok_no_automaton.h"
#include "_conn/serial_connection.h"
#include "dialogue/loader_automaton.h"
#include "scripted_peer.h"
#include "serve_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

// The window's part: sends each state's command through the device, hands
// every packet to the loader, parses the replies in order.
struct Window {
    TCustomDevice* Dev = nullptr;
    std::vector<std::string> Parsed;

    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        for (int i = 0; i < A->PacketCount(); ++i) {
            const auto* P = static_cast<const std::uint8_t*>(A->GetPacket(i)->Data);
            const TBytes B(P, P + A->GetPacket(i)->DataSize);
            Loader->ReadMessage(&B, nullptr);
        }
    }
    void State(TLoaderAutomata*, TCustomState* S)
    {
        auto* K = dynamic_cast<TKVXState*>(S);
        auto* L = dynamic_cast<TKVXStateList*>(S);
        switch (S->InnerState()) {
        case isInit:
            S->Advance();
            break;
        case isSend: {
            const std::string M = K ? K->Msg() : L->Msg();
            if (!M.empty())
                Dev->PushCommand(M, true);
            S->Advance();
            break;
        }
        case isWait:
            if (!K || !K->Response().empty())
                S->Advance();
            break;
        case isParse: {
            const int Cur = L ? L->CMsg() : 0;
            const bool Answered = K ? true : !L->GetMesRes(Cur)->Res.empty();
            S->Advance();
            if (Answered)
                Parsed.push_back(K ? K->Response() : L->GetMesRes(Cur)->Res);
            break;
        }
        case isNext:
            break;
        }
    }
    TLoaderAutomata* Loader = nullptr;
};

} // namespace

TEST(EndToEnd, FiveStateScriptOverASerialLine)
{
    TScriptedPeer Peer;
    Window W;
    TCustomDevice D;
    TLoaderAutomata L;
    W.Dev = &D;
    W.Loader = &L;

    D.SetOnDevicePacket(TDevicePacketEvent(&W, &Window::Packet));
    D.SetPA(new TOKNO);
    D.SetAdoptConnections(true);
    D.SetSilent(false);
    auto* C = new TConnCOM(true);
    D.SetConn(C);
    C->SetProperties({Peer.Slave(), "30000", "0", "3", "0", "0", "0", "0", "0"});
    C->SetSilent(false);
    D.Connect();
    ASSERT_TRUE(ServeUntil([&] { return D.Connected(); }));

    L.AddState(new TKVXState(10, "PI", "", 0));
    L.AddState(new TKVXState(20, "PS", "", 0));
    L.AddState(new TKVXState(30, "PI", "ABCD", 1));
    L.AddState(new TKVXStateList(40));
    L.AddState(new TKVXState(50, "XX", "", 0));
    L.SetOnState(TLoaderMessageEvent(&W, &Window::State));
    L.Clear();
    L.Reset();
    static_cast<TKVXStateList*>(L.FindState(40))
        ->SetMessageList({new TMsgChange {"PS?", ""}, new TMsgChange {"PI?", ""}});
    L.SetActive(true);
    ASSERT_TRUE(ServeUntil([&] { return !L.Active(); }));

    EXPECT_EQ(W.Parsed,
        (std::vector<std::string> {
            "1234\r\nOK\r\n", "RADIO\r\nOK\r\n", "\r\nOK\r\n", "RADIO\r\nOK\r\n", "1234\r\nOK\r\n", "\r\nNO\r\n"}));
    // The loader ends first: its handler uses the device.
    L.Terminate();
    L.WaitFor();
    D.Disconnect();
}
