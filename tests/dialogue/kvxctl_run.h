#pragma once
// Runs kvxctl as a child process and collects what it prints.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <stdlib.h>
#include <sys/wait.h>

struct TRun {
    int Code;
    std::string Out;
};

// Runs kvxctl with Args and no input; Out is its standard output, with its
// error output after it when WithErrors is set. Runner, when given, is the
// command that starts kvxctl (setpriv as another user). PipedInput, when
// given, is a file whose bytes reach kvxctl's standard input through a pipe.
inline TRun Kvxctl(const std::string& Args, bool WithErrors = false, const std::string& Runner = "",
    const std::string& PipedInput = "")
{
    const std::string Cmd = (PipedInput.empty() ? "" : "cat '" + PipedInput + "' | ") + Runner
        + (Runner.empty() ? "" : " ") + std::string(KVXCTL_PATH) + " " + Args
        + (PipedInput.empty() ? " </dev/null " : " ") + (WithErrors ? "2>&1" : "2>/dev/null");
    FILE* F = ::popen(Cmd.c_str(), "r");
    TRun R {-1, {}};
    if (!F)
        return R;
    char Buf[512];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0)
        R.Out.append(Buf, N);
    const int St = ::pclose(F);
    R.Code = WIFEXITED(St) ? WEXITSTATUS(St) : -1;
    return R;
}

inline bool Has(const std::string& Text, const std::string& Part)
{
    return Text.find(Part) != std::string::npos;
}
