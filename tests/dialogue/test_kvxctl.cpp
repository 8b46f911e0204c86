#ifdef KVXCTL_PATH

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A scripted encoder on the master side of a pseudo-terminal: answers each
// command line from a fixed table and stays silent on "MUTE?".
class TScriptedPeer {
public:
    TScriptedPeer()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            ADD_FAILURE() << "cannot create a pseudo-terminal";
        char Name[128] = {};
        ::ptsname_r(FMaster, Name, sizeof Name);
        FSlave = Name;
        FThread = std::thread([this] { Run(); });
    }
    ~TScriptedPeer()
    {
        FStop = true;
        FThread.join();
        ::close(FMaster);
    }
    const std::string& Slave() const { return FSlave; }

private:
    void Run()
    {
        std::string Line;
        while (!FStop) {
            pollfd P{FMaster, POLLIN, 0};
            if (::poll(&P, 1, 20) <= 0 || !(P.revents & POLLIN))
                continue;
            char Buf[256];
            const ssize_t N = ::read(FMaster, Buf, sizeof Buf);
            if (N <= 0)
                continue;
            Line.append(Buf, static_cast<std::size_t>(N));
            std::size_t End;
            while ((End = Line.find("\r\n")) != std::string::npos) {
                const std::string Cmd = Line.substr(0, End);
                Line.erase(0, End + 2);
                std::string Reply;
                if (Cmd == "PI?")
                    Reply = "1234\r\nOK\r\n";
                else if (Cmd == "PS?")
                    Reply = "RADIO\r\nOK\r\n";
                else if (Cmd != "MUTE?")
                    Reply = "\r\nNO\r\n";
                if (!Reply.empty() && ::write(FMaster, Reply.data(), Reply.size()) < 0)
                    ADD_FAILURE() << "peer cannot write";
            }
        }
    }

    int FMaster = -1;
    std::string FSlave;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

struct TRun {
    int Code;
    std::string Out;
};

TRun Kvxctl(const std::string& Args)
{
    const std::string Cmd = std::string(KVXCTL_PATH) + " " + Args + " 2>/dev/null";
    FILE* F = ::popen(Cmd.c_str(), "r");
    TRun R{-1, {}};
    if (!F)
        return R;
    char Buf[256];
    size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0)
        R.Out.append(Buf, N);
    const int St = ::pclose(F);
    R.Code = WIFEXITED(St) ? WEXITSTATUS(St) : -1;
    return R;
}

} // namespace

TEST(Kvxctl, ExitCodesAgainstAScriptedPeer)
{
    TScriptedPeer Peer;
    const std::string Port = "--port " + Peer.Slave() + " --timeout 2 send ";

    TRun R = Kvxctl(Port + "PI? PS?");
    EXPECT_EQ(R.Code, 0);
    EXPECT_EQ(R.Out, "1234\\r\\nOK\\r\\n\nRADIO\\r\\nOK\\r\\n\n");

    R = Kvxctl(Port + "PI? XX?");
    EXPECT_EQ(R.Code, 1);
    EXPECT_EQ(R.Out, "1234\\r\\nOK\\r\\n\n\\r\\nNO\\r\\n\n");

    R = Kvxctl(Port + "MUTE?");
    EXPECT_EQ(R.Code, 3);
    EXPECT_EQ(R.Out, "");
}

#endif
