#include "dialogue/device_factory.h"
#include "dialogue/loader_step.h"
#include "scripted_encoder.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The window's part: sends each state's command through the device, hands
// every packet to the loader, parses the replies in order.
struct Window {
    TCustomDevice* Dev = nullptr;
    TLoaderAutomata* Loader = nullptr;
    std::vector<std::string> Parsed;

    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        ForEachPacket(*A, [this](const TBytes& B) { Loader->ReadMessage(&B); });
    }
    void State(TLoaderAutomata*, TCustomState* S)
    {
        const std::string Reply = S->Reply();
        if (StepLoaderState(*S, [this](const std::string& M) { Dev->PushCommand(M, true); }) == isParse
            && !Reply.empty())
            Parsed.push_back(Reply);
    }
};

} // namespace

TEST(EndToEnd, FiveStateScriptOverASerialLine)
{
    TEncoderPeer Peer(ScriptedEncoder());
    Window W;
    const auto Device = NewEncoderDevice(Peer.Slave());
    TCustomDevice& D = *Device;
    TLoaderAutomata L;
    W.Dev = &D;
    W.Loader = &L;

    D.SetOnDevicePacket(TDevicePacketEvent(&W, &Window::Packet));
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
    L.TerminateAndWait();
    D.Disconnect();
}
