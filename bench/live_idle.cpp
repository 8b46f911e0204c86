// What the now-playing bridge costs while it waits for input, beside the
// encoder dialogue alone, connected and idle, on the same simulated encoder
// (kvxsim, a process of its own) for the same time:
//   - the dialogue alone, its main thread sleeping until a hand-over comes;
//   - the whole bridge: HTTP, TCP, UDP and file inputs open, connected and
//     read, nothing arriving.
// Wake-ups are the voluntary plus involuntary context switches of every
// thread of this process but the one that measures (from /proc/self/task),
// CPU time the time they ran (schedstat, in nanoseconds). The limits for the bridge: 0.1 % of
// a core and 10 wake-ups a second.
//
// Usage: live_idle [seconds per case, default 10]

#include "bench_support.h"
#include "dialogue/encoder_dialogue.h"
#include "live/live_run.h"
#include "platform/thread.h"
#include "support/kvxsim_process.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct TThreadCost {
    long Switches = 0;
    double Cpu = 0;
};

struct TSnapshot {
    Clock::time_point Wall;
    std::map<std::string, TThreadCost> Threads; // "tid name"
};

// Every thread of this process but the caller.
TSnapshot Take()
{
    TSnapshot S;
    const long Self = ::syscall(SYS_gettid);
    DIR* D = ::opendir("/proc/self/task");
    for (dirent* E = D ? ::readdir(D) : nullptr; E; E = ::readdir(D)) {
        if (E->d_name[0] == '.' || std::atol(E->d_name) == Self)
            continue;
        const std::string Base = std::string("/proc/self/task/") + E->d_name;
        std::ifstream Comm(Base + "/comm");
        std::string Name;
        std::getline(Comm, Name);
        TThreadCost C;
        std::ifstream Status(Base + "/status");
        for (std::string L; std::getline(Status, L);)
            if (L.rfind("voluntary_ctxt_switches:", 0) == 0 || L.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                C.Switches += std::atol(L.substr(L.find(':') + 1).c_str());
        // Nanoseconds on a CPU (schedstat), finer than the clock ticks of stat.
        std::ifstream Sched(Base + "/schedstat");
        double Ns = 0;
        Sched >> Ns;
        C.Cpu = Ns / 1e9;
        S.Threads[std::string(E->d_name) + " " + Name] = C;
    }
    if (D)
        ::closedir(D);
    S.Wall = Clock::now();
    return S;
}

struct TResult {
    std::string Case;
    double Seconds = 0;
    double Wakeups = 0; // per second
    double Cpu = 0;     // % of a core
    std::vector<std::string> Threads;
};

TResult Compare(const std::string& Case, const TSnapshot& A, const TSnapshot& B)
{
    TResult R;
    R.Case = Case;
    R.Seconds = std::chrono::duration<double>(B.Wall - A.Wall).count();
    long Switches = 0;
    double Cpu = 0;
    for (const auto& [Key, C] : B.Threads) {
        const auto It = A.Threads.find(Key);
        const TThreadCost Before = It == A.Threads.end() ? TThreadCost {} : It->second;
        Switches += C.Switches - Before.Switches;
        Cpu += C.Cpu - Before.Cpu;
        if (C.Switches > Before.Switches) {
            char Buf[160];
            std::snprintf(Buf, sizeof Buf, "%-24s %8.2f/s", Key.c_str(),
                static_cast<double>(C.Switches - Before.Switches) / R.Seconds);
            R.Threads.push_back(Buf);
        }
    }
    R.Wakeups = static_cast<double>(Switches) / R.Seconds;
    R.Cpu = 100.0 * Cpu / R.Seconds;
    return R;
}

// Measures on a thread of its own while the main thread serves: waits for
// the run to settle, takes a snapshot, waits Seconds, takes another, then
// calls Done.
std::thread Measure(double Seconds, TResult& Out, const std::string& Case, const std::function<void()>& Done)
{
    return std::thread([=, &Out] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const TSnapshot A = Take();
        std::this_thread::sleep_for(std::chrono::duration<double>(Seconds));
        Out = Compare(Case, A, Take());
        Done();
    });
}

void Print(const TResult& R)
{
    std::printf("%-42s %6.1f s %10.2f %12.4f\n", R.Case.c_str(), R.Seconds, R.Wakeups, R.Cpu);
}

} // namespace

int main(int argc, char** argv)
{
    const double Seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    TThread::SetMainThread();
    ::setenv("KVX_LOG", "warn", 1);
    TKvxsim Sim;
    if (!Sim.Start({})) {
        std::fprintf(stderr, "cannot start kvxsim\n");
        return 1;
    }
    std::vector<TResult> Results(2);

    // The dialogue alone, connected and read, then idle.
    {
        bench::TNullView View;
        View.Answer = qaNo;
        TEncoderDialogue D(View);
        D.DeviceConnectExecute(Sim.Path());
        if (!ServeUntil([&] { return D.LastScriptEnded() == scRead; })) {
            std::fprintf(stderr, "the dialogue did not read the encoder\n");
            return 1;
        }
        std::atomic<bool> Done {false};
        std::thread M = Measure(Seconds, Results[0], "encoder dialogue alone, connected, idle",
            [&] { TThread::ForceQueue(nullptr, [&] { Done = true; }); });
        while (!Done)
            TThread::CheckSynchronize(INT_MAX);
        M.join();
        D.DeviceConnectExecute(Sim.Path());
        ServeUntil([&] { return D.LastStatus() == stDisconnected; }, 2000);
    }

    // The whole bridge, every input open, waiting for an update.
    bool Connected = false;
    {
        TTempDir Dir;
        TLiveOptions O;
        ParseLiveOptions(
            {"--port", Sim.Path(), "--http", "0", "--tcp", "0", "--udp", "0", "--file", Dir.File("nowplaying.txt")}, O);
        TLiveStop Stop;
        std::thread M;
        TLiveRunHooks Hooks;
        Hooks.Listening = [&](const std::vector<std::string>&) {
            M = Measure(Seconds, Results[1], "bridge: 4 inputs open, connected, idle", [&] { Stop.Request(); });
        };
        RunLiveBridge(O, Stop, Hooks);
        M.join();
        for (const std::string& L : Sim.Log())
            Connected = Connected || L == "DST?";
    }

    std::printf("%-42s %8s %10s %12s\n", "case", "time", "wakeups/s", "CPU % core");
    for (const TResult& R : Results)
        Print(R);
    const TResult& Base = Results[0];
    const TResult& Bridge = Results[1];
    std::printf("bridge beside the dialogue alone: %+.2f wake-ups/s, %+.4f %% of a core\n",
        Bridge.Wakeups - Base.Wakeups, Bridge.Cpu - Base.Cpu);
    std::printf("bridge against its limits: %.2f of 10 wake-ups/s, %.4f of 0.1 %% of a core: %s\n", Bridge.Wakeups,
        Bridge.Cpu, Bridge.Wakeups <= 10 && Bridge.Cpu <= 0.1 ? "within" : "OVER");
    std::printf("\nper thread (context switches per second):\n");
    for (const TResult& R : Results) {
        std::printf("  %s\n", R.Case.c_str());
        for (const std::string& T : R.Threads)
            std::printf("    %s\n", T.c_str());
    }
    if (!Connected) {
        std::fprintf(stderr, "the bridge did not read the encoder\n");
        return 1;
    }
    return 0;
}
