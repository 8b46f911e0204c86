#pragma once
// Runs the simulated encoder as a child process and reads the path of its
// terminal; its temporary folder (log, files) goes with it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class TKvxsim {
public:
    TKvxsim() = default;
    TKvxsim(const TKvxsim&) = delete;
    TKvxsim& operator=(const TKvxsim&) = delete;
    ~TKvxsim()
    {
        Stop();
        if (!FDir.empty())
            std::filesystem::remove_all(FDir);
    }

    // Starts kvxsim with Args (a --log file in a temporary folder is added);
    // answers whether it printed its terminal's path.
    bool Start(const std::vector<std::string>& Args)
    {
        char Dir[] = "/tmp/kvxdlg.XXXXXX";
        if (!::mkdtemp(Dir))
            return false;
        FDir = Dir;
        FLog = FDir + "/log";
        int Out[2];
        if (::pipe(Out) != 0)
            return false;
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(Out[1], 1);
            ::close(Out[0]);
            ::close(Out[1]);
            const int Null = ::open("/dev/null", O_WRONLY);
            ::dup2(Null, 2);
            std::vector<std::string> All = Args;
            All.push_back("--log");
            All.push_back(FLog);
            std::vector<char*> Argv {const_cast<char*>(KVXSIM_PATH)};
            for (auto& A : All)
                Argv.push_back(A.data());
            Argv.push_back(nullptr);
            ::execv(KVXSIM_PATH, Argv.data());
            ::_exit(127);
        }
        ::close(Out[1]);
        FOut = Out[0];
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

    // Ends the simulator (its terminal goes away).
    void Stop()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            int St;
            ::waitpid(FPid, &St, 0);
            FPid = -1;
        }
        if (FOut >= 0)
            ::close(FOut);
        FOut = -1;
    }

    const std::string& Path() const { return FPath; }
    const std::string& Dir() const { return FDir; }

    // Every command line the simulator received, in order.
    std::vector<std::string> Log() const
    {
        std::ifstream F(FLog);
        std::vector<std::string> Lines;
        std::string L;
        while (std::getline(F, L)) {
            while (!L.empty() && (L.back() == '\r' || L.back() == '\n'))
                L.pop_back();
            Lines.push_back(L);
        }
        return Lines;
    }

    // A file in the temporary folder with the given text; answers its path.
    std::string WriteFile(const std::string& Name, const std::string& Text) const
    {
        std::string P = FDir + "/" + Name;
        std::ofstream(P, std::ios::binary) << Text;
        return P;
    }

private:
    pid_t FPid = -1;
    int FOut = -1;
    std::string FPath;
    std::string FDir;
    std::string FLog;
};
