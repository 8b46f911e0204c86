// What the engine costs while nothing happens, beside a bare poll() on the same
// port for the same time:
//   - a connected device (serial connection over a pseudo-terminal, OK/NO
//     framing) with its loader idle;
//   - a loader state waiting for a reply that never comes;
//   - a list state (the write script's) waiting for a reply that never comes.
// Wake-ups are the voluntary plus involuntary context switches of the whole
// process (getrusage), CPU time its user plus system time; the main thread
// serves hand-overs the way the window does, sleeping until one is queued.
//
// Usage: idle_cost [seconds per case, default 10]

#include "bench_support.h"
#include "dialogue/device_factory.h"
#include "dialogue/loader_step.h"
#include "support/pty.h"
#include "support/wait_until.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Snapshot {
    Clock::time_point Wall;
    long Switches = 0;                     // voluntary + involuntary, whole process
    double CpuSeconds = 0;                 // user + system, whole process
    std::map<std::string, long> PerThread; // "tid name" -> context switches
};

std::map<std::string, long> ThreadSwitches()
{
    std::map<std::string, long> Out;
    DIR* D = ::opendir("/proc/self/task");
    if (!D)
        return Out;
    while (dirent* E = ::readdir(D)) {
        if (E->d_name[0] == '.')
            continue;
        const std::string Base = std::string("/proc/self/task/") + E->d_name;
        std::ifstream Comm(Base + "/comm");
        std::string Name;
        std::getline(Comm, Name);
        std::ifstream Status(Base + "/status");
        std::string Line;
        long N = 0;
        while (std::getline(Status, Line))
            if (Line.rfind("voluntary_ctxt_switches:", 0) == 0 || Line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                N += std::atol(Line.substr(Line.find(':') + 1).c_str());
        Out[std::string(E->d_name) + " " + Name] = N;
    }
    ::closedir(D);
    return Out;
}

Snapshot Take()
{
    Snapshot S;
    S.Switches = bench::Switches();
    S.CpuSeconds = bench::CpuMs() / 1000.0;
    S.PerThread = ThreadSwitches();
    S.Wall = Clock::now();
    return S;
}

struct Result {
    std::string Case;
    double Seconds = 0;
    double WakeupsPerSecond = 0;
    double CpuPercent = 0;
    double HandOversPerSecond = 0;
    std::vector<std::string> Threads;
};

Result Compare(const std::string& Case, const Snapshot& A, const Snapshot& B, long HandOvers)
{
    Result R;
    R.Case = Case;
    R.Seconds = std::chrono::duration<double>(B.Wall - A.Wall).count();
    R.WakeupsPerSecond = static_cast<double>(B.Switches - A.Switches) / R.Seconds;
    R.CpuPercent = 100.0 * (B.CpuSeconds - A.CpuSeconds) / R.Seconds;
    R.HandOversPerSecond = static_cast<double>(HandOvers) / R.Seconds;
    for (const auto& [Key, N] : B.PerThread) {
        const auto It = A.PerThread.find(Key);
        const long D = N - (It == A.PerThread.end() ? 0 : It->second);
        if (D > 0) {
            char Buf[160];
            std::snprintf(Buf, sizeof Buf, "%-28s %8.1f/s", Key.c_str(), static_cast<double>(D) / R.Seconds);
            R.Threads.push_back(Buf);
        }
    }
    return R;
}

// Serves hand-overs on the main thread for the given time, sleeping between them.
void Serve(double Seconds)
{
    ServeUntil([] { return false; }, DeadlineIn(static_cast<std::int64_t>(Seconds * 1000)));
}

// The window's part, as far as the dialogue needs it.
struct Window {
    TCustomDevice* Dev = nullptr;
    TLoaderAutomata* Loader = nullptr;
    long HandOvers = 0;

    void Status(TCustomDevice*, TConnStatus) { ++HandOvers; }
    void Data(TCustomDevice*, const void*, std::int32_t, TDataDirection DD, bool& Proceed)
    {
        HandOvers += DD == ddIncoming;
        Proceed = true;
    }
    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        ++HandOvers;
        ForEachPacket(*A, [this](const TBytes& B) { Loader->ReadMessage(&B); });
    }
    void LoaderStatus(TLoaderAutomata*) { ++HandOvers; }
    void State(TLoaderAutomata*, TCustomState* S)
    {
        ++HandOvers;
        StepLoaderState(*S, [this](const std::string& M) { Dev->PushCommand(M, true); });
    }
};

void Print(const Result& R)
{
    std::printf("%-34s %6.1f s %10.1f %12.3f %12.1f\n", R.Case.c_str(), R.Seconds, R.WakeupsPerSecond, R.CpuPercent,
        R.HandOversPerSecond);
}

} // namespace

int main(int argc, char** argv)
{
    const double Seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    TThread::SetMainThread();

    TPty Pty;
    const std::string& Slave = Pty.SlavePath();
    if (Slave.empty()) {
        std::fprintf(stderr, "cannot create a pseudo-terminal\n");
        return 1;
    }
    std::vector<Result> Results;

    // Baseline: the same port, opened and polled by hand.
    {
        const int Fd = OpenRawTerminal(Slave, O_NONBLOCK);
        const Snapshot A = Take();
        const auto End = A.Wall + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Seconds));
        for (auto Now = Clock::now(); Now < End; Now = Clock::now()) {
            pollfd P {Fd, POLLIN, 0};
            ::poll(
                &P, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(End - Now).count()) + 1);
        }
        Results.push_back(Compare("bare poll() on the port", A, Take(), 0));
        ::close(Fd);
    }

    Window W;
    bool Ok = true;
    {
        const auto Device = NewEncoderDevice(Slave);
        TCustomDevice& D = *Device;
        TLoaderAutomata L;
        W.Dev = &D;
        W.Loader = &L;
        D.SetOnDeviceStatus(TDeviceStatusEvent(&W, &Window::Status));
        D.SetOnDevicePacket(TDevicePacketEvent(&W, &Window::Packet));
        D.SetOnDeviceData(TDeviceQueryDataEvent(&W, &Window::Data));
        L.AddState(new TKVXState(100, "PI", "", 0));
        L.AddState(new TKVXState(101, "PS", "", 0));
        L.AddState(new TKVXStateList(200));
        L.SetOnState(TLoaderMessageEvent(&W, &Window::State));
        L.SetOnStatus(TLoaderNotifyEvent(&W, &Window::LoaderStatus));
        D.Connect();
        if (!ServeUntil([&] { return D.Connected(); })) {
            std::fprintf(stderr, "cannot connect to the pseudo-terminal\n");
            return 1;
        }
        Serve(0.5); // the connect's statuses are handed over and done with

        // Connected, loader idle.
        long H0 = W.HandOvers;
        Snapshot A = Take();
        Serve(Seconds);
        Results.push_back(Compare("idle connected device + loader", A, Take(), W.HandOvers - H0));

        // A state that sent its command and waits; the peer never answers.
        struct WaitCase {
            const char* Name;
            std::int32_t State;
            TInnerState Waiting;
        };
        for (const WaitCase& Case : {WaitCase {"state waiting for a missing reply", 100, isWait},
                 WaitCase {"list state waiting for a reply", 200, isParse}}) {
            L.SetActive(false);
            L.Clear();
            L.Reset();
            static_cast<TKVXStateList*>(L.FindState(200))->SetMessageList({new TMsgChange {"PS=RADIO", ""}});
            L.SetActiveState(Case.State);
            L.SetActive(true);
            auto Waits = [&] { return L.CurrentState() && L.CurrentState()->InnerState() == Case.Waiting; };
            ServeUntil(Waits);
            Serve(0.2);
            Ok = Ok && Waits();
            H0 = W.HandOvers;
            A = Take();
            Serve(Seconds);
            Results.push_back(Compare(Case.Name, A, Take(), W.HandOvers - H0));
            Ok = Ok && L.Active() && Waits() && L.CurrentState() == L.FindState(Case.State);
        }

        L.SetActive(false);
        L.TerminateAndWait();
        D.Disconnect();
    }

    std::printf("%-34s %8s %10s %12s %12s\n", "case", "time", "wakeups/s", "CPU % core", "hand-overs/s");
    for (const Result& R : Results)
        Print(R);
    const Result& Base = Results[0];
    for (std::size_t i = 1; i < Results.size(); ++i)
        std::printf("%s: %.1f wake-ups/s more than the bare poll(), %.3f %% of a core more\n", Results[i].Case.c_str(),
            Results[i].WakeupsPerSecond - Base.WakeupsPerSecond, Results[i].CpuPercent - Base.CpuPercent);
    std::printf("\nper thread (context switches per second):\n");
    for (const Result& R : Results) {
        std::printf("  %s\n", R.Case.c_str());
        for (const std::string& T : R.Threads)
            std::printf("    %s\n", T.c_str());
    }
    if (!Ok) {
        std::fprintf(stderr, "a waiting state did not stay waiting\n");
        return 1;
    }
    return 0;
}
