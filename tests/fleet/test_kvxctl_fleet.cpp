// kvxctl fleet and kvxctl exporter as a user runs them: the site list
// refused with its findings before anything is opened, the command line's
// faults, and each task's output, JSON and exit code.

#include "fleet_sites.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class KvxctlFleet : public ::testing::Test, protected TFleetSites {
protected:
    void SetUp() override
    {
        ASSERT_EQ(TFleetSites::Start(), "");
        ASSERT_TRUE(WriteList().Valid());
        Sites = Dir.File("sites.ini");
    }

    std::string Sites;
};

// A hostile list is refused as a whole: every finding with its place, exit
// 4, and not one encoder opened, not even the one its sound site names.
TEST_F(KvxctlFleet, AHostileListGivesItsFindingsAndOpensNothing)
{
    const std::string Hostile = Dir.Write("hostile.ini",
        "[defaults]\nprofile = golden.kvx\n[north]\nport = " + North.Path() + "\n[south]\nport = " + North.Path()
            + "\nPTY = 32\ncolour = red\n[../up]\nport = ttyUSB0\n");
    for (const char* Command : {"fleet $L status", "fleet $L push --yes", "exporter $L --listen 127.0.0.1:0"}) {
        SCOPED_TRACE(Command);
        const TRunApart R = KvxctlApart("L='" + Hostile + "'; $K " + Command);
        EXPECT_EQ(R.Code, 4) << R.Err;
        EXPECT_EQ(R.Out, "");
        EXPECT_TRUE(Has(R.Err, Hostile + ":6: port " + North.Path() + " is also site north's (line 4)")) << R.Err;
        EXPECT_TRUE(Has(R.Err, Hostile + ":7: PTY=32: must be a whole number from 0 to 31\n")) << R.Err;
        EXPECT_TRUE(Has(R.Err, Hostile + ":8: unknown key colour in [south]")) << R.Err;
        EXPECT_TRUE(Has(R.Err, Hostile + ":9: a site name may not start with")) << R.Err;
        EXPECT_TRUE(Has(R.Err, "kvxctl: the site list " + Hostile + " is refused: no encoder was opened\n")) << R.Err;
    }
    EXPECT_TRUE(North.Log().empty());
}

TEST_F(KvxctlFleet, CommandLineFaultsAreNamed)
{
    const struct {
        std::string Args;
        int Code;
        std::string Says;
    } Cases[] = {
        {"fleet $L", 64, "fleet needs SITES and status, diff, push or backup"},
        {"fleet $L reboot", 64, "fleet does status, diff, push or backup, not 'reboot'"},
        {"fleet $L backup", 64, "fleet SITES backup needs DIR"},
        {"fleet $L status now", 64, "fleet SITES status takes no further argument, not 'now'"},
        {"fleet $L status --yes", 64, "--yes applies to fleet SITES push only"},
        {"fleet $L status --site north --site nowhere", 64, "no site nowhere in "},
        {"fleet $L diff --jobs 0", 64, "--jobs takes a number from 1 to 1024, not '0'"},
        {"fleet $L diff --site-timeout 0", 64, "--site-timeout takes seconds (a number above 0)"},
        {"fleet nowhere.ini status", 64, "nowhere.ini: cannot read the site list: No such file or directory"},
        {"exporter $L --listen 9724", 64, "--listen 9724: a listen address is HOST:PORT"},
        {"exporter $L --interval 0.5", 64, "--interval takes seconds (1 or more), not '0.5'"},
        {"fleet $L push", 1, "refused: not asked without a terminal (give --yes)"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Args);
        const TRunApart R = KvxctlApart("L='" + Sites + "'; $K " + C.Args);
        EXPECT_EQ(R.Code, C.Code) << R.Err;
        EXPECT_TRUE(Has(R.Err, C.Says)) << R.Err;
    }
    // Not one of them talked to an encoder.
    EXPECT_TRUE(North.Log().empty());
    EXPECT_TRUE(South.Log().empty());
}

TEST_F(KvxctlFleet, EachTaskGivesItsOutputJsonAndExitCode)
{
    const TRunApart Status = KvxctlApart("$K fleet '" + Sites + "' status");
    EXPECT_EQ(Status.Code, 2);
    EXPECT_TRUE(Has(Status.Out, "\neast   yes               1003    KVX-1")) << Status.Out;
    EXPECT_TRUE(Has(Status.Out, "\ndead: not read: " + Dir.File("ttyGone") + " does not exist")) << Status.Out;

    const TRunApart Json = KvxctlApart("$K -j fleet '" + Sites + "' status --site=south,dead");
    EXPECT_EQ(Json.Code, 2);
    EXPECT_EQ(FromJson(Json.Out,
                  "d['schema'], d['task'], d['exit'], [(s['site'], s['reachable'], s['outcome'], s['exit']) for s in "
                  "d['sites']], d['sites'][0]['differing'], round(d['sites'][0]['clock_drift_seconds'] / 60)"),
        "1 status 2 [('south', True, 'done', 1), ('dead', False, 'unreachable', 2)] ['PI', 'PS'] -60\n")
        << Json.Out;

    const TRunApart Diff = KvxctlApart("$K fleet '" + Sites + "' diff --jobs 1");
    EXPECT_EQ(Diff.Code, 2);
    EXPECT_EQ(Diff.Out, "south: PI=C201\nsouth: PS=GOLDEN\neast: PS=EAST\n");
    EXPECT_TRUE(Has(Diff.Err, "kvxctl: dead: not read: ")) << Diff.Err;
    EXPECT_EQ(KvxctlApart("$K fleet '" + Sites + "' diff --site north").Code, 0);
    EXPECT_EQ(KvxctlApart("$K fleet '" + Sites + "' diff --site north --site east").Code, 1);

    const TRunApart Push = KvxctlApart("$K -j fleet '" + Sites + "' push --yes");
    EXPECT_EQ(Push.Code, 6) << Push.Err;
    EXPECT_EQ(FromJson(Push.Out,
                  "[(s['site'], s['exit'], s.get('write', {}).get('applied'), "
                  "s.get('write', {}).get('failed'), s['write']['verified']) for s in d['sites']]"),
        "[('north', 0, [], None, True), ('south', 6, ['PI=C201'], 'PS=GOLDEN', False), ('east', 0, ['PS=EAST'], None, "
        "True), ('dead', 2, [], None, False)]\n")
        << Push.Out;

    const std::string Folder = Dir.File("backups");
    const TRunApart Backup = KvxctlApart("$K fleet '" + Sites + "' backup '" + Folder + "'");
    EXPECT_EQ(Backup.Code, 2);
    EXPECT_EQ(FromJson(Backup.Out,
                  "d['folder'], [(s['site'], s['backup']) for s in "
                  "d['sites']]"),
        Folder + " [('north', 'new'), ('south', 'new'), ('east', 'new'), ('dead', None)]\n")
        << Backup.Out;
    EXPECT_TRUE(Has(Backup.Err, "kvxctl: east: new " + Folder + "/east.kvx\n")) << Backup.Err;
    EXPECT_TRUE(std::filesystem::exists(Folder + "/east.kvx"));
    EXPECT_EQ(KvxctlApart("$K -q fleet '" + Sites + "' backup '" + Folder + "' --site north").Err, "");
}

} // namespace
