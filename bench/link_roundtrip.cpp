// Round trip of a short command to a peer that answers each line at once
// (the simulated encoder's model on a thread of its own), over a pseudo-
// terminal and over a TCP socket on the loopback:
//   - plain: one thread writes the command and reads the reply with plain
//     calls on its descriptor;
//   - through the connection: the serial or TCP connection reads the reply,
//     and its listener thread, once the reply is whole, sends the next
//     command through the connection, as a client handling its replies does.
// The two take turns in blocks, several rounds, on the same kind of
// descriptor to the same kind of peer; medians, their ratio, and the context
// switches of the whole process per round trip (the peer's included). Then
// the CPU each connected link uses while idle.

#include "_conn/serial_connection.h"
#include "_conn/tcp_connection.h"
#include "bench_support.h"
#include "platform/thread.h"
#include "support/encoder_peer.h"
#include "support/pty.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kCommand = "PI?\r\n";
const std::string kReply = "\r\nPI=C201\r\nOK\r\n";
constexpr int kBlocks = 10;
constexpr int kPerBlock = 300;
constexpr int kIdleSeconds = 5;

// The simulated encoder's answer to every command line.
kvxsim::Options Encoder()
{
    kvxsim::Options O;
    O.replies = {{"PI?", kReply}};
    return O;
}

double Micros(Clock::duration D)
{
    return std::chrono::duration<double, std::micro>(D).count();
}

// Plain write and read on a descriptor open to the peer.
void PlainRoundTrips(int Fd, int Count, std::vector<double>& Times)
{
    char Buf[256];
    for (int i = 0; i < Count; ++i) {
        const auto T0 = Clock::now();
        if (::write(Fd, kCommand.data(), kCommand.size()) != static_cast<ssize_t>(kCommand.size()))
            return;
        std::size_t Got = 0;
        while (Got < kReply.size()) {
            const ssize_t R = ::read(Fd, Buf, sizeof Buf);
            if (R <= 0)
                return;
            Got += static_cast<std::size_t>(R);
        }
        Times.push_back(Micros(Clock::now() - T0));
    }
}

// The connection's listener: when a reply is whole it times the round trip
// and sends the next command, until the block is done.
class TPingPong : public TThread {
public:
    explicit TPingPong(TCustomConnection& Conn) : TThread(true), FConn(Conn)
    {
        Start();
        FReady.wait(false);
        FConn.AddThreadListener(ThreadID());
    }
    ~TPingPong() override
    {
        FConn.AddThreadListener(ThreadID());
        TerminateAndWait();
    }
    TPingPong(const TPingPong&) = delete;
    TPingPong& operator=(const TPingPong&) = delete;

    bool WaitConnected()
    {
        std::unique_lock G(FLock);
        return FChanged.wait_for(G, std::chrono::seconds(10), [&] { return FConnected; });
    }
    // Count round trips, one after the other; their times are added to Times.
    void Run(int Count, std::vector<double>& Times)
    {
        {
            std::lock_guard G(FLock);
            FLeft = Count;
            FTimes = &Times;
            FSent = Clock::now();
        }
        FConn.PushCommand(kCommand);
        std::unique_lock G(FLock);
        FChanged.wait(G, [&] { return FLeft == 0; });
    }

protected:
    void Execute() override
    {
        TMsg M;
        PeekMessage(M, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_NOREMOVE);
        FReady = true;
        FReady.notify_all();
        std::size_t Got = 0;
        while (!Terminated()) {
            WaitMessage(-1, WM_CONN_STATUS, WM_CONN_DATA);
            while (PeekMessage(M, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_REMOVE)) {
                auto* Msg = reinterpret_cast<PInnerMessage>(M.lParam);
                if (M.message == WM_CONN_STATUS && InnerStatus(Msg) == stConnected) {
                    std::lock_guard G(FLock);
                    FConnected = true;
                    FChanged.notify_all();
                } else if (M.message == WM_CONN_DATA)
                    Got += static_cast<std::size_t>(Msg->DataSize);
                InnerMessageDone(Msg);
                if (Got < kReply.size())
                    continue;
                Got -= kReply.size();
                std::unique_lock G(FLock);
                if (FLeft <= 0)
                    continue;
                FTimes->push_back(Micros(Clock::now() - FSent));
                if (--FLeft == 0) {
                    FChanged.notify_all();
                    continue;
                }
                FSent = Clock::now();
                G.unlock();
                FConn.PushCommand(kCommand);
            }
        }
    }
    void TerminatedSet() override { WakeThread(ThreadID()); }

private:
    TCustomConnection& FConn;
    std::atomic<bool> FReady {false};
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FConnected = false;
    int FLeft = 0;
    std::vector<double>* FTimes = nullptr;
    Clock::time_point FSent;
};

struct TResult {
    std::vector<double> Plain, Link;
    double PlainSwitches = 0, LinkSwitches = 0; // per round trip
    double IdleCpuMs = 0;
};

// Plain and through the connection take turns in blocks. Connected runs once
// the connection is.
bool Compare(TCustomConnection& Conn, int PlainFd, TResult& R, const std::function<void()>& Connected = {})
{
    TPingPong Listener(Conn);
    if (!Conn.Connect() || !Listener.WaitConnected()) {
        std::fprintf(stderr, "the connection did not connect\n");
        return false;
    }
    if (Connected)
        Connected();
    std::vector<double> Warm;
    PlainRoundTrips(PlainFd, 100, Warm);
    Listener.Run(100, Warm);
    long PlainSw = 0, LinkSw = 0;
    for (int b = 0; b < kBlocks; ++b) {
        long S0 = bench::Switches();
        PlainRoundTrips(PlainFd, kPerBlock, R.Plain);
        PlainSw += bench::Switches() - S0;
        S0 = bench::Switches();
        Listener.Run(kPerBlock, R.Link);
        LinkSw += bench::Switches() - S0;
    }
    R.PlainSwitches = static_cast<double>(PlainSw) / (kBlocks * kPerBlock);
    R.LinkSwitches = static_cast<double>(LinkSw) / (kBlocks * kPerBlock);
    const double Cpu0 = bench::CpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    R.IdleCpuMs = bench::CpuMs() - Cpu0;
    Conn.Disconnect(stDisconnecting);
    Conn.TerminateAndWait();
    return true;
}

void Print(const char* Plain, const char* Through, const TResult& R)
{
    const double P = bench::Median(R.Plain), L = bench::Median(R.Link);
    std::printf("round trip of \"PI?\\r\\n\" (%d blocks of %d, taking turns; median)\n", kBlocks, kPerBlock);
    std::printf("  %-30s: %8.1f us  %4.1f context switches\n", Plain, P, R.PlainSwitches);
    std::printf("  %-30s: %8.1f us  %4.1f context switches\n", Through, L, R.LinkSwitches);
    std::printf("  %-30s: %8.2f\n", "ratio", P > 0 ? L / P : 0.0);
    std::printf("connected and idle for %d s: %.1f ms CPU for the whole process (%.3f %% of one core)\n", kIdleSeconds,
        R.IdleCpuMs, R.IdleCpuMs / (kIdleSeconds * 10.0));
}

int ConnectLoopback(int Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    A.sin_port = htons(static_cast<std::uint16_t>(Port));
    if (Fd < 0 || ::connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0) {
        if (Fd >= 0)
            ::close(Fd);
        return -1;
    }
    const int On = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
    return Fd;
}

int Accept(int Listening)
{
    const int Fd = ::accept4(Listening, nullptr, nullptr, SOCK_CLOEXEC);
    const int On = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof On);
    return Fd;
}

} // namespace

int main()
{
    std::printf("load average at the start: %s\n", bench::LoadAverage().c_str());
    TResult Serial;
    {
        // Two terminals, each served by its own peer: one for the plain
        // calls, one for the connection.
        TPty PlainPty, LinkPty;
        PlainPty.MakeRaw();
        LinkPty.MakeRaw();
        TEncoderPeer PlainPeer(PlainPty.Master(), Encoder());
        TEncoderPeer LinkPeer(LinkPty.Master(), Encoder());
        const int PlainFd = OpenRawTerminal(PlainPty.SlavePath());
        TConnCOM Conn(false);
        Conn.SetPort(LinkPty.SlavePath());
        Conn.SetLine(TSerialLine {});
        const bool Ok = PlainFd >= 0 && Compare(Conn, PlainFd, Serial);
        ::close(PlainFd);
        if (!Ok)
            return 1;
    }

    TResult Tcp;
    {
        const int Lis = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in A {};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t Len = sizeof A;
        if (Lis < 0 || ::bind(Lis, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || ::listen(Lis, 4) != 0
            || ::getsockname(Lis, reinterpret_cast<sockaddr*>(&A), &Len) != 0) {
            std::fprintf(stderr, "cannot listen on the loopback\n");
            return 1;
        }
        const int Port = ntohs(A.sin_port);
        const int PlainFd = ConnectLoopback(Port);
        const int PlainServed = Accept(Lis);
        TEncoderPeer PlainPeer(PlainServed, Encoder());
        TConnTCP Conn(false);
        Conn.SetPort("tcp://127.0.0.1:" + std::to_string(Port));
        // The connection's socket is accepted once its connect attempt comes.
        int LinkServed = -1;
        std::unique_ptr<TEncoderPeer> LinkPeer;
        std::thread Acceptor([&] {
            LinkServed = Accept(Lis);
            LinkPeer = std::make_unique<TEncoderPeer>(LinkServed, Encoder());
        });
        const bool Ok = Compare(Conn, PlainFd, Tcp, [&] { Acceptor.join(); });
        if (Acceptor.joinable())
            Acceptor.join();
        LinkPeer.reset();
        ::close(LinkServed);
        ::close(PlainFd);
        ::close(PlainServed);
        ::close(Lis);
        if (!Ok)
            return 1;
    }

    Print("plain read/write on the pty", "through TConnCOM + listener", Serial);
    Print("plain send/recv on a socket", "through TConnTCP + listener", Tcp);
    std::printf("load average at the end: %s\n", bench::LoadAverage().c_str());
    return 0;
}
