// kvxctl fleet: one task at every site of a site list, at once.
#include "command.h"
#include "console_view.h"
#include "exit_codes.h"
#include "fleet/fleet_report.h"
#include "fleet_cli.h"
#include "interrupt.h"

#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace {

const TOptionSpec Options[] = {
    JobsOption,
    SiteTimeoutOption,
    {"site", 0, "NAME", "only this site (repeat it, or NAME,NAME,...)"},
    YesOption,
};

bool TaskOf(const std::string& Word, TFleetTask& Task)
{
    static const struct {
        const char* Word;
        TFleetTask Task;
    } Tasks[] = {{"status", ftkStatus}, {"diff", ftkDiff}, {"push", ftkPush}, {"backup", ftkBackup}};
    for (const auto& T : Tasks)
        if (Word == T.Word) {
            Task = T.Task;
            return true;
        }
    return false;
}

int UsageFault(const std::string& Why)
{
    Reporter().Error(Why);
    return ecUsage;
}

// The sites --site names (in the list's order); false after naming an unknown one.
bool PickedSites(const TOptions& O, const TSiteList& List, std::vector<std::string>& Names)
{
    for (const auto& [Long, Value] : O.InOrder) {
        if (Long != "site")
            continue;
        for (std::size_t Start = 0; Start <= Value.size();) {
            std::size_t End = Value.find(',', Start);
            if (End == std::string::npos)
                End = Value.size();
            if (End > Start)
                Names.push_back(Value.substr(Start, End - Start));
            Start = End + 1;
        }
    }
    if (Names.empty())
        return true;
    std::vector<std::string> Unknown;
    PickSites(List, Names, &Unknown);
    for (const std::string& N : Unknown)
        Reporter().Error("no site " + N + " in " + List.Path);
    return Unknown.empty();
}

// Text lines to standard error as notes (a push's plan, a backup's files).
void Notes(const std::string& Text)
{
    std::size_t Start = 0;
    for (std::size_t End; (End = Text.find('\n', Start)) != std::string::npos; Start = End + 1)
        Reporter().Note(Text.substr(Start, End - Start));
}

// Push asks before it writes: the commands each site would receive, then
// the question (--yes answers it; without a terminal it is refused).
int Confirm(const TOptions& O, const TSiteList& List, const TFleetOptions& F, const std::vector<std::string>& Names)
{
    if (O.Has("yes"))
        return ecDone;
    TConsoleView Asker(false);
    if (!::isatty(0)) {
        // Refused without a word to the encoders.
        Asker.AskYesNoCancel("Write the profiles' differences to the sites?");
        return ecRefused;
    }
    const std::vector<TSiteResult> Plan = RunFleet(List, ftkDiff, F, Names);
    if (Interrupted())
        return ecInterrupted;
    std::size_t Commands = 0, Sites = 0;
    for (const TSiteResult& R : Plan) {
        Commands += R.Commands.size();
        Sites += R.Commands.empty() ? 0 : 1;
    }
    Notes(DiffLines(Plan) + NotReadText(Plan));
    if (Commands == 0)
        return ecDone;
    if (Asker.AskYesNoCancel("Write " + std::to_string(Commands) + " command" + (Commands == 1 ? "" : "s") + " to "
            + std::to_string(Sites) + " site" + (Sites == 1 ? "" : "s") + "?")
        == qaYes)
        return ecDone;
    if (Interrupted())
        return ecInterrupted;
    Reporter().Error("nothing was written");
    return ecRefused;
}

int Run(const TOptions& O)
{
    TFleetTask Task = ftkStatus;
    if (!TaskOf(O.Args[1], Task))
        return UsageFault("fleet does status, diff, push or backup, not '" + O.Args[1] + "'");
    const bool Backup = Task == ftkBackup;
    if (Backup != (O.Args.size() == 3))
        return UsageFault(Backup ? "fleet SITES backup needs DIR, the folder of the backups"
                                 : "fleet SITES " + O.Args[1] + " takes no further argument, not '" + O.Args[2] + "'");
    if (O.Has("yes") && Task != ftkPush)
        return UsageFault("--yes applies to fleet SITES push only");
    TFleetOptions F;
    if (const std::string Why = FleetOptionsFrom(O, F); !Why.empty())
        return UsageFault(Why);

    TSiteList List;
    if (const int E = LoadSites(O.Args[0], List))
        return E;
    std::vector<std::string> Names;
    if (!PickedSites(O, List, Names))
        return ecUsage;
    if (Backup) {
        F.BackupDir = O.Args[2];
        std::error_code Ec;
        std::filesystem::create_directories(F.BackupDir, Ec);
        if (Ec || !std::filesystem::is_directory(F.BackupDir)) {
            Reporter().Error("cannot make the backup folder " + F.BackupDir + ": "
                + (Ec ? Ec.message() : std::string("it is not a folder")) + "; no encoder was read");
            return ecRefused;
        }
    }
    if (Task == ftkPush)
        if (const int E = Confirm(O, List, F, Names))
            return E;

    const std::vector<TSiteResult> Results = RunFleet(List, Task, F, Names);
    const int Code = FleetExitCode(Results);
    // A backup's summary is JSON in any case: it is made for the journal of
    // the timer that runs it, and for scripts. Its lines in words are notes.
    if (O.Json || Backup) {
        TJson Sites = TJson::Array();
        for (const TSiteResult& R : Results)
            Sites.Add(SiteJson(R, Task));
        TJson J = TJson::Object();
        J.Set("schema", TJson::Int(1));
        J.Set("site_list", TJson::Utf8(List.Path));
        J.Set("task", TJson::Utf8(O.Args[1]));
        if (Backup)
            J.Set("folder", TJson::Utf8(F.BackupDir));
        J.Set("exit", TJson::Int(Code));
        J.Set("sites", Sites);
        if (Backup && !O.Json)
            Notes(BackupReportText(Results));
        PrintOut(J.Dump());
        return Code;
    }
    switch (Task) {
    case ftkStatus:
        PrintOut(StatusTable(Results));
        break;
    case ftkDiff:
        if (Reporter().Level() != vbQuiet)
            PrintOut(DiffLines(Results));
        for (const TSiteResult& R : Results)
            if (!R.Reachable)
                Reporter().Error(R.Site + ": not read: " + R.Reason);
        break;
    case ftkPush:
        PrintOut(PushReportText(Results));
        break;
    case ftkBackup:
        break;
    }
    return Code;
}

} // namespace

extern const TCommand FleetCommand = {"fleet", "fleet SITES TASK [DIR] [--site=NAME]... [--yes]",
    "status, diff, push or back up every encoder of a site list",
    "TASK is status, diff, push or backup. SITES is a site list (man kvxctl:\n"
    "SITE LIST): a profile for every site and each site's port and overrides.\n"
    "It is checked as a whole first; a fault is named as FILE:LINE: reason and\n"
    "nothing is opened (exit 4). Then the sites are talked to at once (--jobs,\n"
    "default 8), each with its own time-out (--site-timeout); a site that fails\n"
    "never stops the others, and a port that another program holds is reported\n"
    "busy and left alone.\n"
    "  status  a table: read or not, serial, hardware, firmware, the clock's drift\n"
    "          from the computer's, the settings that differ from the profile.\n"
    "          Exit 0 all match, 1 some differ, 2 some could not be read.\n"
    "  diff    the commands each site would receive, SITE: COMMAND a line.\n"
    "  push    writes each site's differences and reads them back; asks first\n"
    "          (--yes answers). Per site: applied, refused with the command and\n"
    "          its reply, not sent, verified. Exit 6 when a site was partly\n"
    "          changed, 5 when a read-back differs, else the worst of 3, 2, 1.\n"
    "  backup  keeps each site's settings in DIR/SITE.kvx, rewritten in one step\n"
    "          and only when they changed (so git in DIR shows the changed keys),\n"
    "          and prints a JSON summary. Exit 2 when a site could not be read.",
    Options, 2, 3, "SITES and status, diff, push or backup", false, Run};
