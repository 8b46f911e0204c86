#include "_conn/device.h"
#include "dialogue/device_factory.h"

#include "_conn/ok_no_automaton.h"
#include "_conn/serial_connection.h"
#include "platform/assertion.h"

#include "platform/log.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include "support/log_capture.h"
#include "support/pty.h"
#include "support/wait_until.h"

namespace {

struct Sink {
    std::vector<std::string> Statuses, Packets;
    std::vector<TdAction> Actions;
    bool Veto = false;
    int Incoming = 0;
    void Status(TCustomDevice*, TConnStatus S) { Statuses.emplace_back(ConnStatusText(S)); }
    void Status2(TCustomDevice*, TConnStatus) { }
    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        EXPECT_TRUE(TThread::IsMainThread());
        for (int i = 0; i < A->PacketCount(); ++i)
            Packets.emplace_back(
                static_cast<const char*>(A->GetPacket(i)->Data), static_cast<std::size_t>(A->GetPacket(i)->DataSize));
    }
    void Action(TCustomDevice*, TdAction A) { Actions.push_back(A); }
    void Data(TCustomDevice*, const void*, std::int32_t, TDataDirection DD, bool& Proceed)
    {
        Incoming += DD == ddIncoming;
        Proceed = !Veto;
    }
};

TCustomConnection* MakeConn(const TPty& Pty)
{
    TCustomConnection* C = NewEncoderConnection(Pty.SlavePath());
    C->SetReconnectTimeout(20);
    return C;
}

// Tells when the connection has read bytes from the line.
class TProbeConn : public TConnCOM {
public:
    TProbeConn() : TConnCOM(false) { }
    ~TProbeConn() override { StopThreads(); }
    bool HasRead() const { return FLastReadDataTick.load() != 0; }
};

// Which thread a handler runs on: "main", or the worker's name.
std::string ThreadTag()
{
    if (TThread::IsMainThread())
        return "main";
    char Name[32] = {};
    pthread_getname_np(pthread_self(), Name, sizeof Name);
    return Name;
}

// Every handler of the device, recording "<handler> <what> @<thread>" in call order.
struct Journal {
    std::mutex Lock;
    std::vector<std::string> Lines;
    bool ThrowOnPacket = false;
    std::vector<std::string> Packets;

    void Add(const std::string& Line)
    {
        std::lock_guard<std::mutex> G(Lock);
        Lines.push_back(Line + " @" + ThreadTag());
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> G(Lock);
        std::vector<std::string> L;
        L.swap(Lines);
        return L;
    }
    std::size_t Count()
    {
        std::lock_guard<std::mutex> G(Lock);
        return Lines.size();
    }
    void StatusAsync(TCustomDevice*, TConnStatus S) { Add(std::string("StatusAsync ") + ConnStatusText(S)); }
    void Status(TCustomDevice*, TConnStatus S) { Add(std::string("Status ") + ConnStatusText(S)); }
    void DataAsync(TCustomDevice*, const void* D, std::int32_t N, TDataDirection DD, bool& Proceed)
    {
        Add((DD == ddIncoming ? "DataAsync in " : "DataAsync out ") + std::string(static_cast<const char*>(D), N));
        Proceed = true;
    }
    void Data(TCustomDevice*, const void* D, std::int32_t N, TDataDirection DD, bool& Proceed)
    {
        Add((DD == ddIncoming ? "Data in " : "Data out ") + std::string(static_cast<const char*>(D), N));
        Proceed = true;
    }
    void PacketAsync(TCustomDevice*, TCustomAutomata* A) { Add("PacketAsync " + std::to_string(A->PacketCount())); }
    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        Add("Packet " + std::to_string(A->PacketCount()));
        for (int i = 0; i < A->PacketCount(); ++i)
            Packets.emplace_back(
                static_cast<const char*>(A->GetPacket(i)->Data), static_cast<std::size_t>(A->GetPacket(i)->DataSize));
        if (ThrowOnPacket) {
            ThrowOnPacket = false;
            throw std::runtime_error("packet handler failed");
        }
    }
    void Attach(TCustomDevice& D)
    {
        D.SetOnDeviceStatusAsync(TDeviceStatusEvent(this, &Journal::StatusAsync));
        D.SetOnDeviceStatus(TDeviceStatusEvent(this, &Journal::Status));
        D.SetOnDeviceDataAsync(TDeviceQueryDataEvent(this, &Journal::DataAsync));
        D.SetOnDeviceData(TDeviceQueryDataEvent(this, &Journal::Data));
        D.SetOnDevicePacketAsync(TDevicePacketEvent(this, &Journal::PacketAsync));
        D.SetOnDevicePacket(TDevicePacketEvent(this, &Journal::Packet));
    }
};

// A device of its own kind, as a derived class would be.
class TGpsDevice : public TCustomDevice {
public:
    ~TGpsDevice() override { TerminateAndWait(); }
    std::atomic<int> IdlePasses {0};

protected:
    void Idle() override { ++IdlePasses; }
    std::string GetName() const override { return "GPS_"; }
    std::uint32_t GetVer() const override { return 0x104; }
};

// Names the system gives this process's threads.
std::vector<std::string> SystemThreadNames()
{
    std::vector<std::string> Names;
    DIR* D = ::opendir("/proc/self/task");
    while (dirent* E = D ? ::readdir(D) : nullptr) {
        std::ifstream Comm(std::string("/proc/self/task/") + E->d_name + "/comm");
        std::string Name;
        if (std::getline(Comm, Name))
            Names.push_back(Name);
    }
    if (D)
        ::closedir(D);
    return Names;
}

class TBadConn : public TCustomConnection {
public:
    TBadConn() : TCustomConnection(false) { }

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
        SetUpEncoderDevice(D);
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
    SetUpEncoderConnection(*C, Pty.SlavePath());
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
    C->TerminateAndWait();
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
    EXPECT_EQ(S.Actions,
        (std::vector<TdAction> {daBeforeChangeConnection, daBeforeDisconnect, daBeforeChangeProtocol,
            daBeforeChangeSilent, daBeforeChangeConfig, daAfterChangeConfig}));
    Bad.TerminateAndWait();
}

TEST(Device, StatusesInOrderAndEachHandlerOnItsThread)
{
    TThread::SetMainThread();
    TPty Pty;
    Journal J;
    {
        TCustomDevice D;
        J.Attach(D);
        SetUpEncoderDevice(D);
        D.SetConn(MakeConn(Pty));
        D.Connect();
        ASSERT_TRUE(ServeUntil([&] { return D.Connected(); }));
        ServeUntil([&] { return J.Count() >= 6; });
        EXPECT_EQ(J.Take(),
            (std::vector<std::string> {"StatusAsync Connecting @DEV_:4", "Status Connecting @main",
                "StatusAsync Connecting @DEV_:4", "Status Connecting @main", "StatusAsync Connected @DEV_:4",
                "Status Connected @main"}));

        D.PushCommand(std::string("PI?"), true);
        EXPECT_EQ(Pty.Read(5), "PI?\r\n");
        Pty.Write("1234\r\nOK\r\n");
        ASSERT_TRUE(ServeUntil([&] { return J.Packets.size() == 1; }));
        EXPECT_EQ(J.Take(),
            (std::vector<std::string> {"Data out PI?\r\n @main", "DataAsync in 1234\r\nOK\r\n @DEV_:4",
                "Data in 1234\r\nOK\r\n @main", "PacketAsync 1 @DEV_:4", "Packet 1 @main"}));

        D.Disconnect();
        ASSERT_TRUE(ServeUntil([&] { return D.Conn()->Connected() == stDisconnected && J.Count() >= 6; }));
        ServeUntil([&] { return false; }, 100);
        EXPECT_EQ(J.Take(),
            (std::vector<std::string> {"StatusAsync Disconnecting @DEV_:4", "Status Disconnecting @main",
                "StatusAsync Disconnecting @DEV_:4", "Status Disconnecting @main", "StatusAsync Disconnected @DEV_:4",
                "Status Disconnected @main"}));
    }
}

TEST(Device, WithNothingForTheMainThreadTheDeviceHandsNothingOver)
{
    TThread::SetMainThread();
    TPty Pty;
    Journal J;
    TCustomDevice D;
    D.SetOnDeviceStatusAsync(TDeviceStatusEvent(&J, &Journal::StatusAsync));
    D.SetOnDevicePacketAsync(TDevicePacketEvent(&J, &Journal::PacketAsync));
    // A cleared entry is no handler either.
    D.SetOnDevicePacket(TDevicePacketEvent(&J, &Journal::Packet));
    D.SetOnDevicePacket(TDevicePacketEvent(&J, &Journal::Packet));
    SetUpEncoderDevice(D);
    D.SetConn(MakeConn(Pty));
    D.Connect();
    // The main thread serves no hand-over here: the device thread goes on alone.
    ASSERT_TRUE(WaitUntil([&] { return J.Count() == 3; }));
    Pty.Write("1\r\nOK\r\n");
    ASSERT_TRUE(WaitUntil([&] { return J.Count() == 4; }));
    EXPECT_EQ(J.Take(),
        (std::vector<std::string> {"StatusAsync Connecting @DEV_:4", "StatusAsync Connecting @DEV_:4",
            "StatusAsync Connected @DEV_:4", "PacketAsync 1 @DEV_:4"}));
    D.Disconnect();
    ASSERT_TRUE(WaitUntil([&] { return D.Conn()->Connected() == stDisconnected; }));
}

TEST(Device, AThrowingPacketHandlerIsLoggedOnceAndItsPacketNotAnnouncedAgain)
{
    TThread::SetMainThread();
    TLogCapture Log;
    TPty Pty;
    Journal J;
    TCustomDevice D;
    D.SetOnDevicePacket(TDevicePacketEvent(&J, &Journal::Packet));
    SetUpEncoderDevice(D);
    D.SetConn(MakeConn(Pty));
    D.Connect();
    ASSERT_TRUE(ServeUntil([&] { return D.Connected(); }));

    J.ThrowOnPacket = true;
    Pty.Write("1\r\nOK\r\n");
    ASSERT_TRUE(ServeUntil([&] { return J.Packets.size() == 1; }));
    Pty.Write("2\r\nNO\r\n");
    ASSERT_TRUE(ServeUntil([&] { return J.Packets.size() >= 2; }));
    ServeUntil([&] { return false; }, 100);
    EXPECT_EQ(J.Packets, (std::vector<std::string> {"1\r\nOK\r\n", "2\r\nNO\r\n"}));

    // The device thread survived, and said what happened, once.
    const auto Lines = Log.Take();
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_NE(Lines[0].find("ERROR [DEV_:4]"), std::string::npos) << Lines[0];
    EXPECT_NE(Lines[0].find("packet handler failed"), std::string::npos) << Lines[0];
    EXPECT_TRUE(ServeUntil([&] { return D.Conn()->Buffer()->RetainedCount() == 0; }));
    D.Disconnect();
}

TEST(Device, ADerivedDeviceStartsItsThreadOnceBuilt)
{
    TThread::SetMainThread();
    TPty Pty;
    Journal J;
    TGpsDevice D;
    J.Attach(D);
    SetUpEncoderDevice(D);
    D.SetConn(MakeConn(Pty));
    D.Connect();
    // Connected is the connection's own flag; the device thread announces the
    // status and runs its idle pass a moment later.
    ASSERT_TRUE(ServeUntil([&] { return D.Connected() && J.Count() > 0 && D.IdlePasses.load() > 0; }));
    // Named after the derived device, and running the derived device's loop.
    EXPECT_EQ(D.ThreadName(), "GPS_:104");
    const auto Names = SystemThreadNames();
    EXPECT_NE(std::find(Names.begin(), Names.end(), "GPS_:104"), Names.end());
    EXPECT_GT(D.IdlePasses.load(), 0);
    EXPECT_EQ(J.Take().at(0), "StatusAsync Connecting @GPS_:104");
    D.Disconnect();
    ServeUntil([&] { return D.Conn()->Connected() == stDisconnected; });
}
