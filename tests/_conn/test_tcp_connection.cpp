#include "_conn/tcp_connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "_conn/serial_connection.h" // EConvertError
#include "_conn/socket_lib.h"
#include "support/conn_listener.h"
#include "support/wait_until.h"

namespace {

// A TCP peer on the loopback that plays the encoder's side of a serial
// device server: it listens, accepts one client, and reads and writes raw bytes.
class TTcpPeer {
public:
    explicit TTcpPeer(int Family = AF_INET, int Backlog = 4) : FFamily(Family)
    {
        FListen = ::socket(Family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_storage a {};
        socklen_t len;
        if (Family == AF_INET6) {
            auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
            a6->sin6_family = AF_INET6;
            a6->sin6_addr = in6addr_loopback;
            len = sizeof *a6;
        } else {
            auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
            a4->sin_family = AF_INET;
            a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof *a4;
        }
        if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(FListen, Backlog) != 0
            || ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ADD_FAILURE() << "cannot listen on the loopback";
            return;
        }
        FPort = ntohs(Family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    }
    ~TTcpPeer()
    {
        CloseClient();
        StopListening();
    }
    TTcpPeer(const TTcpPeer&) = delete;
    TTcpPeer& operator=(const TTcpPeer&) = delete;

    int Port() const { return FPort; }
    std::string Name() const
    {
        return std::string("tcp://") + (FFamily == AF_INET6 ? "[::1]" : "127.0.0.1") + ":" + std::to_string(FPort);
    }
    void StopListening()
    {
        if (FListen >= 0)
            ::close(FListen);
        FListen = -1;
    }
    bool Accept()
    {
        pollfd p {FListen, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            return false;
        FClient = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
        return FClient >= 0;
    }
    void Write(const std::string& Bytes) const
    {
        std::size_t done = 0;
        while (done < Bytes.size()) {
            const ssize_t w = ::send(FClient, Bytes.data() + done, Bytes.size() - done, MSG_NOSIGNAL);
            if (w <= 0) {
                ADD_FAILURE() << "peer cannot send";
                return;
            }
            done += static_cast<std::size_t>(w);
        }
    }
    std::string Read(std::size_t Count) const
    {
        std::string out;
        while (out.size() < Count) {
            pollfd p {FClient, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                break;
            char buf[4096];
            const ssize_t r = ::recv(FClient, buf, std::min(sizeof buf, Count - out.size()), 0);
            if (r <= 0)
                break;
            out.append(buf, static_cast<std::size_t>(r));
        }
        return out;
    }
    void CloseClient()
    {
        if (FClient >= 0)
            ::close(FClient);
        FClient = -1;
    }
    // Closing with a zero linger time sends a reset instead of a normal close.
    void ResetClient()
    {
        const linger l {1, 0};
        ::setsockopt(FClient, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        CloseClient();
    }

private:
    int FFamily;
    int FListen = -1;
    int FClient = -1;
    int FPort = 0;
};

std::unique_ptr<TConnTCP> MakeConnection(const TListener& L, const std::string& Port)
{
    auto c = std::make_unique<TConnTCP>(false);
    c->SetReconnectTimeout(20);
    c->SetPort(Port);
    c->AddThreadListener(L.Id());
    return c;
}

const Words kOpened = {"Connecting", "Connecting", "Resolving", "Connected"};
const Words kClosedTail = {"Not Connected", "Disconnecting", "Disconnected"};

TEST(TcpConnection, PortNames)
{
    struct Good {
        const char* Name;
        const char* Host;
        const char* Service;
    };
    const Good good[] = {{"tcp://encoder.site:4001", "encoder.site", "4001"}, {"tcp://127.0.0.1:1", "127.0.0.1", "1"},
        {"TCP://[::1]:65535", "::1", "65535"}, {"tcp://[fe80::1%eth0]:23", "fe80::1%eth0", "23"},
        {"tcp://host:080/", "host", "80"}};
    for (const auto& g : good) {
        SCOPED_TRACE(g.Name);
        EXPECT_TRUE(IsTcpPortName(g.Name));
        const TTcpAddress a = ParseTcpPortName(g.Name);
        EXPECT_EQ(a.Host, g.Host);
        EXPECT_EQ(a.Service, g.Service);
    }
    for (const char* bad : {"tcp://host", "tcp://host:", "tcp://:4001", "tcp://host:0", "tcp://host:65536",
             "tcp://host:4x", "tcp://host:123456", "tcp://::1:80", "tcp://[::1]80", "tcp://[::1", "tcp://[]:80",
             "tcp://[host]:80", "tcp://a b:80", "tcp://", "ttyUSB0"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ParseTcpPortName(bad), ESocketLib);
    }
    EXPECT_FALSE(IsTcpPortName("ttyUSB0"));
    EXPECT_FALSE(IsTcpPortName("/dev/tcp"));
}

TEST(TcpConnection, IdentityAndProperties)
{
    TConnTCP c(true);
    EXPECT_EQ(c.Name(), "Conn1_TCP_Client_");
    EXPECT_EQ(c.Ver() & 0xFF, 4u);
    EXPECT_EQ(c.Ver(), 0x104u);
    c.SetProperties({"tcp://h:1", "2500", "700"});
    EXPECT_EQ(c.Port(), "tcp://h:1");
    EXPECT_EQ(PropAsString(c.GetPropS("port")), "tcp://h:1");
    EXPECT_EQ(c.NoDataTimeout(), 2500);
    EXPECT_EQ(c.ConnectTimeout(), 700);
    EXPECT_THROW(c.SetProperties({"tcp://x:2", "abc"}), EConvertError);
    EXPECT_EQ(c.Port(), "tcp://h:1");
}

// Every way a connect can fail ends in its own status and a closed link.
TEST(TcpConnection, FailedConnectSequences)
{
    TTcpPeer closed;
    const std::string refusedName = closed.Name();
    closed.StopListening(); // nothing listens there now

    struct Case {
        const char* Name;
        std::string Port;
        bool Accepted;
        Words Expected;
        const char* ErrorHas;
    };
    const Case cases[] = {
        {"missing port", "tcp://encoder", false, Concat({"Connecting", "Invalid Connection Params"}, kClosedTail),
            "port is missing"},
        {"port out of range", "tcp://encoder:70000", false,
            Concat({"Connecting", "Invalid Connection Params"}, kClosedTail), "outside"},
        {"empty host", "tcp://:4001", false, Concat({"Connecting", "Invalid Connection Params"}, kClosedTail),
            "host is empty"},
        {"nothing listening", refusedName, true,
            Concat({"Connecting", "Connecting", "Resolving", "Unable to Connect", "Connection Refused"}, kClosedTail),
            "refused"},
        {"unresolvable name", "tcp://no-such-encoder.invalid:4001", true,
            Concat({"Connecting", "Connecting", "Resolving", "Unable to Connect", "Socket Error"}, kClosedTail),
            "no-such-encoder.invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TListener l;
        auto conn = MakeConnection(l, c.Port);
        EXPECT_EQ(conn->Connect(), c.Accepted);
        ASSERT_TRUE(WaitWords(l, c.Expected.size())) << testing::PrintToString(l.Statuses());
        // Nothing more comes by itself.
        EXPECT_FALSE(WaitUntil([&] { return l.Statuses().size() > c.Expected.size(); }, 100));
        EXPECT_EQ(l.Statuses(), c.Expected);
        EXPECT_EQ(conn->Connected(), stDisconnected);
        EXPECT_NE(conn->LastError().find(c.ErrorHas), std::string::npos) << conn->LastError();
    }
}

// A connect that the peer never completes is tried again and ends in
// "Connection Timeout", as a serial port that never opens does.
TEST(TcpConnection, UnansweredConnectTimesOut)
{
    // A listener with a full backlog drops further handshakes unanswered.
    TTcpPeer peer(AF_INET, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(peer.Port()));
        // Non-blocking: the handshake goes on without us; only the backlog matters.
        (void)::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(s);
    }
    TListener l;
    auto conn = MakeConnection(l, peer.Name());
    conn->SetConnectAttempts(1);
    conn->SetConnectTimeout(150);
    ASSERT_TRUE(conn->Connect());
    const Words expected = Concat(
        {"Connecting", "Connecting", "Resolving", "Connecting", "Resolving", "Unable to Connect", "Connection Timeout"},
        kClosedTail);
    ASSERT_TRUE(WaitWords(l, expected.size())) << testing::PrintToString(l.Statuses());
    EXPECT_EQ(l.Statuses(), expected);
    for (int s : fillers)
        ::close(s);
}

// The peer going away ends the link once, whether it closes or resets, idle
// or in the middle of a reply; bytes that came before are delivered first.
TEST(TcpConnection, PeerGoesAway)
{
    struct Case {
        const char* Name;
        std::string Before; // sent before the peer goes away
        bool Reset;
    };
    const Case cases[] = {
        {"closes while idle", "", false},
        {"closes mid-reply", "\r\nFFFF\r\n", false},
        {"resets", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTcpPeer peer;
        TListener l;
        auto conn = MakeConnection(l, peer.Name());
        ASSERT_TRUE(conn->Connect());
        ASSERT_TRUE(peer.Accept());
        ASSERT_TRUE(WaitWords(l, kOpened.size()));
        if (!c.Before.empty()) {
            peer.Write(c.Before);
            ASSERT_TRUE(WaitUntil([&] { return l.DataSize() == c.Before.size(); }));
        }
        if (c.Reset)
            peer.ResetClient();
        else
            peer.CloseClient();
        const Words expected = Concat(kOpened, {"Disconnected from Device", "Disconnecting", "Disconnected"});
        ASSERT_TRUE(WaitWords(l, expected.size())) << testing::PrintToString(l.Statuses());
        EXPECT_FALSE(WaitUntil([&] { return l.Statuses().size() > expected.size(); }, 100));
        EXPECT_EQ(l.Statuses(), expected);
        EXPECT_EQ(l.Data(), c.Before);
        EXPECT_EQ(conn->Connected(), stDisconnected);
    }
}

TEST(TcpConnection, TalkBothWaysOverIPv4AndIPv6)
{
    for (int family : {AF_INET, AF_INET6}) {
        SCOPED_TRACE(family == AF_INET ? "IPv4" : "IPv6");
        TTcpPeer peer(family);
        if (peer.Port() == 0)
            continue; // no IPv6 loopback on this machine
        TListener l;
        auto conn = MakeConnection(l, peer.Name());
        ASSERT_TRUE(conn->Connect());
        ASSERT_TRUE(peer.Accept());
        ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
        conn->PushCommand(std::string("PI?\r\n"));
        EXPECT_EQ(peer.Read(5), "PI?\r\n");
        conn->SetBufferedSend(true);
        conn->PushCommand(std::string("PS?\r\n"));
        EXPECT_EQ(peer.Read(5), "PS?\r\n");
        peer.Write("\r\nOK\r\n");
        EXPECT_TRUE(WaitUntil([&] { return l.DataSize() >= 6; }));
        EXPECT_EQ(l.Data(), "\r\nOK\r\n");

        conn->Disconnect(stDisconnecting);
        const Words expected = Concat(kOpened, {"Disconnecting", "Disconnecting", "Disconnected"});
        ASSERT_TRUE(WaitWords(l, expected.size()));
        EXPECT_EQ(l.Statuses(), expected);
        // The peer sees the close.
        EXPECT_EQ(peer.Read(1), "");
        EXPECT_TRUE(l.InOrder());
    }
}

TEST(TcpConnection, ReceivedBytesArriveOnceAndInOrder)
{
    const std::pair<std::size_t, std::size_t> cases[] = {{1, 300}, {7, 5000}, {4096, 65536}, {65536, 1u << 20}};
    for (const auto& [chunk, total] : cases) {
        SCOPED_TRACE(std::to_string(chunk) + " byte chunks");
        std::string payload(total, '\0');
        for (std::size_t i = 0; i < total; ++i)
            payload[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        TTcpPeer peer;
        TListener l;
        auto conn = MakeConnection(l, peer.Name());
        ASSERT_TRUE(conn->Connect());
        ASSERT_TRUE(peer.Accept());
        ASSERT_TRUE(WaitUntil([&] { return conn->Connected() == stConnected; }));
        for (std::size_t off = 0; off < total; off += chunk)
            peer.Write(payload.substr(off, chunk));
        EXPECT_TRUE(WaitUntil([&, want = total] { return l.DataSize() >= want; }, 30000));
        EXPECT_TRUE(l.Data() == payload) << "received " << l.DataSize() << " of " << total;
        EXPECT_TRUE(l.InOrder());
    }
}

} // namespace
