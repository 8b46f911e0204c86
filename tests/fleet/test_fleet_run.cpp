// Fleet runs against real simulated encoders: two on pseudo-terminals, one
// behind socat on TCP, and a port that is gone. Status, diff, push and
// backup give the right results, reports, files and exit codes; a site that
// fails, refuses, is busy or is slow never stops the others.

#include "fleet/fleet_report.h"
#include "fleet/fleet_run.h"
#include "fleet/site_job.h"
#include "fleet_sites.h"
#include "platform/thread.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class FleetRun : public ::testing::Test, protected TFleetSites {
protected:
    void SetUp() override
    {
        TThread::SetMainThread();
        const std::string Why = TFleetSites::Start();
        ASSERT_EQ(Why, "");
        List = WriteList();
        ASSERT_TRUE(List.Valid());
        Options.ReplyTimeoutMs = 3000;
        Options.SiteTimeoutMs = 60000;
    }

    static const TSiteResult& Site(const std::vector<TSiteResult>& R, const std::string& Name)
    {
        for (const TSiteResult& S : R)
            if (S.Site == Name)
                return S;
        throw std::runtime_error("no result for " + Name);
    }

    TSiteList List;
    TFleetOptions Options;
};

TEST_F(FleetRun, StatusNamesEachSiteAndTheWorstExitWins)
{
    for (const int Jobs : {1, 8}) {
        SCOPED_TRACE("jobs " + std::to_string(Jobs));
        Options.Jobs = Jobs;
        const std::vector<TSiteResult> R = RunFleet(List, ftkStatus, Options);
        ASSERT_EQ(R.size(), 4u);
        EXPECT_EQ(R[0].Site, "north"); // the list's order, whatever order they ended in
        EXPECT_EQ(R[3].Site, "dead");

        const TSiteResult& N = Site(R, "north");
        EXPECT_TRUE(N.Reachable) << N.Reason;
        EXPECT_EQ(N.Serial, "1001");
        EXPECT_EQ(N.Hardware, "KVX-1");
        EXPECT_EQ(N.Firmware, "01.03.105  2015/03/10 12:00:00");
        EXPECT_TRUE(N.Differs.empty());
        ASSERT_TRUE(N.ClockDrift.has_value());
        EXPECT_LT(std::fabs(*N.ClockDrift), 2.0);

        const TSiteResult& S = Site(R, "south");
        EXPECT_EQ(S.Differs, (std::vector<std::string> {"PI", "PS"})); // SYNC and DST: unknown to firmware 01.02
        ASSERT_TRUE(S.ClockDrift.has_value());
        EXPECT_NEAR(*S.ClockDrift, -3600, 2);

        EXPECT_EQ(Site(R, "east").Differs, (std::vector<std::string> {"PS"}));
        EXPECT_EQ(Site(R, "east").ExitCode, 1);

        const TSiteResult& D = Site(R, "dead");
        EXPECT_FALSE(D.Reachable);
        EXPECT_EQ(D.Outcome, soUnreachable);
        EXPECT_TRUE(Has(D.Reason, "does not exist")) << D.Reason;
        EXPECT_EQ(FleetExitCode(R), 2);

        const std::string Table = StatusTable(R);
        EXPECT_TRUE(std::regex_search(Table, std::regex("^SITE +READ +SERIAL +HARDWARE +FIRMWARE +CLOCK +DIFFER\n")))
            << Table;
        EXPECT_TRUE(std::regex_search(Table,
            std::regex("\nsouth +yes +1002 +KVX-1 +01.02.100  2012/01/01 00:00:00 +-36(00|01|02|99|98) s +2 "
                       "\\(PI, PS\\)\n")))
            << Table;
        EXPECT_TRUE(std::regex_search(Table, std::regex("\ndead +no \\(unreachable\\) +- +- +- +- +-\n"))) << Table;
        EXPECT_TRUE(Has(Table, "\ndead: not read: ")) << Table;
    }
    // Without the site that cannot be reached, some differ: 1.
    EXPECT_EQ(FleetExitCode(RunFleet(List, ftkStatus, Options, {"north", "EAST"})), 1);
    EXPECT_EQ(FleetExitCode(RunFleet(List, ftkStatus, Options, {"north"})), 0);
}

TEST_F(FleetRun, DiffGivesTheCommandsEachSiteWouldReceive)
{
    const std::vector<TSiteResult> R = RunFleet(List, ftkDiff, Options);
    EXPECT_EQ(DiffLines(R), "south: PI=C201\nsouth: PS=GOLDEN\neast: PS=EAST\n");
    EXPECT_EQ(NotReadText(R).rfind("dead: not read: ", 0), 0u);
    EXPECT_EQ(FleetExitCode(R), 2);
    // Nothing was written.
    EXPECT_EQ(North.Log().size(), 33u);
    for (const std::string& L : South.Log()) {
        if (L != "ECHO=0") {
            EXPECT_EQ(L.find('='), std::string::npos) << L;
        }
    }
}

TEST_F(FleetRun, ARefusalAtOneSiteLeavesTheOthersWrittenAndIsReported)
{
    std::vector<std::string> Order;
    Options.OnSiteDone = [&](const TSiteResult& R) { Order.push_back(R.Site); };
    const std::vector<TSiteResult> R = RunFleet(List, ftkPush, Options);
    EXPECT_EQ(Order.size(), 4u);

    const TSiteResult& N = Site(R, "north");
    EXPECT_FALSE(N.WriteStarted);
    EXPECT_TRUE(N.Verified);
    EXPECT_EQ(N.ExitCode, 0);

    const TSiteResult& S = Site(R, "south");
    EXPECT_TRUE(S.WriteStarted);
    EXPECT_EQ(S.Write.Applied, (std::vector<std::string> {"PI=C201"}));
    EXPECT_EQ(S.Write.Failed, "PS=GOLDEN");
    EXPECT_EQ(S.Write.How, dfWriteRefused);
    EXPECT_FALSE(S.Verified);
    EXPECT_EQ(S.ExitCode, 6);

    const TSiteResult& E = Site(R, "east");
    EXPECT_EQ(E.Write.Applied, (std::vector<std::string> {"PS=EAST"}));
    EXPECT_TRUE(E.Verified) << E.Reason;
    EXPECT_EQ(E.ExitCode, 0);
    EXPECT_EQ(Site(R, "dead").ExitCode, 2);
    EXPECT_EQ(FleetExitCode(R), 6);

    const std::string Report = PushReportText(R);
    EXPECT_TRUE(Has(Report, "north: nothing to write: the encoder holds its settings\n")) << Report;
    EXPECT_TRUE(Has(Report,
        "south: refused PS=GOLDEN (reply \\r\\nNO\\r\\n)\nsouth: applied 1 of 2: PI=C201\n"
        "south: not verified: the write stopped short\n"))
        << Report;
    EXPECT_TRUE(Has(Report, "east: applied 1 of 1: PS=EAST\neast: verified: the encoder holds every setting written\n"))
        << Report;
    EXPECT_TRUE(Has(Report, "dead: not written: ")) << Report;

    // What the encoders hold now: east and north match, south lacks its PS.
    const std::vector<TSiteResult> After = RunFleet(List, ftkStatus, Options, {"north", "south", "east"});
    EXPECT_TRUE(Site(After, "east").Differs.empty());
    EXPECT_EQ(Site(After, "south").Differs, (std::vector<std::string> {"PS"}));
    EXPECT_EQ(FleetExitCode(After), 1);
}

// An encoder that says OK to a setting and does not keep it is caught by
// the read-back: exit 5, with the key.
TEST_F(FleetRun, TheReadBackCatchesASettingNotKept)
{
    TKvxsim Liar;
    ASSERT_TRUE(StartSim(Liar, "liar", Golden, {"--bare-ok", "TEXT="}));
    const TSiteList L = WriteList("[liar]\nport = " + Liar.Path() + "\nTEXT = Never kept\nCT = 0\n");
    const std::vector<TSiteResult> R = RunFleet(L, ftkPush, Options, {"liar"});
    ASSERT_EQ(R.size(), 1u);
    EXPECT_TRUE(R[0].Write.Complete());
    EXPECT_EQ(R[0].Write.Applied, (std::vector<std::string> {"TEXT=Never kept", "CT=0"}));
    EXPECT_FALSE(R[0].Verified);
    EXPECT_EQ(R[0].VerifyDiffers, (std::vector<std::string> {"TEXT"}));
    EXPECT_EQ(R[0].ExitCode, 5);
    EXPECT_TRUE(Has(PushReportText(R), "liar: not verified: read back, the encoder does not hold TEXT as written\n"))
        << PushReportText(R);
}

TEST_F(FleetRun, BackupsInAGitRepositoryShowExactlyTheChangedKeys)
{
    const std::string Git = Which("git");
    if (Git.empty())
        GTEST_SKIP() << "git is not installed";
    Options.BackupDir = Dir.File("backups");
    std::filesystem::create_directories(Options.BackupDir);
    const std::vector<TSiteResult> First = RunFleet(List, ftkBackup, Options);
    EXPECT_EQ(FleetExitCode(First), 2); // dead
    for (const char* S : {"north", "south", "east"}) {
        EXPECT_EQ(Site(First, S).Backup, bcNew) << S;
        EXPECT_EQ(Site(First, S).BackupFile, Options.BackupDir + "/" + S + ".kvx");
    }
    EXPECT_EQ(Site(First, "dead").Backup, bcNone);
    EXPECT_FALSE(std::filesystem::exists(Options.BackupDir + "/dead.kvx"));
    // The file is the settings file of what the encoder holds.
    EXPECT_EQ(ReadFile(Options.BackupDir + "/south.kvx"),
        std::regex_replace(
            std::regex_replace(Golden, std::regex("PI=C201\nPS=GOLDEN"), "PI=C2FF\nPS=OLD"), std::regex("\n"), "\r\n"));

    const std::string In = "cd '" + Options.BackupDir + "' && ";
    Shell(In + "git init -q && git add -A && git -c user.name=t -c user.email=t@t commit -qm first");
    struct stat Before { };
    ::stat((Options.BackupDir + "/east.kvx").c_str(), &Before);

    // One setting changed at one site, by hand on its line.
    ASSERT_TRUE(North.Open());
    North.Ask("ECHO=0"); // the fleet's read left it off
    ASSERT_EQ(North.Ask("PS=CHANGED"), "\r\nOK\r\n");
    North.CloseClient();

    const std::vector<TSiteResult> Second = RunFleet(List, ftkBackup, Options);
    EXPECT_EQ(Site(Second, "north").Backup, bcChanged);
    EXPECT_EQ(Site(Second, "north").ChangedKeys, (std::vector<std::string> {"PS"}));
    EXPECT_EQ(Site(Second, "south").Backup, bcUnchanged);
    EXPECT_EQ(Site(Second, "east").Backup, bcUnchanged);
    struct stat After { };
    ::stat((Options.BackupDir + "/east.kvx").c_str(), &After);
    EXPECT_EQ(After.st_ino, Before.st_ino); // not rewritten
    EXPECT_EQ(Shell(In + "git status --porcelain"), " M north.kvx\n");
    EXPECT_EQ(Shell(In + "git diff -U0 | grep '^[-+][A-Z]'"), "-PS=GOLDEN\r\n+PS=CHANGED\r\n");
    EXPECT_EQ(BackupReportText(Second).substr(0, 7), "north: ");
    EXPECT_TRUE(Has(BackupReportText(Second), "north: changed " + Options.BackupDir + "/north.kvx (PS)\n"));
}

// Another program holds north's port (as the window does when connected):
// north is reported busy and is not opened; the others go ahead.
TEST_F(FleetRun, ABusyPortIsNamedAndLeftAlone)
{
    THolder Holder(North.Path());
    ASSERT_TRUE(Holder.Holding());
    const std::size_t Seen = North.Log().size();
    const std::vector<TSiteResult> R = RunFleet(List, ftkStatus, Options);
    const TSiteResult& N = Site(R, "north");
    EXPECT_EQ(N.Outcome, soBusy);
    EXPECT_TRUE(Has(N.Reason, "in use by sleep (pid " + std::to_string(Holder.Pid()) + ")")) << N.Reason;
    EXPECT_EQ(North.Log().size(), Seen);
    EXPECT_TRUE(Site(R, "south").Reachable);
    EXPECT_TRUE(Site(R, "east").Reachable);
    EXPECT_EQ(FleetExitCode(R), 2);
    EXPECT_TRUE(Has(StatusTable(R), "\nnorth  no (busy)")) << StatusTable(R);
}

// A slow site runs out of its time-out; the other is read all the same.
TEST_F(FleetRun, ASlowSiteRunsOutOfItsTimeOutAlone)
{
    TKvxsim Slow;
    ASSERT_TRUE(StartSim(Slow, "slow", Golden, {"--delay", "300"}));
    const TSiteList L = WriteList("[slow]\nport = " + Slow.Path() + "\n");
    Options.SiteTimeoutMs = 1000;
    const std::vector<TSiteResult> R = RunFleet(L, ftkStatus, Options, {"north", "slow"});
    const TSiteResult& S = Site(R, "slow");
    EXPECT_EQ(S.Outcome, soTimedOut);
    EXPECT_TRUE(Has(S.Reason, "the site's time-out of 1 s ran out: interrupted while waiting for the reply to"))
        << S.Reason;
    EXPECT_TRUE(Site(R, "north").Reachable);
    EXPECT_EQ(FleetExitCode(R), 2);
}

TEST_F(FleetRun, AnInterruptStopsTheRunAndLeavesTheRestUnstarted)
{
    std::atomic<bool> Stop {false};
    Options.Jobs = 1;
    Options.Interrupted = [&] { return Stop.load(); };
    Options.OnSiteDone = [&](const TSiteResult&) { Stop = true; };
    const std::vector<TSiteResult> R = RunFleet(List, ftkStatus, Options);
    EXPECT_TRUE(R[0].Reachable);
    for (std::size_t i = 1; i < R.size(); ++i) {
        EXPECT_EQ(R[i].Outcome, soInterrupted);
        EXPECT_EQ(R[i].Reason, "not started: the run was interrupted");
    }
    EXPECT_EQ(FleetExitCode(R), 130);
}

TEST(ClockDrift, FromTheEncodersSecondsAndTheComputersClock)
{
    // 2024-02-29 12:00:00 UTC
    const std::int64_t Noon = 1709208000000;
    const struct {
        TSystemTime Encoder;
        std::int64_t ReadAt;
        std::optional<double> Drift;
    } Cases[] = {
        {{2024, 2, 0, 29, 12, 0, 0, 0}, Noon + 500, 0.0}, {{2024, 2, 0, 29, 11, 0, 3, 0}, Noon, -3596.5},
        {{2024, 3, 0, 1, 0, 0, 0, 0}, Noon, 43200.5},
        // The day ended between DATE? and TIME?: the old date with the new time.
        {{2024, 2, 0, 29, 0, 0, 1, 0}, 1709251201000, 0.5},
        {{2023, 2, 0, 29, 12, 0, 0, 0}, Noon, std::nullopt}, // no 29 February in 2023
        {{2024, 13, 0, 1, 12, 0, 0, 0}, Noon, std::nullopt}, {{2024, 2, 0, 29, 24, 0, 0, 0}, Noon, std::nullopt},
        {{2024, 2, 0, 29, 12, 0, 0, 0}, 0, std::nullopt}, // never read
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Encoder.wYear) + "-" + std::to_string(C.Encoder.wMonth) + "-"
            + std::to_string(C.Encoder.wDay) + " " + std::to_string(C.Encoder.wHour));
        EXPECT_EQ(ClockDriftSeconds(C.Encoder, C.ReadAt), C.Drift);
    }
}

} // namespace
