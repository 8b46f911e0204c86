// One command's round trip through loader + device + serial connection, beside
// the plain round trip of the same bytes over the same kind of pseudo-terminal.
// A peer thread on the master side answers every command line at once.

#include "_conn/device.h"
#include "_conn/ok_no_automaton.h"
#include "_conn/serial_connection.h"
#include "dialogue/loader_automaton.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Commands = 33;
const std::string Reply = "1234\r\nOK\r\n";

class TPeer {
public:
    TPeer()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(FMaster);
        ::unlockpt(FMaster);
        char Name[128] = {};
        ::ptsname_r(FMaster, Name, sizeof Name);
        FSlave = Name;
        termios T {};
        ::tcgetattr(FMaster, &T);
        ::cfmakeraw(&T);
        ::tcsetattr(FMaster, TCSANOW, &T);
        FThread = std::thread([this] { Run(); });
    }
    ~TPeer()
    {
        FStop = true;
        FThread.join();
        ::close(FMaster);
    }
    const std::string& Slave() const { return FSlave; }

private:
    void Run()
    {
        std::string Line;
        while (!FStop) {
            pollfd P {FMaster, POLLIN, 0};
            if (::poll(&P, 1, 20) <= 0 || !(P.revents & POLLIN))
                continue;
            char Buf[256];
            const ssize_t N = ::read(FMaster, Buf, sizeof Buf);
            if (N <= 0)
                continue;
            Line.append(Buf, static_cast<std::size_t>(N));
            std::size_t End;
            while ((End = Line.find("\r\n")) != std::string::npos) {
                Line.erase(0, End + 2);
                if (::write(FMaster, Reply.data(), Reply.size()) < 0)
                    return;
            }
        }
    }
    int FMaster = -1;
    std::string FSlave;
    std::atomic<bool> FStop {false};
    std::thread FThread;
};

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

// The same bytes written to and read from the slave directly.
std::vector<double> RawRoundTrips(const std::string& Slave)
{
    std::vector<double> Out;
    const int Fd = ::open(Slave.c_str(), O_RDWR | O_NOCTTY);
    termios T {};
    ::tcgetattr(Fd, &T);
    ::cfmakeraw(&T);
    ::tcsetattr(Fd, TCSANOW, &T);
    for (int i = 0; i < Commands; ++i) {
        const auto Start = Clock::now();
        if (::write(Fd, "PI?\r\n", 5) != 5)
            break;
        std::string Got;
        while (Got.size() < 6 || Got.compare(Got.size() - 6, 6, "\r\nOK\r\n") != 0) {
            pollfd P {Fd, POLLIN, 0};
            ::poll(&P, 1, 1000);
            char Buf[64];
            const ssize_t N = ::read(Fd, Buf, sizeof Buf);
            if (N > 0)
                Got.append(Buf, static_cast<std::size_t>(N));
        }
        Out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - Start).count());
    }
    ::close(Fd);
    return Out;
}

struct Window {
    TCustomDevice* Dev = nullptr;
    TLoaderAutomata* Loader = nullptr;
    Clock::time_point Sent;
    std::vector<double> Times;

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
        auto* K = static_cast<TKVXState*>(S);
        switch (S->InnerState()) {
        case isInit:
            S->Advance();
            break;
        case isSend:
            Sent = Clock::now();
            Dev->PushCommand(K->Msg(), true);
            S->Advance();
            break;
        case isWait:
            if (!K->Response().empty())
                S->Advance();
            break;
        case isParse:
            Times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - Sent).count());
            S->Advance();
            break;
        case isNext:
            break;
        }
    }
};

} // namespace

int main()
{
    TThread::SetMainThread();
    TPeer Peer;
    const std::vector<double> Raw = RawRoundTrips(Peer.Slave());

    Window W;
    std::vector<double> Through;
    {
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
        const auto Limit = Clock::now() + std::chrono::seconds(10);
        while (!D.Connected() && Clock::now() < Limit)
            TThread::CheckSynchronize(5);
        if (!D.Connected()) {
            std::fprintf(stderr, "cannot connect to the pseudo-terminal\n");
            return 1;
        }
        for (int i = 0; i < Commands; ++i)
            L.AddState(new TKVXState(i, "PI", "", 0));
        L.SetOnState(TLoaderMessageEvent(&W, &Window::State));
        L.Clear();
        L.Reset();
        L.SetActive(true);
        const auto End = Clock::now() + std::chrono::seconds(60);
        while (L.Active() && Clock::now() < End)
            TThread::CheckSynchronize(5);
        L.Terminate();
        L.WaitFor();
        D.Disconnect();
        Through = W.Times;
    }
    const double MRaw = Median(Raw), MThrough = Median(Through);
    std::printf("commands: %zu through loader+device+connection, %zu raw\n", Through.size(), Raw.size());
    std::printf("median round trip: raw pty %.1f us, through the dialogue %.1f us, ratio %.2f\n", MRaw, MThrough,
        MRaw > 0 ? MThrough / MRaw : 0.0);
    return Through.size() == static_cast<std::size_t>(Commands) ? 0 : 1;
}
