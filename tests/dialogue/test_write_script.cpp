#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "dialogue/encoder_dialogue.h"
#include "dialogue_session.h"
#include "dialogue_test_view.h"
#include "support/dialogue_probe.h"
#include "support/kvxsim_process.h"
#include "support/wait_until.h"

#include "rds/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

bool StartsWith(const std::string& S, const char* P)
{
    return S.rfind(P, 0) == 0;
}

} // namespace

TEST(WriteScript, ComputerClockSaveSendsDateTimeAndOffsetOnly)
{
    TSession S;
    ASSERT_TRUE(S.Read({}));
    const std::size_t Before = S.Sim.Log().size();
    S.View.SyncWithComputer = true;
    EXPECT_TRUE(S.D->EditorDiffers());
    ASSERT_EQ(S.D->SaveChanges(), srStarted);
    // The panel goes back to manual at once, so the next save does not write the clock again.
    EXPECT_EQ(S.View.ManualSyncs, 1);
    ASSERT_TRUE(S.WaitEnd(scWrite));
    const auto Sent = S.LogFrom(Before);
    ASSERT_EQ(Sent.size(), 3u);
    EXPECT_TRUE(StartsWith(Sent[0], "DATE="));
    EXPECT_TRUE(StartsWith(Sent[1], "TIME="));
    EXPECT_TRUE(StartsWith(Sent[2], "OFFSET="));
    EXPECT_FALSE(TDialogueProbe::Loader(*S.D).Active());
    EXPECT_FALSE(S.D->EditorDiffers());
}

TEST(WriteScript, SecondOfThreeRefusedLeavesTheThirdUnsent)
{
    TSession S;
    ASSERT_TRUE(S.Read({"--refuse", "TA="}));
    const std::size_t Before = S.Sim.Log().size();
    S.View.Editor.PI = 0xC201;
    S.View.Editor.TA = 1;
    S.View.Editor.TP = 1;
    ASSERT_EQ(S.D->SaveChanges(), srStarted);
    EXPECT_EQ(S.View.Editor.PI, 0xC201); // the editor shows what is written
    ASSERT_TRUE(ServeUntil([&] { return S.D->LastStatus() == stDisconnected; }));
    EXPECT_EQ(S.D->Failure(), dfWriteRefused);
    EXPECT_EQ(S.D->FailedCommand(), "TA=1");
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"PI=C201", "TA=1"}));
    ASSERT_EQ(S.View.Errors.size(), 1u);
    EXPECT_EQ(S.View.Errors[0].rfind("Save Failed! Negative Acknowledgement.\r\n", 0), 0u);
    EXPECT_EQ(S.D->WriteReport().NotSent, std::vector<std::string> {"TP=1"});
    // The device copy keeps what was read before the save.
    EXPECT_EQ(S.D->DeviceCopy().PI, 0xFFFF);
    EXPECT_FALSE(S.D->DeviceCopy().Ready());
}

TEST(WriteScript, SaveThatCannotStartChangesNothing)
{
    TSession S;
    ASSERT_TRUE(S.Read({}));
    const std::size_t Before = S.Sim.Log().size();

    // A refresh runs: the write does not start, the clock choice stays.
    S.View.SyncWithComputer = true;
    S.D->ClockRefreshTick();
    EXPECT_EQ(S.D->SaveChanges(), srBusy);
    EXPECT_EQ(S.View.ManualSyncs, 0);
    ASSERT_TRUE(S.WaitEnd(scClockRefresh));
    EXPECT_TRUE(S.D->EditorDiffers());

    // PI 0 is refused by validation; nothing is sent.
    S.View.SyncWithComputer = false;
    S.View.Editor.PI = 0;
    const std::size_t AfterRefresh = S.Sim.Log().size();
    EXPECT_EQ(S.D->SaveChanges(), srInvalid);
    EXPECT_EQ(S.View.Editor.PI, 0);
    S.View.Editor.PI = 0xFFFF;
    EXPECT_EQ(S.D->SaveChanges(), srNoChanges);
    TThread::CheckSynchronize(50);
    EXPECT_EQ(S.Sim.Log().size(), AfterRefresh);
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"DATE?", "TIME?", "ISDST?", "OFFSET?", "PILOT?"}));
}

// A record written without the editor: only what differs goes out, the
// editor is neither collected nor shown, and the device copy takes it.
TEST(WriteRecord, WritesWhatDiffersWithoutTheEditorAndKeepsTheLinkOnARefusal)
{
    TSession S;
    ASSERT_TRUE(S.Read({"--refuse", "TEXT="}));
    const std::size_t Before = S.Sim.Log().size();
    const int Populates = S.View.Populates;
    S.View.Editor.PI = 0x1234; // the user's unsaved edit stays unsent

    // Refused: the write ends, nothing is shown, the link stays.
    TBRDSDataValidator R;
    R.AssignSettings(S.D->DeviceCopy());
    R.RT = "Artist - Title";
    R.DPS = "NOW PLAYING";
    R.RTCManual = false; // the clock is left alone all the same
    ASSERT_EQ(S.D->WriteRecord(R), srStarted);
    EXPECT_EQ(S.D->WriteRecord(R), srBusy);
    ASSERT_TRUE(ServeUntil([&] { return S.D->Progress().Script == scNone; }));
    EXPECT_EQ(S.D->Failure(), dfWriteRefused);
    EXPECT_EQ(S.D->WriteReport().NotSent, std::vector<std::string> {"DPS=NOW PLAYING"});
    EXPECT_TRUE(S.D->Connected());
    EXPECT_TRUE(S.D->DeviceCopy().Ready());
    EXPECT_EQ(S.D->DeviceCopy().RT, "");
    EXPECT_TRUE(S.View.Errors.empty());

    // Over the same link a record that differs in DPS only is written.
    R.RT.clear();
    ASSERT_EQ(S.D->WriteRecord(R), srStarted);
    ASSERT_TRUE(S.WaitEnd(scWrite));
    EXPECT_EQ(S.D->Failure(), dfNone);
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"TEXT=Artist - Title", "DPS=NOW PLAYING"}));
    EXPECT_EQ(S.D->DeviceCopy().DPS, "NOW PLAYING");
    EXPECT_EQ(S.D->DeviceCopy().PI, 0xFFFF);
    EXPECT_EQ(S.View.Populates, Populates);
    EXPECT_EQ(S.View.ManualSyncs, 0);
    EXPECT_EQ(S.D->WriteRecord(R), srNoChanges);

    // A value the field table does not allow is named and not sent.
    R.RT = "bell\x07";
    std::string Why;
    EXPECT_EQ(S.D->WriteRecord(R, &Why), srInvalid);
    EXPECT_NE(Why.find("TEXT="), std::string::npos) << Why;
    TThread::CheckSynchronize(50);
    EXPECT_EQ(S.LogFrom(Before).size(), 2u);
}

TEST(ClockRefresh, FillsTheDeviceClockLabelsOnly)
{
    TSession S;
    ASSERT_TRUE(S.Read({"--firmware", "01.02.992  2013/02/19 09:52:54", "--pilot", "free"}));
    const std::size_t Before = S.Sim.Log().size();
    S.View.Labels.clear();
    const int Populates = S.View.Populates;
    TDialogueProbe::DeviceCopy(*S.D).Offset = 99; // the refresh must not touch the device copy
    S.D->ClockRefreshTick();
    ASSERT_TRUE(S.WaitEnd(scClockRefresh));
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"DATE?", "TIME?", "OFFSET?", "PILOT?"}));
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbRTC_DD].size(), 11u);
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbRTC_DT].size(), 8u);
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbRTC_DO], "+00:00");
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbPilot], "Pilot: defaulted to the internal timebase");
    EXPECT_GE(S.D->RefreshedClock().wYear, 2024);
    EXPECT_EQ(S.D->DeviceCopy().Offset, 99);
    EXPECT_EQ(S.View.Populates, Populates);
}

// Backups of the settings go to a folder of the session's own.
struct TBackupSession : TSession {
    std::string DataHome;
    bool Start(const std::vector<std::string>& SimArgs)
    {
        if (!Sim.Start(SimArgs))
            return false;
        DataHome = Sim.Dir() + "/data";
        ::setenv("XDG_DATA_HOME", DataHome.c_str(), 1);
        D->DeviceConnectExecute(Sim.Path());
        return true;
    }
    ~TBackupSession() { ::unsetenv("XDG_DATA_HOME"); }
};

TEST(FactoryDefaults, AsksSavesABackupSendsInitWaitsAndReadsAgain)
{
    TBackupSession S;
    ASSERT_TRUE(S.Start({}) && S.WaitEnd(scRead));
    S.View.Editor.PI = 0x1234;
    ASSERT_EQ(S.D->SaveChanges(), srStarted);
    ASSERT_TRUE(S.WaitEnd(scWrite));
    ASSERT_EQ(S.D->DeviceCopy().PI, 0x1234);
    const std::size_t Before = S.Sim.Log().size();

    for (TQuestionAnswer A : {qaNo, qaCancel}) {
        S.View.Answer = A;
        EXPECT_FALSE(S.D->FactoryDefaults());
    }
    EXPECT_EQ(S.Sim.Log().size(), Before);
    EXPECT_EQ(S.View.Questions.size(), 2u);
    EXPECT_TRUE(S.D->LastBackup().empty());

    S.View.Answer = qaYes;
    const int Resets = S.View.TitleResets;
    ASSERT_TRUE(S.D->FactoryDefaults()) << (S.View.Errors.empty() ? "" : S.View.Errors[0]);
    EXPECT_EQ(S.View.Questions.back(), "Encoder will be initialized to factory defaults?\r\nAre you Sure?");
    EXPECT_EQ(S.View.TitleResets, Resets + 1);
    EXPECT_EQ(S.View.PendingEventRuns, 1);
    EXPECT_FALSE(S.View.EditorEnabled);
    ASSERT_TRUE(S.WaitEnd(scRead));
    const auto Sent = S.LogFrom(Before);
    ASSERT_EQ(Sent.size(), 34u);
    EXPECT_EQ(Sent[0], "INIT");
    EXPECT_EQ(Sent[1], "ECHO=0");
    EXPECT_EQ(S.D->DeviceCopy().PI, 0xFFFF);
    EXPECT_EQ(S.View.Editor.PI, 0xFFFF);
    EXPECT_TRUE(S.View.EditorEnabled);

    // The backup holds the settings from before the reset, and opening it
    // puts them back into a record.
    const std::string Folder = S.DataHome + "/kvxc/backups/";
    ASSERT_EQ(S.D->LastBackup().rfind(Folder, 0), 0u) << S.D->LastBackup();
    EXPECT_EQ(S.D->LastBackup().find('/', Folder.size()), std::string::npos);
    TBRDSDataValidator Saved;
    std::string Error;
    ASSERT_TRUE(LoadSettingsFile(S.D->LastBackup(), Saved, Error)) << Error;
    EXPECT_EQ(Saved.PI, 0x1234);
    EXPECT_TRUE(S.View.Errors.empty());
}

TEST(FactoryDefaults, TheInitReplyIsAwaitedAndChecked)
{
    struct {
        const char* Name;
        std::vector<std::string> Sim;
        TDialogueFailure Failure;
        const char* Error;
    } Cases[] = {
        {"refused", {"--refuse", "INIT"}, dfInitRefused, "the encoder refused INIT: it was not reset"},
        {"unanswered", {"--mute", "INIT"}, dfInitUnanswered,
            "no reply to INIT within 0.5 s: the encoder may not have been reset"},
        // Slower than the pause: the re-read must not take the INIT reply for ECHO=0's.
        {"answered after 1.5 s", {"--delay", "30", "--delay-word", "INIT=1500"}, dfNone, ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TBackupSession S;
        std::vector<std::string> Sim = C.Sim;
        Sim.insert(Sim.end(), {"--serial", "SN42"});
        ASSERT_TRUE(S.Start(Sim) && S.WaitEnd(scRead));
        S.D->SetReplyTimeout(C.Failure == dfInitUnanswered ? 500 : 5000);
        const std::size_t Before = S.Sim.Log().size();
        ASSERT_TRUE(S.D->FactoryDefaults());
        EXPECT_EQ(S.D->Progress().Script, scFactoryReset);
        if (C.Failure == dfNone) {
            EXPECT_TRUE(S.WaitEnd(scRead));
            EXPECT_EQ(S.D->Failure(), dfNone);
            EXPECT_EQ(S.D->DeviceCopy().HW, "KVX-1");
            EXPECT_EQ(S.D->DeviceCopy().Serial, "SN42");
            EXPECT_EQ(S.D->DeviceCopy().PI, 0xFFFF);
            EXPECT_EQ(S.LogFrom(Before).size(), 34u);
            EXPECT_TRUE(S.View.Errors.empty());
            continue;
        }
        EXPECT_TRUE(S.WaitDisconnected());
        EXPECT_EQ(S.D->Failure(), C.Failure);
        EXPECT_EQ(S.View.Errors, std::vector<std::string> {C.Error});
        EXPECT_EQ(S.LogFrom(Before), std::vector<std::string> {"INIT"});
        EXPECT_EQ(S.D->LastScriptEnded(), scNone);
        EXPECT_FALSE(S.D->DeviceCopy().Ready());
    }
}

TEST(FactoryDefaults, WaitsForARunningRefreshSoThatNoStaleReplyPassesForInit)
{
    // PILOT? answers late; INIT is refused. Sent at once, INIT would take the
    // late PILOT? reply for its own and the refusal would pass unseen.
    TBackupSession S;
    ASSERT_TRUE(S.Start({"--delay-word", "PILOT?=300", "--refuse", "INIT"}) && S.WaitEnd(scRead));
    S.D->SetReplyTimeout(5000);
    const std::size_t Before = S.Sim.Log().size();
    S.D->ClockRefreshTick();
    ASSERT_TRUE(ServeUntil([&] { return S.Sim.Log().back() == "PILOT?"; }));
    ASSERT_TRUE(S.D->FactoryDefaults());
    EXPECT_EQ(S.D->SaveChanges(), srBusy);
    ASSERT_TRUE(S.WaitDisconnected());
    EXPECT_EQ(S.D->Failure(), dfInitRefused);
    const auto Sent = S.LogFrom(Before);
    ASSERT_GE(Sent.size(), 2u);
    EXPECT_EQ(Sent[Sent.size() - 2], "PILOT?");
    EXPECT_EQ(Sent.back(), "INIT");
}

TEST(FactoryDefaults, NoBackupNoReset)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> Sim; // the read never completes when PS? gets no answer
        bool BlockFolder;             // a file stands where the backup folder belongs
        const char* Error;
    };
    const TCase Cases[] = {
        {"read incomplete", {"--mute", "PS?"}, false, "have not been read yet"},
        {"folder blocked", {}, true, "Cannot save a backup"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TBackupSession S;
        ASSERT_TRUE(S.Start(C.Sim));
        if (C.Sim.empty())
            ASSERT_TRUE(S.WaitEnd(scRead));
        else
            ASSERT_TRUE(ServeUntil([&] { return !S.Sim.Log().empty() && S.Sim.Log().back() == "PS?"; }));
        if (C.BlockFolder)
            S.Sim.WriteFile("data", "not a folder");
        const std::size_t Before = S.Sim.Log().size();
        const bool Enabled = S.View.EditorEnabled;
        const int Clears = S.View.Clears;

        EXPECT_FALSE(S.D->FactoryDefaults());
        ASSERT_EQ(S.View.Errors.size(), 1u);
        EXPECT_NE(S.View.Errors[0].find(C.Error), std::string::npos) << S.View.Errors[0];
        EXPECT_NE(S.View.Errors[0].find("The encoder was not reset."), std::string::npos);
        // Nothing was sent and the editor still shows what it showed.
        EXPECT_EQ(S.Sim.Log().size(), Before);
        EXPECT_EQ(S.View.EditorEnabled, Enabled);
        EXPECT_EQ(S.View.Clears, Clears);
        EXPECT_TRUE(S.D->LastBackup().empty());
    }
}

TEST(QuerySaveChanges, AnswersDecideWhetherTheWindowCloses)
{
    TSession S;
    ASSERT_TRUE(S.Read({}));
    EXPECT_TRUE(S.D->QuerySaveChanges());
    EXPECT_TRUE(S.View.Questions.empty());

    S.View.Editor.PS = "EDITED";
    S.View.Answer = qaCancel;
    EXPECT_FALSE(S.D->QuerySaveChanges());
    EXPECT_EQ(S.View.Editor.PS, "EDITED");
    S.View.Answer = qaNo;
    EXPECT_TRUE(S.D->QuerySaveChanges());
    EXPECT_EQ(S.View.Editor.PS, "RDS");
    EXPECT_EQ(S.View.Questions, (std::vector<std::string> {"Save Changes?", "Save Changes?"}));

    S.View.Editor.PS = "EDITED";
    S.View.Answer = qaYes;
    EXPECT_FALSE(S.D->QuerySaveChanges());
    ASSERT_TRUE(S.WaitEnd(scWrite));
    EXPECT_EQ(S.Sim.Log().back(), "PS=EDITED");
    EXPECT_EQ(S.D->DeviceCopy().PS, "EDITED");
}
