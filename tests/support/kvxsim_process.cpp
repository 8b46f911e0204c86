#include "support/kvxsim_process.h"

#include "support/pty.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

std::string TKvxsim::DefaultProgram()
{
    return KVXSIM_PATH;
}

bool TKvxsim::Start(const std::vector<std::string>& Args, const std::string& Program)
{
    Stop();
    // One folder for the object's life, so that files a test made there outlive
    // a restart; the log starts afresh.
    if (!FDir)
        FDir = std::make_unique<TTempDir>("kvxsim");
    std::filesystem::remove(FDir->File("log"));
    FPath.clear();
    FErrText.clear();
    int Out[2], Err[2];
    if (::pipe2(Out, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(Err, O_CLOEXEC) != 0) {
        ::close(Out[0]);
        ::close(Out[1]);
        return false;
    }
    // The log comes first: a --log among Args wins.
    std::vector<std::string> All {Program, "--log", FDir->File("log")};
    All.insert(All.end(), Args.begin(), Args.end());
    std::vector<char*> Argv;
    for (auto& A : All)
        Argv.push_back(A.data());
    Argv.push_back(nullptr);
    FPid = ::fork();
    if (FPid == 0) {
        ::dup2(Out[1], 1);
        ::dup2(Err[1], 2);
        ::execv(Program.c_str(), Argv.data());
        ::_exit(127);
    }
    ::close(Out[1]);
    ::close(Err[1]);
    FOut = Out[0];
    FErr = Err[0];
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < Limit) {
        pollfd P {FOut, POLLIN, 0};
        if (::poll(&P, 1, 100) <= 0)
            continue;
        char C;
        if (::read(FOut, &C, 1) != 1)
            return false;
        if (C == '\n')
            return true;
        FPath += C;
    }
    return false;
}

int TKvxsim::Stop(int Sig)
{
    CloseClient();
    int Status = -1;
    if (FPid > 0) {
        ::kill(FPid, Sig);
        const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::waitpid(FPid, &Status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > Limit) {
                ::kill(FPid, SIGKILL);
                ::waitpid(FPid, &Status, 0);
                Status = -1;
                break;
            }
            ::poll(nullptr, 0, 20);
        }
        FPid = -1;
        // The program has ended: its last words are all in the pipe.
        char Buf[512];
        ssize_t N;
        while (FErr >= 0 && (N = ::read(FErr, Buf, sizeof Buf)) > 0)
            FErrText.append(Buf, static_cast<std::size_t>(N));
    }
    for (int* Fd : {&FOut, &FErr})
        if (*Fd >= 0) {
            ::close(*Fd);
            *Fd = -1;
        }
    return Status >= 0 && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

std::vector<std::string> TKvxsim::Log() const
{
    std::vector<std::string> Lines;
    if (!FDir)
        return Lines;
    std::ifstream F(FDir->File("log"));
    std::string L;
    while (std::getline(F, L)) {
        while (!L.empty() && (L.back() == '\r' || L.back() == '\n'))
            L.pop_back();
        Lines.push_back(L);
    }
    return Lines;
}

std::string TKvxsim::WriteFile(const std::string& Name, const std::string& Text) const
{
    return FDir ? FDir->Write(Name, Text) : std::string();
}

bool TKvxsim::Open()
{
    FFd = OpenRawTerminal(FPath);
    return FFd >= 0;
}

void TKvxsim::CloseClient()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

bool TKvxsim::Send(const std::string& Bytes)
{
    return ::write(FFd, Bytes.data(), Bytes.size()) == static_cast<ssize_t>(Bytes.size());
}

std::string TKvxsim::ReadReply(int Seconds)
{
    std::string Got;
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
    while (std::chrono::steady_clock::now() < Limit) {
        if (EndsWith(Got, "\r\nOK\r\n") || EndsWith(Got, "\r\nNO\r\n"))
            break;
        Got += ReadSome(100);
    }
    return Got;
}

std::string TKvxsim::ReadSome(int Ms)
{
    pollfd P {FFd, POLLIN, 0};
    if (::poll(&P, 1, Ms) <= 0 || !(P.revents & POLLIN))
        return {};
    char Buf[4096];
    const ssize_t N = ::read(FFd, Buf, sizeof Buf);
    return N > 0 ? std::string(Buf, static_cast<std::size_t>(N)) : std::string();
}

std::string TKvxsim::Ask(const std::string& Line)
{
    Send(Line + "\r\n");
    return ReadReply();
}

bool TKvxsim::WaitForStderr(const std::string& Text)
{
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FErrText.find(Text) == std::string::npos && std::chrono::steady_clock::now() < Limit) {
        pollfd P {FErr, POLLIN, 0};
        if (::poll(&P, 1, 100) <= 0)
            continue;
        char Buf[512];
        const ssize_t N = ::read(FErr, Buf, sizeof Buf);
        if (N <= 0)
            break;
        FErrText.append(Buf, static_cast<std::size_t>(N));
    }
    const auto At = FErrText.find(Text);
    if (At == std::string::npos)
        return false;
    FErrText.erase(0, At + Text.size());
    return true;
}

bool TKvxsim::EndsWith(const std::string& S, const std::string& Tail)
{
    return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}
