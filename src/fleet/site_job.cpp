#include "fleet/site_job.h"

#include "fleet/site_backup.h"
#include "platform/date_time.h"
#include "rds/field_table.h"

#include <chrono>

namespace {

// How long a link is given to go once the job is over.
constexpr std::int64_t CloseLimitMs = 3000;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int Y, int M, int D)
{
    Y -= M <= 2;
    const std::int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const int Yoe = Y - static_cast<int>(Era * 400);
    const int Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const int Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + Doe - 719468;
}

bool LeapYear(int Y)
{
    return (Y % 4 == 0 && Y % 100 != 0) || Y % 400 == 0;
}

// Refuses whatever the save's validation finds: the site's settings were
// checked as a whole before the run, so a finding here is about this encoder.
class TRefusingPresenter : public TAlertPresenter {
public:
    bool PresentAlerts(const TAlertArray& Alerts) override
    {
        for (const TAlert& A : Alerts)
            Found += (Found.empty() ? "" : "; ") + PrintableText(A.Name) + ": " + PrintableText(A.Description);
        return false;
    }
    std::string Found;
};

// The keys whose value the encoder (Held) does not hold as Wanted has it.
std::vector<std::string> DifferingKeys(const TBRDSDataValidator& Wanted, const TBRDSDataValidator& Held)
{
    std::vector<std::string> Keys;
    for (const TField& F : SettingsFields())
        if (FieldKnown(F, Held.FirmwareLevel()) && !SameFieldValue(F, Wanted, Held))
            Keys.emplace_back(F.Key);
    return Keys;
}

} // namespace

std::optional<double> ClockDriftSeconds(const TSystemTime& E, std::int64_t ReadAtMs)
{
    static constexpr int MonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (ReadAtMs == 0 || E.wMonth < 1 || E.wMonth > 12 || E.wDay < 1 || E.wHour > 23 || E.wMinute > 59
        || E.wSecond > 59)
        return std::nullopt;
    const int Days = MonthDays[E.wMonth - 1] + (E.wMonth == 2 && LeapYear(E.wYear) ? 1 : 0);
    if (E.wDay > Days)
        return std::nullopt;
    const std::int64_t Ms = (DaysFromCivil(E.wYear, E.wMonth, E.wDay) * 86400 + std::int64_t {E.wHour} * 3600
                                + std::int64_t {E.wMinute} * 60 + E.wSecond)
        * 1000;
    // The encoder counts whole seconds: its clock stood somewhere within the
    // second it gave, half a second in on the average.
    double Drift = static_cast<double>(Ms + 500 - ReadAtMs) / 1000.0;
    // The date is asked before the time: a day that ended between the two
    // gives the new day's first seconds on the old day's date.
    if (Drift < -43200 && E.wHour == 0 && E.wMinute == 0 && E.wSecond < 10)
        Drift += 86400;
    return Drift;
}

TSiteJob::TSiteJob(
    const TSite& Site, TFleetTask Task, const TFleetOptions& Options, TSiteOutcome Known, const std::string& Reason)
    : FSite(Site), FTask(Task), FOptions(Options), FDeadline(DeadlineIn(Options.SiteTimeoutMs))
{
    FResult.Site = Site.Name;
    FResult.Port = Site.Port;
    FEditor.RTCManual = true;
    if (Known != soDone) {
        FResult.Outcome = Known;
        FResult.Reason = Reason;
        SetExitCode();
        FPhase = phDone;
        return;
    }
    Connect();
}

TSiteJob::~TSiteJob()
{
    // The dialogue calls this view until it is gone.
    FD.reset();
}

void TSiteJob::Connect()
{
    FD = std::make_unique<TEncoderDialogue>(*this);
    FD->SetReplyTimeout(FOptions.ReplyTimeoutMs);
    FStartTick = TickMs();
    FD->DeviceConnectExecute(FSite.Port);
}

TDeadline TSiteJob::WakeAt() const
{
    switch (FPhase) {
    case phDone:
        return NoDeadline;
    case phClosing:
        return FCloseDeadline;
    default:
        return FStopped == soDone ? FDeadline : NoDeadline;
    }
}

void TSiteJob::Stop(TSiteOutcome Why)
{
    if (FPhase == phDone || FPhase == phClosing || FStopped != soDone)
        return;
    FStopped = Why;
    FChanged = true;
}

void TSiteJob::ClearEditor()
{
    FChanged = true;
}

void TSiteJob::PopulateEditor(const TBRDSDataValidator& Record)
{
    // The synchronisation of the clock is this job's choice, never the encoder's.
    FEditor.AssignSettings(Record);
    FEditor.RTCManual = true;
}

void TSiteJob::CollectEditor(TBRDSDataValidator& Record)
{
    Record.AssignSettings(FEditor);
}

void TSiteJob::ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool)
{
    FStatuses.push_back(Text);
    FChanged = true;
}

void TSiteJob::ShowError(const std::string& Msg)
{
    FErrors.push_back(Msg);
    FChanged = true;
}

void TSiteJob::ScriptProgress(const TScriptProgress& Progress)
{
    if (Progress.Script != scNone) {
        FRunning = Progress.Script;
        FProgress = Progress;
    } else if (FRunning != scNone) {
        FEnded = FRunning;
        FRunning = scNone;
    }
    FChanged = true;
}

std::string TSiteJob::StatusWords() const
{
    std::string Words;
    const std::string Prefix = FSite.Port + ": ";
    for (const std::string& S : FStatuses)
        Words += (Words.empty() ? "" : ", ") + (S.compare(0, Prefix.size(), Prefix) == 0 ? S.substr(Prefix.size()) : S);
    return Words;
}

void TSiteJob::Step()
{
    FChanged = false;
    if (FPhase == phDone)
        return;
    if (FPhase == phClosing) {
        if (FD->LastStatus() == stDisconnected || std::chrono::steady_clock::now() >= FCloseDeadline) {
            FD.reset();
            FPhase = phDone;
        }
        return;
    }
    if (FStopped == soDone && std::chrono::steady_clock::now() >= FDeadline)
        FStopped = soTimedOut;
    if (FStopped != soDone && !FStopSent) {
        FStopSent = true;
        // A running script stops through the dialogue, so that a write says
        // what it applied; its failure is taken up below.
        if (FD->Progress().Script != scNone)
            FD->Interrupt();
        else {
            const std::string Why = FStopped == soTimedOut
                ? "no complete " + std::string(FPhase == phReading ? "read" : "task") + " within "
                    + SecondsText(FOptions.SiteTimeoutMs) + " (" + StatusWords() + ")"
                : "interrupted before the encoder was read (" + StatusWords() + ")";
            Failed(FStopped, Why);
            return;
        }
    }

    if (const TDialogueFailure F = FD->Failure(); F != dfNone) {
        TSiteOutcome O = soRefused;
        switch (F) {
        case dfNoReply:
        case dfInitUnanswered:
            O = soNoReply;
            break;
        case dfLinkLost:
            O = soLinkLost;
            break;
        case dfInterrupted:
            O = FStopped == soDone ? soInterrupted : FStopped;
            break;
        default:
            break;
        }
        std::string Why = FD->FailureText();
        if (O == soTimedOut)
            Why = "the site's time-out of " + SecondsText(FOptions.SiteTimeoutMs) + " ran out: " + Why;
        if (const std::string Link = FD->ConnectionProblem(); O == soLinkLost && !Link.empty())
            Why += ": " + Link;
        if (FPhase == phWriting)
            FResult.Write = FD->WriteReport();
        if (FPhase == phVerifying)
            Why = "every command was applied, but the read-back failed: " + Why;
        Failed(O, Why);
        return;
    }

    if (FD->Connected())
        FWasConnected = true;
    const TConnStatus St = FD->LastStatus();
    if (St == stDisconnected || St == stInvalidConnectionParams) {
        // The link could not be had, or went between two scripts.
        std::string Why
            = (FWasConnected ? "connection lost on " : "cannot connect to ") + FSite.Port + " (" + StatusWords() + ")";
        if (const std::string Link = FD->ConnectionProblem(); !Link.empty())
            Why += ": " + Link;
        Failed(FWasConnected ? soLinkLost : soUnreachable, Why);
        return;
    }

    const TDialogueScript Ended = FEnded;
    FEnded = scNone;
    if (Ended == scRead && FPhase == phReading)
        ReadDone();
    else if (Ended == scRead && FPhase == phVerifying)
        VerifyDone();
    else if (Ended == scWrite && FPhase == phWriting)
        WriteDone();
}

void TSiteJob::ReadDone()
{
    const TBRDSDataValidator& R = FD->DeviceCopy();
    FResult.Reachable = true;
    FResult.ReadSeconds = static_cast<double>(MsSince(FStartTick)) / 1000.0;
    FResult.Serial = R.Serial;
    FResult.Hardware = R.HW;
    FResult.Firmware = R.FW;
    FResult.PI = Format("%.4X", R.PI);
    FResult.PS = R.PS;
    FResult.ClockDrift = ClockDriftSeconds(R.RTC, FD->ClockReadAtMs());

    // What the site should hold, with this encoder's identity and clock (a
    // profile says nothing of the clock, so it is left alone).
    TBRDSDataValidator Wanted;
    Wanted.AssignSettings(FSite.Desired);
    Wanted.FW = R.FW;
    Wanted.HW = R.HW;
    Wanted.Serial = R.Serial;
    Wanted.RTC = R.RTC;
    Wanted.RTCManual = true;
    FResult.Differs = DifferingKeys(Wanted, R);
    std::vector<TMsgChange> List;
    R.isDifferent(&Wanted, &List);
    for (const TMsgChange& M : List)
        FResult.Commands.push_back(M.Msg);

    switch (FTask) {
    case ftkStatus:
    case ftkDiff:
        break;
    case ftkBackup: {
        std::string Error;
        FResult.Backup
            = WriteSiteBackup(FOptions.BackupDir, FSite.Name, R, FResult.BackupFile, FResult.ChangedKeys, Error);
        if (FResult.Backup == bcNone) {
            FResult.Outcome = soFileError;
            FResult.Reason = Error;
        }
        break;
    }
    case ftkPush: {
        if (FResult.Commands.empty()) {
            FResult.Verified = true;
            break;
        }
        FEditor.AssignSettings(Wanted);
        TRefusingPresenter Presenter;
        TAlertPresenter* Before = GetAlertPresenter();
        SetAlertPresenter(&Presenter);
        const TSaveResult S = FD->SaveChanges();
        SetAlertPresenter(Before);
        if (S == srStarted) {
            FResult.WriteStarted = true;
            FPhase = phWriting;
            return;
        }
        FResult.Outcome = soRefused;
        FResult.Reason = S == srInvalid ? "this encoder refuses the settings: " + Presenter.Found
                                        : "the write did not start: nothing was sent";
        break;
    }
    }
    Close();
}

void TSiteJob::WriteDone()
{
    FResult.Write = FD->WriteReport();
    FPhase = phVerifying;
    FD->StartRead();
}

void TSiteJob::VerifyDone()
{
    FResult.VerifyDiffers = DifferingKeys(FSite.Desired, FD->DeviceCopy());
    FResult.Verified = FResult.VerifyDiffers.empty();
    if (!FResult.Verified) {
        std::string Keys;
        for (const std::string& K : FResult.VerifyDiffers)
            Keys += (Keys.empty() ? "" : ", ") + K;
        FResult.Reason = "read back, the encoder does not hold " + Keys + " as written";
    }
    Close();
}

void TSiteJob::Failed(TSiteOutcome Outcome, const std::string& Reason)
{
    FResult.Outcome = Outcome;
    // One line: a report's lines are joined.
    std::string Line;
    for (std::size_t i = 0; i < Reason.size(); ++i) {
        if (Reason[i] == '\r' && i + 1 < Reason.size() && Reason[i + 1] == '\n')
            continue;
        Line += Reason[i] == '\n' ? ' ' : Reason[i];
    }
    FResult.Reason = Line;
    Close();
}

void TSiteJob::Close()
{
    SetExitCode();
    FPhase = phClosing;
    FCloseDeadline = DeadlineIn(CloseLimitMs);
    if (FD->ConnectTag() == 1)
        FD->DeviceConnectExecute(FSite.Port);
    FChanged = true;
}

void TSiteJob::SetExitCode()
{
    const TSiteOutcome O = FResult.Outcome;
    int& E = FResult.ExitCode;
    switch (FTask) {
    case ftkStatus:
    case ftkDiff:
        E = O != soDone ? 2 : FResult.Differs.empty() ? 0 : 1;
        break;
    case ftkBackup:
        E = O == soDone ? 0 : O == soFileError ? 1 : 2;
        break;
    case ftkPush:
        if (FResult.Write.PartlyChanged())
            E = 6;
        else if (O == soDone)
            E = FResult.Verified ? 0 : 5;
        else if (O == soNoReply || O == soTimedOut)
            E = 3;
        else if (O == soRefused)
            E = 1;
        else if (O == soInterrupted)
            E = 130;
        else
            E = 2;
        break;
    }
}
