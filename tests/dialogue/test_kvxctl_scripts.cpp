#if defined(KVXCTL_PATH) && defined(KVXSIM_PATH)

#include "kvxctl_run.h"
#include "support/kvxsim_process.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <stdlib.h>
#include <sys/wait.h>

TEST(KvxctlScripts, CommandsAndExitCodes)
{
    struct {
        std::vector<std::string> Sim;
        const char* File;    // settings file given to the command, "" none
        const char* Command; // %s: the file
        int Code;
        std::vector<std::string> Out; // parts of standard output
        std::vector<std::string> Log; // commands the encoder received last, in order
    } Cases[] = {
        {{}, "", "read", 0, {"HW=KVX-1\n", "SERIAL=000001\nPILOT=LOCK\nCLOCK=20", "ISDST=0\nPI=FFFF\nPS=RDS\n"},
            {"DST?"}},
        {{"--firmware", "01.02.992"}, "", "read --format json", 0,
            {"\"ISDST\": null", "\"AF\": []", "\"PI\": \"FFFF\""}, {"DRTS?"}},
        {{}, "PI=C201\r\nPS=RDS\r\nAF1=105\r\nAF2=12\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "diff %s", 0,
            {"PI=C201\nAF1=105\nAF2=12\n"}, {"DST?"}},
        {{}, "PI=C201\r\nAF1=105\r\nAF2=105\r\n", "diff %s", 4, {}, {"DST?"}},
        {{}, "PI=0000\r\n", "write %s --yes", 4, {}, {"DST?"}},
        {{}, "PI=C201\r\nPS=RADIO 1\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 0,
            {"PI=C201\nPS=RADIO 1\n", "PI=C201 -> \\r\\nOK\\r\\n\nPS=RADIO 1 -> \\r\\nOK\\r\\n\n"},
            {"PI=C201", "PS=RADIO 1", "ECHO=0"}},
        {{"--refuse", "TA="}, "PI=C201\r\nPS=RDS\r\nTA=1\r\nTP=1\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 1,
            {"PI=C201 -> \\r\\nOK\\r\\n\nTA=1 -> \\r\\nNO\\r\\n\n"}, {"PI=C201", "TA=1"}},
        // The encoder keeps RadioText without its trailing blanks: the read-back differs.
        {{}, "PI=FFFF\r\nPS=RDS\r\nTEXT=Hi  \r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 5, {"TEXT=Hi   -> "}, {"DST?"}},
        // The computer's clock (five hours behind UTC here) is written; the
        // read-back agrees with it, not with the file's offset.
        {{}, "PI=FFFF\r\nPS=RDS\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s --sync-clock", 0, {"OFFSET=-05:00 -> "},
            {"OFFSET=-05:00", "ECHO=0"}},
        {{}, "", "defaults", 1, {}, {"DST?"}},
        {{"--refuse", "PS="}, "PI=FFFF\r\nPS=NEW\r\n", "diff %s", 0, {"PS=NEW\n"}, {"DST?"}},
        {{}, "", "defaults --yes", 0, {"PI=FFFF\n"}, {"INIT", "ECHO=0"}},
        {{"--mute", "PTY?"}, "", "--timeout 2 read", 3, {}, {"PS?"}},
        {{"--refuse", "PTY?"}, "", "read", 1, {}, {"PTY?"}},
        {{"--garbage", "TP?"}, "", "read", 1, {}, {"TP?"}},
        {{}, "", "clock", 0, {"Encoder:  ", " UTC  offset +00:00  DST +00:00  Pilot: Yes\nComputer: "}, {"PILOT?"}},
        {{}, "", "clock --sync", 0, {"Encoder:  "}, {"OFFSET=+00:00", "DATE?"}},
        {{}, "", "frobnicate", 64, {}, {}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Command);
        ::setenv("TZ", Has(C.Command, "--sync-clock") ? "EST5" : "UTC", 1);
        TKvxsim Sim;
        ASSERT_TRUE(Sim.Start(C.Sim));
        std::string Cmd = C.Command;
        if (*C.File) {
            const std::string Path = Sim.WriteFile("in.kvx", C.File);
            Cmd.replace(Cmd.find("%s"), 2, Path);
        }
        const std::string Backup = Sim.Dir() + "/backup.kvx";
        if (Has(Cmd, "defaults"))
            Cmd += " --backup " + Backup;
        const TRun R = Kvxctl("--port " + Sim.Path() + " " + Cmd);
        EXPECT_EQ(R.Code, C.Code);
        for (const std::string& Part : C.Out)
            EXPECT_TRUE(Has(R.Out, Part)) << R.Out;
        // The expected commands reached the encoder one after the other.
        const auto Log = Sim.Log();
        bool Found = C.Log.empty();
        for (std::size_t i = 0; !Found && i + C.Log.size() <= Log.size(); ++i)
            Found = std::equal(C.Log.begin(), C.Log.end(), Log.begin() + static_cast<long>(i));
        EXPECT_TRUE(Found) << (C.Log.empty() ? "" : C.Log[0]);
        // The backup is written once the reset is confirmed, and only then.
        if (Has(Cmd, "defaults")) {
            EXPECT_EQ(Has(ReadFile(Backup), "PI=FFFF\r\n"), Has(Cmd, "--yes"));
        }
    }
}

TEST(KvxctlScripts, TranscriptAndAnEncoderThatGoesAway)
{
    // A lost connection is reported as such (exit 2), well before the 60 s time-out.
    std::string Transcript, Text;
    const std::pair<const char*, const char*> Cases[] = {{"send ECHO=0 PS?", "ECHO=0"}, {"read", "PI?"}};
    for (const auto& [Command, Before] : Cases) {
        SCOPED_TRACE(Command);
        TKvxsim Sim;
        ASSERT_TRUE(Sim.Start({"--mute", "PS?"}));
        Transcript = Sim.Dir() + "/t.txt";
        TRun R;
        std::thread T([&, Command = Command] {
            R = Kvxctl("--timeout 60 --port " + Sim.Path() + " --transcript " + Transcript + " " + Command);
        });
        WaitUntil([&, Before = Before] { return !Sim.Log().empty() && Sim.Log().back() == Before; }, 4000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Sim.Stop();
        const auto Start = std::chrono::steady_clock::now();
        T.join();
        EXPECT_EQ(R.Code, 2);
        EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(30));
        Text = ReadFile(Transcript);
    }

    std::istringstream Lines(Text);
    std::vector<std::string> L;
    for (std::string Line; std::getline(Lines, Line);)
        L.push_back(Line);
    ASSERT_GE(L.size(), 4u);
    EXPECT_TRUE(Has(L[0], " > ECHO=0\\r\\n"));
    EXPECT_TRUE(Has(L[1], " < \\r\\nOK\\r\\n") || Has(L[1], " < ECHO=0"));
    EXPECT_TRUE(Has(L[3], " < \\r\\nHW:KVX-1\\r\\nFW:01.03.105"));
    EXPECT_TRUE(Has(L.back(), " > PS?\\r\\n"));
    long long Prev = -1;
    for (const std::string& Line : L) {
        const long long Ms = std::stoll(Line);
        EXPECT_GE(Ms, Prev);
        Prev = Ms;
    }
}

TEST(KvxctlScripts, ReadOutputLoadsBackWithoutDifferences)
{
    const TTempDir Dir("kvxst");
    const std::string State = Dir.File("state");
    std::ofstream(State) << "PI=C201\nPS=RADIO 1 \nTEXT=Hi there\nAF1=105\nOFFSET=-05:30\nDST=1\nSYNC=2\n";
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({"--state", State}));
    const std::string Out = Sim.Dir() + "/out.kvx";
    ASSERT_EQ(Kvxctl("--port " + Sim.Path() + " read -o " + Out).Code, 0);
    EXPECT_TRUE(Has(ReadFile(Out), "\r\nPI=C201\r\nPS=RADIO 1 \r\n"));
    const TRun R = Kvxctl("--port " + Sim.Path() + " diff " + Out);
    EXPECT_EQ(R.Code, 0);
    EXPECT_EQ(R.Out, "");
}

#endif
