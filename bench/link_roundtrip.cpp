// Round trip of a short command to a peer that answers each line at once, over
// a pseudo-terminal and over a TCP socket on the loopback: through the serial
// and the TCP connection to a listener thread, each beside the same bytes
// written and read with plain calls on the same kind of descriptor. Then the
// CPU each connected link uses while idle.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "_conn/serial_connection.h"
#include "_conn/tcp_connection.h"
#include "support/conn_listener.h"
#include "support/encoder_peer.h"
#include "support/pty.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kCommand = "PI?\r\n";
const std::string kReply = "\r\nPI=C201\r\nOK\r\n";
constexpr int kWarmup = 100;
constexpr int kRounds = 2000;
constexpr int kIdleSeconds = 5;

std::mutex gDoneLock;
std::condition_variable gDoneChanged;
bool gDone = false;

// The simulated encoder's answer to every command line.
kvxsim::Options Encoder()
{
    kvxsim::Options O;
    O.replies = {{"PI?", kReply}};
    return O;
}

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

double Micros(Clock::duration D)
{
    return std::chrono::duration<double, std::micro>(D).count();
}

// Plain write and read on a descriptor already open to the peer; closes it.
std::vector<double> RawRoundTrips(int fd)
{
    std::vector<double> times;
    if (fd < 0)
        return times;
    char buf[256];
    for (int i = 0; i < kWarmup + kRounds; ++i) {
        const auto t0 = Clock::now();
        if (::write(fd, kCommand.data(), kCommand.size()) != static_cast<ssize_t>(kCommand.size()))
            break;
        std::size_t got = 0;
        while (got < kReply.size()) {
            const ssize_t r = ::read(fd, buf, sizeof buf);
            if (r > 0)
                got += static_cast<std::size_t>(r);
        }
        if (i >= kWarmup)
            times.push_back(Micros(Clock::now() - t0));
    }
    ::close(fd);
    return times;
}

int ConnectLoopback(int Port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(Port));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

double CpuMs()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return (static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0)
        + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// Per thread: name and CPU clock ticks (user + system) from /proc.
std::vector<std::pair<std::string, long>> ThreadTicks()
{
    std::vector<std::pair<std::string, long>> out;
    DIR* d = ::opendir("/proc/self/task");
    if (!d)
        return out;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream f(std::string("/proc/self/task/") + e->d_name + "/stat");
        std::string line;
        std::getline(f, line);
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14)
                utime = std::atol(field.c_str());
            if (i == 15)
                stime = std::atol(field.c_str());
        }
        out.emplace_back(std::string(e->d_name) + " " + line.substr(open + 1, close - open - 1), utime + stime);
    }
    ::closedir(d);
    return out;
}

struct TLinkResult {
    std::vector<double> Raw, Link;
    double IdleCpuMs = 0;
    std::vector<std::pair<std::string, long>> Before, After;
};

// Round trips through a connection that is set up but not connected yet, then
// its idle CPU.
bool MeasureLink(TCustomConnection& Conn, TLinkResult& R)
{
    TListener counter;
    Conn.AddThreadListener(counter.Id());
    const auto Connected = [](const Words& Statuses, const std::string&) {
        return std::find(Statuses.begin(), Statuses.end(), ConnStatusText(stConnected)) != Statuses.end();
    };
    if (!Conn.Connect() || !counter.WaitFor(Connected)) {
        std::fprintf(stderr, "the connection did not connect\n");
        return false;
    }
    std::uint64_t replies = 0;
    for (int i = 0; i < kWarmup + kRounds; ++i) {
        const auto t0 = Clock::now();
        Conn.PushCommand(kCommand);
        ++replies;
        counter.WaitFor(
            [&](const Words&, const std::string& Data) { return Data.size() >= replies * kReply.size(); }, -1);
        if (i >= kWarmup)
            R.Link.push_back(Micros(Clock::now() - t0));
    }
    R.Before = ThreadTicks();
    const double cpu0 = CpuMs();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    R.IdleCpuMs = CpuMs() - cpu0;
    R.After = ThreadTicks();
    Conn.Disconnect(stDisconnecting);
    Conn.Terminate();
    Conn.WaitFor();
    return true;
}

void Print(const char* Raw, const char* Through, const TLinkResult& R)
{
    const double rawMedian = Median(R.Raw), linkMedian = Median(R.Link);
    std::printf("round trip of \"PI?\\r\\n\" (%d rounds, median)\n", kRounds);
    std::printf("  %-30s: %8.1f us\n", Raw, rawMedian);
    std::printf("  %-30s: %8.1f us\n", Through, linkMedian);
    std::printf("  %-30s: %8.2f\n", "ratio", rawMedian > 0 ? linkMedian / rawMedian : 0.0);
    std::printf("connected and idle for %d s: %.1f ms CPU for the whole process (%.3f %% of one core)\n", kIdleSeconds,
        R.IdleCpuMs, R.IdleCpuMs / (kIdleSeconds * 10.0));
    const long hz = ::sysconf(_SC_CLK_TCK);
    for (const auto& [thread, ticks] : R.After) {
        long start = 0;
        for (const auto& [t, b] : R.Before)
            if (t == thread)
                start = b;
        std::printf("  thread %-28s %6.1f ms\n", thread.c_str(),
            static_cast<double>(ticks - start) * 1000.0 / static_cast<double>(hz));
    }
}

} // namespace

int main()
{
    TPty pty;
    const std::string& slave = pty.SlavePath();
    if (slave.empty()) {
        std::fprintf(stderr, "cannot create a pseudo-terminal\n");
        return 1;
    }
    // The master side is raw too, so the peer sees the bytes as sent.
    pty.MakeRaw();

    TLinkResult serial;
    {
        TEncoderPeer peer(pty.Master(), Encoder());
        serial.Raw = RawRoundTrips(OpenRawTerminal(slave));
        if (serial.Raw.empty()) {
            std::fprintf(stderr, "raw round trips failed\n");
            return 1;
        }
        TConnCOM conn(false);
        conn.SetProperties({slave, "30000", "0", "3", "0", "0", "0", "0", "0"});
        if (!MeasureLink(conn, serial))
            return 1;
    }

    // The same over TCP: a listening socket on the loopback whose accepted
    // connections the same peer serves, one at a time.
    TLinkResult tcp;
    {
        const int lis = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (lis < 0 || ::bind(lis, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(lis, 4) != 0
            || ::getsockname(lis, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            std::fprintf(stderr, "cannot listen on the loopback\n");
            return 1;
        }
        const int port = ntohs(a.sin_port);
        const int on = 1;
        {
            const int client = ConnectLoopback(port);
            const int served = ::accept4(lis, nullptr, nullptr, SOCK_CLOEXEC);
            ::setsockopt(served, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            TEncoderPeer peer(served, Encoder());
            tcp.Raw = RawRoundTrips(client);
            if (tcp.Raw.empty()) {
                std::fprintf(stderr, "raw socket round trips failed\n");
                return 1;
            }
        }
        TConnTCP conn(false);
        conn.SetPort("tcp://127.0.0.1:" + std::to_string(port));
        std::thread acceptor([&] {
            const int served = ::accept4(lis, nullptr, nullptr, SOCK_CLOEXEC);
            ::setsockopt(served, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            TEncoderPeer peer(served, Encoder());
            // The peer lives until the link has been measured and closed.
            std::unique_lock lock(gDoneLock);
            gDoneChanged.wait(lock, [] { return gDone; });
            ::close(served);
        });
        const bool ok = MeasureLink(conn, tcp);
        {
            std::lock_guard lock(gDoneLock);
            gDone = true;
        }
        gDoneChanged.notify_all();
        acceptor.join();
        ::close(lis);
        if (!ok)
            return 1;
    }

    Print("plain read/write on the pty", "through TConnCOM + listener", serial);
    Print("plain send/recv on a socket", "through TConnTCP + listener", tcp);
    return 0;
}
