// One command's round trip through loader + device + serial connection, beside
// the plain round trip of the same bytes over the same kind of pseudo-terminal.
// The simulated encoder on the master side answers every command line at once.

#include "dialogue/device_factory.h"
#include "dialogue/loader_step.h"
#include "support/encoder_peer.h"
#include "support/pty.h"
#include "support/wait_until.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Commands = 33;

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

// The same bytes written to and read from the slave directly.
std::vector<double> RawRoundTrips(const std::string& Slave)
{
    std::vector<double> Out;
    const int Fd = OpenRawTerminal(Slave);
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
        ForEachPacket(*A, [this](const TBytes& B) { Loader->ReadMessage(&B); });
    }
    void State(TLoaderAutomata*, TCustomState* S)
    {
        const auto Send = [this](const std::string& M) {
            Sent = Clock::now();
            Dev->PushCommand(M, true);
        };
        if (StepLoaderState(*S, Send) == isParse)
            Times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - Sent).count());
    }
};

} // namespace

int main()
{
    TThread::SetMainThread();
    kvxsim::Options Encoder;
    Encoder.replies = {{"PI?", "1234\r\nOK\r\n"}};
    TEncoderPeer Peer(Encoder);
    const std::vector<double> Raw = RawRoundTrips(Peer.Slave());

    Window W;
    std::vector<double> Through;
    {
        const auto Device = NewEncoderDevice(Peer.Slave());
        TCustomDevice& D = *Device;
        TLoaderAutomata L;
        W.Dev = &D;
        W.Loader = &L;
        D.SetOnDevicePacket(TDevicePacketEvent(&W, &Window::Packet));
        D.Connect();
        if (!ServeUntil([&] { return D.Connected(); })) {
            std::fprintf(stderr, "cannot connect to the pseudo-terminal\n");
            return 1;
        }
        for (int i = 0; i < Commands; ++i)
            L.AddState(new TKVXState(i, "PI", "", 0));
        L.SetOnState(TLoaderMessageEvent(&W, &Window::State));
        L.Clear();
        L.Reset();
        L.SetActive(true);
        ServeUntil([&] { return !L.Active(); }, 60000);
        L.TerminateAndWait();
        D.Disconnect();
        Through = W.Times;
    }
    const double MRaw = Median(Raw), MThrough = Median(Through);
    std::printf("commands: %zu through loader+device+connection, %zu raw\n", Through.size(), Raw.size());
    std::printf("median round trip: raw pty %.1f us, through the dialogue %.1f us, ratio %.2f\n", MRaw, MThrough,
        MRaw > 0 ? MThrough / MRaw : 0.0);
    return Through.size() == static_cast<std::size_t>(Commands) ? 0 : 1;
}
