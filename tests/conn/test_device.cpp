#include "device.h"

#include "assertion.h"
#include "ok_no_automaton.h"
#include "serial_connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/pty_pair.h"

namespace {

// Serves the device's hand-overs on this (main) thread until Pred holds.
template <typename Pred>
bool ServeUntil(Pred P, int TimeoutMs = 10000)
{
    return WaitUntil(
        [&] {
            TThread::CheckSynchronize(1);
            return P();
        },
        TimeoutMs);
}

struct Sink {
    std::vector<std::string> Statuses, Packets;
    std::vector<TdAction> Actions;
    bool Veto = false;
    int Incoming = 0;
    void Status(TCustomDevice*, TConnStatus S) { Statuses.emplace_back(ConnStatusText(S)); }
    void Status2(TCustomDevice*, TConnStatus) {}
    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        EXPECT_TRUE(TThread::IsMainThread());
        for (int i = 0; i < A->PacketCount(); ++i)
            Packets.emplace_back(static_cast<const char*>(A->GetPacket(i)->Data),
                                 static_cast<std::size_t>(A->GetPacket(i)->DataSize));
    }
    void Action(TCustomDevice*, TdAction A) { Actions.push_back(A); }
    void Data(TCustomDevice*, const void*, std::int32_t, TDataDirection DD, bool& Proceed)
    {
        Incoming += DD == ddIncoming;
        Proceed = !Veto;
    }
};

TConnCOM* MakeConn(const TPty& Pty)
{
    auto* C = new TConnCOM(false);
    C->SetReconnectTimeout(20);
    C->SetProperties({Pty.SlavePath(), "9600", "0", "3", "0", "0", "0", "0", "0"});
    return C;
}

// Tells when the connection has read bytes from the line.
class TProbeConn : public TConnCOM {
public:
    TProbeConn() : TConnCOM(false) {}
    bool HasRead() const { return FLastReadDataTick.load() != 0; }
};

class TBadConn : public TCustomConnection {
public:
    TBadConn() : TCustomConnection(false) {}

protected:
    std::uint32_t GetVer() const override { return 5; }
};

} // namespace

TEST(Device, CommandsRepliesVetoAndDisconnect)
{
    TPty Pty;
    Sink S;
    {
        TCustomDevice D;
        EXPECT_EQ(D.ThreadName(), "DEV_:4");
        D.SetOnDeviceStatus(TDeviceStatusEvent(&S, &Sink::Status));
        D.SetOnDevicePacket(TDevicePacketEvent(&S, &Sink::Packet));
        D.SetOnDeviceData(TDeviceQueryDataEvent(&S, &Sink::Data));
        D.SetPA(new TOKNO);
        D.SetAdoptConnections(true);
        D.SetSilent(false);
        D.SetConn(MakeConn(Pty));
        D.Connect();
        ASSERT_TRUE(ServeUntil([&] { return D.Connected(); }));

        D.PushCommand(std::string("PI?"), true);
        EXPECT_EQ(Pty.Read(5), "PI?\r\n");
        D.PushCommand(std::string("PI?"), false);
        EXPECT_EQ(Pty.Read(3), "PI?");

        Pty.Write("12");
        Pty.Write("34\r\nOK\r\n");
        ASSERT_TRUE(ServeUntil([&] { return S.Packets.size() == 1; }));
        EXPECT_EQ(S.Packets[0], "1234\r\nOK\r\n");

        // A vetoing data handler: nothing is sent, nothing reaches the automaton.
        S.Veto = true;
        D.PushCommand(std::string("PS?"), true);
        const int Seen = S.Incoming;
        Pty.Write("x\r\nNO\r\n");
        ASSERT_TRUE(ServeUntil([&] { return S.Incoming > Seen; }));
        S.Veto = false;
        D.PushCommand(std::string("DPS?"), true);
        EXPECT_EQ(Pty.Read(6), "DPS?\r\n");
        Pty.Write("y\r\nNO\r\n");
        ASSERT_TRUE(ServeUntil([&] { return S.Packets.size() == 2; }));
        EXPECT_EQ(S.Packets[1], "y\r\nNO\r\n");

        // A reply cut by a disconnect does not join the next one.
        const std::size_t Before = S.Statuses.size();
        Pty.Write("half");
        ServeUntil([&] { return false; }, 200); // let the half reply arrive
        D.Disconnect();
        ASSERT_TRUE(ServeUntil([&] {
            for (std::size_t i = Before; i < S.Statuses.size(); ++i)
                if (S.Statuses[i] == "Disconnected")
                    return true;
            return false;
        }));
        D.Connect();
        ASSERT_TRUE(ServeUntil([&] { return D.Connected(); }));
        Pty.Write("z\r\nOK\r\n");
        ASSERT_TRUE(ServeUntil([&] { return S.Packets.size() == 3; }));
        EXPECT_EQ(S.Packets[2], "z\r\nOK\r\n");
    } // the adopted connection and the automaton go with the device
}

TEST(Device, SilentDeviceStillReleasesMessages)
{
    TPty Pty;
    Sink S;
    auto* C = new TProbeConn;
    C->SetReconnectTimeout(20);
    C->SetProperties({Pty.SlavePath(), "9600", "0", "3", "0", "0", "0", "0", "0"});
    {
        TCustomDevice D;
        D.SetOnDeviceStatus(TDeviceStatusEvent(&S, &Sink::Status));
        D.SetOnDevicePacket(TDevicePacketEvent(&S, &Sink::Packet));
        D.SetPA(new TOKNO);
        D.SetConn(C);
        D.Connect();
        ASSERT_TRUE(ServeUntil([&] { return D.Connected(); }));
        Pty.Write("1\r\nOK\r\n");
        ASSERT_TRUE(ServeUntil([&] { return C->HasRead(); }));
        ServeUntil([&] { return false; }, 300); // dispatched to the device meanwhile
        ASSERT_TRUE(ServeUntil([&] { return C->Buffer()->RetainedCount() == 0; }));
        EXPECT_EQ(C->Buffer()->RetainedCount(), 0u);
        EXPECT_TRUE(S.Statuses.empty());
        EXPECT_TRUE(S.Packets.empty());
        D.Disconnect();
    }
    // Not adopted: the connection outlives the device and is stopped by its owner.
    C->Terminate();
    C->WaitFor();
    delete C;
}

TEST(Device, HandlerListsActionsAndVersions)
{
    Sink S;
    TCustomDevice D;
    const TDeviceStatusEvent H(&S, &Sink::Status);
    D.SetOnDeviceStatus(H);
    D.SetOnDeviceStatus(H); // cleared, entry kept
    EXPECT_EQ(D.DeviceStatusListLength(), 1u);
    D.SetOnDeviceStatus(H); // a new entry
    EXPECT_EQ(D.DeviceStatusListLength(), 2u);
    D.SetOnDeviceStatusEx(1, H); // listed: nothing
    EXPECT_EQ(D.DeviceStatusListLength(), 2u);
    D.SetOnDeviceStatusEx(2, H);
    D.SetOnDeviceStatusEx(1, TDeviceStatusEvent(&S, &Sink::Status2));
    EXPECT_EQ(D.DeviceStatusListLength(), 3u);

    D.SetOnDeviceAction(TDeviceActionEvent(&S, &Sink::Action));
    D.SetConn(nullptr);
    TBadConn Bad;
    EXPECT_THROW(
        try { D.SetConn(&Bad); } catch (const EAssertionFailed& E) {
            EXPECT_STREQ(E.what(), "Conn Version Differs");
            throw;
        },
        EAssertionFailed);
    EXPECT_EQ(D.Conn(), nullptr);
    D.Disconnect(); // no connection: only the action
    D.SetPA(new TOKNO);
    D.SetSilent(false);
    D.SetSilent(false);
    D.SetConfig(nullptr);
    EXPECT_EQ(S.Actions, (std::vector<TdAction>{daBeforeChangeConnection, daBeforeDisconnect, daBeforeChangeProtocol,
                                                daBeforeChangeSilent, daBeforeChangeConfig, daAfterChangeConfig}));
    Bad.Terminate();
    Bad.WaitFor();
}
