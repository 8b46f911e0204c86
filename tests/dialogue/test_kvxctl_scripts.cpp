#ifndef KVXCTL_PATH
#error "KVXCTL_PATH must name the console program the tests run"
#endif
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "support/hostile_settings_files.h"
#include "support/kvxctl_run.h"
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
#include <unistd.h>

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
            {"\"ISDST\": null", "\"DST\": null", "\"SYNC\": null", "{\"slot\": 1, \"code\": 0, \"MHz\": null}",
                "\"PI\": \"FFFF\""},
            {"DRTS?"}},
        {{}, "PI=C201\r\nPS=RDS\r\nAF1=105\r\nAF2=12\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "diff %s", 1,
            {"PI=C201\nAF1=105\nAF2=12\n"}, {"DST?"}},
        {{}, "PI=C201\r\nAF1=105\r\nAF2=105\r\n", "diff %s", 4,
            {":3: AF2=105: AF Method A do not allows duplicate frequencies!"}, {}},
        {{}, "PI=0000\r\n", "write %s --yes", 4, {":1: PI=0000: Invalid PI!"}, {}},
        {{}, "PI=C201\r\nPS=RADIO 1\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 0,
            {"PI=C201\nPS=RADIO 1\n", "PI=C201 -> \\r\\nOK\\r\\n\nPS=RADIO 1 -> \\r\\nOK\\r\\n\n"},
            {"PI=C201", "PS=RADIO 1", "ECHO=0"}},
        // Refused at its third command: PI and PS were applied, so the encoder was partly changed.
        {{"--refuse", "TA="}, "PI=C201\r\nPS=NEW\r\nTA=1\r\nTP=1\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 6,
            {"PI=C201 -> \\r\\nOK\\r\\n\nPS=NEW -> \\r\\nOK\\r\\n\n", "TA=1 -> \\r\\nNO\\r\\n\n",
                "kvxctl: Save Failed! Negative Acknowledgement.\nkvxctl: The encoder refused TA=1 (it answered NO).\n"
                "kvxctl: The encoder was partly changed: 2 of 4 commands applied: PI=C201, PS=NEW.\n"
                "kvxctl: Not sent (1): TP=1.\n"},
            {"PI=C201", "PS=NEW", "TA=1"}},
        // Refused at the first: nothing changed.
        {{"--refuse", "PI="}, "PI=C201\r\nPS=RDS\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 1,
            {"Nothing was applied (0 of 1): the encoder was not changed."}, {"PI=C201"}},
        // The encoder keeps RadioText without its trailing blanks, and so does the comparison.
        {{}, "PI=FFFF\r\nPS=RDS\r\nTEXT=Hi  \r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s", 0, {"TEXT=Hi   -> "}, {"DST?"}},
        {{}, "PI=FFFF\r\nPS=RDS\r\nTEXT=\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "diff %s", 0, {}, {"DST?"}},
        // The computer's clock (five hours behind UTC here) is written; the
        // read-back agrees with it, not with the file's offset.
        {{}, "PI=FFFF\r\nPS=RDS\r\nCT=1\r\nMS=1\r\nDI=1\r\n", "write %s --sync-clock", 0, {"OFFSET=-05:00 -> "},
            {"OFFSET=-05:00", "ECHO=0"}},
        {{}, "", "defaults", 1, {}, {"DST?"}},
        {{"--refuse", "PS="}, "PI=FFFF\r\nPS=NEW\r\n", "diff %s", 1, {"PS=NEW\n"}, {"DST?"}},
        // diff's own 1 means "differs": an encoder that refuses a query is a failed dialogue.
        {{"--refuse", "PTY?"}, "PI=FFFF\r\n", "diff %s", 2, {}, {"PTY?"}},
        {{}, "", "defaults --yes", 0, {"PI=FFFF\n"}, {"INIT", "ECHO=0"}},
        {{"--refuse", "INIT"}, "", "defaults --yes", 1, {"kvxctl: the encoder refused INIT: it was not reset\n"},
            {"INIT"}},
        {{"--mute", "INIT"}, "", "--timeout 1 defaults --yes", 3,
            {"kvxctl: no reply to INIT within 1 s: the encoder may not have been reset\n"}, {"INIT"}},
        {{"--mute", "PTY?"}, "", "--timeout 2 read", 3, {}, {"PS?"}},
        {{"--refuse", "PTY?"}, "", "read", 1, {}, {"PTY?"}},
        {{"--garbage", "TP?"}, "", "read", 1, {}, {"TP?"}},
        {{}, "", "clock", 0, {"Encoder:  20", "Z  offset +00:00  DST +00:00  Pilot: Yes\nComputer: 20", "\nDrift:    "},
            {"PILOT?"}},
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
        const TRun R = Kvxctl("--port " + Sim.Path() + " " + Cmd, true);
        EXPECT_EQ(R.Code, C.Code) << R.Out;
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
        // An invalid file sends nothing at all.
        if (C.Code == 4) {
            EXPECT_EQ(Log, std::vector<std::string> {});
        }
    }
}

TEST(KvxctlScripts, HostileFilesAreRefusedBeforeThePortIsOpened)
{
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    int n = 0;
    for (const THostileSettingsFile& C : HostileSettingsFiles()) {
        SCOPED_TRACE(C.Name);
        const std::string Path = Sim.WriteFile("in.kvx", C.Text);
        const std::string Command = n++ % 2 ? "write " + Path + " --yes" : "diff " + Path;
        const TRun R = Kvxctl("--port " + Sim.Path() + " " + Command, true);
        EXPECT_EQ(R.Code, 4) << R.Out;
        if (*C.Key) {
            EXPECT_TRUE(Has(R.Out, Path + ":" + std::to_string(C.Line) + ": " + C.Key + "=")) << R.Out;
            EXPECT_TRUE(Has(R.Out, "kvxctl: validation refused " + Path + ": nothing was sent")) << R.Out;
        }
        EXPECT_TRUE(Has(R.Out, C.Reason)) << R.Out;
        // Nothing was sent: the encoder never heard a command.
        EXPECT_EQ(Sim.Log(), std::vector<std::string> {});
    }
}

TEST(KvxctlScripts, AFileIsReadOnceFromAPipeAndAsUtf8WithoutAMark)
{
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    // CAF\u00c9 in UTF-8 without a byte-order mark: five bytes in the file, four go out.
    const std::string File = Sim.WriteFile("in.kvx", "PI=C201\r\nPS=CAF\xC3\x89\r\n");
    for (const char* Name : {"-", "/dev/stdin"}) {
        SCOPED_TRACE(Name);
        const TRun R = Kvxctl("--port " + Sim.Path() + " diff " + Name, true, "", File);
        EXPECT_EQ(R.Code, 1) << R.Out;                                 // it differs
        EXPECT_TRUE(Has(R.Out, "PI=C201\nPS=CAF\xC3\x89\n")) << R.Out; // shown as UTF-8 on the terminal
    }
    const TRun W = Kvxctl("--port " + Sim.Path() + " write - --yes", true, "", File);
    EXPECT_EQ(W.Code, 0) << W.Out;
    const auto Log = Sim.Log();
    EXPECT_NE(std::find(Log.begin(), Log.end(), "PS=CAF\xC9"), Log.end());
}

TEST(KvxctlScripts, AnInterruptedWriteSaysWhatItApplied)
{
    // TA=1 takes a second to answer: the interrupt comes while it is awaited,
    // its reply is taken, and nothing more is sent.
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({"--delay-word", "TA==1000"}));
    const std::string File = Sim.WriteFile("in.kvx", "PI=C201\r\nPS=NEW\r\nTA=1\r\nTP=1\r\nCT=1\r\nMS=1\r\nDI=1\r\n");
    const std::string Script = std::string(KVXCTL_PATH) + " --port " + Sim.Path() + " write " + File
        + " --yes </dev/null 2>&1 & P=$!; for i in $(seq 200); do grep -q '^TA=1' '" + Sim.Dir()
        + "/log' && break; sleep 0.05; done; kill -INT $P; wait $P; echo \"rc=$?\"";
    FILE* F = ::popen(Script.c_str(), "r");
    ASSERT_NE(F, nullptr);
    std::string Out;
    char Buf[512];
    for (std::size_t N; (N = std::fread(Buf, 1, sizeof Buf, F)) > 0;)
        Out.append(Buf, N);
    ::pclose(F);
    EXPECT_TRUE(Has(Out,
        "kvxctl: Save Failed! The write was interrupted.\n"
        "kvxctl: The encoder was partly changed: 3 of 4 commands applied: PI=C201, PS=NEW, TA=1.\n"
        "kvxctl: Not sent (1): TP=1.\n"))
        << Out;
    EXPECT_TRUE(Has(Out, "rc=6")) << Out;
    EXPECT_EQ(Sim.Log().back(), "TA=1");
}

TEST(KvxctlScripts, HostileRepliesAreEscapedOnTheTerminalOnly)
{
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({"--reply",
        "SER?=\x1b]0;owned\x07\x9b"
        "2J"}));
    const std::string Port = "--port " + Sim.Path() + " ";
    EXPECT_TRUE(Has(Kvxctl(Port + "read").Out, "\nSERIAL=\\x1b]0;owned\\x07\\x9b2J\n"));
    EXPECT_TRUE(Has(Kvxctl(Port + "send SER?").Out, "\\r\\n\\x1b]0;owned\\x07\\x9b2J\\r\\nOK"));
    EXPECT_TRUE(Has(Kvxctl(Port + "read --format json").Out, "\"SERIAL\": \"\\u001b]0;owned\\u0007\\u009b2J\""));
    const std::string Out = Sim.Dir() + "/out.kvx";
    ASSERT_EQ(Kvxctl(Port + "read -o " + Out).Code, 0);
    EXPECT_TRUE(Has(ReadFile(Out),
        "\r\nSERIAL=\x1b]0;owned\x07\x9b"
        "2J\r\n"));
}

TEST(KvxctlScripts, OutputFilesAndTranscriptsKeepWhatTheyShould)
{
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    // A link at the transcript's path is not followed onto its target.
    const std::string Victim = Sim.WriteFile("victim", "precious\n");
    const std::string Link = Sim.Dir() + "/t.txt";
    ASSERT_EQ(::symlink(Victim.c_str(), Link.c_str()), 0);
    const TRun T = Kvxctl("--port " + Sim.Path() + " --transcript " + Link + " read", true);
    EXPECT_EQ(T.Code, 64);
    EXPECT_TRUE(Has(T.Out, "symbolic link")) << T.Out;
    EXPECT_EQ(ReadFile(Victim), "precious\n");
    EXPECT_TRUE(Sim.Log().empty());

    // read -o onto a full file system keeps the old dump (a small tmpfs of
    // its own, in a mount namespace of the test's own). The dump is longer
    // than the page that truncating the old one would free.
    ASSERT_TRUE(Sim.Start({"--reply", "SER?=" + std::string(6000, 'S')}));
    const std::string Dir = Sim.Dir() + "/full";
    std::filesystem::create_directory(Dir);
    const std::string Script = "mount -t tmpfs -o size=64k tmpfs '" + Dir + "' || exit 77; printf 'OLD DUMP\\r\\n' > '"
        + Dir + "/out.kvx'; dd if=/dev/zero of='" + Dir + "/filler' bs=1k 2>/dev/null; " + KVXCTL_PATH + " --port "
        + Sim.Path() + " read -o '" + Dir + "/out.kvx' 2>&1; echo \"rc=\\$?\"; cat '" + Dir + "/out.kvx'";
    FILE* P = ::popen(("unshare -rm sh -c \"" + Script + "\" 2>&1").c_str(), "r");
    ASSERT_NE(P, nullptr);
    std::string Out;
    char Buf[512];
    for (std::size_t N; (N = std::fread(Buf, 1, sizeof Buf, P)) > 0;)
        Out.append(Buf, N);
    const int St = ::pclose(P);
    if (WIFEXITED(St) && WEXITSTATUS(St) == 77)
        GTEST_SKIP() << "no mount namespace here: " << Out;
    EXPECT_TRUE(Has(Out, "No space left on device")) << Out;
    EXPECT_TRUE(Has(Out, "rc=1\nOLD DUMP\r\n")) << Out;
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
        // send records its traffic too.
        EXPECT_TRUE(Has(Text, " > " + std::string(Before) + "\\r\\n")) << Text;
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
