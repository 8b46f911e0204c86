// A fleet of simulated encoders (default 200, each kvxsim on a terminal of
// its own), read two ways, taking turns round after round: by one
// "kvxctl fleet SITES status --jobs N" (default 32), and by as many separate
// "kvxctl read" processes started at once. For each: the time from the
// start to the last exit and the CPU the kvxctl processes used; for the
// separate reads also the slowest read's own time, and the target the fleet
// run is held to: 1.5 times that plus 1 ms a site.
//
// Then the exporter over the same fleet: once every site has been read, the
// latency of a scrape of /metrics beside that of its small index page, the
// exporter's CPU a scrape, and what it costs while nothing happens (its
// threads' context switches and its CPU time from /proc over a few seconds).
// The load average at the start and the end.
//
// Usage: fleet [ROUNDS [SITES [JOBS [RATE]]]] (default 3 200 32 none); RATE
// paces each terminal as a line of RATE bit/s (kvxsim --baud), "none" does not.

#include "bench_support.h"
#include "support/kvxsim_process.h"
#include "support/tcp_bridge.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point From)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - From).count();
}

double ChildrenCpuMs()
{
    rusage U {};
    ::getrusage(RUSAGE_CHILDREN, &U);
    return static_cast<double>(U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1000.0
        + static_cast<double>(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1000.0;
}

pid_t Spawn(const std::vector<std::string>& Args, bool Quiet)
{
    std::vector<char*> Argv;
    Argv.reserve(Args.size() + 1);
    for (const std::string& A : Args)
        Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t F;
    posix_spawn_file_actions_init(&F);
    posix_spawn_file_actions_addopen(&F, 1, "/dev/null", O_WRONLY, 0);
    if (Quiet)
        posix_spawn_file_actions_addopen(&F, 2, "/dev/null", O_WRONLY, 0);
    pid_t Pid = -1;
    if (posix_spawn(&Pid, Argv[0], &F, nullptr, Argv.data(), environ) != 0)
        Pid = -1;
    posix_spawn_file_actions_destroy(&F);
    return Pid;
}

struct TWay {
    double WallMs = 0;
    double CpuMs = 0;
    double SlowestMs = 0; // separate reads: the slowest one's own time
    int Failed = 0;
};

TWay SeparateReads(const std::string& Kvxctl, const std::vector<std::unique_ptr<TKvxsim>>& Sims)
{
    TWay W;
    const double Cpu0 = ChildrenCpuMs();
    std::vector<pid_t> Pids;
    std::vector<Clock::time_point> Started;
    const auto T0 = Clock::now();
    for (const auto& S : Sims) {
        Pids.push_back(Spawn({Kvxctl, "--port", S->Path(), "read"}, true));
        Started.push_back(Clock::now());
    }
    for (std::size_t Left = Pids.size(); Left > 0; --Left) {
        int Status = 0;
        const pid_t Pid = ::waitpid(-1, &Status, 0);
        if (Pid < 0)
            break;
        for (std::size_t i = 0; i < Pids.size(); ++i)
            if (Pids[i] == Pid)
                W.SlowestMs = std::max(W.SlowestMs, Ms(Started[i]));
        W.Failed += !WIFEXITED(Status) || WEXITSTATUS(Status) != 0;
    }
    W.WallMs = Ms(T0);
    W.CpuMs = ChildrenCpuMs() - Cpu0;
    return W;
}

TWay FleetRun(const std::string& Kvxctl, const std::string& Sites, int Jobs)
{
    TWay W;
    const double Cpu0 = ChildrenCpuMs();
    const auto T0 = Clock::now();
    const pid_t Pid = Spawn({Kvxctl, "fleet", Sites, "status", "--jobs", std::to_string(Jobs)}, false);
    int Status = 0;
    ::waitpid(Pid, &Status, 0);
    W.WallMs = Ms(T0);
    W.CpuMs = ChildrenCpuMs() - Cpu0;
    W.Failed = !WIFEXITED(Status) || WEXITSTATUS(Status) != 0;
    return W;
}

// User and system time of a process so far, in ms, from /proc/PID/stat.
double ProcessCpuMs(pid_t Pid)
{
    std::ifstream F("/proc/" + std::to_string(Pid) + "/stat");
    std::string Text((std::istreambuf_iterator<char>(F)), std::istreambuf_iterator<char>());
    const std::size_t Close = Text.rfind(')');
    if (Close == std::string::npos)
        return 0;
    std::istringstream In(Text.substr(Close + 2));
    std::string Field;
    double Ticks = 0;
    for (int i = 3; i <= 15 && In >> Field; ++i)
        if (i == 14 || i == 15)
            Ticks += std::stod(Field);
    return Ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Context switches of every thread of a process so far, from /proc.
long ProcessSwitches(pid_t Pid)
{
    long Sum = 0;
    const std::string Tasks = "/proc/" + std::to_string(Pid) + "/task";
    DIR* D = ::opendir(Tasks.c_str());
    if (!D)
        return 0;
    while (const dirent* E = ::readdir(D)) {
        if (E->d_name[0] == '.')
            continue;
        std::ifstream F(Tasks + "/" + E->d_name + "/status");
        for (std::string Line; std::getline(F, Line);)
            if (Line.rfind("voluntary_ctxt_switches:", 0) == 0 || Line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                Sum += std::atol(Line.c_str() + Line.find(':') + 1);
    }
    ::closedir(D);
    return Sum;
}

void Exporter(const std::string& Kvxctl, const std::string& Sites, int Count, int Jobs)
{
    const int Port = FreePort();
    const pid_t Pid = Spawn({Kvxctl, "exporter", Sites, "--listen", "127.0.0.1:" + std::to_string(Port), "--interval",
                                "3600", "--jobs", std::to_string(Jobs)},
        true);
    httplib::Client C("127.0.0.1", Port);
    C.set_keep_alive(true);
    // Every site read once.
    const auto T0 = Clock::now();
    std::size_t Up = 0;
    while (Ms(T0) < 120000) {
        const auto R = C.Get("/metrics");
        Up = 0;
        if (R && R->status == 200)
            for (std::size_t At = 0; (At = R->body.find("\nkvx_up{", At)) != std::string::npos; ++At)
                ++Up;
        if (Up == static_cast<std::size_t>(Count))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::printf("exporter: %zu of %d sites read in %.0f ms (--jobs %d)\n", Up, Count, Ms(T0), Jobs);

    // Scrapes of /metrics beside scrapes of the index page, taking turns.
    constexpr int Scrapes = 200;
    std::vector<double> Metrics, Index;
    std::size_t Bytes = 0;
    const double Cpu0 = ProcessCpuMs(Pid);
    for (int i = 0; i < Scrapes; ++i) {
        auto T = Clock::now();
        const auto R = C.Get("/metrics");
        Metrics.push_back(Ms(T));
        Bytes = R ? R->body.size() : 0;
        T = Clock::now();
        (void)C.Get("/");
        Index.push_back(Ms(T));
    }
    const double CpuPerScrape = (ProcessCpuMs(Pid) - Cpu0) / (2.0 * Scrapes);
    auto Worst = [](const std::vector<double>& V) { return *std::max_element(V.begin(), V.end()); };
    std::printf("scrape of /metrics (%zu bytes, %d sites): median %.2f ms, worst %.2f ms; of the index page: median "
                "%.2f ms, worst %.2f ms; ratio of the medians %.2f; the exporter's CPU a scrape %.3f ms\n",
        Bytes, Count, bench::Median(Metrics), Worst(Metrics), bench::Median(Index), Worst(Index),
        bench::Median(Metrics) / bench::Median(Index), CpuPerScrape);
    std::printf("  target: a scrape under 20 ms: %s\n", Worst(Metrics) < 20 ? "met" : "NOT met");

    // Nothing to do until the next round: what does waiting cost?
    C.stop();
    const long Sw0 = ProcessSwitches(Pid);
    const double Idle0 = ProcessCpuMs(Pid);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    std::printf("exporter idle for 5 s between rounds: %ld context switches of all its threads, %.0f ms CPU\n",
        ProcessSwitches(Pid) - Sw0, ProcessCpuMs(Pid) - Idle0);
    ::kill(Pid, SIGTERM);
    int Status = 0;
    ::waitpid(Pid, &Status, 0);
    std::printf("exporter ended with %d on SIGTERM\n", WIFEXITED(Status) ? WEXITSTATUS(Status) : -1);
}

int Run(int argc, char** argv)
{
    const int Rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int Count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const int Jobs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 32;
    const std::string Rate = argc > 4 ? argv[4] : "none";
    const std::string Kvxctl = bench::SelfDir() + "/../tools/kvxctl/kvxctl";

    // A fleet's open ports: a terminal each, and each process's own.
    rlimit L {};
    ::getrlimit(RLIMIT_NOFILE, &L);
    L.rlim_cur = L.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &L);

    std::printf("load average at the start: %s\n", bench::LoadAverage().c_str());
    std::vector<std::unique_ptr<TKvxsim>> Sims;
    for (int i = 0; i < Count; ++i) {
        auto S = std::make_unique<TKvxsim>();
        std::vector<std::string> Args {"--serial", std::to_string(1000 + i)};
        if (Rate != "none")
            Args.insert(Args.end(), {"--baud", Rate});
        if (!S->Start(Args)) {
            std::fprintf(stderr, "cannot start kvxsim %d\n", i);
            return 1;
        }
        Sims.push_back(std::move(S));
    }
    TTempDir Dir("kvxbench");
    {
        // The profile is what a simulator holds from the start, so that every site matches.
        const pid_t Pid = Spawn({Kvxctl, "--port", Sims[0]->Path(), "read", "-o", Dir.File("golden.kvx")}, true);
        int Status = 0;
        ::waitpid(Pid, &Status, 0);
    }
    std::string List = "[defaults]\nprofile = golden.kvx\n";
    for (int i = 0; i < Count; ++i)
        List += "[site" + std::to_string(i) + "]\nport = " + Sims[static_cast<std::size_t>(i)]->Path() + "\n";
    const std::string Sites = Dir.Write("sites.ini", List);

    std::printf("%d encoders (lines %s), read by one kvxctl fleet status --jobs %d and by %d kvxctl read started at "
                "once; %d rounds\n",
        Count, Rate == "none" ? "not paced" : (Rate + " bit/s").c_str(), Jobs, Count, Rounds);
    std::vector<double> WallRatios, CpuRatios, TargetRatios;
    for (int r = 0; r < Rounds; ++r) {
        TWay Separate, Fleet;
        if (r % 2) {
            Fleet = FleetRun(Kvxctl, Sites, Jobs);
            Separate = SeparateReads(Kvxctl, Sims);
        } else {
            Separate = SeparateReads(Kvxctl, Sims);
            Fleet = FleetRun(Kvxctl, Sites, Jobs);
        }
        const double Target = 1.5 * Separate.SlowestMs + Count;
        std::printf(
            "  round %d: separate reads all done in %.0f ms (CPU %.0f ms, the slowest read %.0f ms); fleet %.0f ms "
            "(CPU %.0f ms), its target %.0f ms; failed %d and %d\n",
            r + 1, Separate.WallMs, Separate.CpuMs, Separate.SlowestMs, Fleet.WallMs, Fleet.CpuMs, Target,
            Separate.Failed, Fleet.Failed);
        WallRatios.push_back(Fleet.WallMs / Separate.WallMs);
        CpuRatios.push_back(Fleet.CpuMs / Separate.CpuMs);
        TargetRatios.push_back(Fleet.WallMs / Target);
    }
    std::printf("fleet over separate reads, median: time until all are read %.2f, CPU %.2f; fleet over its target "
                "(1.5 x the slowest read + 1 ms a site) %.2f: %s\n",
        bench::Median(WallRatios), bench::Median(CpuRatios), bench::Median(TargetRatios),
        bench::Median(TargetRatios) <= 1 ? "met" : "NOT met");

    Exporter(Kvxctl, Sites, Count, 8);
    std::printf("load average at the end: %s\n", bench::LoadAverage().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "fleet: %s\n", E.what());
        return 1;
    }
}
