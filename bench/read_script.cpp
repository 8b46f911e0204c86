// Read-script benchmark: the full read (33 commands) through the encoder
// dialogue against the simulated encoder, median of 50 runs, beside the same
// 33 commands sent by a minimal blocking Python script against the same
// simulator, their ratio, and the context switches each process makes per
// read (all its threads). Then the CPU time an idle connected process spends
// running the 2 s clock refresh for 10 s.
//
// Usage: read_script [KVXSIM [BASELINE.py]] (defaults: found from this program's folder)

#include "bench_support.h"
#include "dialogue/encoder_dialogue.h"
#include "platform/thread.h"
#include "support/kvxsim_process.h"
#include "support/wait_until.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using bench::CpuMs;
using bench::Median;
using bench::Switches;
using bench::TNullView;

int main(int argc, char** argv)
{
    TThread::SetMainThread();
    const std::string Sim = argc > 1 ? argv[1] : bench::SelfDir() + "/../tools/kvxsim/kvxsim";
    const std::string Baseline = argc > 2 ? argv[2] : bench::SourceDir(__FILE__) + "/read_script.py";
    constexpr int Runs = 50;

    TKvxsim Simulator;
    if (!Simulator.Start({}, Sim)) {
        std::fprintf(stderr, "cannot start %s\n", Sim.c_str());
        return 1;
    }
    const std::string Path = Simulator.Path();

    // The machine may be shared: the two sides take turns, a block of runs
    // each, so that both see the same load.
    constexpr int Rounds = 5;
    std::vector<double> Ours, Python;
    double OurSwitches = 0, PythonSwitches = 0;
    double IdleCpu = -1;
    for (int Round = 0; Round < Rounds; ++Round) {
        TNullView View;
        TEncoderDialogue D(View);
        D.DeviceConnectExecute(Path);
        if (!ServeUntil([&] { return D.LastScriptEnded() == scRead; }, 20000)) { // the first read is the warm-up
            std::fprintf(stderr, "the first read did not finish\n");
            return 1;
        }
        for (int i = 0; i < Runs / Rounds; ++i) {
            const long S0 = Switches();
            const auto T0 = std::chrono::steady_clock::now();
            D.StartRead();
            ServeUntil([&] { return D.LastScriptEnded() == scRead || D.Failure() != dfNone; }, NoDeadline);
            Ours.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count());
            OurSwitches += static_cast<double>(Switches() - S0) / Runs;
        }

        if (Round == Rounds - 1) {
            const double Cpu0 = CpuMs();
            const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (auto Tick = std::chrono::steady_clock::now(); Tick < End; Tick += std::chrono::seconds(2)) {
                D.ClockRefreshTick();
                ServeUntil([] { return false; }, std::min(Tick + std::chrono::seconds(2), End));
            }
            IdleCpu = CpuMs() - Cpu0;
        }
        D.DeviceConnectExecute(Path);
        ServeUntil([&] { return D.LastStatus() == stDisconnected; }, 3000);

        const std::string Cmd = "/usr/bin/python3 '" + Baseline + "' '" + Path + "' " + std::to_string(Runs / Rounds);
        if (FILE* F = ::popen(Cmd.c_str(), "r")) {
            char Line[4096];
            if (std::fgets(Line, sizeof Line, F)) {
                char* P = Line;
                char* End = nullptr;
                std::strtod(P, &End); // the median comes first
                for (P = End;; P = End) {
                    const double T = std::strtod(P, &End);
                    if (End == P)
                        break;
                    Python.push_back(T);
                }
            }
            if (std::fgets(Line, sizeof Line, F))
                PythonSwitches += std::strtod(Line, nullptr) / Rounds;
            ::pclose(F);
        }
    }
    Simulator.Stop();

    const double Med = Median(Ours);
    std::printf("read script (33 commands), %d runs each, taking turns in %d blocks:\n", Runs, Rounds);
    std::printf("                          median       best   context switches a read\n");
    std::printf("  encoder dialogue       %8.3f ms %8.3f ms %8.0f\n", Med, *std::min_element(Ours.begin(), Ours.end()),
        OurSwitches);
    if (Python.size() == Ours.size()) {
        const double PMed = Median(Python), PBest = *std::min_element(Python.begin(), Python.end());
        std::printf("  blocking python script %8.3f ms %8.3f ms %8.0f\n", PMed, PBest, PythonSwitches);
        std::printf("  ratio dialogue/python  %8.2f    %8.2f\n", Med / PMed,
            *std::min_element(Ours.begin(), Ours.end()) / PBest);
    } else
        std::printf("  blocking python script  (failed: %s)\n", Baseline.c_str());
    std::printf("idle connected process, 2 s clock refresh for 10 s: %.1f ms CPU (%.3f%% of one core)\n", IdleCpu,
        IdleCpu / 100.0);
    return 0;
}
