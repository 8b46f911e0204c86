// Reads over a paced line. kvxsim --baud N plays the encoder behind a serial
// line of N bit/s (10 bits a byte, every byte paced both ways) and reports the
// bytes that crossed it and their wire time. For each rate, with a fresh
// simulator for every read and the contenders taking turns round after round:
//   - kvxctl read: the whole process, from its start to its exit;
//   - the in-process read: the encoder dialogue's read script, from the
//     "Connected" status that starts it to its last state;
//   - the python3-serial script: the same 33 commands with blocking calls, from
//     its first write to its last reply (and, for comparison with kvxctl, its
//     whole process);
// each one's time over the wire time of the bytes its read put on the line.
// The in-process read also counts its context switches (all threads).
//
// Usage: wire_read [ROUNDS [RATE...]] (default 5 rounds; 9600 115200 460800)

#include "bench_support.h"
#include "dialogue/encoder_dialogue.h"
#include "platform/serve_until.h"
#include "platform/thread.h"
#include "support/kvxsim_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point T)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - T).count();
}

// The simulator's own account of the line, read when it ends.
struct TLine {
    double WireMs = -1;
    double LateMs = 0;
};

TLine LineReport(TKvxsim& Sim)
{
    Sim.Stop();
    TLine L;
    std::smatch M;
    const std::string& Err = Sim.ErrorOutput();
    if (std::regex_search(Err, M, std::regex("wire time ([0-9.]+) ms, latest byte ([0-9.]+) ms")))
        L = {std::stod(M[1]), std::stod(M[2])};
    return L;
}

// Runs Argv with its output to a pipe; answers the exit status and the output.
int Run(const std::vector<std::string>& Argv, std::string& Out)
{
    int P[2];
    if (::pipe2(P, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t A;
    posix_spawn_file_actions_init(&A);
    posix_spawn_file_actions_adddup2(&A, P[1], 1);
    std::vector<char*> Args;
    Args.reserve(Argv.size() + 1);
    for (const std::string& S : Argv)
        Args.push_back(const_cast<char*>(S.c_str()));
    Args.push_back(nullptr);
    pid_t Pid = -1;
    const int Spawned = posix_spawn(&Pid, Args[0], &A, nullptr, Args.data(), environ);
    posix_spawn_file_actions_destroy(&A);
    ::close(P[1]);
    char Buf[4096];
    ssize_t N;
    while (Spawned == 0 && (N = ::read(P[0], Buf, sizeof Buf)) > 0)
        Out.append(Buf, static_cast<std::size_t>(N));
    ::close(P[0]);
    int Status = -1;
    if (Spawned != 0 || ::waitpid(Pid, &Status, 0) != Pid)
        return -1;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// Notes when the dialogue shows "Connected": its read starts there.
struct TClockView : bench::TNullView {
    Clock::time_point ConnectedAt {};
    void ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool) override
    {
        const std::string Tail = ": Connected";
        if (Text.size() >= Tail.size() && Text.compare(Text.size() - Tail.size(), Tail.size(), Tail) == 0)
            ConnectedAt = Clock::now();
    }
};

struct TResult {
    double Ms = -1;    // the contender's time; negative when it failed
    double WireMs = 0; // the wire time of its bytes
    double LateMs = 0; // the simulator's worst lateness
    long Switches = 0;
};

struct TPrograms {
    std::string Sim, Kvxctl, Script;
};

TResult InProcess(const TPrograms& P, const std::string& Rate)
{
    TResult R;
    TKvxsim Sim;
    if (!Sim.Start({"--baud", Rate}, P.Sim))
        return R;
    {
        TClockView View;
        TEncoderDialogue D(View);
        const long S0 = bench::Switches();
        D.DeviceConnectExecute(Sim.Path());
        if (ServeUntil([&] { return D.LastScriptEnded() == scRead || D.Failure() != dfNone; }, DeadlineIn(60000))
            && D.LastScriptEnded() == scRead)
            R.Ms = std::chrono::duration<double, std::milli>(Clock::now() - View.ConnectedAt).count();
        R.Switches = bench::Switches() - S0;
        D.DeviceConnectExecute(Sim.Path());
        ServeUntil([&] { return D.LastStatus() == stDisconnected; }, DeadlineIn(3000));
    }
    const TLine L = LineReport(Sim);
    R.WireMs = L.WireMs;
    R.LateMs = L.LateMs;
    return R;
}

TResult WholeKvxctl(const TPrograms& P, const std::string& Rate)
{
    TResult R;
    TKvxsim Sim;
    if (!Sim.Start({"--baud", Rate}, P.Sim))
        return R;
    std::string Out;
    const auto T0 = Clock::now();
    if (Run({P.Kvxctl, "--port", Sim.Path(), "read"}, Out) == 0)
        R.Ms = MsSince(T0);
    const TLine L = LineReport(Sim);
    R.WireMs = L.WireMs;
    R.LateMs = L.LateMs;
    return R;
}

// The script's own time, and its whole process's in Whole.
TResult Script(const TPrograms& P, const std::string& Rate, TResult& Whole)
{
    TResult R;
    TKvxsim Sim;
    if (!Sim.Start({"--baud", Rate}, P.Sim))
        return R;
    std::string Out;
    const auto T0 = Clock::now();
    if (Run({"/usr/bin/python3", P.Script, Sim.Path(), "once"}, Out) == 0) {
        Whole.Ms = MsSince(T0);
        R.Ms = std::strtod(Out.c_str(), nullptr);
    }
    const TLine L = LineReport(Sim);
    R.WireMs = Whole.WireMs = L.WireMs;
    R.LateMs = Whole.LateMs = L.LateMs;
    return R;
}

const char* const Names[]
    = {"in-process read", "python3 script", "kvxctl read, whole process", "python3 script, whole process"};
constexpr int Contenders = 4;

} // namespace

int main(int argc, char** argv)
{
    TThread::SetMainThread();
    const int Rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<std::string> Rates;
    for (int i = 2; i < argc; ++i)
        Rates.emplace_back(argv[i]);
    if (Rates.empty())
        Rates = {"9600", "115200", "460800"};
    const std::string Self = bench::SelfDir();
    const TPrograms P {Self + "/../tools/kvxsim/kvxsim", Self + "/../tools/kvxctl/kvxctl",
        bench::SourceDir(__FILE__) + "/read_script.py"};

    std::printf("load average at the start: %s\n", bench::LoadAverage().c_str());
    // Results[rate][contender]: one per round.
    std::map<std::string, std::vector<std::vector<TResult>>> Results;
    for (const std::string& Rate : Rates)
        Results[Rate].resize(Contenders);
    for (int Round = 0; Round < Rounds; ++Round)
        for (const std::string& Rate : Rates) {
            // The contenders take turns, each round starting with another one.
            for (int k = 0; k < 3; ++k) {
                auto& Res = Results[Rate];
                switch ((Round + k) % 3) {
                case 0:
                    Res[0].push_back(InProcess(P, Rate));
                    break;
                case 1: {
                    TResult Whole;
                    Res[1].push_back(Script(P, Rate, Whole));
                    Res[3].push_back(Whole);
                    break;
                }
                default:
                    Res[2].push_back(WholeKvxctl(P, Rate));
                    break;
                }
            }
        }

    std::printf(
        "read script (33 commands) over a paced line, a fresh simulator each read, %d rounds taking turns\n", Rounds);
    std::printf("time over the wire time of the read's bytes (each byte once, 10 bits):\n");
    for (const std::string& Rate : Rates) {
        std::printf("%s bit/s\n", Rate.c_str());
        std::printf("  %-31s %9s %9s %14s %11s %9s\n", "", "ratio", "spread", "time", "wire time", "late");
        for (int c = 0; c < Contenders; ++c) {
            std::vector<double> Ratios, Times, Wires;
            double Late = 0;
            int Failed = 0;
            double Switches = 0;
            for (const TResult& R : Results[Rate][static_cast<std::size_t>(c)]) {
                if (R.Ms < 0 || R.WireMs <= 0) {
                    ++Failed;
                    continue;
                }
                Ratios.push_back(R.Ms / R.WireMs);
                Times.push_back(R.Ms);
                Wires.push_back(R.WireMs);
                Late = std::max(Late, R.LateMs);
                Switches += static_cast<double>(R.Switches);
            }
            if (Ratios.empty()) {
                std::printf("  %-31s failed\n", Names[c]);
                continue;
            }
            const auto [Lo, Hi] = std::minmax_element(Ratios.begin(), Ratios.end());
            std::printf("  %-31s %9.3f %4.2f-%4.2f %11.2f ms %8.2f ms %6.2f ms", Names[c], bench::Median(Ratios), *Lo,
                *Hi, bench::Median(Times), bench::Median(Wires), Late);
            if (c == 0)
                std::printf("  %.0f context switches a read", Switches / static_cast<double>(Ratios.size()));
            if (Failed)
                std::printf("  (%d failed)", Failed);
            std::printf("\n");
        }
    }
    std::printf("late: the simulator's worst lateness of a byte behind its time on the line\n");
    std::printf("load average at the end: %s\n", bench::LoadAverage().c_str());
    return 0;
}
