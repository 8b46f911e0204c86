#include "support/tcp_bridge.h"

#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

int FreePort()
{
    const int S = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    const bool Bound = ::bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0
        && ::getsockname(S, reinterpret_cast<sockaddr*>(&A), &Len) == 0;
    ::close(S);
    if (!Bound) {
        ADD_FAILURE() << "no free loopback port: " << std::strerror(errno);
        return 0;
    }
    return ntohs(A.sin_port);
}

bool Listening(int Port)
{
    char Want[16];
    std::snprintf(Want, sizeof Want, ":%04X", Port);
    std::ifstream F("/proc/net/tcp");
    std::string Line;
    while (std::getline(F, Line)) {
        std::istringstream In(Line);
        std::string Slot, Local, Remote, State;
        if (In >> Slot >> Local >> Remote >> State && State == "0A" && Local.size() > 5
            && Local.compare(Local.size() - 5, 5, Want) == 0)
            return true;
    }
    return false;
}

std::string Which(const std::string& Program)
{
    for (const char* Dir : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/", "/usr/local/bin/"}) {
        std::string P = std::string(Dir) + Program;
        if (::access(P.c_str(), X_OK) == 0)
            return P;
    }
    return {};
}

TBridge::TBridge(const std::string& Program, std::vector<std::string> Args, int Port) : FPort(Port)
{
    FPid = ::fork();
    if (FPid == 0) {
        const int Null = ::open("/dev/null", O_RDWR);
        ::dup2(Null, 0);
        ::dup2(Null, 1);
        ::dup2(Null, 2);
        std::vector<char*> Argv {const_cast<char*>(Program.c_str())};
        for (auto& A : Args)
            Argv.push_back(A.data());
        Argv.push_back(nullptr);
        ::execv(Program.c_str(), Argv.data());
        ::_exit(127);
    }
}

TBridge::~TBridge()
{
    if (FPid > 0) {
        ::kill(FPid, SIGTERM);
        int St;
        ::waitpid(FPid, &St, 0);
    }
}

bool TBridge::WaitListening() const
{
    return WaitUntil([this] { return Listening(FPort); });
}

std::vector<std::string> TBridge::SocatArgs(int Port, const std::string& Path)
{
    // -t 0: a session ends as soon as its client leaves.
    return {"-t", "0", "TCP-LISTEN:" + std::to_string(Port) + ",bind=127.0.0.1,reuseaddr,fork",
        "FILE:" + Path + ",raw,echo=0"};
}
