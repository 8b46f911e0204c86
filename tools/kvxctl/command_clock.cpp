// kvxctl clock: the encoder's clock beside the computer's, with the drift.
#include "command.h"
#include "console_view.h"
#include "exit_codes.h"
#include "session.h"
#include "settings_output.h"

#include <cmath>
#include <cstdlib>

namespace {

const TOptionSpec Options[] = {
    {"sync", 0, nullptr, "first set the encoder's clock from the computer's\n(DATE, TIME and OFFSET)"},
    {"watch", 0, nullptr, "read the clock again every 2 s until interrupted"},
};

// The seconds between refreshes of --watch.
constexpr std::int64_t WatchPeriodMs = 2000;

// One reading of both clocks.
struct TClocks {
    TSystemTime Encoder {};
    bool EncoderValid = false;
    std::string EncoderOffset; // "+05:30" as the encoder gives it
    std::string IsDST;         // "0", "1"; empty below firmware 01.03
    std::string PilotWord, PilotText;
    std::int64_t ComputerMs = 0; // when the encoder's time was read
    int ComputerOffset = 0;      // local time minus UTC, minutes
    int ComputerDST = 0;         // the daylight bias in force, minutes (0: standard time)
    std::int64_t Drift = 0;      // encoder minus computer, seconds
};

TClocks ReadClocks(TSession& S)
{
    const TEncoderDialogue& D = S.Dialogue();
    auto& Labels = S.View().Labels;
    TClocks C;
    C.Encoder = D.RefreshedClock();
    C.EncoderValid = IsRealDateTime(C.Encoder);
    C.EncoderOffset = Labels[TDialogueLabel::lbRTC_DO];
    if (D.DeviceCopy().FirmwareLevel() >= FirmwareLevelDST)
        C.IsDST = D.IsDSTWord();
    C.PilotWord = D.PilotWord();
    C.PilotText = Labels[TDialogueLabel::lbPilot];
    C.ComputerMs = S.View().ClockReadAtMs ? S.View().ClockReadAtMs : UtcNowMs();
    TTimeZoneInformation Z;
    const TTimeZoneId Id = GetTimeZoneInformationAt(C.ComputerMs, Z);
    C.ComputerOffset = LocalOffsetMinutes(C.ComputerMs);
    C.ComputerDST = Id == tzDaylight ? -Z.DaylightBias : 0;
    // The encoder counts whole seconds: its reading stands for the middle of its second.
    if (C.EncoderValid)
        C.Drift = std::llround(static_cast<double>(UtcSeconds(C.Encoder)) + 0.5 - C.ComputerMs / 1000.0);
    return C;
}

std::string DriftWords(std::int64_t Drift)
{
    if (Drift == 0)
        return "0 s";
    return Format("%+lld s (the encoder is %lld s %s)", static_cast<long long>(Drift),
        static_cast<long long>(std::llabs(Drift)), Drift > 0 ? "ahead" : "behind");
}

std::string ClocksText(const TClocks& C)
{
    const std::string Enc = IsoUtc(C.Encoder) + (C.EncoderValid ? "" : " (not a date)");
    std::string T = "Encoder:  " + Enc + "  offset " + C.EncoderOffset + "  DST "
        + (C.IsDST.empty()       ? "N/A"
                : C.IsDST == "1" ? "+01:00"
                                 : "+00:00")
        + "  " + C.PilotText + "\n";
    T += "Computer: " + IsoUtc(UtcFromMs(C.ComputerMs)) + "  offset " + FormatOffset(C.ComputerOffset) + "  DST "
        + FormatOffset(C.ComputerDST) + "\n";
    T += "Drift:    " + (C.EncoderValid ? DriftWords(C.Drift) : std::string("unknown")) + "\n";
    return TerminalText(T, false);
}

TJson ClocksJson(const TClocks& C)
{
    TJson Enc = TJson::Object();
    Enc.Set("utc", C.EncoderValid ? TJson::Utf8(IsoUtc(C.Encoder)) : TJson());
    Enc.Set("read_as", TJson::Utf8(IsoUtc(C.Encoder)));
    Enc.Set("offset", TJson::Latin1(C.EncoderOffset));
    Enc.Set("isdst", C.IsDST == "0" || C.IsDST == "1" ? TJson::Int(C.IsDST == "1") : TJson());
    Enc.Set("pilot", TJson::Latin1(C.PilotWord));
    TJson Pc = TJson::Object();
    Pc.Set("utc", TJson::Utf8(IsoUtc(UtcFromMs(C.ComputerMs))));
    Pc.Set("offset", TJson::Utf8(FormatOffset(C.ComputerOffset)));
    Pc.Set("dst", TJson::Bool(C.ComputerDST != 0));
    TJson J = TJson::Object();
    J.Set("schema", TJson::Int(1));
    J.Set("encoder", Enc);
    J.Set("computer", Pc);
    J.Set("drift_seconds", C.EncoderValid ? TJson::Int(C.Drift) : TJson());
    return J;
}

// Reads the clock once and prints it; sets Impossible when the encoder's date is not one.
int Refresh(TSession& S, bool& Impossible)
{
    TEncoderDialogue& D = S.Dialogue();
    D.ClearLastScriptEnd();
    D.ClockRefreshTick();
    if (const int E = S.WaitForScript(scClockRefresh, "while reading the clock"))
        return E;
    const TClocks C = ReadClocks(S);
    PrintOut(S.Options().Json ? ClocksJson(C).Dump(S.Options().Has("watch")) : ClocksText(C));
    if (!C.EncoderValid) {
        Impossible = true;
        Reporter().Error("the encoder's clock reads " + IsoUtc(C.Encoder)
            + ", which is not a date and time (kvxctl clock --sync sets it)");
    }
    return 0;
}

int SyncClock(TSession& S)
{
    std::vector<TMsgChange> List;
    if (const int E = S.Prepare(S.Dialogue().DeviceCopy(), true, List))
        return E;
    TWriteOutcome Unused;
    return S.Write([](const TMsgChange&) {}, true, false, Unused);
}

int Run(const TOptions& O)
{
    TSession S(O);
    if (const int E = S.Start())
        return E;
    if (O.Has("sync"))
        if (const int E = SyncClock(S))
            return E;
    const bool Watch = O.Has("watch");
    bool Impossible = false;
    for (;;) {
        const int E = Refresh(S, Impossible);
        if (E)
            return E == ecInterrupted && Watch ? (Impossible ? ecRefused : ecDone) : E;
        if (!Watch)
            break;
        // Nothing to do until the next refresh: the wait sleeps until then.
        const int W = S.Wait([] { return false; }, "while watching", DeadlineIn(WatchPeriodMs));
        if (W == ecInterrupted)
            break;
        if (W)
            return W;
    }
    return Impossible ? ecRefused : ecDone;
}

} // namespace

extern const TCommand ClockCommand
    = {"clock", "clock [--sync] [--watch]", "print the encoder's clock beside the computer's, with the drift",
        "Prints the encoder's UTC clock (ISO 8601), its offset, DST state and pilot,\n"
        "the computer's clock, and the drift: the encoder's clock minus the\n"
        "computer's, in whole seconds. An encoder clock that is not a date and time\n"
        "(2000-00-00) is named and the exit status is 1. --sync first writes DATE,\n"
        "TIME and OFFSET from the computer's clock; --watch reads the clock again\n"
        "every 2 s until interrupted, which ends it with 0 (JSON: one object a line).",
        Options, 0, 0, "", true, Run};
