#pragma once
// A child process for the tests that run programs (the bridge as a process,
// Liquidsoap): started with its arguments, its standard and error output
// read together, a signal sent, its exit code awaited.

#include <chrono>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

class TChild {
public:
    TChild() = default;
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
        if (FOut >= 0)
            ::close(FOut);
    }

    bool Start(const std::vector<std::string>& Args)
    {
        int P[2];
        if (::pipe2(P, O_CLOEXEC) != 0)
            return false;
        std::vector<std::string> A = Args;
        std::vector<char*> Argv;
        for (auto& S : A)
            Argv.push_back(S.data());
        Argv.push_back(nullptr);
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(P[1], 1);
            ::dup2(P[1], 2);
            const int Null = ::open("/dev/null", O_RDONLY);
            ::dup2(Null, 0);
            ::execvp(Argv[0], Argv.data());
            ::_exit(127);
        }
        ::close(P[1]);
        FOut = P[0];
        return FPid > 0;
    }

    // Reads what came within Ms; answers whether Text is in all that came.
    bool WaitFor(const std::string& Text, int Ms = 20000)
    {
        const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
        while (Output.find(Text) == std::string::npos) {
            const auto Left
                = std::chrono::duration_cast<std::chrono::milliseconds>(End - std::chrono::steady_clock::now());
            if (Left.count() <= 0 || !ReadSome(static_cast<int>(Left.count())))
                return Output.find(Text) != std::string::npos;
        }
        return true;
    }

    // Sends Sig and waits up to 20 s for the end; answers the exit code
    // (128 + the signal when a signal ended it, -1 when it did not end).
    int Stop(int Sig = SIGTERM)
    {
        if (FPid <= 0)
            return -1;
        ::kill(FPid, Sig);
        return Wait();
    }
    int Wait(int Ms = 20000)
    {
        const auto End = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
        int St = 0;
        while (::waitpid(FPid, &St, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > End)
                return -1;
            ReadSome(20);
        }
        while (ReadSome(0)) { }
        FPid = -1;
        return WIFEXITED(St) ? WEXITSTATUS(St) : WIFSIGNALED(St) ? 128 + WTERMSIG(St) : -1;
    }
    pid_t Pid() const { return FPid; }
    // Whether it has ended by itself (its output is read meanwhile).
    bool Ended()
    {
        ReadSome(0);
        int St = 0;
        if (FPid <= 0 || ::waitpid(FPid, &St, WNOHANG) != FPid)
            return FPid <= 0;
        FPid = -1;
        return true;
    }

    std::string Output;

private:
    bool ReadSome(int Ms)
    {
        pollfd P {FOut, POLLIN, 0};
        if (::poll(&P, 1, Ms) <= 0)
            return false;
        char Buf[4096];
        const ssize_t N = ::read(FOut, Buf, sizeof Buf);
        if (N <= 0)
            return false;
        Output.append(Buf, static_cast<std::size_t>(N));
        return true;
    }

    pid_t FPid = -1;
    int FOut = -1;
};
