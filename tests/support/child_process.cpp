#include "support/child_process.h"

#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

TChildProcess::~TChildProcess()
{
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
    for (const int Fd : {FOutFd, FErrFd})
        if (Fd >= 0)
            ::close(Fd);
}

bool TChildProcess::Start(
    const std::string& Program, const std::vector<std::string>& Args, const std::vector<std::string>& Env)
{
    if (FPid > 0)
        return false;
    // Everything the child needs is made before the fork: after it, only
    // calls that are safe in the child of a threaded process.
    std::vector<std::string> Vars;
    for (char** E = environ; *E; ++E) {
        const std::string Var = *E;
        const std::string Name = Var.substr(0, Var.find('='));
        bool Changed = false;
        for (const std::string& C : Env)
            Changed = Changed || C.substr(0, C.find('=')) == Name;
        if (!Changed)
            Vars.push_back(Var);
    }
    for (const std::string& C : Env)
        if (C.find('=') != std::string::npos)
            Vars.push_back(C);
    std::vector<std::string> All {Program};
    All.insert(All.end(), Args.begin(), Args.end());
    std::vector<char*> Argv, Envp;
    for (std::string& A : All)
        Argv.push_back(A.data());
    Argv.push_back(nullptr);
    for (std::string& V : Vars)
        Envp.push_back(V.data());
    Envp.push_back(nullptr);

    int Out[2], Err[2];
    if (::pipe2(Out, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(Err, O_CLOEXEC) != 0) {
        ::close(Out[0]);
        ::close(Out[1]);
        return false;
    }
    const int Null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    FPid = ::fork();
    if (FPid == 0) {
        ::dup2(Null, STDIN_FILENO);
        ::dup2(Out[1], STDOUT_FILENO);
        ::dup2(Err[1], STDERR_FILENO);
        ::execve(Program.c_str(), Argv.data(), Envp.data());
        ::_exit(127);
    }
    ::close(Null);
    ::close(Out[1]);
    ::close(Err[1]);
    if (FPid < 0) {
        ::close(Out[0]);
        ::close(Err[0]);
        return false;
    }
    FOutFd = Out[0];
    FErrFd = Err[0];
    ::fcntl(FOutFd, F_SETFL, O_NONBLOCK);
    ::fcntl(FErrFd, F_SETFL, O_NONBLOCK);
    FOut.clear();
    FErr.clear();
    FExitCode = -1;
    return true;
}

void TChildProcess::Read(int& Fd, std::string& Into)
{
    if (Fd < 0)
        return;
    char Buf[4096];
    for (;;) {
        const ssize_t N = ::read(Fd, Buf, sizeof Buf);
        if (N > 0) {
            Into.append(Buf, static_cast<size_t>(N));
            continue;
        }
        if (N == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::close(Fd);
            Fd = -1;
        }
        if (N == 0 || errno != EINTR)
            return;
    }
}

bool TChildProcess::Running()
{
    Read(FOutFd, FOut);
    Read(FErrFd, FErr);
    if (FPid <= 0)
        return false;
    int Status = 0;
    if (::waitpid(FPid, &Status, WNOHANG) != FPid)
        return true;
    FPid = -1;
    FExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    // What the child printed last may still sit in the pipes.
    Read(FOutFd, FOut);
    Read(FErrFd, FErr);
    return false;
}

bool TChildProcess::NotEnded(const std::string&)
{
    return Running();
}

bool TChildProcess::ErrLacks(const std::string& Text)
{
    return Running() && FErr.find(Text) == std::string::npos;
}

bool TChildProcess::WaitWhile(bool (TChildProcess::*More)(const std::string&), const std::string& Text, int TimeoutMs)
{
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while ((this->*More)(Text)) {
        const auto Left
            = std::chrono::duration_cast<std::chrono::milliseconds>(Limit - std::chrono::steady_clock::now()).count();
        if (Left <= 0)
            return false;
        // Output wakes this wait at once; the end of a child whose pipes are
        // already closed is looked for every 10 ms.
        pollfd P[2] {{FOutFd, POLLIN, 0}, {FErrFd, POLLIN, 0}};
        const bool Open = FOutFd >= 0 || FErrFd >= 0;
        ::poll(P, 2, static_cast<int>(Open ? std::min<long long>(Left, 100) : std::min<long long>(Left, 10)));
    }
    return true;
}

bool TChildProcess::WaitForEnd(int TimeoutMs)
{
    return WaitWhile(&TChildProcess::NotEnded, {}, TimeoutMs);
}

bool TChildProcess::WaitForErr(const std::string& Text, int TimeoutMs)
{
    WaitWhile(&TChildProcess::ErrLacks, Text, TimeoutMs);
    return FErr.find(Text) != std::string::npos;
}

void TChildProcess::Signal(int Sig)
{
    if (FPid > 0)
        ::kill(FPid, Sig);
}
