#include "fleet_cli.h"

#include "exit_codes.h"
#include "interrupt.h"
#include "output.h"

#include <cstdlib>

namespace {

TJson Latin1List(const std::vector<std::string>& Items)
{
    TJson L = TJson::Array();
    for (const std::string& S : Items)
        L.Add(TJson::Latin1(S));
    return L;
}

TJson TextOrNull(const std::string& S)
{
    return S.empty() ? TJson() : TJson::Utf8(S);
}

const char* BackupWord(TBackupChange C)
{
    switch (C) {
    case bcNew:
        return "new";
    case bcChanged:
        return "changed";
    case bcUnchanged:
        return "unchanged";
    case bcNone:
        break;
    }
    return nullptr;
}

} // namespace

int LoadSites(const std::string& Path, TSiteList& List)
{
    List = LoadSiteList(Path);
    for (const TSiteListFinding& F : List.Findings) {
        if (F.Note)
            Reporter().Note(FindingText(F));
        else
            Reporter().Finding(FindingText(F));
    }
    if (List.Valid())
        return 0;
    // A list that could not be read at all is a usage fault, as a settings file is.
    if (List.Findings.size() == 1 && List.Findings[0].Line == 0 && List.Sites.empty()
        && List.Findings[0].Text.rfind("cannot read the site list", 0) == 0)
        return ecUsage;
    Reporter().Error("the site list " + Path + " is refused: no encoder was opened");
    return ecInvalid;
}

std::string FleetOptionsFrom(const TOptions& O, TFleetOptions& F)
{
    F.ReplyTimeoutMs = O.TimeoutMs;
    if (O.Has("jobs")) {
        char* End = nullptr;
        const long N = std::strtol(O.Value("jobs").c_str(), &End, 10);
        if (O.Value("jobs").empty() || *End || N < 1 || N > 1024)
            return "--jobs takes a number from 1 to 1024, not '" + O.Value("jobs") + "'";
        F.Jobs = static_cast<int>(N);
    }
    if (O.Has("site-timeout") && (!ParseSeconds(O.Value("site-timeout"), F.SiteTimeoutMs) || F.SiteTimeoutMs <= 0))
        return "--site-timeout takes seconds (a number above 0), not '" + O.Value("site-timeout") + "'";
    F.Interrupted = [] { return Interrupted(); };
    return {};
}

TJson SiteJson(const TSiteResult& R, TFleetTask Task)
{
    TJson J = TJson::Object();
    J.Set("site", TJson::Utf8(R.Site));
    J.Set("port", TJson::Utf8(R.Port));
    J.Set("outcome", TJson::Utf8(OutcomeWord(R.Outcome)));
    J.Set("reason", TextOrNull(R.Reason));
    J.Set("exit", TJson::Int(R.ExitCode));
    J.Set("reachable", TJson::Bool(R.Reachable));
    if (R.Reachable) {
        J.Set("serial", TJson::Latin1(R.Serial));
        J.Set("hardware", TJson::Latin1(R.Hardware));
        J.Set("firmware", TJson::Latin1(R.Firmware));
        J.Set("clock_drift_seconds", R.ClockDrift ? TJson::Fixed(*R.ClockDrift, 3) : TJson());
        J.Set("read_seconds", TJson::Fixed(R.ReadSeconds, 3));
        J.Set("differ", TJson::Int(static_cast<std::int64_t>(R.Differs.size())));
        J.Set("differing", Latin1List(R.Differs));
        if (Task != ftkStatus)
            J.Set("commands", Latin1List(R.Commands));
    }
    if (Task == ftkPush) {
        const TWriteReport& W = R.Write;
        TJson Write = TJson::Object();
        Write.Set("started", TJson::Bool(R.WriteStarted));
        Write.Set("applied", Latin1List(W.Applied));
        Write.Set("failed", W.Failed.empty() ? TJson() : TJson::Latin1(W.Failed));
        Write.Set("reply", W.Reply.empty() ? TJson() : TJson::Latin1(W.Reply));
        Write.Set("not_sent", Latin1List(W.NotSent));
        Write.Set("verified", TJson::Bool(R.Verified));
        Write.Set("verify_differs", Latin1List(R.VerifyDiffers));
        J.Set("write", Write);
    }
    if (Task == ftkBackup) {
        const char* Word = BackupWord(R.Backup);
        J.Set("file", TextOrNull(R.BackupFile));
        J.Set("backup", Word ? TJson::Utf8(Word) : TJson());
        J.Set("changed_keys", Latin1List(R.ChangedKeys));
    }
    return J;
}
