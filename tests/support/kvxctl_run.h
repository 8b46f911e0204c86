#pragma once
// Runs kvxctl as a child process and collects what it prints. The test
// program defines KVXCTL_PATH, the program to run.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct TRunApart {
    int Code;
    std::string Out;
    std::string Err;
};

// Runs Command, a shell command line in which $K is the program
// ("cd /tmp && $K read"), with no input unless the line gives one; its
// standard output and its error output apart.
inline TRunApart KvxctlApart(const std::string& Command)
{
    char ErrPath[] = "/tmp/kvxctl-err-XXXXXX";
    const int Fd = ::mkstemp(ErrPath);
    if (Fd < 0)
        return {-1, {}, {}};
    ::close(Fd);
    const std::string Line = "K='" + std::string(KVXCTL_PATH) + "'; " + Command;
    const TRun R = [&] {
        TRun Run {-1, {}};
        FILE* F = ::popen(("exec 2>'" + std::string(ErrPath) + "' </dev/null; " + Line).c_str(), "r");
        if (!F)
            return Run;
        char Buf[512];
        for (size_t N; (N = std::fread(Buf, 1, sizeof Buf, F)) > 0;)
            Run.Out.append(Buf, N);
        const int St = ::pclose(F);
        Run.Code = WIFEXITED(St) ? WEXITSTATUS(St) : -1;
        return Run;
    }();
    std::ifstream In(ErrPath, std::ios::binary);
    std::ostringstream Err;
    Err << In.rdbuf();
    ::unlink(ErrPath);
    return {R.Code, R.Out, Err.str()};
}

inline bool Has(const std::string& Text, const std::string& Part)
{
    return Text.find(Part) != std::string::npos;
}
