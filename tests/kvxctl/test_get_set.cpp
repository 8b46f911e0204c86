// kvxctl get and set against the simulated encoder: the values, the commands
// that reach the encoder (only what differs, in the write order), the
// read-back and every way a set stops short.
#include "support/kvxctl_run.h"
#include "support/kvxsim_process.h"
#include "support/pty.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

// The setting commands the encoder received (ECHO=0 left out), in order.
std::vector<std::string> Settings(const TKvxsim& Sim)
{
    std::vector<std::string> Sent;
    for (const std::string& L : Sim.Log())
        if (L.find('=') != std::string::npos && L != "ECHO=0")
            Sent.push_back(L);
    return Sent;
}

// How many times the encoder was read from the start.
long Reads(const TKvxsim& Sim)
{
    const auto Log = Sim.Log();
    return std::count(Log.begin(), Log.end(), "REV?");
}

TEST(KvxctlGetSet, GetPrintsOneValueALine)
{
    const TTempDir Dir("kvxctl-get");
    TKvxsim Sim;
    const std::string State = "PI=C201\nPS=RADIO 1 \nAF2=105\nOFFSET=-05:30\nTEXT=Hi\n";
    ASSERT_TRUE(Sim.Start({"--state", Dir.Write("state", State)}));
    const std::string K = "$K --port " + Sim.Path() + " ";
    TRunApart R = KvxctlApart(K + "get ps pi Af2 offset text serial");
    EXPECT_EQ(R.Code, 0) << R.Err;
    EXPECT_EQ(R.Out, "RADIO 1 \nC201\n105\n-05:30\nHi\n000001\n");
    R = KvxctlApart(K + "get AF");
    EXPECT_EQ(R.Out, "0\n105\n0\n0\n0\n0\n0\n");

    // An unknown key is named before the port is opened.
    R = KvxctlApart(K + "get PS FOO");
    EXPECT_EQ(R.Code, 64);
    EXPECT_EQ(R.Err, "kvxctl: unknown key 'FOO' (kvxctl help keys lists them)\n");
    EXPECT_EQ(Reads(Sim), 2);

    // Below firmware 01.03 the encoder knows no DST: it is not made up.
    ASSERT_TRUE(Sim.Start({"--firmware", "01.02.992"}));
    R = KvxctlApart("$K --port " + Sim.Path() + " get DST isdst PI");
    EXPECT_EQ(R.Code, 0) << R.Err;
    EXPECT_EQ(R.Out, "N/A\nN/A\nFFFF\n");
}

TEST(KvxctlGetSet, SetSendsOnlyWhatDiffersAndVerifiesIt)
{
    using Strings = std::vector<std::string>;
    const struct {
        Strings Sim;
        std::string Args;
        int Code;
        Strings Sent;    // the setting commands that reached the encoder
        std::string Err; // a part of standard error ("" none at all)
        long Reads;      // times the encoder was read
    } Cases[] = {
        // PI already holds FFFF: PS and PTY go, in the write order, then the read-back.
        {{}, "set PTY=5 ps=NEW PI=FFFF", 0, {"PS=NEW", "PTY=5"}, "", 2},
        {{}, "set AF2=98.0 af5=204 --no-verify", 0, {"AF2=105", "AF5=204"}, "", 1},
        {{}, "set PS=RDS", 0, {}, "", 1},
        // Refused before the port opens, or once the encoder's values are known.
        {{}, "set PTY=32 TEXT=ok", 4, {}, "kvxctl: PTY=32: must be a whole number from 0 to 31\n", 0},
        {{}, "set AF1=98.0 AF2=105", 4, {}, "AF Method A do not allows duplicate frequencies!", 1},
        {{"--firmware", "01.02.992"}, "set DST=1", 4, {}, "DST: the encoder's firmware (01.02.992) does not know it",
            1},
        {{}, "set SERIAL=7", 64, {}, "kvxctl: SERIAL is read-only\n", 0},
        // The third command refused: two were applied, one never sent.
        {{"--refuse", "TP="}, "set PS=NEW TA=1 TP=1 CT=0", 6, {"PS=NEW", "TA=1", "TP=1"},
            "kvxctl: The encoder was partly changed: 2 of 4 commands applied: PS=NEW, TA=1.\n"
            "kvxctl: Not sent (1): CT=0.\n",
            1},
        {{"--refuse", "PS="}, "set PS=NEW TA=1", 1, {"PS=NEW"}, "Nothing was applied (0 of 2)", 1},
        // Answered OK but not carried out: the read-back finds it.
        {{"--bare-ok", "PS="}, "set PS=NEW", 5, {"PS=NEW"},
            "kvxctl: verify: PS written as \"NEW\", the encoder holds \"RDS\"\n", 2},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Args);
        TKvxsim Sim;
        ASSERT_TRUE(Sim.Start(C.Sim));
        const TRunApart R = KvxctlApart("$K --port " + Sim.Path() + " " + C.Args);
        EXPECT_EQ(R.Code, C.Code) << R.Err;
        EXPECT_EQ(Settings(Sim), C.Sent);
        EXPECT_EQ(Reads(Sim), C.Reads);
        if (C.Err.empty())
            EXPECT_EQ(R.Err, "");
        else
            EXPECT_TRUE(Has(R.Err, C.Err)) << R.Err;
    }
}

TEST(KvxctlGetSet, SetPrintsEachCommandWithItsReplyAndReadWritesToADash)
{
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    TRunApart R = KvxctlApart("KVXCTL_PORT=" + Sim.Path() + " $K set PS=NEW TEXT='Hi there'");
    EXPECT_EQ(R.Code, 0) << R.Err;
    EXPECT_EQ(R.Out, "PS=NEW\nTEXT=Hi there\nPS=NEW -> \\r\\nOK\\r\\n\nTEXT=Hi there -> \\r\\nOK\\r\\n\n");
    // -q: failures only.
    R = KvxctlApart("KVXCTL_PORT=" + Sim.Path() + " $K -q set PS=OLD");
    EXPECT_EQ(R.Code, 0) << R.Err;
    EXPECT_EQ(R.Out + R.Err, "");
    R = KvxctlApart("KVXCTL_PORT=" + Sim.Path() + " $K read -o -");
    EXPECT_EQ(R.Code, 0) << R.Err;
    EXPECT_TRUE(Has(R.Out, "\nPS=OLD\n")) << R.Out;
}

// An interrupt ends a wait that has no end of its own (--timeout 0, a
// command never answered): a read says which reply it was waiting for.
TEST(KvxctlGetSet, AnInterruptEndsAWaitWithoutEnd)
{
    for (const std::string Command : {"send PS?", "read"}) {
        SCOPED_TRACE(Command);
        TKvxsim Sim;
        ASSERT_TRUE(Sim.Start({"--mute", "PS?"}));
        // "timeout" only keeps a kvxctl that never wakes from hanging the test.
        const TRunApart R = KvxctlApart("timeout -s KILL 60 $K --timeout 0 --port " + Sim.Path() + " " + Command
            + " & P=$!; for i in $(seq 400); do grep -q '^PS?' '" + Sim.Dir()
            + "/log' && break; sleep 0.05; done; sleep 0.2; kill -INT $P; wait $P");
        EXPECT_EQ(R.Code, 130) << R.Err;
        EXPECT_TRUE(Has(R.Err, "interrupted while waiting for the reply to PS?")) << R.Err;
    }
}

// An interrupt while a question waits on the terminal is an interrupt
// (130), not a "no", and nothing is sent.
TEST(KvxctlQuestions, AnInterruptAtAQuestionSendsNothing)
{
    TPty Terminal;
    ASSERT_FALSE(Terminal.SlavePath().empty());
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    const TRunApart R = KvxctlApart("$K --port " + Sim.Path() + " defaults --backup " + Sim.Dir() + "/b.kvx <"
        + Terminal.SlavePath() + " & P=$!; for i in $(seq 400); do grep -q '^DST?' '" + Sim.Dir()
        + "/log' && break; sleep 0.05; done; sleep 0.3; kill -INT $P; wait $P");
    EXPECT_EQ(R.Code, 130) << R.Err;
    EXPECT_TRUE(Has(R.Err, "Are you Sure? [y/N] \n")) << R.Err;
    const auto Log = Sim.Log();
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "INIT"), 0);
    EXPECT_FALSE(std::filesystem::exists(Sim.Dir() + "/b.kvx"));
}

} // namespace
