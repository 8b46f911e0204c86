// What the look for other holders of a port costs a connect, with the
// processes this machine runs and then with 1,000 more idle ones (sleep, their
// standard streams on /dev/null): the walk through /proc for one port, the
// whole check (the exclusive open first, then the walk), 16 ports checked in
// one walk beside 16 single checks, and a whole connect of the serial
// connection (Connect to "Connected"). Medians of wall and CPU time, taking
// turns; the load average beside them.
//
// Usage: port_check [IDLE PROCESSES (default 1000)]

#include "_conn/port_holders.h"
#include "_conn/serial_connection.h"
#include "bench_support.h"
#include "support/conn_listener.h"
#include "support/pty.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double ThreadCpuMs()
{
    timespec T {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) * 1000.0 + static_cast<double>(T.tv_nsec) / 1e6;
}

struct TCost {
    std::vector<double> Wall, Cpu;
    void Add(const std::function<void()>& Fn)
    {
        const double C0 = ThreadCpuMs();
        const auto T0 = Clock::now();
        Fn();
        Wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - T0).count());
        Cpu.push_back(ThreadCpuMs() - C0);
    }
};

int CountProcesses()
{
    int N = 0;
    DIR* Proc = ::opendir("/proc");
    while (const dirent* P = Proc ? ::readdir(Proc) : nullptr)
        N += P->d_name[0] >= '0' && P->d_name[0] <= '9';
    if (Proc)
        ::closedir(Proc);
    return N;
}

// Idle processes that live until this object goes.
class TIdle {
public:
    explicit TIdle(int Count)
    {
        posix_spawn_file_actions_t A;
        posix_spawn_file_actions_init(&A);
        for (int Fd = 0; Fd <= 2; ++Fd)
            posix_spawn_file_actions_addopen(&A, Fd, "/dev/null", O_RDWR, 0);
        const char* Argv[] = {"sleep", "3600", nullptr};
        for (int i = 0; i < Count; ++i) {
            pid_t Pid = -1;
            if (posix_spawnp(&Pid, "sleep", &A, nullptr, const_cast<char* const*>(Argv), environ) == 0)
                FPids.push_back(Pid);
        }
        posix_spawn_file_actions_destroy(&A);
    }
    ~TIdle()
    {
        for (pid_t P : FPids)
            ::kill(P, SIGTERM);
        for (pid_t P : FPids)
            ::waitpid(P, nullptr, 0);
    }
    TIdle(const TIdle&) = delete;
    TIdle& operator=(const TIdle&) = delete;

private:
    std::vector<pid_t> FPids;
};

enum { cWalk, cCheck, cMany, cSingles, cConnect, Cases };
const char* const CaseNames[Cases] = {"walk for one port", "whole check of one port", "16 ports, one walk",
    "16 ports, 16 checks", "whole connect (to Connected)"};

void Measure(std::vector<TCost>& Costs, const std::vector<std::unique_ptr<TPty>>& Ptys)
{
    std::vector<std::string> Paths;
    Paths.reserve(Ptys.size());
    for (const auto& P : Ptys)
        Paths.push_back(P->SlavePath());
    const std::string& One = Paths.front();
    Costs[cWalk].Add([&] { (void)FindPortHolders(One); });
    Costs[cCheck].Add([&] { (void)TConnCOM::CheckPort(One); });
    Costs[cMany].Add([&] { (void)TConnCOM::CheckPorts(Paths); });
    Costs[cSingles].Add([&] {
        for (const std::string& P : Paths)
            (void)TConnCOM::CheckPort(P);
    });
    TListener L;
    TConnCOM Conn(false);
    Conn.AddThreadListener(L.Id());
    Conn.SetPort(One);
    Costs[cConnect].Add([&] {
        Conn.Connect();
        L.WaitFor([](const Words& W, const std::string&) { return !W.empty() && W.back() == "Connected"; });
    });
    Conn.Disconnect(stDisconnecting);
    L.WaitFor([](const Words& W, const std::string&) { return W.back() == "Disconnected"; });
}

void Print(const char* Title, int Processes, const std::vector<TCost>& Costs)
{
    std::printf("%s: %d processes\n", Title, Processes);
    std::printf("  %-30s %12s %12s\n", "", "wall", "CPU");
    for (int c = 0; c < Cases; ++c)
        std::printf("  %-30s %9.3f ms %9.3f ms\n", CaseNames[c], bench::Median(Costs[static_cast<std::size_t>(c)].Wall),
            bench::Median(Costs[static_cast<std::size_t>(c)].Cpu));
}

} // namespace

int main(int argc, char** argv)
{
    const int Extra = argc > 1 ? std::atoi(argv[1]) : 1000;
    std::vector<std::unique_ptr<TPty>> Ptys;
    Ptys.reserve(16);
    for (int i = 0; i < 16; ++i)
        Ptys.push_back(std::make_unique<TPty>());
    std::printf("load average at the start: %s\n", bench::LoadAverage().c_str());
    constexpr int Rounds = 5, Runs = 10;
    std::vector<TCost> Alone(Cases), Crowded(Cases);
    int Before = 0, With = 0;
    // The two situations take turns, so that both see the same load.
    for (int r = 0; r < Rounds; ++r) {
        Before = CountProcesses();
        for (int i = 0; i < Runs; ++i)
            Measure(Alone, Ptys);
        TIdle Idle(Extra);
        With = CountProcesses();
        for (int i = 0; i < Runs; ++i)
            Measure(Crowded, Ptys);
    }
    Print("as the machine runs", Before, Alone);
    Print("with the idle processes", With, Crowded);
    const double PerProcess = (bench::Median(Crowded[cWalk].Cpu) - bench::Median(Alone[cWalk].Cpu))
        / static_cast<double>(With - Before) * 1000.0;
    std::printf("the walk's CPU per process: %.1f us\n", PerProcess);
    std::printf("load average at the end: %s\n", bench::LoadAverage().c_str());
    return 0;
}
