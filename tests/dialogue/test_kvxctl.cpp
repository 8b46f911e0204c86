#ifndef KVXCTL_PATH
#error "KVXCTL_PATH must name the console program the tests run"
#endif

#include <gtest/gtest.h>

#include "scripted_encoder.h"
#include "support/kvxctl_run.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>

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

extern char** environ;

// A port kvxctl cannot have prints the reason and its fix beside the status word.
TEST(Kvxctl, PortProblemsNameTheFix)
{
    const int Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(Master, 0);
    ASSERT_EQ(::grantpt(Master), 0);
    ASSERT_EQ(::unlockpt(Master), 0);
    const std::string Slave = ::ptsname(Master);

    // A second terminal held open by a "sleep" that takes no lock.
    const int HeldMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(HeldMaster, 0);
    ASSERT_EQ(::grantpt(HeldMaster), 0);
    ASSERT_EQ(::unlockpt(HeldMaster), 0);
    const std::string Held = ::ptsname(HeldMaster);
    posix_spawn_file_actions_t Fa;
    ::posix_spawn_file_actions_init(&Fa);
    ::posix_spawn_file_actions_addopen(&Fa, 0, Held.c_str(), O_RDWR | O_NOCTTY, 0);
    const char* Argv[] = {"sleep", "60", nullptr};
    pid_t Sleeper = -1;
    ASSERT_EQ(::posix_spawnp(&Sleeper, "sleep", &Fa, nullptr, const_cast<char* const*>(Argv), environ), 0);
    ::posix_spawn_file_actions_destroy(&Fa);
    auto Comm = [&] {
        std::ifstream In("/proc/" + std::to_string(Sleeper) + "/comm");
        std::string Name;
        std::getline(In, Name);
        return Name;
    };
    for (int i = 0; i < 500 && Comm() != "sleep"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // Root opens any terminal: the permission case runs as nobody.
    ASSERT_EQ(::chmod(Slave.c_str(), 0), 0);
    const std::string AsUser = ::getuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups" : "";

    struct Case {
        const char* Name;
        std::string Port;
        std::string Runner;
        std::string Expected;
    };
    const Case Cases[] = {
        {"no permission", Slave, AsUser, "add your user to the dialout group: sudo usermod -aG dialout $USER"},
        {"held by another process", Held, "", "is in use by sleep (pid " + std::to_string(Sleeper) + ")"},
        {"missing path", "/dev/kvx-no-such-port", "", "/dev/kvx-no-such-port does not exist"},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        const TRun R = Kvxctl("--port " + C.Port + " --timeout 2 send PI?", true, C.Runner);
        EXPECT_EQ(R.Code, 2);
        EXPECT_TRUE(Has(R.Out, "Connection Refused")) << R.Out;
        EXPECT_TRUE(Has(R.Out, C.Expected)) << R.Out;
    }
    ::kill(Sleeper, SIGTERM);
    ::waitpid(Sleeper, nullptr, 0);
    ::close(HeldMaster);
    ::close(Master);
}
