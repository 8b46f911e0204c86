#pragma once
// What the benchmarks share: where they find the programs built beside them,
// medians, the process's CPU time and context switches, the load average, and
// a view of the encoder dialogue that shows nothing.

#include "dialogue/dialogue_view.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <limits.h>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {

inline std::string Dir(const std::string& Path)
{
    const auto Slash = Path.rfind('/');
    return Slash == std::string::npos ? "." : Path.substr(0, Slash);
}

// The folder of this program file (build/bench).
inline std::string SelfDir()
{
    char Buf[PATH_MAX] = {};
    const ssize_t N = ::readlink("/proc/self/exe", Buf, sizeof Buf - 1);
    return N > 0 ? Dir(std::string(Buf, static_cast<std::size_t>(N))) : ".";
}

// The folder of the benchmark sources: where the Python baselines are.
inline std::string SourceDir(const char* File)
{
    const std::string F = File;
    return Dir(F[0] == '/' ? F : SelfDir() + "/" + F);
}

inline double Median(std::vector<double> V)
{
    if (V.empty())
        return 0;
    std::sort(V.begin(), V.end());
    return V.size() % 2 ? V[V.size() / 2] : (V[V.size() / 2 - 1] + V[V.size() / 2]) / 2;
}

// User plus system time so far, in ms: of the whole process, or with
// RUSAGE_CHILDREN of the children it waited for.
inline double CpuMs(int Who = RUSAGE_SELF)
{
    rusage U {};
    ::getrusage(Who, &U);
    return static_cast<double>(U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1000.0
        + static_cast<double>(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1000.0;
}

// Context switches of the whole process so far, voluntary and not.
inline long Switches()
{
    rusage U {};
    ::getrusage(RUSAGE_SELF, &U);
    return U.ru_nvcsw + U.ru_nivcsw;
}

// "1.23 1.10 0.98": the machine's load over 1, 5 and 15 minutes.
inline std::string LoadAverage()
{
    double L[3] = {};
    if (::getloadavg(L, 3) != 3)
        return "unknown";
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.2f %.2f %.2f", L[0], L[1], L[2]);
    return Buf;
}

// A front end that shows nothing and answers every question with Answer;
// errors go to stderr.
struct TNullView : IDialogueView {
    TQuestionAnswer Answer = qaCancel;

    void ClearEditor() override { }
    void SetEditorEnabled(bool) override { }
    void PopulateEditor(const TBRDSDataValidator&) override { }
    void CollectEditor(TBRDSDataValidator&) override { }
    void SetLabel(TDialogueLabel, const std::string&) override { }
    void ShowStatus(const std::string&, std::uint32_t, std::uint32_t, bool) override { }
    void ShowError(const std::string& Msg) override { std::fprintf(stderr, "error: %s\n", Msg.c_str()); }
    TQuestionAnswer AskYesNoCancel(const std::string&) override { return Answer; }
    void ResetTitle() override { }
    void SelectManualSynchronization() override { }
    void ProcessMessages() override { }
};

} // namespace bench
