// kvxctl diff FILE and write FILE: a settings file against the encoder.
#include "command.h"
#include "console_view.h"
#include "exit_codes.h"
#include "rds/settings_file.h"
#include "write_flow.h"

namespace {

const TOptionSpec DiffOptions[] = {SyncClockOption};
const TOptionSpec WriteOptions[] = {YesOption, SyncClockOption, NoVerifyOption};

// Names the keys a file lacks: their settings become 0.
void NoteMissingKeys(const std::string& Path, const std::vector<std::string>& Keys)
{
    if (Keys.empty())
        return;
    std::string List;
    for (const std::string& K : Keys)
        List += (List.empty() ? "" : ", ") + K;
    Reporter().Note(Path + ": no line for " + List + ": " + (Keys.size() == 1 ? "it takes" : "they take") + " 0");
}

// Reads and validates the settings file once, before the port is opened: an
// invalid file sends nothing. 0, or the exit code after saying why.
int LoadFile(const std::string& Path, TBRDSDataValidator& Record)
{
    std::string Raw, Error;
    if (!ReadSettingsFileBytes(Path, Raw, Error, true)) {
        Reporter().Error("cannot read " + Path + ": " + Error);
        return ecUsage;
    }
    TSettingsFileInfo Info;
    ParseSettingsFile(Raw, Record, &Info);
    if (!Info.NotSettings.empty()) {
        Reporter().Error(Path + ": not a settings file: " + Info.NotSettings);
        return ecInvalid;
    }
    NoteMissingKeys(Path, Info.MissingKeys);
    Record.isValid(nullptr, false, nullptr);
    bool Blocked = false;
    for (const TAlert& A : Record.Alerts()) {
        int Line = A.Line;
        if (!Line && Info.KeyLines.count(A.Key))
            Line = Info.KeyLines[A.Key];
        const std::string Where = Path + (Line ? ":" + std::to_string(Line) : std::string());
        const std::string What = A.Key.empty() ? A.Name : A.Key + "=" + A.Value;
        Reporter().Finding(Where + ": " + TerminalText(What, true) + ": " + TerminalText(A.Description, true));
        Blocked = Blocked || A.AlertType == altCancel;
    }
    if (Blocked) {
        Reporter().Error("validation refused " + Path + ": nothing was sent");
        return ecInvalid;
    }
    return 0;
}

int Run(const TOptions& O, bool Write)
{
    const std::string& Path = O.Args[0];
    TBRDSDataValidator File;
    if (const int E = LoadFile(Path, File))
        return E;
    TSession S(O);
    if (!Write)
        S.SetRefusalCode(ecConnection);
    if (const int E = S.Start())
        return E;
    TWriteFlow Flow;
    Flow.Write = Write;
    Flow.SyncClock = O.Has("sync-clock");
    Flow.Verify = !O.Has("no-verify");
    Flow.Source = Path;
    return RunWriteFlow(S, File, Flow);
}

} // namespace

extern const TCommand DiffCommand
    = {"diff", "diff FILE [--sync-clock]", "print what a write of a settings file would send; exit 1 when it differs",
        "Reads the settings file FILE (- for standard input; read once, so a pipe\n"
        "works) and validates every value before the port is opened: each finding\n"
        "is printed as FILE:LINE: KEY=VALUE: reason and nothing is sent (exit 4).\n"
        "Keys the file lacks are named; they take 0. Then reads the encoder and\n"
        "prints the commands a write would send, one a line. Sends nothing that\n"
        "changes the encoder. Exits 0 when the encoder holds the file's settings, 1\n"
        "when it differs, as diff(1) does; an encoder that refuses a query exits 2\n"
        "here. The encoder's clock is left alone unless --sync-clock (then DATE,\n"
        "TIME and OFFSET from the computer's clock are added).",
        DiffOptions, 1, 1, "FILE", true, [](const TOptions& O) { return Run(O, false); }};

extern const TCommand WriteCommand = {"write", "write FILE [--yes] [--sync-clock] [--no-verify]",
    "write the settings of a settings file that differ, and verify them",
    "As diff, then sends the commands one by one, printing each with its reply;\n"
    "then reads the encoder again and reports every setting that differs from\n"
    "what was written (exit 5; not with --no-verify). A write that stops short\n"
    "(refused, no reply, link lost, interrupted) names the command, what was\n"
    "applied and what was not sent (exit 6 when some were applied). An interrupt\n"
    "lets the command being answered finish first.",
    WriteOptions, 1, 1, "FILE", true, [](const TOptions& O) { return Run(O, true); }};
