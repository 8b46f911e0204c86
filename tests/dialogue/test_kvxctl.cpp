#ifdef KVXCTL_PATH

#include <gtest/gtest.h>

#include "scripted_peer.h"

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
