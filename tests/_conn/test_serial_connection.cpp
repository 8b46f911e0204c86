#include "_conn/serial_connection.h"

#include "_conn/port_connection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/message_queue.h"
#include "support/conn_listener.h"
#include "support/pty.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

extern char** environ;

namespace {

std::unique_ptr<TConnCOM> MakeConnection(const TListener& L)
{
    auto c = std::make_unique<TConnCOM>(false);
    c->SetReconnectTimeout(20);
    c->AddThreadListener(L.Id());
    return c;
}

// What a Disconnect on an idle connection announces. Asked for after a
// sequence, it shows that nothing else came between.
const Words kIdleDisconnect = {"Not Connected", "Disconnecting", "Not Connected", "Disconnecting", "Disconnected"};

TEST(SerialConnection, IdentityPortAndProperties)
{
    TConnCOM c(true);
    EXPECT_EQ(c.Name(), "Conn1_COM_Client_CPD_");
    EXPECT_EQ(c.Ver(), 260u);
    EXPECT_EQ(c.Port(), "");
    EXPECT_FALSE(c.Driver().IsPolling());

    c.SetPort("ttyUSB0");
    const PConnProp p = c.GetPropS("port");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->ValueType, pvtString);
    EXPECT_EQ(PropAsString(p), "ttyUSB0");
    EXPECT_EQ(c.Port(), "ttyUSB0");

    // What the main window passes.
    c.SetProperties({"ttyACM3", "30000", "0", "3", "0", "0", "0", "0", "0"});
    const TCommPortDriver& d = c.Driver();
    EXPECT_EQ(c.Port(), "ttyACM3");
    EXPECT_EQ(c.NoDataTimeout(), 30000);
    EXPECT_EQ(d.BaudRate(), brCustom);
    EXPECT_EQ(d.BaudRateValue(), 0u);
    EXPECT_EQ(c.Speed(), 0u);
    EXPECT_EQ(d.DataBits(), db8BITS);
    EXPECT_EQ(d.Parity(), ptNONE);
    EXPECT_EQ(d.StopBits(), sb1BITS);
    EXPECT_EQ(d.HwFlow(), hfNONE);
    EXPECT_EQ(d.SwFlow(), sfNONE);

    // A shorter list changes only what it holds; extra elements are ignored.
    c.SetProperties({"ttyS4", "100", "13"});
    EXPECT_EQ(c.Port(), "ttyS4");
    EXPECT_EQ(c.NoDataTimeout(), 100);
    EXPECT_EQ(d.BaudRateValue(), 115200u);
    c.SetProperties({"ttyS5", "1", "7", "2", "1", "2", "1", "1", "4800", "junk"});
    EXPECT_EQ(d.BaudRateValue(), 4800u);
    EXPECT_EQ(d.SwFlow(), sfXONXOFF);

    // A bad element raises and leaves everything as it was.
    for (const TStringDynArray& bad : {TStringDynArray {"ttyX", "12", "abc"}, TStringDynArray {"ttyX", "12", "16"},
             TStringDynArray {"ttyX", "", "0"}, TStringDynArray {"ttyX", "1", "0", "4"}}) {
        EXPECT_THROW(c.SetProperties(bad), EConvertError);
        EXPECT_EQ(c.Port(), "ttyS5");
        EXPECT_EQ(c.NoDataTimeout(), 1);
    }
}

TEST(SerialConnection, StrToIntAndNaturalOrder)
{
    const std::pair<const char*, std::int32_t> good[] = {{"0", 0}, {"30000", 30000}, {"  -5", -5}, {"+7", 7},
        {"$1F", 31}, {"0x10", 16}, {"$FFFFFFFF", -1}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : good)
        EXPECT_EQ(StrToInt(text), value) << text;
    for (const char* text : {"", " ", "abc", "12a", "1.5", "$", "2147483648", "99999999999", "- 1"})
        EXPECT_THROW(StrToInt(text), EConvertError) << text;

    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyS0"));
    EXPECT_TRUE(NaturalLess("ttyS0", "ttyS00"));
    EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
}

struct RefusedCase {
    const char* Name;
    std::function<std::string(const TPty&)> Port;
    bool Accepted; // what Connect answers
    Words Expected;
};

TEST(SerialConnection, FailedConnectSequences)
{
    const Words tail = {"Not Connected", "Disconnecting", "Disconnected"};
    Words timeout(7, "Connecting");
    timeout.insert(timeout.end(), {"Unable to Connect", "Connection Timeout"});
    const RefusedCase cases[] = {
        {"empty port name", [](const TPty&) { return std::string(); }, false,
            Concat({"Connecting", "Invalid Connection Params"}, tail)},
        {"absent port", [](const TPty&) { return std::string("ttyKVXNONE9"); }, false,
            Concat({"Connecting", "Connection Refused"}, tail)},
        {"port held by another", [](const TPty& p) { return p.SlavePath(); }, false,
            Concat({"Connecting", "Connection Refused"}, tail)},
        {"not a terminal", [](const TPty&) { return std::string("/dev/null"); }, true, Concat(timeout, tail)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPty pty;
        TCommPortDriver holder;
        holder.SetPortName(pty.SlavePath());
        ASSERT_TRUE(holder.Connect());
        TListener l;
        auto conn = MakeConnection(l);
        conn->SetPort(c.Port(pty));
        EXPECT_EQ(conn->Connect(), c.Accepted);
        ASSERT_TRUE(WaitWords(l, c.Expected.size())) << testing::PrintToString(l.Statuses());
        conn->Disconnect(stDisconnecting);
        const Words all = Concat(c.Expected, kIdleDisconnect);
        ASSERT_TRUE(WaitWords(l, all.size()));
        EXPECT_EQ(l.Statuses(), all);
        EXPECT_EQ(conn->Connected(), stDisconnected);
    }
}

TEST(SerialConnection, ConnectTalkAndDisconnect)
{
    TPty pty;
    TListener l;
    auto conn = MakeConnection(l);
    conn->SetPort(pty.SlavePath());
    conn->SetLine(TSerialLine {});
    ASSERT_TRUE(conn->Connect());
    ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
    ASSERT_TRUE(WaitWords(l, 3));

    // A second Connect leaves the live link alone.
    EXPECT_FALSE(conn->Connect());
    ASSERT_TRUE(WaitWords(l, 4));
    EXPECT_EQ(l.Statuses(), (Words {"Connecting", "Connecting", "Connected", "Already Connected"}));
    EXPECT_EQ(conn->Connected(), stConnected);

    // The line is raw: CR LF pass unchanged both ways.
    conn->PushCommand(std::string("PI?\r\n"));
    EXPECT_EQ(pty.Read(5), "PI?\r\n");
    conn->SetBufferedSend(true);
    conn->PushCommand(std::string("PS?\r\n"));
    EXPECT_EQ(pty.Read(5), "PS?\r\n");
    pty.Write("\r\nOK\r\n");
    EXPECT_TRUE(WaitUntil([&] { return l.DataSize() >= 6; }));
    EXPECT_EQ(l.Data(), "\r\nOK\r\n");

    // A new speed reopens the port quietly.
    conn->SetSpeed(19200);
    EXPECT_EQ(conn->Connected(), stConnected);
    termios t {};
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B19200);

    conn->Disconnect(stDisconnected); // the serial connection always says "Disconnecting"
    const Words expected = {
        "Connecting", "Connecting", "Connected", "Already Connected", "Disconnecting", "Disconnecting", "Disconnected"};
    ASSERT_TRUE(WaitWords(l, expected.size()));
    EXPECT_EQ(l.Statuses(), expected);
    EXPECT_EQ(conn->Connected(), stDisconnected);
    EXPECT_TRUE(l.InOrder());

    // The port is free again: another connect succeeds.
    ASSERT_TRUE(conn->Connect());
    EXPECT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
}

struct ChunkCase {
    const char* Name;
    std::size_t Chunk;
    std::size_t Total;
};

TEST(SerialConnection, ReceivedBytesArriveOnceAndInOrder)
{
    const ChunkCase cases[] = {
        {"single bytes", 1, 300},
        {"odd chunks", 7, 5000},
        {"page chunks", 4096, 65536},
        {"1 MiB stream", 65536, 1u << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string payload(c.Total, '\0');
        for (std::size_t i = 0; i < c.Total; ++i)
            payload[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        TPty pty;
        TListener l;
        auto conn = MakeConnection(l);
        conn->SetPort(pty.SlavePath());
        ASSERT_TRUE(conn->Connect());
        ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
        for (std::size_t off = 0; off < c.Total; off += c.Chunk)
            pty.Write(payload.substr(off, c.Chunk));
        EXPECT_TRUE(WaitUntil([&] { return l.DataSize() >= c.Total; }, 30000));
        EXPECT_TRUE(l.Data() == payload) << "received " << l.DataSize() << " of " << c.Total;
        EXPECT_TRUE(l.InOrder());
    }
}

// The pause between connect attempts does not hold back the bytes that come
// right after a successful one.
TEST(SerialConnection, FirstBytesAfterConnectAreNotHeldBackByTheAttemptPause)
{
    TPty pty;
    TListener l;
    auto conn = MakeConnection(l);
    conn->SetReconnectTimeout(600000);
    conn->SetPort(pty.SlavePath());
    ASSERT_TRUE(conn->Connect());
    ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
    pty.Write("\r\nOK\r\n");
    EXPECT_TRUE(WaitUntil([&] { return l.DataSize() == 6; }));
    conn->Disconnect(stDisconnecting);
    EXPECT_TRUE(WaitUntil([&] { return conn->Connected() == stDisconnected; }));
}

TEST(SerialConnection, ClosedPeerEndsTheConnectionOnce)
{
    TPty pty;
    TListener l;
    auto conn = MakeConnection(l);
    conn->SetPort(pty.SlavePath());
    ASSERT_TRUE(conn->Connect());
    ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
    pty.Write("last");
    ASSERT_TRUE(WaitUntil([&] { return l.DataSize() == 4; }));

    pty.CloseMaster();
    const Words lost
        = {"Connecting", "Connecting", "Connected", "Disconnected from Device", "Disconnecting", "Disconnected"};
    ASSERT_TRUE(WaitWords(l, lost.size())) << testing::PrintToString(l.Statuses());
    EXPECT_EQ(conn->Connected(), stDisconnected);
    EXPECT_NE(ConnectionErrorText(conn.get()).find("went away while connected"), std::string::npos);
    conn->Disconnect(stDisconnecting);
    const Words all = Concat(lost, kIdleDisconnect);
    ASSERT_TRUE(WaitWords(l, all.size()));
    EXPECT_EQ(l.Statuses(), all);
    EXPECT_EQ(l.Data(), "last");
}

// A socat pair of pseudo-terminals: two linked device paths, as a null-modem
// cable between two serial ports would give.
class TSocatPair {
public:
    TSocatPair()
    {
        A = FDir.File("a");
        B = FDir.File("b");
        const std::string ea = "PTY,raw,echo=0,link=" + A, eb = "PTY,raw,echo=0,link=" + B;
        const char* argv[] = {"socat", ea.c_str(), eb.c_str(), nullptr};
        if (::posix_spawnp(&FPid, "socat", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            ADD_FAILURE() << "cannot start socat";
            FPid = -1;
            return;
        }
        if (!WaitUntil([&] { return std::filesystem::exists(A) && std::filesystem::exists(B); }))
            ADD_FAILURE() << "socat made no terminals";
    }
    ~TSocatPair() { Stop(); }
    void Stop()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
    }
    std::string A, B;

private:
    TTempDir FDir {"kvx-socat"};
    pid_t FPid = -1;
};

TEST(SerialConnection, SocatPeerTalksThenGoesAway)
{
    TSocatPair pair;
    TCommPortDriver peer;
    peer.SetPortName(pair.B);
    peer.PausePolling();
    ASSERT_TRUE(peer.Connect());

    TListener l;
    auto conn = MakeConnection(l);
    conn->SetPort(pair.A);
    ASSERT_TRUE(conn->Connect());
    ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));

    conn->PushCommand(std::string("REV?\r\n"));
    std::string heard;
    ASSERT_TRUE(WaitUntil([&] {
        std::uint8_t buf[64];
        const int n = std::max(0, std::min(peer.CountRX(), 64));
        heard.append(reinterpret_cast<char*>(buf), peer.ReadData(buf, static_cast<std::uint32_t>(n)));
        return heard.size() >= 6;
    }));
    EXPECT_EQ(heard, "REV?\r\n");
    EXPECT_TRUE(peer.SendString("\r\nREV=1.03\r\nOK\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return l.Data() == "\r\nREV=1.03\r\nOK\r\n"; }));

    pair.Stop();
    const Words expected
        = {"Connecting", "Connecting", "Connected", "Disconnected from Device", "Disconnecting", "Disconnected"};
    ASSERT_TRUE(WaitWords(l, expected.size())) << testing::PrintToString(l.Statuses());
    EXPECT_EQ(l.Statuses(), expected);
    EXPECT_EQ(conn->Connected(), stDisconnected);
}

// A sysfs-like tree in a temporary folder.
class TTtyTree {
public:
    TTtyTree()
    {
        Root = FDir.Path().string();
        Sys = Root + "/class/tty";
        Dev = Root + "/dev";
        std::filesystem::create_directories(Sys);
        std::filesystem::create_directories(Dev);
    }
    void Add(const std::string& Name, bool Driver, const char* UartType = nullptr)
    {
        const auto dir = std::filesystem::path(Sys) / Name;
        std::filesystem::create_directories(Driver ? dir / "device" / "driver" : dir);
        if (UartType)
            std::ofstream(dir / "type") << UartType << "\n";
    }
    std::string Root, Sys, Dev;

private:
    TTempDir FDir {"kvx-tty"};
};

TEST(SerialConnection, EnumerateDevicesFromTheTtyTree)
{
    TTtyTree tree;
    tree.Add("ttyS0", true, "4");
    tree.Add("ttyS1", true, "0"); // an empty UART slot
    tree.Add("ttyS10", true, "4");
    tree.Add("ttyS2", true, "4");
    tree.Add("ttyUSB0", true);
    tree.Add("ttyACM0", true);
    tree.Add("ttyUSB1", false); // no driver bound
    tree.Add("tty1", false);    // a virtual console
    tree.Add("console", false);

    EXPECT_EQ(TConnCOM::EnumerateDevices(false, tree.Sys, tree.Dev),
        (TStringDynArray {"ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));

    // Useable: only a port that opens and that nobody else holds.
    TPty free, held;
    std::filesystem::create_symlink(free.SlavePath(), tree.Dev + "/ttyACM0");
    std::filesystem::create_symlink(held.SlavePath(), tree.Dev + "/ttyUSB0");
    TCommPortDriver holder;
    holder.SetPortName(held.SlavePath());
    ASSERT_TRUE(holder.Connect());
    EXPECT_EQ(TConnCOM::EnumerateDevices(true, tree.Sys, tree.Dev), (TStringDynArray {"ttyACM0"}));

    EXPECT_TRUE(TConnCOM::EnumerateDevices(false, tree.Root + "/absent", tree.Dev).empty());
}

} // namespace
