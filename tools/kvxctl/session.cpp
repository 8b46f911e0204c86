#include "session.h"

#include "exit_codes.h"
#include "interrupt.h"
#include "platform/time_zone.h"

#include <algorithm>

TSession::TSession(const TOptions& Options) : FO(Options), FView(Options.Has("yes")), FD(FView)
{
    FRefusalCode = ecRefused;
    SetAlertPresenter(&FView);
    FD.SetReplyTimeout(FO.TimeoutMs);
}

TSession::~TSession()
{
    Disconnect();
    SetAlertPresenter(nullptr);
}

int TSession::Open()
{
    if (FO.Has("transcript")) {
        std::string Error;
        if (!FTranscript.Open(FO.Value("transcript"), Error)) {
            Reporter().Error("cannot open the transcript: " + Error);
            return ecUsage;
        }
    }
    if (FO.Verbosity == vbVerbose)
        FTranscript.MirrorTo(stderr);
    if (FTranscript.IsOpen())
        FD.SetTranscript(&FTranscript);
    return 0;
}

int TSession::Start()
{
    if (const int E = Open())
        return E;
    return ConnectAndRead();
}

int TSession::ConnectAndRead()
{
    FD.DeviceConnectExecute(FO.Port);
    return WaitForScript(scRead, "while reading the encoder");
}

int TSession::WaitForScript(TDialogueScript Script, const char* What)
{
    return Wait([this, Script] { return FD.LastScriptEnded() == Script; }, What);
}

int TSession::Wait(const std::function<bool()>& Done, const char* What, TDeadline Until)
{
    // Replies have the dialogue's reply time-out; opening a port may take
    // several attempts, which get the time-out and 10 s more.
    const std::int64_t ConnectMs = FO.TimeoutMs + 10000;
    const TDeadline ConnectLimit = DeadlineIn(ConnectMs);
    bool Interrupting = false;
    int Code = -1;
    const auto Settled = [&] { return (Code = Look(Done, Interrupting)) >= 0; };
    for (;;) {
        if (ServeUntil(Settled, FWasConnected ? Until : std::min(Until, ConnectLimit)))
            return Code;
        const auto Now = std::chrono::steady_clock::now();
        if (Now >= Until)
            return 0;
        if (!FWasConnected && Now >= ConnectLimit) {
            Reporter().Error("no connection to " + FO.Port + " " + What + " within " + SecondsText(ConnectMs));
            return ecConnection;
        }
    }
}

int TSession::Look(const std::function<bool()>& Done, bool& Interrupting)
{
    if (FD.Failure() != dfNone)
        return FailureCode();
    if (Done())
        return 0;
    if (FD.Connected())
        FWasConnected = true;
    const TConnStatus St = FD.LastStatus();
    if (St == stDisconnected || St == stInvalidConnectionParams
        || (FWasConnected && !FD.Connected() && St != stConnected))
        return ConnectionLost();
    if (Interrupted() && !Interrupting) {
        // A script stops through the dialogue, so that a write can say what
        // it did; nothing else needs more than stopping.
        Interrupting = true;
        if (FD.Progress().Script == scNone)
            return ecInterrupted;
        FD.Interrupt();
        if (FD.Failure() != dfNone)
            return FailureCode();
    }
    return -1;
}

int TSession::ConnectionLost()
{
    std::string Words;
    for (const std::string& T : FView.Statuses)
        Words += (Words.empty() ? "" : ", ") + T.substr(std::min(T.size(), FO.Port.size() + 2));
    Reporter().Error(std::string(FWasConnected ? "connection lost" : "cannot connect") + " on " + FO.Port + " ("
        + TerminalText(Words, true) + ")");
    ConnectionErrorDetail();
    return ecConnection;
}

void TSession::ConnectionErrorDetail()
{
    // What the transport knows beyond its status word (a socket error's
    // text, the fault in a network address, who holds the port).
    const std::string Text = FD.ConnectionProblem();
    if (!Text.empty())
        Reporter().Error(Text);
}

int TSession::FailureCode()
{
    const TDialogueFailure F = FD.Failure();
    // A write that stopped short has shown its report.
    const TWriteReport& W = FD.WriteReport();
    const bool InWrite = F != dfNone && W.How == F;
    if (InWrite && W.PartlyChanged())
        return ecPartly;
    switch (F) {
    case dfNone:
        return 0;
    case dfRefused:
    case dfNotANumber:
    case dfOutOfRange:
        // The window says only "Negative Acknowledgement." or nothing: name the query and its reply.
        Reporter().Error(TerminalText(FD.FailureText(), false));
        return FRefusalCode;
    case dfInitRefused:
    case dfWriteRefused:
        return ecRefused;
    case dfNoReply:
    case dfInitUnanswered:
        return ecNoReply;
    case dfLinkLost:
        if (!InWrite) {
            Reporter().Error(TerminalText(FD.FailureText(), false) + " on " + FO.Port);
            ConnectionErrorDetail();
        }
        return ecConnection;
    case dfInterrupted:
        if (!InWrite)
            Reporter().Error(TerminalText(FD.FailureText(), false));
        return ecInterrupted;
    }
    return ecRefused;
}

void TSession::Disconnect()
{
    if (FD.ConnectTag() != 1 || !FD.Connected())
        return;
    FD.DeviceConnectExecute(FO.Port);
    ServeUntil([this] { return FD.LastStatus() == stDisconnected; }, DeadlineIn(2000));
}

int TSession::Prepare(const TBRDSDataValidator& Target, bool SyncClock, std::vector<TMsgChange>& List)
{
    // The target's settings with the encoder's identity (firmware-dependent
    // settings behave as for the connected encoder). A settings file holds no
    // clock: the encoder's own date and time stay, unless the computer's
    // clock is to be written.
    const TBRDSDataValidator& Held = FD.DeviceCopy();
    TBRDSDataValidator Editor;
    Editor.AssignSettings(Target);
    Editor.FW = Held.FW;
    Editor.HW = Held.HW;
    Editor.Serial = Held.Serial;
    Editor.RTC = Held.RTC;
    Editor.RTCManual = !SyncClock;
    FView.Editor.AssignSettings(Editor);
    TBRDSDataValidator Record;
    return FD.PrepareSave(Record, List) == srInvalid ? ecInvalid : 0;
}

int TSession::Write(
    const std::function<void(const TMsgChange&)>& Answered, bool SyncClock, bool Verify, TWriteOutcome& Result)
{
    // The same validation runs again inside the save: its findings were
    // shown and confirmed when the write was prepared.
    struct TConfirmed : TAlertPresenter {
        bool PresentAlerts(const TAlertArray&) override { return true; }
    } Confirmed;
    SetAlertPresenter(&Confirmed);
    const TSaveResult Started = FD.SaveChanges();
    SetAlertPresenter(&FView);
    if (Started != srStarted) {
        Reporter().Error("the write did not start: nothing was sent");
        return ecRefused;
    }
    Result.Expected.AssignSettings(FView.Editor);
    std::size_t Told = 0;
    const auto Tell = [&] {
        const std::vector<TMsgChange> Progress = FD.WriteProgress();
        for (; Told < Progress.size() && !Progress[Told].Res.empty(); ++Told) {
            Result.Replies.push_back(Progress[Told]);
            Answered(Progress[Told]);
        }
    };
    const int E = Wait(
        [&] {
            Tell();
            return FD.LastScriptEnded() == scWrite;
        },
        "while writing");
    Tell();
    if (E || !Verify)
        return E;
    return ReadBack(SyncClock, Result);
}

int TSession::ReadBack(bool SyncClock, TWriteOutcome& Result)
{
    FD.StartRead();
    if (const int E = WaitForScript(scRead, "while reading back")) {
        // Every command was applied; only the check failed.
        FView.ShowError(WriteReportText(FD.WriteReport(), FD.FailureText()));
        return E;
    }
    Result.Done = true;
    if (SyncClock)
        Result.Expected.Offset = LocalOffsetMinutes(UtcNowMs());
    const TBRDSDataValidator& Held = FD.DeviceCopy();
    for (const TField& F : SettingsFields()) {
        if (!FieldKnown(F, Held.FirmwareLevel()) || SameFieldValue(F, Result.Expected, Held))
            continue;
        Result.Differs.push_back(&F);
        Reporter().Error(std::string("verify: ") + F.Key + " written as \""
            + TerminalText(FieldValueText(F, Result.Expected), true) + "\", the encoder holds \""
            + TerminalText(FieldValueText(F, Held), true) + "\"");
    }
    return Result.Differs.empty() ? 0 : ecVerify;
}
