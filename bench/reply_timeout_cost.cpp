// What the reply time-out costs while nothing comes, measured side by side
// in one run against the simulated encoder (kvxsim on a pseudo-terminal):
//   - a dialogue connected and idle after its read (time-out 5 s, nothing armed);
//   - a dialogue waiting for a reply that never comes, without a time-out;
//   - the same wait with a 60 s time-out armed.
// Wake-ups are the context switches of the whole process (getrusage) and of
// the deadline timer's thread (/proc); CPU time is user plus system time. The
// main thread serves hand-overs as the window does, sleeping until one comes.
//
// Usage: reply_timeout_cost [seconds per case, default 10]

#include "bench_support.h"
#include "dialogue/encoder_dialogue.h"
#include "platform/thread.h"
#include "support/kvxsim_process.h"
#include "support/wait_until.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

struct TSample {
    Clock::time_point Wall;
    long Switches = 0;
    long TimerSwitches = 0;
    double Cpu = 0;
};

long TimerThreadSwitches()
{
    long N = 0;
    if (DIR* D = ::opendir("/proc/self/task")) {
        while (dirent* E = ::readdir(D)) {
            const std::string Base = std::string("/proc/self/task/") + E->d_name;
            std::string Name;
            std::getline(std::ifstream(Base + "/comm"), Name);
            if (Name != "DeadlineTimer")
                continue;
            std::ifstream Status(Base + "/status");
            for (std::string L; std::getline(Status, L);)
                if (L.find("ctxt_switches:") != std::string::npos)
                    N += std::atol(L.substr(L.find(':') + 1).c_str());
        }
        ::closedir(D);
    }
    return N;
}

TSample Take()
{
    TSample S;
    S.Switches = bench::Switches();
    S.Cpu = bench::CpuMs() / 1000.0;
    S.TimerSwitches = TimerThreadSwitches();
    S.Wall = Clock::now();
    return S;
}

// The editor it stands for has the clock set by hand.
struct TView : bench::TNullView {
    TView() { Answer = qaNo; }
    void CollectEditor(TBRDSDataValidator& R) override { R.RTCManual = true; }
};

struct TRow {
    const char* Case;
    double WakeupsPerSecond, TimerWakeups, CpuPercent;
};

TRow Measure(const char* Case, double Seconds)
{
    const TSample A = Take();
    const auto End = A.Wall + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Seconds));
    ServeUntil([] { return false; }, End);
    const TSample B = Take();
    const double S = std::chrono::duration<double>(B.Wall - A.Wall).count();
    return {Case, static_cast<double>(B.Switches - A.Switches) / S,
        static_cast<double>(B.TimerSwitches - A.TimerSwitches), 100.0 * (B.Cpu - A.Cpu) / S};
}

// Connects a dialogue to a new kvxsim and waits until its read ends or stalls at PS?.
bool Connect(TKvxsim& Sim, TEncoderDialogue& D, const std::vector<std::string>& Args, bool Stalls)
{
    if (!Sim.Start(Args))
        return false;
    D.DeviceConnectExecute(Sim.Path());
    if (Stalls)
        return ServeUntil([&] { return !Sim.Log().empty() && Sim.Log().back() == "PS?"; });
    return ServeUntil([&] { return D.LastScriptEnded() == scRead; });
}

} // namespace

int main(int argc, char** argv)
{
    const double Seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    TThread::SetMainThread();
    std::vector<TRow> Rows;
    struct {
        const char* Case;
        std::int64_t Timeout;
        bool Stalls;
    } Cases[] = {
        {"connected, idle, time-out 5 s", 5000, false},
        {"reply awaited, no time-out", 0, true},
        {"reply awaited, time-out 60 s", 60000, true},
    };
    for (const auto& C : Cases) {
        TView V;
        TKvxsim Sim;
        TEncoderDialogue D(V);
        D.SetReplyTimeout(C.Timeout);
        if (!Connect(Sim, D, C.Stalls ? std::vector<std::string> {"--mute", "PS?"} : std::vector<std::string> {},
                C.Stalls)) {
            std::fprintf(stderr, "%s: the simulated encoder did not get that far\n", C.Case);
            return 1;
        }
        TThread::CheckSynchronize(200); // let the last hand-overs settle
        Rows.push_back(Measure(C.Case, Seconds));
        if (D.Failure() != dfNone) {
            std::fprintf(stderr, "%s: the dialogue failed: %s\n", C.Case, D.FailureText().c_str());
            return 1;
        }
    }
    std::printf("%-34s %12s %14s %8s %10s\n", "case", "wake-ups/s", "timer wake-ups", "CPU %", "vs idle");
    for (const TRow& R : Rows)
        std::printf("%-34s %12.2f %14.0f %8.3f %9.2fx\n", R.Case, R.WakeupsPerSecond, R.TimerWakeups, R.CpuPercent,
            Rows[0].WakeupsPerSecond > 0 ? R.WakeupsPerSecond / Rows[0].WakeupsPerSecond : 0.0);
    return 0;
}
