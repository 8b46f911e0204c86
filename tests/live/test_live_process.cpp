// kvxctl live as a process: it runs until SIGINT or SIGTERM and then ends
// cleanly with 0; unusable arguments end it with 64 and one line.

#include "bridge_run.h"
#include "child_process.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

TEST(LiveProcess, RunsUntilASignalAndEndsWithZero)
{
    // SIGTERM with the traffic shown (-v), SIGINT with the last state as JSON.
    for (const int Sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(Sig);
        TKvxsim Sim;
        ASSERT_TRUE(Sim.Start({}));
        TChild Bridge;
        ASSERT_TRUE(Bridge.Start({KVXCTL_PATH, "live", "--port", Sim.Path(), "--http", "0", "--min-interval", "0.3",
            Sig == SIGTERM ? "-v" : "--json"}));
        ASSERT_TRUE(Bridge.WaitFor("the encoder holds TEXT=")) << Bridge.Output;
        std::smatch M;
        ASSERT_TRUE(std::regex_search(Bridge.Output, M, std::regex("listening: http 127\\.0\\.0\\.1:([0-9]+)")));
        const TShellResult R
            = Shell("curl -s -G --data-urlencode 'text=Until the signal' http://127.0.0.1:" + M[1].str() + "/");
        EXPECT_EQ(R.Out, "Until the signal\n");
        ASSERT_TRUE(Bridge.WaitFor("on air: TEXT=\"Until the signal\"")) << Bridge.Output;
        EXPECT_EQ(Bridge.Stop(Sig), 0) << Bridge.Output;
        EXPECT_NE(Bridge.Output.find("stopped: 1 updates, 1 writes, 0 failed"), std::string::npos) << Bridge.Output;
        if (Sig == SIGTERM)
            EXPECT_NE(Bridge.Output.find(" > TEXT=Until the signal\\r\\n"), std::string::npos) << Bridge.Output;
        else
            EXPECT_NE(Bridge.Output.find("\"last_sent\": \"Until the signal\""), std::string::npos) << Bridge.Output;
    }
}

TEST(LiveProcess, UnusableArgumentsEndItWith64)
{
    TChild Bridge;
    ASSERT_TRUE(Bridge.Start({KVXCTL_PATH, "live", "--port", "ttyUSB0", "--http", "8080", "--target", "ps"}));
    EXPECT_EQ(Bridge.Wait(), 64);
    EXPECT_EQ(Bridge.Output, "kvxctl: --target takes rt, dps or both, not \"ps\" (kvxctl help live)\n");
}
