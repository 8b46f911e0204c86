#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "dialogue/encoder_dialogue.h"
#include "dialogue/loader_automaton.h"
#include "dialogue/reply_parser.h"
#include "dialogue/state_table.h"
#include "dialogue/status_colours.h"
#include "dialogue_session.h"
#include "dialogue_test_view.h"
#include "support/dialogue_probe.h"
#include "support/kvxsim_process.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <fstream>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

const char* const NonDefaults = "PI=C201\nPS=RADIO 1 \nPTY=5\nTA=1\nTP=1\nTATIME=7\nMS=0\nDI=13\nMODE=1\n"
                                "TEXT=Hello  world\nDPS=Buy one\nDPSS=3\nPARSE=2\nAF1=105\nAF2=0\nAF3=12\n"
                                "AF4=0\nAF5=0\nAF6=0\nAF7=204\nPHASE=1234\nCT=0\nDRTS=4\nOFFSET=-05:30\n"
                                "SYNC=2\nDST=2\n";

bool Contains(const std::vector<std::string>& V, const std::string& S)
{
    return std::find(V.begin(), V.end(), S) != V.end();
}

} // namespace

TEST(ReadScript, EveryReplyLandsInTheDeviceCopyAtBothFirmwareLevels)
{
    struct {
        const char* Firmware;
        std::size_t Commands;
        bool AsksDST;
        const char* Pilot;
    } Cases[] = {
        {"01.03.105  2015/03/10 12:00:00", 33, true, "Pilot: Yes"},
        {"01.02.992  2013/02/19 09:52:54", 30, false, "Pilot: locked to the 19kHz stereo pilot signal"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Firmware);
        TSession S;
        const TTempDir Dir("kvxst");
        const std::string State = Dir.File("state");
        std::ofstream(State) << NonDefaults;
        ASSERT_TRUE(S.Read({"--firmware", C.Firmware, "--hardware", "KVX-9", "--serial", "SN42", "--state", State}));

        const TBRDSDataValidator& D = S.D->DeviceCopy();
        EXPECT_TRUE(D.Ready());
        EXPECT_EQ(D.HW, "KVX-9");
        EXPECT_EQ(D.FW, C.Firmware);
        EXPECT_EQ(D.Serial, "SN42");
        EXPECT_EQ(D.PI, 0xC201);
        EXPECT_EQ(D.PS, "RADIO 1 ");
        EXPECT_EQ(D.PTY, 5);
        EXPECT_EQ(D.TA, 1);
        EXPECT_EQ(D.TP, 1);
        EXPECT_EQ(D.TATime, 7);
        EXPECT_EQ(D.MS, 0);
        EXPECT_EQ(D.DI(), 13);
        EXPECT_EQ(D.Mode, 1);
        EXPECT_EQ(D.RT, "Hello  world");
        EXPECT_EQ(D.DPS, "Buy one");
        EXPECT_EQ(D.DPSS, 3);
        EXPECT_EQ(D.DPSParse, 2);
        EXPECT_EQ(D.AF[1], 105);
        EXPECT_EQ(D.AF[3], 12);
        EXPECT_EQ(D.AF[7], 204);
        EXPECT_EQ(D.Phase, 1234);
        EXPECT_EQ(D.CT, 0);
        EXPECT_EQ(D.DRTS, 4);
        EXPECT_EQ(D.Offset, -330);
        EXPECT_GE(D.RTC.wYear, 2024);
        EXPECT_GE(D.RTC.wMonth, 1);
        EXPECT_EQ(D.Sync, C.AsksDST ? 2 : 0);
        EXPECT_EQ(D.DST, C.AsksDST ? 2 : 0);
        EXPECT_EQ(S.View.Labels[TDialogueLabel::lbPilot], C.Pilot);

        const auto Log = S.Sim.Log();
        EXPECT_EQ(Log.size(), C.Commands);
        ASSERT_GE(Log.size(), 30u);
        EXPECT_EQ(Log.front(), "ECHO=0");
        EXPECT_EQ(Contains(Log, "ISDST?"), C.AsksDST);
        EXPECT_EQ(Contains(Log, "SYNC?"), C.AsksDST);
        EXPECT_EQ(Contains(Log, "DST?"), C.AsksDST);
        // DATE? before TIME?
        EXPECT_LT(std::find(Log.begin(), Log.end(), "DATE?"), std::find(Log.begin(), Log.end(), "TIME?"));
        // The editor shows the device copy and is enabled; it was cleared on connecting.
        EXPECT_TRUE(S.View.EditorEnabled);
        EXPECT_EQ(S.View.Editor.PI, 0xC201);
        EXPECT_EQ(S.View.Clears, 1);
        EXPECT_EQ(S.View.Statuses.back(), S.Sim.Path() + ": Connected");
        EXPECT_FALSE(S.D->EditorDiffers());
    }
}

// The whole read, command by command: below firmware level 103 the encoder is
// not asked ISDST?, SYNC? or DST?.
TEST(ReadScript, AsksEveryCommandInItsOrderAtEachFirmwareLevel)
{
    const std::vector<std::string> Settings {"ECHO=0", "REV?", "SER?", "PI?", "PS?", "PTY?", "TA?", "TP?", "TATIME?",
        "MS?", "DI?", "MODE?", "TEXT?", "DPS?", "DPSS?", "PARSE?", "AF1?", "AF2?", "AF3?", "AF4?", "AF5?", "AF6?",
        "AF7?", "PHASE?", "CT?", "DATE?", "TIME?"};
    const struct {
        const char* Firmware;
        std::vector<std::string> Clock;
    } Cases[] = {
        {"01.03.105  2015/03/10 12:00:00", {"ISDST?", "OFFSET?", "PILOT?", "DRTS?", "SYNC?", "DST?"}},
        {"01.03.000  2015/01/01 12:00:00", {"ISDST?", "OFFSET?", "PILOT?", "DRTS?", "SYNC?", "DST?"}},
        {"01.02.992  2013/02/19 09:52:54", {"OFFSET?", "PILOT?", "DRTS?"}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Firmware);
        TSession S;
        ASSERT_TRUE(S.Read({"--firmware", C.Firmware}));
        std::vector<std::string> Expected = Settings;
        Expected.insert(Expected.end(), C.Clock.begin(), C.Clock.end());
        EXPECT_EQ(S.Sim.Log(), Expected);
    }
}

TEST(ParseReply, OneReplyEachIntoItsFieldOrLabel)
{
    // What a reply was parsed into.
    struct TParsed {
        TBRDSDataValidator Record;
        TSystemTime Clock {};
        std::int64_t ClockReadAtMs = 0;
        std::string Pilot, IsDST;
        TTestView View;
        TDialogueFailure Failure = dfNone;
    };
    using TCheck = std::function<void(TParsed&)>;
    const std::string L102 = "01.02.992", L103 = "01.03.105";
    struct {
        int State;
        std::string Firmware;
        std::string Reply;
        TDialogueFailure Failure;
        TCheck Check;
    } Cases[] = {
        {102, "", "\r\nHW:KVX-2\r\nFW:01.02.992  2013/02/19\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.Record.HW, "KVX-2");
                EXPECT_EQ(P.Record.FW, "01.02.992  2013/02/19");
            }},
        // One line only: no firmware, level 0, the dialogue goes on.
        {102, L103, "\r\nHW:KVX-2\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.Record.HW, "KVX-2");
                EXPECT_TRUE(P.Record.FW.empty());
                EXPECT_EQ(P.Record.FirmwareLevel(), 0);
            }},
        {103, "", "\r\nSN7\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Serial, "SN7"); }},
        {103, "", "\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_TRUE(P.Record.Serial.empty()); }},
        {104, "", "\r\nc201\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.PI, 0xC201); }},
        {104, "", "\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.PI, 0); }},
        {104, "", "\r\nXYZ1\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.PI, 0); }},
        {105, "", "\r\n\"RADIO 1 \"\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.PS, "RADIO 1 "); }},
        {113, "", "\r\n\"Hi there   \"\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.RT, "Hi there"); }},
        {114, "", "\r\n\"Buy  \"\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.DPS, "Buy"); }},
        {106, "", "\r\n31\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.PTY, 31); }},
        {106, "", "\r\nabc\r\nOK\r\n", dfNotANumber, [](TParsed& P) { EXPECT_EQ(P.Record.PTY, 255); }},
        // Numbers outside their setting's range are not taken either.
        {106, "", "\r\n32\r\nOK\r\n", dfOutOfRange, [](TParsed& P) { EXPECT_EQ(P.Record.PTY, 255); }},
        {106, "", "\r\n300\r\nOK\r\n", dfOutOfRange, [](TParsed& P) { EXPECT_EQ(P.Record.PTY, 255); }},
        {124, "", "\r\n3600\r\nOK\r\n", dfOutOfRange, [](TParsed& P) { EXPECT_EQ(P.Record.Phase, -1); }},
        {123, "", "\r\n205\r\nOK\r\n", dfOutOfRange, [](TParsed& P) { EXPECT_EQ(P.Record.AF[7], 255); }},
        {106, "", "\r\nOK\r\n", dfNotANumber, [](TParsed& P) { EXPECT_EQ(P.Record.PTY, 255); }},
        {109, "", "\r\n7x\r\nOK\r\n", dfNotANumber, [](TParsed& P) { EXPECT_EQ(P.Record.TATime, -1); }},
        {124, "", "\r\n3599\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Phase, 3599); }},
        {111, "", "\r\n13\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                const auto& R = P.Record;
                EXPECT_EQ(R.DIMS, 1);
                EXPECT_EQ(R.DIAH, 0);
                EXPECT_EQ(R.DICO, 1);
                EXPECT_EQ(R.DIDS, 1);
            }},
        {111, "", "\r\n16\r\nOK\r\n", dfOutOfRange, [](TParsed& P) { EXPECT_EQ(P.Record.DI(), 15); }},
        {112, "", "\r\nSIDE\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Mode, 1); }},
        {112, "", "\r\nside\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Mode, 0); }},
        {119, "", "\r\n105\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.AF[3], 105); }},
        {132, L103, "\r\next\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Sync, 0); }},
        {132, L103, "\r\nEXT\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Sync, 2); }},
        {132, L103, "\r\nINT\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Sync, 1); }},
        {133, L103, "\r\nMANUAL\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.DST, 3); }},
        {133, L103, "\r\nUSA\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.DST, 2); }},
        {129, "", "\r\n-05:30\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Offset, -330); }},
        {129, "", "\r\n+00:30\r\nOK\r\n", dfNone, [](TParsed& P) { EXPECT_EQ(P.Record.Offset, 30); }},
        {127, "", "\r\n31.12.14\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                const auto& T = P.Record.RTC;
                EXPECT_EQ(T.wDay, 31);
                EXPECT_EQ(T.wMonth, 12);
                EXPECT_EQ(T.wYear, 2014);
            }},
        {127, "", "\r\n3x.12.14\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.Record.RTC.wDay, 0);
                EXPECT_EQ(P.Record.RTC.wMonth, 12);
            }},
        {126, "", "\r\n23:59:58\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                const auto& T = P.Record.RTC;
                EXPECT_EQ(T.wHour, 23);
                EXPECT_EQ(T.wMinute, 59);
                EXPECT_EQ(T.wSecond, 58);
            }},
        {130, L102, "\r\nLOCK\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.View.Labels[TDialogueLabel::lbPilot], "Pilot: locked to the 19kHz stereo pilot signal");
            }},
        {130, L102, "\r\nFREE\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.View.Labels[TDialogueLabel::lbPilot], "Pilot: defaulted to the internal timebase");
            }},
        {130, L103, "\r\nNOLOCK\r\nOK\r\n", dfNone,
            [](TParsed& P) { EXPECT_EQ(P.View.Labels[TDialogueLabel::lbPilot], "Pilot: No"); }},
        {204, L103, "\r\nLOCK\r\nOK\r\n", dfNone,
            [](TParsed& P) { EXPECT_EQ(P.View.Labels[TDialogueLabel::lbPilot], "Pilot: Yes"); }},
        {130, L103, "\r\nFREE\r\nOK\r\n", dfNone,
            [](TParsed& P) { EXPECT_EQ(P.View.Labels[TDialogueLabel::lbPilot], "Pilot: "); }},
        {128, L103, "\r\n1\r\nOK\r\n", dfNone,
            [](TParsed& P) { EXPECT_EQ(P.View.Labels[TDialogueLabel::lbRTC_DDST], "+01:00"); }},
        {205, L103, "\r\n0\r\nOK\r\n", dfNone,
            [](TParsed& P) { EXPECT_EQ(P.View.Labels[TDialogueLabel::lbRTC_DDST], "+00:00"); }},
        {205, L103, "\r\n2\r\nOK\r\n", dfNone,
            [](TParsed& P) { EXPECT_EQ(P.View.Labels.count(TDialogueLabel::lbRTC_DDST), 0); }},
        {203, "", "\r\n-05:30\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.View.Labels[TDialogueLabel::lbRTC_DO], "-05:30");
                EXPECT_EQ(P.Record.Offset, 77);
            }},
        {202, "", "\r\n31.12.14\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.View.Labels[TDialogueLabel::lbRTC_DD], "31-Dec-2014");
                EXPECT_EQ(P.Clock.wYear, 2014);
                EXPECT_EQ(P.Record.RTC.wYear, 0);
            }},
        {201, "", "\r\n07:08:09\r\nOK\r\n", dfNone,
            [](TParsed& P) {
                EXPECT_EQ(P.View.Labels[TDialogueLabel::lbRTC_DT], "07:08:09");
                EXPECT_EQ(P.Clock.wSecond, 9);
            }},
        {106, "", "\r\nNO\r\n", dfRefused,
            [](TParsed& P) { EXPECT_EQ(P.View.Errors, std::vector<std::string> {"Negative Acknowledgement."}); }},
        {104, "", "\r\nC201\r\nOK\r\nxx", dfRefused, [](TParsed& P) { EXPECT_EQ(P.Record.PI, 0); }},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::to_string(C.State) + " " + C.Reply);
        TParsed P;
        P.Record.FW = C.Firmware;
        P.Record.Offset = 77;
        const TTableRow* Row = RowOf(C.State);
        ASSERT_NE(Row, nullptr);
        TKVXState K(C.State, Row->Word, "", 0);
        K.SetResponse(C.Reply);
        ParseStateReply(K, {P.Record, P.Clock, P.ClockReadAtMs, P.Pilot, P.IsDST, P.View, [&](TDialogueFailure Why) {
                                EXPECT_TRUE(P.View.Errors.empty()) << "the failure comes before its message";
                                P.Failure = Why;
                            }});
        EXPECT_EQ(P.Failure, C.Failure);
        C.Check(P);
        if (C.Failure != dfRefused) {
            EXPECT_TRUE(P.View.Errors.empty());
        }
        // Only a TIME? reply read says when the encoder's clock was read.
        const bool TimeRead = (Row->Target == rtTime || Row->Target == rtClockTime) && C.Failure == dfNone;
        EXPECT_EQ(P.ClockReadAtMs != 0, TimeRead);
    }
}

TEST(ReadScript, RefusedAndMalformedRepliesDisconnect)
{
    struct {
        const char* Fault;
        const char* Word;
        TDialogueFailure Failure;
        std::size_t Errors;
    } Cases[] = {{"--refuse", "PTY?", dfRefused, 1}, {"--garbage", "TP?", dfNotANumber, 0}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Word);
        TSession S;
        EXPECT_FALSE(S.Read({C.Fault, C.Word}));
        EXPECT_EQ(S.D->Failure(), C.Failure);
        ASSERT_TRUE(S.WaitDisconnected());
        EXPECT_EQ(S.View.Errors.size(), C.Errors);
        if (C.Errors) {
            EXPECT_EQ(S.View.Errors[0], "Negative Acknowledgement.");
        }
        EXPECT_FALSE(S.D->DeviceCopy().Ready());
        EXPECT_FALSE(TDialogueProbe::Loader(*S.D).Active());
        EXPECT_EQ(S.D->ConnectTag(), 0);
        // Nothing was sent after the faulty reply.
        EXPECT_EQ(S.Sim.Log().back(), C.Word);
    }
}

TEST(ReadScript, DropWhilePSWaitsThenReconnectRestartsAt100)
{
    TSession S;
    ASSERT_TRUE(S.Sim.Start({"--mute", "PS?"}));
    S.D->DeviceConnectExecute(S.Sim.Path());
    ASSERT_TRUE(ServeUntil([&] { return Contains(S.Sim.Log(), "PS?"); }));
    S.Sim.Stop();
    ASSERT_TRUE(S.WaitDisconnected());
    EXPECT_FALSE(TDialogueProbe::Loader(*S.D).Active());
    EXPECT_FALSE(S.View.EditorEnabled);
    EXPECT_GE(S.View.TitleResets, 1);

    TKvxsim Second;
    ASSERT_TRUE(Second.Start({}));
    S.D->DeviceConnectExecute(Second.Path());
    ASSERT_TRUE(S.WaitEnd(scRead));
    EXPECT_EQ(Second.Log().front(), "ECHO=0");
    EXPECT_EQ(Second.Log().size(), 33u);
    EXPECT_EQ(S.D->DeviceCopy().PS, "RDS");
    S.D->DeviceConnectExecute("");
    EXPECT_TRUE(S.WaitDisconnected());
}

TEST(LoaderState, AStateHandedOverAfterTheStopIsNotServed)
{
    TTestView V;
    TEncoderDialogue D(V);
    TCustomState* End = TDialogueProbe::Loader(D).FindState(stReadEnd);
    ASSERT_NE(End, nullptr);
    ASSERT_FALSE(TDialogueProbe::Loader(D).Active());
    TDialogueProbe::HandOver(D, stReadEnd);
    EXPECT_EQ(End->InnerState(), isInit);
    EXPECT_FALSE(D.DeviceCopy().Ready());
    EXPECT_EQ(V.Populates, 0);
}

TEST(Connect, EmptyPortIsReportedAndTheActionComesBack)
{
    TTestView V;
    TEncoderDialogue D(V);
    D.DeviceConnectExecute("");
    EXPECT_EQ(V.Errors, std::vector<std::string> {"Invalid COM Port!"});
    EXPECT_EQ(D.ConnectTag(), 1);
    EXPECT_FALSE(D.ConnectEnabled());
    ASSERT_TRUE(ServeUntil([&] { return D.ConnectTag() == 0; }));
    EXPECT_TRUE(D.ConnectEnabled());
    EXPECT_TRUE(Contains(V.Statuses, ": Invalid Connection Params"));
    EXPECT_GE(V.TitleResets, 1);
}

TEST(StatusColours, TableRows)
{
    struct {
        TConnStatus S;
        std::uint32_t Fore, Back;
        bool Flash;
    } Cases[] = {{stIdle, 0xFFFF00, 0xFF0000, false}, {stConnecting, 0x00FFFF, 0x0000FF, true},
        {stConnected, 0xFFFFFF, 0x008000, false}, {stDisconnecting, 0x00FFFF, 0x0000FF, false},
        {stDisconnected, 0x00FFFF, 0x0000FF, false}, {stDisconnectedFromDevice, 0x00FFFF, 0x0000FF, false},
        {stConnectionRefused, 0xFFFFFF, 0xFF0000, false}};
    for (const auto& C : Cases) {
        const TStatusColours Got = StatusColours(C.S);
        EXPECT_EQ(Got.Fore, C.Fore) << C.S;
        EXPECT_EQ(Got.Back, C.Back) << C.S;
        EXPECT_EQ(Got.Flash, C.Flash) << C.S;
    }
}
