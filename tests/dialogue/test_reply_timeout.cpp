#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "dialogue/deadline_timer.h"
#include "dialogue/write_report.h"
#include "support/dialogue_probe.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Context switches of this process's threads with the given name.
long ThreadSwitches(const std::string& Name)
{
    long N = 0;
    DIR* D = ::opendir("/proc/self/task");
    if (!D)
        return -1;
    while (dirent* E = ::readdir(D)) {
        if (E->d_name[0] == '.')
            continue;
        const std::string Base = std::string("/proc/self/task/") + E->d_name;
        std::string Comm;
        std::getline(std::ifstream(Base + "/comm"), Comm);
        if (Comm != Name)
            continue;
        std::ifstream Status(Base + "/status");
        for (std::string Line; std::getline(Status, Line);)
            if (Line.rfind("voluntary_ctxt_switches:", 0) == 0 || Line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                N += std::atol(Line.substr(Line.find(':') + 1).c_str());
    }
    ::closedir(D);
    return N;
}

} // namespace

TEST(DeadlineTimer, FiresOnceOnTheMainThreadUnlessDisarmedOrReplaced)
{
    int Fired = 0;
    bool OnMain = false;
    TDeadlineTimer T([&] {
        ++Fired;
        OnMain = TThread::IsMainThread();
    });
    T.Arm(30);
    ASSERT_TRUE(ServeUntil([&] { return Fired == 1; }));
    EXPECT_TRUE(OnMain);
    EXPECT_FALSE(T.Armed());

    // Disarmed before its time, and replaced by a later deadline: one call, for the later one.
    T.Arm(30);
    T.Disarm();
    T.Arm(60000);
    T.Arm(50);
    ASSERT_TRUE(ServeUntil([&] { return Fired == 2; }));
    TThread::CheckSynchronize(200);
    EXPECT_EQ(Fired, 2);
}

TEST(DeadlineTimer, SleepsWhileDisarmedAndUntilItsDeadline)
{
    TDeadlineTimer T([] {});
    TThread::CheckSynchronize(50);
    const long Idle = ThreadSwitches("DeadlineTimer");
    ASSERT_GE(Idle, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ThreadSwitches("DeadlineTimer"), Idle); // disarmed: it never woke
    T.Arm(60000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Armed far ahead: it woke for the new deadline, and then slept.
    EXPECT_LE(ThreadSwitches("DeadlineTimer"), Idle + 2);
    // A dialogue disarms at every reply and arms for the next command: no
    // deadline earlier than the one it sleeps towards, so no wake-up.
    for (int i = 0; i < 100; ++i) {
        T.Disarm();
        T.Arm(60000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LE(ThreadSwitches("DeadlineTimer"), Idle + 2);
}

TEST(WriteReportText, SaysWhatWasAppliedWhatFailedAndWhatWasNotSent)
{
    struct {
        const char* Name;
        std::vector<std::string> Applied;
        std::string Failed;
        TDialogueFailure How;
        std::vector<std::string> NotSent;
        std::string Check;
        std::vector<std::string> Lines;
    } Cases[] = {
        {"refused third", {"PI=C201", "TA=1"}, "TP=1", dfWriteRefused, {"MS=0"}, "",
            {"Save Failed! Negative Acknowledgement.", "The encoder refused TP=1 (it answered NO).",
                "The encoder was partly changed: 2 of 4 commands applied: PI=C201, TA=1.", "Not sent (1): MS=0."}},
        {"refused first", {}, "PI=C201", dfWriteRefused, {"TA=1", "TP=1", "MS=0"}, "",
            {"Save Failed! Negative Acknowledgement.", "The encoder refused PI=C201 (it answered NO).",
                "Nothing was applied (0 of 4): the encoder was not changed.", "Not sent (3): TA=1, TP=1, MS=0."}},
        {"no reply to the last", {"PI=C201", "TA=1", "TP=1"}, "MS=0", dfNoReply, {}, "",
            {"Save Failed! No reply to MS=0 within 2.5 s.", "Whether the encoder applied MS=0 is not known.",
                "The encoder was partly changed: 3 of 4 commands applied: PI=C201, TA=1, TP=1."}},
        {"link lost at the first", {}, "PI=C201", dfLinkLost, {"TA=1", "TP=1", "MS=0"}, "",
            {"Save Failed! The link to the encoder was lost while waiting for the reply to PI=C201.",
                "Whether the encoder applied PI=C201 is not known.", "No command before it was applied (0 of 4).",
                "Not sent (3): TA=1, TP=1, MS=0."}},
        {"interrupted between commands", {"PI=C201"}, "", dfInterrupted, {"TA=1", "TP=1", "MS=0"}, "",
            {"Save Failed! The write was interrupted.",
                "The encoder was partly changed: 1 of 4 commands applied: PI=C201.",
                "Not sent (3): TA=1, TP=1, MS=0."}},
        {"complete, check read failed", {"PI=C201", "TA=1", "TP=1", "MS=0"}, "", dfNone, {},
            "no reply to PS? within 2.5 s",
            {"Every setting was written and accepted (4 of 4): PI=C201, TA=1, TP=1, MS=0.",
                "Only the check read that followed failed: no reply to PS? within 2.5 s."}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TWriteReport R;
        R.Commands = {"PI=C201", "TA=1", "TP=1", "MS=0"};
        R.Applied = C.Applied;
        R.Failed = C.Failed;
        R.How = C.How;
        R.Reply = C.How == dfWriteRefused ? "\r\nNO\r\n" : "";
        R.NotSent = C.NotSent;
        R.TimeoutMs = 2500;
        std::string Expected;
        for (const std::string& L : C.Lines)
            Expected += (Expected.empty() ? "" : "\r\n") + L;
        EXPECT_EQ(WriteReportText(R, C.Check), Expected);
        EXPECT_EQ(R.PartlyChanged(), C.How != dfNone && !C.Applied.empty());
    }
}

#include "dialogue_session.h"

namespace {

bool Ended(const TSession& S)
{
    return S.D->Failure() != dfNone && S.D->LastStatus() == stDisconnected;
}

} // namespace

TEST(ReplyTimeout, EndsTheScriptDisconnectsAndNamesTheCommand)
{
    struct {
        const char* Name;
        std::vector<std::string> Sim;
        bool Write; // the read completes, then PI, TA and TP are written
        TDialogueFailure Failure;
        const char* Command;
        const char* Error;
    } Cases[] = {
        {"read", {"--mute", "PS?"}, false, dfNoReply, "PS?", "no reply to PS? within 0.3 s"},
        {"write", {"--mute", "TP="}, true, dfNoReply, "TP=1",
            "Save Failed! No reply to TP=1 within 0.3 s.\r\nWhether the encoder applied TP=1 is not known.\r\n"
            "The encoder was partly changed: 2 of 3 commands applied: PI=C201, TA=1."},
        {"write refused", {"--refuse", "TA="}, true, dfWriteRefused, "TA=1",
            "Save Failed! Negative Acknowledgement.\r\nThe encoder refused TA=1 (it answered NO).\r\n"
            "The encoder was partly changed: 1 of 3 commands applied: PI=C201.\r\nNot sent (1): TP=1."},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TSession S;
        S.D->SetReplyTimeout(300);
        ASSERT_TRUE(S.Sim.Start(C.Sim));
        S.D->DeviceConnectExecute(S.Sim.Path());
        if (C.Write) {
            ASSERT_TRUE(S.WaitEnd(scRead));
            S.View.Editor.PI = 0xC201;
            S.View.Editor.TA = 1;
            S.View.Editor.TP = 1;
            ASSERT_EQ(S.D->SaveChanges(), srStarted);
        }
        ASSERT_TRUE(ServeUntil([&] { return Ended(S); }));
        EXPECT_EQ(S.D->Failure(), C.Failure);
        EXPECT_EQ(S.D->FailedCommand(), C.Command);
        EXPECT_EQ(S.View.Errors, std::vector<std::string> {C.Error});
        EXPECT_EQ(S.D->FailureText(), C.Error);
        EXPECT_EQ(S.D->Progress().Script, scNone);
        EXPECT_FALSE(TDialogueProbe::Loader(*S.D).Active());
        EXPECT_EQ(S.D->WriteReport().PartlyChanged(), C.Write);
    }
}

TEST(ReplyTimeout, ZeroWaitsWithoutEndAndWithoutWakingUp)
{
    TSession S;
    ASSERT_TRUE(S.Sim.Start({"--mute", "PS?"}));
    S.D->DeviceConnectExecute(S.Sim.Path());
    ASSERT_TRUE(ServeUntil([&] { return !S.Sim.Log().empty() && S.Sim.Log().back() == "PS?"; }));
    const long Before = ThreadSwitches("DeadlineTimer");
    TThread::CheckSynchronize(600);
    EXPECT_EQ(ThreadSwitches("DeadlineTimer"), Before);
    EXPECT_EQ(S.D->Failure(), dfNone);
    EXPECT_TRUE(S.D->Connected());
    const TScriptProgress P = S.D->Progress();
    EXPECT_EQ(P.Script, scRead);
    EXPECT_EQ(P.Step, 5); // ECHO=0, REV?, SER?, PI?, PS?

    // The user's Disconnect interrupts the read; it is not a lost link.
    S.D->DeviceConnectExecute(S.Sim.Path());
    ASSERT_TRUE(S.WaitDisconnected());
    EXPECT_EQ(S.D->Failure(), dfInterrupted);
    EXPECT_EQ(S.D->FailedCommand(), "PS?");
    EXPECT_TRUE(S.View.Errors.empty());
}

TEST(ScriptProgress, EveryCommandCountsAgainstItsScriptsTotal)
{
    struct {
        const char* Firmware;
        int Read, Refresh;
    } Cases[] = {{"01.03.105  2015/03/10 12:00:00", 33, 5}, {"01.02.992  2013/02/19 09:52:54", 30, 4}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Firmware);
        TSession S;
        ASSERT_TRUE(S.Read({"--firmware", C.Firmware}));
        S.View.Editor.PS = "NEW";
        S.View.Editor.TA = 1;
        ASSERT_EQ(S.D->SaveChanges(), srStarted);
        ASSERT_TRUE(S.WaitEnd(scWrite));
        S.D->ClockRefreshTick();
        ASSERT_TRUE(S.WaitEnd(scClockRefresh));

        // Each script: announced with step 0, one step per command, then scNone.
        std::vector<std::vector<std::pair<int, int>>> Runs;
        std::vector<TDialogueScript> Scripts;
        for (const TScriptProgress& P : S.View.Progress) {
            if (P.Script == scNone)
                continue;
            if (P.Step == 0 || Scripts.empty() || Scripts.back() != P.Script) {
                Runs.emplace_back();
                Scripts.push_back(P.Script);
            }
            Runs.back().emplace_back(P.Step, P.Total);
        }
        ASSERT_EQ(Scripts, (std::vector<TDialogueScript> {scRead, scWrite, scClockRefresh}));
        const int Totals[] = {C.Read, 2, C.Refresh};
        for (std::size_t r = 0; r < Runs.size(); ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(Runs[r].front().first, 0);
            EXPECT_EQ(Runs[r].back(), std::make_pair(Totals[r], Totals[r]));
            for (std::size_t i = 1; i < Runs[r].size(); ++i)
                EXPECT_LE(Runs[r][i - 1].first, Runs[r][i].first);
        }
        EXPECT_EQ(S.View.Progress.back().Script, scNone);
        EXPECT_EQ(S.D->WriteReport().Applied, (std::vector<std::string> {"PS=NEW", "TA=1"}));
        EXPECT_TRUE(S.D->WriteReport().Complete());
    }
}

TEST(Interrupt, AWriteStopsOnceTheCommandInFlightIsAnswered)
{
    TSession S;
    ASSERT_TRUE(S.Read({"--delay-word", "PI==300"}));
    const std::size_t Before = S.Sim.Log().size();
    S.View.Editor.PI = 0xC201;
    S.View.Editor.TA = 1;
    S.View.Editor.TP = 1;
    ASSERT_EQ(S.D->SaveChanges(), srStarted);
    ASSERT_TRUE(ServeUntil([&] { return S.D->Progress().Step == 1; }));
    S.D->Interrupt();
    ASSERT_TRUE(S.WaitDisconnected());
    EXPECT_EQ(S.LogFrom(Before), std::vector<std::string> {"PI=C201"});
    EXPECT_EQ(S.D->Failure(), dfInterrupted);
    const TWriteReport& R = S.D->WriteReport();
    EXPECT_EQ(R.Applied, std::vector<std::string> {"PI=C201"});
    EXPECT_TRUE(R.Failed.empty());
    EXPECT_EQ(R.NotSent, (std::vector<std::string> {"TA=1", "TP=1"}));
    ASSERT_EQ(S.View.Errors.size(), 1u);
    EXPECT_EQ(S.View.Errors[0].rfind("Save Failed! The write was interrupted.\r\n", 0), 0u) << S.View.Errors[0];
}
