#ifdef KVXCTL_PATH

#include <gtest/gtest.h>

#include "kvxctl_run.h"
#include "scripted_encoder.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(Kvxctl, ExitCodesAgainstAScriptedPeer)
{
    TEncoderPeer Peer(ScriptedEncoder());
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
