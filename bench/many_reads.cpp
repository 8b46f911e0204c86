// Many encoders read at once: N simulated encoders, each behind a paced line
// (kvxsim --baud, default 9600 bit/s), each read by a kvxctl process of its
// own, all started together. The time from the first start to the last exit,
// for a small and a large fleet (default 20 and 200), taking turns round after
// round, and the large over the small. Beside it the CPU the processes used
// per read (kvxctl and kvxsim together, from the children's accounting, and
// the simulators' share of it) and
// the simulators' worst lateness of a byte, which shows a machine too busy to
// keep the lines' pace. The load average at the start and the end.
//
// Usage: many_reads [ROUNDS [RATE [SMALL LARGE]]] (default 3 9600 20 200)

#include "bench_support.h"
#include "support/kvxsim_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct TRound {
    double Ms = 0;       // first start to last exit
    int Failed = 0;      // reads that did not end with 0
    double CpuMs = 0;    // per read, kvxctl and kvxsim
    double SimCpuMs = 0; // per read, of that the simulator
    double LateMs = 0;   // the simulators' worst lateness
    double MedianMs = 0; // one read's own time, median
};

TRound ReadAtOnce(int Count, const std::string& Rate, const std::string& Kvxctl)
{
    TRound R;
    std::vector<std::unique_ptr<TKvxsim>> Sims;
    for (int i = 0; i < Count; ++i) {
        auto S = std::make_unique<TKvxsim>();
        if (!S->Start({"--baud", Rate})) {
            std::fprintf(stderr, "cannot start kvxsim %d\n", i);
            ++R.Failed;
            continue;
        }
        Sims.push_back(std::move(S));
    }
    const double Cpu0 = bench::CpuMs(RUSAGE_CHILDREN);
    posix_spawn_file_actions_t A;
    posix_spawn_file_actions_init(&A);
    posix_spawn_file_actions_addopen(&A, 1, "/dev/null", O_WRONLY, 0);
    std::vector<pid_t> Pids;
    std::vector<Clock::time_point> Started;
    const auto T0 = Clock::now();
    for (const auto& S : Sims) {
        const std::string Port = S->Path();
        const char* Argv[] = {Kvxctl.c_str(), "--port", Port.c_str(), "read", nullptr};
        pid_t Pid = -1;
        if (posix_spawn(&Pid, Kvxctl.c_str(), &A, nullptr, const_cast<char* const*>(Argv), environ) == 0) {
            Pids.push_back(Pid);
            Started.push_back(Clock::now());
        } else
            ++R.Failed;
    }
    posix_spawn_file_actions_destroy(&A);
    std::vector<double> Own;
    for (std::size_t Left = Pids.size(); Left > 0; --Left) {
        int Status = 0;
        const pid_t Pid = ::waitpid(-1, &Status, 0);
        if (Pid < 0)
            break;
        for (std::size_t i = 0; i < Pids.size(); ++i)
            if (Pids[i] == Pid)
                Own.push_back(std::chrono::duration<double, std::milli>(Clock::now() - Started[i]).count());
        if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
            ++R.Failed;
    }
    R.Ms = std::chrono::duration<double, std::milli>(Clock::now() - T0).count();
    R.MedianMs = bench::Median(Own);
    const double Cpu1 = bench::CpuMs(RUSAGE_CHILDREN); // the kvxctl processes are reaped, the simulators not yet
    const std::regex Late("latest byte ([0-9.]+) ms");
    for (auto& S : Sims) {
        S->Stop();
        std::smatch M;
        if (std::regex_search(S->ErrorOutput(), M, Late))
            R.LateMs = std::max(R.LateMs, std::stod(M[1]));
    }
    R.CpuMs = (bench::CpuMs(RUSAGE_CHILDREN) - Cpu0) / static_cast<double>(Count);
    R.SimCpuMs = (bench::CpuMs(RUSAGE_CHILDREN) - Cpu1) / static_cast<double>(Count);
    return R;
}

} // namespace

namespace {

int Run(int argc, char** argv)
{
    const int Rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::string Rate = argc > 2 ? argv[2] : "9600";
    const int Small = argc > 4 ? std::atoi(argv[3]) : 20;
    const int Large = argc > 4 ? std::atoi(argv[4]) : 200;
    const std::string Kvxctl = bench::SelfDir() + "/../tools/kvxctl/kvxctl";

    std::printf("load average at the start: %s\n", bench::LoadAverage().c_str());
    std::printf("%d and %d encoders on %s bit/s lines, each read by its own kvxctl, all at once; %d rounds\n", Small,
        Large, Rate.c_str(), Rounds);
    std::printf("  %-6s %-9s %12s %14s %14s %14s %12s %8s\n", "round", "encoders", "all done", "one read", "CPU a read",
        "of it kvxsim", "worst late", "failed");
    std::vector<double> Ratios;
    for (int r = 0; r < Rounds; ++r) {
        // Each round starts with the other size.
        const int First = r % 2 ? Large : Small, Second = r % 2 ? Small : Large;
        const TRound A = ReadAtOnce(First, Rate, Kvxctl);
        const TRound B = ReadAtOnce(Second, Rate, Kvxctl);
        for (const auto& [N, R] : {std::pair {First, A}, std::pair {Second, B}})
            std::printf("  %-6d %-9d %9.0f ms %11.0f ms %11.1f ms %11.1f ms %9.2f ms %8d\n", r + 1, N, R.Ms, R.MedianMs,
                R.CpuMs, R.SimCpuMs, R.LateMs, R.Failed);
        const double SmallMs = First == Small ? A.Ms : B.Ms, LargeMs = First == Large ? A.Ms : B.Ms;
        Ratios.push_back(LargeMs / SmallMs);
    }
    std::printf("%d over %d encoders, time until all are read: median %.2f (", Large, Small, bench::Median(Ratios));
    for (std::size_t i = 0; i < Ratios.size(); ++i)
        std::printf("%s%.2f", i ? ", " : "", Ratios[i]);
    std::printf(")\nload average at the end: %s\n", bench::LoadAverage().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "many_reads: %s\n", E.what());
        return 1;
    }
}
