#include "dialogue/encoder_dialogue.h"

#include "_conn/device.h"
#include "dialogue/loader_automaton.h"

#include "_conn/port_connection.h"
#include "dialogue/deadline_timer.h"
#include "dialogue/device_factory.h"
#include "dialogue/loader_step.h"
#include "dialogue/reply_parser.h"
#include "dialogue/settings_backup.h"
#include "dialogue/state_table.h"
#include "dialogue/status_colours.h"
#include "dialogue/transcript.h"
#include "platform/date_time.h"
#include "platform/log.h"
#include "platform/number_parse.h"
#include "rds/field_table.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <stdexcept>

namespace {

// Commands of the read script (ECHO=0 and 32 queries), and of the clock refresh;
// three of the read's and one of the refresh's are skipped below level 103.
constexpr int ReadCommands = 33;
constexpr int RefreshCommands = 5;

// The least time between sending INIT and the re-read, and how long the line
// must then have been quiet before the re-read starts.
constexpr std::int64_t ResetPauseMs = 1000;
constexpr std::int64_t SettleQuietMs = 200;
// Without a reply time-out, how long a line that keeps talking after INIT is
// waited for before the re-read starts all the same.
constexpr std::int64_t SettleLimitMs = 5000;

const char* const InitRefusedText = "the encoder refused INIT: it was not reset";

} // namespace

TEncoderDialogue::TEncoderDialogue(IDialogueView& View) : FView(View)
{
    BRDSDV = NewRecord();
    Device = std::make_unique<TCustomDevice>();
    Device->SetOnDeviceStatus(TDeviceStatusEvent(this, &TEncoderDialogue::DeviceStatus));
    Device->SetOnDevicePacketAsync(TDevicePacketEvent(this, &TEncoderDialogue::DevicePacket));
    // Noting when bytes came needs no main thread: the device thread does it,
    // and a reply costs one hand-over (its packet), not two.
    Device->SetOnDeviceDataAsync(TDeviceQueryDataEvent(this, &TEncoderDialogue::DeviceData));
    SetUpEncoderDevice(*Device);
    LDRA = std::make_unique<TLoaderAutomata>();
    AddStates();
    LDRA->SetOnState(TLoaderMessageEvent(this, &TEncoderDialogue::LoaderState));
    FTimer = std::make_unique<TDeadlineTimer>([this] { DeadlineExpired(); });
}

TEncoderDialogue::~TEncoderDialogue()
{
    // From here no device event reaches the dialogue: waiting for the threads
    // below serves hand-overs, and the loader is gone before the device.
    FClosing = true;
    FTimer.reset();
    Device->SetOnDeviceStatus(TDeviceStatusEvent(this, &TEncoderDialogue::DeviceStatus));
    Device->SetOnDevicePacketAsync(nullptr);
    Device->SetOnDeviceDataAsync(nullptr);
    LDRA->TerminateAndWait();
    LDRA.reset();
    Device.reset();
    // Replies the device thread queued and nobody handled go with the dialogue.
    TThread::RemoveQueuedEvents(this);
    BRDSDV.reset();
}

void TEncoderDialogue::AddStates()
{
    for (const TTableRow& R : StateTable()) {
        TCustomState* S;
        if (!R.Word)
            S = new TCustomState(R.Number);
        else if (R.Target == rtWriteList)
            S = new TKVXStateList(R.Number);
        else if (R.Setting)
            S = new TKVXState(R.Number, R.Word, R.Setting, 1);
        else
            S = new TKVXState(R.Number, R.Word, "", 0);
        if (!LDRA->AddState(S))
            delete S;
        else if (R.Target == rtWriteList)
            FWrite = static_cast<TKVXStateList*>(S);
    }
}

std::unique_ptr<TBRDSDataValidator> TEncoderDialogue::NewRecord()
{
    return std::make_unique<TBRDSDataValidator>(nullptr, TDVNotifyEvent(this, &TEncoderDialogue::PopulateHandler),
        TDVNotifyEvent(this, &TEncoderDialogue::CollectHandler));
}

void TEncoderDialogue::PopulateHandler(TDataValidator* Sender)
{
    if (auto* R = dynamic_cast<TBRDSDataValidator*>(Sender))
        FView.PopulateEditor(*R);
}

void TEncoderDialogue::CollectHandler(TDataValidator* Sender)
{
    if (auto* R = dynamic_cast<TBRDSDataValidator*>(Sender))
        FView.CollectEditor(*R);
}

bool TEncoderDialogue::Connected() const
{
    return Device->Connected();
}

void TEncoderDialogue::Send(const std::string& Msg)
{
    if (FTranscript)
        FTranscript->Sent(Msg + "\r\n");
    if (FScript != scNone) {
        FAwaiting = Msg;
        ++FStep;
        if (FReplyTimeoutMs > 0)
            FTimer->Arm(FReplyTimeoutMs);
        AnnounceProgress();
    }
    Device->PushCommand(Msg, true);
}

void TEncoderDialogue::SetReplyTimeout(std::int64_t Ms)
{
    FReplyTimeoutMs = Ms > 0 ? Ms : 0;
    // A wait already running keeps going without a deadline when it is switched off.
    if (FReplyTimeoutMs == 0 && FResetPhase != rpSettle)
        FTimer->Disarm();
}

TScriptProgress TEncoderDialogue::Progress() const
{
    TScriptProgress P;
    P.Script = FScript;
    P.Step = FStep;
    switch (FScript) {
    case scRead:
        P.Total = FRevSeen && BRDSDV->FirmwareLevel() < FirmwareLevelDST ? ReadCommands - 3 : ReadCommands;
        break;
    case scWrite:
        P.Total = static_cast<int>(FReport.Commands.size());
        break;
    case scFactoryReset:
        P.Total = 1;
        break;
    case scClockRefresh:
        P.Total = BRDSDV->FirmwareLevel() < FirmwareLevelDST ? RefreshCommands - 1 : RefreshCommands;
        break;
    case scNone:
        break;
    }
    return P;
}

std::string TEncoderDialogue::ConnectionProblem() const
{
    return ConnectionErrorText(Device->Conn());
}

std::vector<TMsgChange> TEncoderDialogue::WriteProgress() const
{
    std::vector<TMsgChange> List;
    List.reserve(static_cast<std::size_t>(FWrite->Count()));
    for (int i = 0; i < FWrite->Count(); ++i)
        List.push_back(*FWrite->GetMesRes(i));
    return List;
}

void TEncoderDialogue::AnnounceProgress()
{
    FView.ScriptProgress(Progress());
}

void TEncoderDialogue::BeginScript(TDialogueScript Script)
{
    FScript = Script;
    FStep = 0;
    FRevSeen = false;
    FAwaiting.clear();
    FInterruptRequested = false;
    FTimer->Disarm();
    AnnounceProgress();
}

void TEncoderDialogue::EndScript()
{
    FTimer->Disarm();
    FAwaiting.clear();
    FInterruptRequested = false;
    FResetPhase = rpNone;
    FRecordWrite.reset();
    if (FScript == scNone)
        return;
    FScript = scNone;
    FStep = 0;
    AnnounceProgress();
}

void TEncoderDialogue::DeviceConnectExecute(const std::string& Port)
{
    if (FConnectTag != 0) {
        // A script cut off by the user is interrupted, not lost.
        FUserDisconnect = FScript != scNone;
        Device->Disconnect();
        FConnectTag = 0;
        return;
    }
    FPort = Port;
    if (Port.empty())
        FView.ShowError("Invalid COM Port!");
    // The device must hold a connection of the kind the port asks for (a
    // serial port, or tcp://HOST:PORT); one of another kind is replaced and freed.
    TCustomConnection* Old = Device->Conn();
    TCustomConnection* Conn = Old;
    if (!ConnectionFitsPort(Old, Port)) {
        Conn = NewEncoderConnection(Port);
        if (Old)
            Device->Disconnect();
        Device->SetConn(Conn);
        if (Old) {
            Old->TerminateAndWait();
            delete Old;
        }
    }
    FFailure = dfNone;
    FFailedCommand.clear();
    FFailedReply.clear();
    // The settings are fixed; only the port name can be at fault, and the
    // connection reports that as invalid parameters when it connects.
    SetUpEncoderConnection(*Conn, Port);
    FConnectTag = 1;
    FConnectEnabled = false;
    Device->Connect();
}

void TEncoderDialogue::DeviceStatus(TCustomDevice*, TConnStatus Status)
{
    if (FClosing)
        return;
    FLastStatus = Status;
    const TStatusColours C = StatusColours(Status);
    FView.ShowStatus(FPort + ": " + ConnStatusText(Status), C.Fore, C.Back, C.Flash);
    if (Status == stConnected) {
        FConnectEnabled = true;
        FView.ClearEditor();
        StartRead();
    } else if (Status == stDisconnected || Status == stInvalidConnectionParams) {
        if (FScript != scNone && FFailure == dfNone) {
            const TDialogueFailure Why = FUserDisconnect ? dfInterrupted : dfLinkLost;
            if (FScript == scWrite)
                FailWrite(Why);
            else {
                const bool Reset = FScript == scFactoryReset;
                Fail(Why, FAwaiting, std::string());
                // A cut-off read shows in the status; a cut-off reset needs words.
                if (Reset)
                    FView.ShowError(FailureText());
            }
        }
        FUserDisconnect = false;
        FConnectTag = 0;
        FConnectEnabled = true;
        FView.SetEditorEnabled(false);
        LDRA->SetActive(false);
        BRDSDV->Ready(false);
        FView.ResetTitle();
    }
}

void TEncoderDialogue::StartRead()
{
    FResetPhase = rpNone;
    BeginAfresh(scRead);
    LDRA->SetActive(true);
}

void TEncoderDialogue::BeginAfresh(TDialogueScript Script)
{
    FLastEnded = scNone;
    FFailure = dfNone;
    BeginScript(Script);
    LDRA->Clear();
    LDRA->Reset();
}

void TEncoderDialogue::DevicePacket(TCustomDevice*, TCustomAutomata* PA)
{
    // On the device thread: the replies are copied out of the framing and
    // queued for the main thread, and the device thread goes on without
    // waiting for them to be handled. The queue is the one status changes go
    // through, so a reply is still handled before the disconnection after it.
    auto Replies = std::make_shared<std::vector<TBytes>>();
    ForEachPacket(*PA, [&](const TBytes& Msg) { Replies->push_back(Msg); });
    if (!Replies->empty())
        TThread::ForceQueue(this, [this, Replies] { HandleReplies(*Replies); });
}

void TEncoderDialogue::HandleReplies(const std::vector<TBytes>& Replies)
{
    if (FClosing)
        return;
    for (const TBytes& Msg : Replies) {
        ++FPackets;
        if (FTranscript)
            FTranscript->Received(std::string(Msg.begin(), Msg.end()));
        // One packet is one reply: the command awaited has its answer.
        const bool Awaited = !FAwaiting.empty();
        if (Awaited) {
            FAwaiting.clear();
            FTimer->Disarm();
        }
        if (FScript == scFactoryReset) {
            // The INIT reply is examined here; what comes while the line
            // settles belongs to no query and is dropped.
            if (FResetPhase == rpAwaitInit && Awaited)
                InitReply(std::string(Msg.begin(), Msg.end()));
            continue;
        }
        LDRA->ReadMessage(&Msg);
    }
}

void TEncoderDialogue::DeviceData(TCustomDevice*, const void*, std::int32_t, TDataDirection Dir, bool& Proceed)
{
    if (Dir == ddIncoming)
        FLastIncomingAt = TickMs();
    Proceed = true;
}

void TEncoderDialogue::Fail(TDialogueFailure Why, const std::string& Command, const std::string& Reply)
{
    FFailure = Why;
    FFailedCommand = Command;
    FFailedReply = Reply;
    FFailedScript = FScript;
    // A reset waiting for this script does not happen.
    FResetPending = false;
    EndScript();
    // Stop at once: the disconnection's status arrives later, and no further
    // command may go out before it does.
    LDRA->SetActive(false);
    Device->Disconnect();
}

void TEncoderDialogue::BuildWriteReport(TDialogueFailure Why)
{
    FReport.Applied.clear();
    FReport.Failed.clear();
    FReport.Reply.clear();
    FReport.NotSent.clear();
    FReport.How = dfNone;
    const TKVXStateList* L = FWrite;
    const int Count = L->Count();
    int i = 0;
    for (; i < Count && L->GetMesRes(i)->Res == "\r\nOK\r\n"; ++i)
        FReport.Applied.push_back(L->GetMesRes(i)->Msg);
    if (i == Count)
        return;
    const PMsgChange M = L->GetMesRes(i);
    FReport.How = Why;
    if (!M->Res.empty()) {
        // Answered, but not with OK: refused, whatever else stopped the write after it.
        FReport.How = dfWriteRefused;
        FReport.Failed = M->Msg;
        FReport.Reply = M->Res;
        ++i;
    } else if (!FAwaiting.empty()) {
        FReport.Failed = M->Msg;
        ++i;
    }
    for (; i < Count; ++i)
        FReport.NotSent.push_back(L->GetMesRes(i)->Msg);
}

void TEncoderDialogue::FailWrite(TDialogueFailure Why)
{
    BuildWriteReport(Why);
    TakeAppliedValues();
    const bool Quiet = FRecordWrite != nullptr;
    if (Quiet && FReport.How == dfWriteRefused) {
        // The encoder answered: the line is in step, so the link stays. A
        // reset confirmed meanwhile goes ahead as after any other write.
        FFailure = dfWriteRefused;
        FFailedCommand = FReport.Failed;
        FFailedReply = FReport.Reply;
        FFailedScript = scWrite;
        EndScript();
        LDRA->SetActive(false);
        if (FResetPending)
            SendInit();
        return;
    }
    if (FReport.How == dfNone) {
        // Every command was applied before the write could end.
        Fail(Why, FAwaiting, std::string());
    } else
        Fail(FReport.How, FReport.Failed, FReport.Reply);
    if (!Quiet)
        FView.ShowError(FailureText());
}

void TEncoderDialogue::TakeAppliedValues()
{
    if (!FRecordWrite)
        return;
    for (const std::string& Cmd : FReport.Applied) {
        const TField* F = FindFieldByWord(Cmd.substr(0, Cmd.find('=')));
        if (!F)
            continue;
        if (F->Type == ftText)
            (*BRDSDV).*F->TextField = (*FRecordWrite).*F->TextField;
        else
            F->Set(*BRDSDV, F->Get(*FRecordWrite));
    }
}

std::string TEncoderDialogue::FailureText() const
{
    const std::string& Cmd = FFailedCommand;
    const std::string Waiting = Cmd.empty() ? std::string() : " while waiting for the reply to " + Cmd;
    switch (FFailure) {
    case dfNone:
        return {};
    case dfRefused:
        return "the encoder refused " + Cmd + " (reply " + TTranscript::Visible(FFailedReply) + ")";
    case dfNotANumber:
        return "the reply to " + Cmd + " is not a number: " + TTranscript::Visible(FFailedReply);
    case dfOutOfRange:
        if (const TField* F = FindFieldByWord(Cmd.substr(0, Cmd.find('?'))))
            return "the reply to " + Cmd + " is outside " + std::to_string(F->Min) + "-" + std::to_string(F->Max) + ": "
                + TTranscript::Visible(FFailedReply);
        return "the reply to " + Cmd + " is out of range: " + TTranscript::Visible(FFailedReply);
    case dfInitRefused:
        return InitRefusedText;
    case dfInitUnanswered:
        return "no reply to INIT within " + SecondsText(FReplyTimeoutMs) + ": the encoder may not have been reset";
    default:
        break;
    }
    if (FFailedScript == scWrite)
        return WriteReportText(FReport);
    switch (FFailure) {
    case dfNoReply:
        return "no reply to " + Cmd + " within " + SecondsText(FReplyTimeoutMs);
    case dfLinkLost:
        if (FFailedScript == scFactoryReset && Cmd.empty())
            return "the link to the encoder was lost after it accepted INIT: it was reset, but its new settings "
                   "were not read";
        return "the link to the encoder was lost" + Waiting
            + (FFailedScript == scFactoryReset ? ": the encoder may not have been reset" : "");
    default:
        return "interrupted" + Waiting;
    }
}

void TEncoderDialogue::DeadlineExpired()
{
    if (FClosing)
        return;
    if (FScript == scFactoryReset && FResetPhase == rpSettle) {
        Settle();
        return;
    }
    if (FScript == scNone || FAwaiting.empty())
        return;
    if (FScript == scWrite) {
        FailWrite(dfNoReply);
        return;
    }
    const TDialogueFailure Why = FScript == scFactoryReset ? dfInitUnanswered : dfNoReply;
    Fail(Why, FAwaiting, std::string());
    FView.ShowError(FailureText());
}

void TEncoderDialogue::InitReply(const std::string& Reply)
{
    if (!ReplyAccepted(Reply)) {
        Fail(dfInitRefused, "INIT", Reply);
        FView.ShowError(FailureText());
        return;
    }
    FResetPhase = rpSettle;
    FTimer->Arm(ResetPauseMs - MsSince(FInitSentAt));
}

void TEncoderDialogue::Settle()
{
    // Bytes still arriving would land on the re-read's first queries: wait
    // until the line is quiet, within a limit for a line that never is.
    const std::int64_t LastIncoming = FLastIncomingAt.load();
    const std::int64_t Quiet = LastIncoming ? MsSince(LastIncoming) : SettleQuietMs;
    const std::int64_t Limit = ResetPauseMs + (FReplyTimeoutMs > 0 ? FReplyTimeoutMs : SettleLimitMs);
    if (Quiet < SettleQuietMs && MsSince(FInitSentAt) < Limit) {
        FTimer->Arm(SettleQuietMs - Quiet);
        return;
    }
    if (Quiet < SettleQuietMs)
        kvx::log::Warn("the encoder kept sending after INIT; reading it all the same");
    StartRead();
}

void TEncoderDialogue::LoaderState(TLoaderAutomata*, TCustomState* S)
{
    // A state handed over just before the script was stopped is not served.
    if (FClosing || !LDRA->Active())
        return;
    const std::int32_t N = S->State();
    if (S->InnerState() == isSend && UnknownToFirmware(N, BRDSDV->FirmwareLevel())) {
        S->SetInnerState(isNext);
        return;
    }
    switch (StepLoaderState(*S, [this](const std::string& M) { Send(M); })) {
    case isInit:
        switch (N) {
        case stReadStart:
        case stWriteStart:
        case stRefreshStart:
            S->SetInnerState(isNext);
            break;
        case stReadEnd:
            S->SetInnerState(isNext);
            FView.SetEditorEnabled(true);
            BRDSDV->Populate();
            BRDSDV->Ready(true);
            LDRA->SetActive(false);
            FLastEnded = scRead;
            EndScript();
            kvx::log::Debug("read complete");
            break;
        case stWriteEnd:
            S->SetInnerState(isNext);
            LDRA->SetActive(false);
            BuildWriteReport(dfNone);
            if (FRecordWrite)
                TakeAppliedValues();
            else
                BRDSDV->Collect();
            FLastEnded = scWrite;
            EndScript();
            if (FResetPending)
                SendInit();
            break;
        case stRefreshEnd:
            S->SetInnerState(isNext);
            LDRA->SetActive(false);
            FLastEnded = scClockRefresh;
            EndScript();
            if (FResetPending)
                SendInit();
            break;
        default:
            break;
        }
        break;
    case isParse:
        if (S == FWrite)
            WriteCheck();
        else if (!S->Msg().empty())
            ParseReply(*S);
        break;
    default:
        break;
    }
}

void TEncoderDialogue::WriteCheck()
{
    const TKVXStateList* L = FWrite;
    PMsgChange M = L->GetMesRes(L->CMsg() - 1);
    if (!M || M->Res.empty())
        return;
    if (M->Res != "\r\nOK\r\n")
        FailWrite(dfWriteRefused);
    else if (FInterruptRequested && L->CMsg() < L->Count())
        FailWrite(dfInterrupted);
}

void TEncoderDialogue::Interrupt()
{
    if (FScript == scNone)
        return;
    if (FScript == scWrite) {
        if (!FAwaiting.empty()) {
            FInterruptRequested = true;
            return;
        }
        FailWrite(dfInterrupted);
        return;
    }
    Fail(dfInterrupted, FAwaiting, std::string());
}

void TEncoderDialogue::ParseReply(TCustomState& S)
{
    const TReplyTargets Targets {*BRDSDV, FUTC, FClockReadAtMs, FPilotWord, FIsDSTWord, FView,
        [this, &S](TDialogueFailure Why) { Fail(Why, S.Msg(), S.Reply()); }};
    ParseStateReply(S, Targets);
    const TTableRow* Row = RowOf(S.State());
    if (Row && Row->Target == rtRevision && ReplyAccepted(S.Reply()) && FScript == scRead) {
        // The firmware level is known from here: the read's total may shrink.
        FRevSeen = true;
        AnnounceProgress();
    }
}

TSaveResult TEncoderDialogue::PrepareSave(TBRDSDataValidator& Record, std::vector<TMsgChange>& List)
{
    if (!BRDSDV->Ready())
        return srNotReady;
    Record.OnPopulate = TDVNotifyEvent(this, &TEncoderDialogue::PopulateHandler);
    Record.OnCollect = TDVNotifyEvent(this, &TEncoderDialogue::CollectHandler);
    Record.Collect();
    if (!Record.isValid(BRDSDV.get(), true, nullptr))
        return srInvalid;
    List.clear();
    return BRDSDV->isDifferent(&Record, &List) ? srStarted : srNoChanges;
}

TSaveResult TEncoderDialogue::SaveChanges()
{
    // Another script runs: start nothing and leave the editor as it is, so
    // that the user's choice of clock synchronisation is not lost.
    if (LDRA->Active() || FScript != scNone || FResetPending)
        return srBusy;
    const std::unique_ptr<TBRDSDataValidator> Record = NewRecord();
    std::vector<TMsgChange> List;
    const TSaveResult Result = PrepareSave(*Record, List);
    if (Result == srStarted) {
        StartWrite(List);
        Record->Populate();
        FView.SelectManualSynchronization();
    }
    return Result;
}

void TEncoderDialogue::StartWrite(std::vector<TMsgChange>& List)
{
    std::vector<PMsgChange> Messages;
    Messages.reserve(List.size());
    for (TMsgChange& M : List)
        Messages.push_back(new TMsgChange {std::move(M.Msg), std::string()});
    FWrite->SetMessageList(Messages);
    FLastEnded = scNone;
    FFailure = dfNone;
    FReport = TWriteReport();
    FReport.TimeoutMs = FReplyTimeoutMs;
    for (const PMsgChange M : Messages)
        FReport.Commands.push_back(M->Msg);
    BeginScript(scWrite);
    LDRA->SetActiveState(stWriteStart);
    LDRA->SetActive(true);
}

TSaveResult TEncoderDialogue::WriteRecord(const TBRDSDataValidator& Record, std::string* Why)
{
    if (LDRA->Active() || FScript != scNone || FResetPending)
        return srBusy;
    if (!BRDSDV->Ready() || !Device->Connected())
        return srNotReady;
    auto R = std::make_unique<TBRDSDataValidator>();
    R->AssignSettings(Record);
    R->Ready(false);
    R->RTCManual = true;
    R->RTC = BRDSDV->RTC;
    R->Offset = BRDSDV->Offset;
    R->HW = BRDSDV->HW;
    R->FW = BRDSDV->FW;
    R->Serial = BRDSDV->Serial;
    const int Level = BRDSDV->FirmwareLevel();
    for (const TField& F : SettingsFields()) {
        if (!FieldKnown(F, Level) || SameFieldValue(F, *BRDSDV, *R))
            continue;
        if (const std::optional<std::string> Reason = CheckFieldValue(F, *R)) {
            if (Why)
                *Why = std::string(F.Key) + "=" + VisibleText(FieldValueText(F, *R)) + ": " + *Reason;
            return srInvalid;
        }
    }
    std::vector<TMsgChange> List;
    if (!BRDSDV->isDifferent(R.get(), &List))
        return srNoChanges;
    FRecordWrite = std::move(R);
    StartWrite(List);
    return srStarted;
}

void TEncoderDialogue::RevertChanges()
{
    BRDSDV->Populate();
}

bool TEncoderDialogue::FactoryDefaults()
{
    if (!Device->Connected())
        return false;
    if (FView.AskYesNoCancel("Encoder will be initialized to factory defaults?\r\nAre you Sure?") != qaYes)
        return false;
    // The reset loses every setting, so it goes ahead only once they are safe in a file.
    if (!BRDSDV->Ready()) {
        FView.ShowError("The encoder's settings have not been read yet, so no backup of them can be made.\r\n"
                        "The encoder was not reset.");
        return false;
    }
    std::string Path, Error;
    if (!SaveSettingsBackup(*BRDSDV, BackupFile, Path, Error)) {
        FView.ShowError("Cannot save a backup of the encoder's settings: " + Error + "\r\nThe encoder was not reset.");
        return false;
    }
    FLastBackup = Path;
    FView.ResetTitle();
    FView.SetEditorEnabled(false);
    FView.ClearEditor();
    // From here the device copy no longer describes the encoder: nothing is
    // saved or refreshed until the re-read.
    BRDSDV->Ready(false);
    FLastEnded = scNone;
    FFailure = dfNone;
    FFailedCommand.clear();
    FFailedReply.clear();
    // A script that runs (a clock refresh, a write) ends first, so that a
    // reply still on its way is not taken for the reply to INIT.
    if (FScript != scNone)
        FResetPending = true;
    else
        SendInit();
    FView.ProcessMessages();
    return true;
}

void TEncoderDialogue::SendInit()
{
    FResetPending = false;
    BeginScript(scFactoryReset);
    FResetPhase = rpAwaitInit;
    FInitSentAt = TickMs();
    Send("INIT");
}

void TEncoderDialogue::ClockRefreshTick()
{
    if (!Device->Connected() || !BRDSDV->Ready() || LDRA->Active() || FScript != scNone || FResetPending)
        return;
    BeginAfresh(scClockRefresh);
    LDRA->SetActiveState(stRefreshStart);
    LDRA->SetActive(true);
}

bool TEncoderDialogue::EditorDiffers()
{
    if (!BRDSDV->Ready())
        return false;
    const std::unique_ptr<TBRDSDataValidator> Record = NewRecord();
    Record->Collect();
    return BRDSDV->isDifferent(Record.get(), nullptr);
}

bool TEncoderDialogue::QuerySaveChanges()
{
    const std::unique_ptr<TBRDSDataValidator> Record = NewRecord();
    Record->Collect();
    bool CanClose = true;
    if (BRDSDV->isDifferent(Record.get(), nullptr)) {
        switch (FView.AskYesNoCancel("Save Changes?")) {
        case qaYes:
            SaveChanges();
            CanClose = false;
            break;
        case qaNo:
            RevertChanges();
            break;
        case qaCancel:
            CanClose = false;
            break;
        }
    }
    return CanClose;
}
