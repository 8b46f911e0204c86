#ifdef KVXSIM_PATH

#include "dialogue/encoder_dialogue.h"
#include "dialogue_session.h"
#include "dialogue_test_view.h"
#include "support/kvxsim_process.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

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
    ASSERT_TRUE(S.WaitEnd(152));
    const auto Sent = S.LogFrom(Before);
    ASSERT_EQ(Sent.size(), 3u);
    EXPECT_TRUE(StartsWith(Sent[0], "DATE="));
    EXPECT_TRUE(StartsWith(Sent[1], "TIME="));
    EXPECT_TRUE(StartsWith(Sent[2], "OFFSET="));
    EXPECT_FALSE(S.D->LDRA->Active());
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
    EXPECT_EQ(S.View.Errors, std::vector<std::string> {"Save Failed! Negative Acknowledgement."});
    // The device copy keeps what was read before the save.
    EXPECT_EQ(S.D->BRDSDV->PI, 0xFFFF);
    EXPECT_FALSE(S.D->BRDSDV->Ready());
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
    ASSERT_TRUE(S.WaitEnd(206));
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

TEST(ClockRefresh, FillsTheDeviceClockLabelsOnly)
{
    TSession S;
    ASSERT_TRUE(S.Read({"--firmware", "01.02.992  2013/02/19 09:52:54", "--pilot", "free"}));
    const std::size_t Before = S.Sim.Log().size();
    S.View.Labels.clear();
    const int Populates = S.View.Populates;
    S.D->BRDSDV->Offset = 99; // the refresh must not touch the device copy
    S.D->ClockRefreshTick();
    ASSERT_TRUE(S.WaitEnd(206));
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"DATE?", "TIME?", "OFFSET?", "PILOT?"}));
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbRTC_DD].size(), 11u);
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbRTC_DT].size(), 8u);
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbRTC_DO], "+00:00");
    EXPECT_EQ(S.View.Labels[TDialogueLabel::lbPilot], "Pilot: defaulted to the internal timebase");
    EXPECT_GE(S.D->FUTC.wYear, 2024);
    EXPECT_EQ(S.D->BRDSDV->Offset, 99);
    EXPECT_EQ(S.View.Populates, Populates);
}

TEST(FactoryDefaults, AsksSendsInitWaitsAndReadsAgain)
{
    TSession S;
    ASSERT_TRUE(S.Read({}));
    S.View.Editor.PI = 0x1234;
    ASSERT_EQ(S.D->SaveChanges(), srStarted);
    ASSERT_TRUE(S.WaitEnd(152));
    ASSERT_EQ(S.D->BRDSDV->PI, 0x1234);
    const std::size_t Before = S.Sim.Log().size();

    for (TQuestionAnswer A : {qaNo, qaCancel}) {
        S.View.Answer = A;
        EXPECT_FALSE(S.D->FactoryDefaults());
    }
    EXPECT_EQ(S.Sim.Log().size(), Before);
    EXPECT_EQ(S.View.Questions.size(), 2u);

    S.View.Answer = qaYes;
    const int Resets = S.View.TitleResets;
    ASSERT_TRUE(S.D->FactoryDefaults());
    EXPECT_EQ(S.View.Questions.back(), "Encoder will be initialized to factory defaults?\r\nAre you Sure?");
    EXPECT_EQ(S.View.TitleResets, Resets + 1);
    EXPECT_EQ(S.View.PendingEventRuns, 1);
    EXPECT_FALSE(S.View.EditorEnabled);
    ASSERT_TRUE(S.WaitEnd(134));
    const auto Sent = S.LogFrom(Before);
    ASSERT_EQ(Sent.size(), 34u);
    EXPECT_EQ(Sent[0], "INIT");
    EXPECT_EQ(Sent[1], "ECHO=0");
    EXPECT_EQ(S.D->BRDSDV->PI, 0xFFFF);
    EXPECT_EQ(S.View.Editor.PI, 0xFFFF);
    EXPECT_TRUE(S.View.EditorEnabled);
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
    ASSERT_TRUE(S.WaitEnd(152));
    EXPECT_EQ(S.Sim.Log().back(), "PS=EDITED");
    EXPECT_EQ(S.D->BRDSDV->PS, "EDITED");
}

#endif
