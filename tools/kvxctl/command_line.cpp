#include "command_line.h"

#include "command.h"
#include "exit_codes.h"
#include "help_text.h"
#include "platform/version.h"

#include <cstdlib>

#include <getopt.h>

namespace {

// What getopt_long answers for the first long option; the others follow.
constexpr int LongBase = 0x100;

bool IsGlobal(const std::string& Long)
{
    for (const TOptionSpec& S : GlobalOptions())
        if (Long == S.Long)
            return true;
    return false;
}

bool Takes(const TCommand& C, const std::string& Long)
{
    if (IsGlobal(Long))
        return true;
    for (const TOptionSpec& S : C.Options)
        if (Long == S.Long)
            return true;
    return false;
}

// The name of an option as it was written ("--sync", "-y").
std::string Written(const TOptionSpec& S, bool Short)
{
    return Short ? std::string("-") + S.Short : std::string("--") + S.Long;
}

// What a getopt_long fault was, from the word it stopped at.
std::string Fault(const std::vector<TOptionSpec>& All, const std::string& Word, int Code, int Opt)
{
    // getopt_long names a short option in Opt; a long one only by the word it stopped at.
    const bool Long = (Opt == 0 || Opt >= LongBase) && Word.rfind("--", 0) == 0;
    const std::string Name = Long ? Word.substr(0, Word.find('=')) : std::string("-") + static_cast<char>(Opt);
    if (Code == ':')
        return Name + " needs a value";
    if (Long) {
        std::string Matches;
        int Count = 0;
        const std::string Stem = Name.substr(2);
        for (const TOptionSpec& S : All)
            if (std::string(S.Long).rfind(Stem, 0) == 0) {
                Matches += (Count++ ? ", --" : "--") + std::string(S.Long);
                if (Stem == S.Long && !S.Value && Word.find('=') != std::string::npos)
                    return Name + " takes no value";
            }
        if (Count > 1)
            return "ambiguous option " + Name + " (" + Matches + ")";
    }
    return "unknown option " + Name;
}

// Checks what the options say beyond their names; "" when all is well.
std::string CheckValues(TOptions& O, const TCommand& C)
{
    if (O.Has("format")) {
        const std::string F = O.Value("format");
        if (F != "kvx" && F != "json")
            return "--format takes kvx or json, not '" + F + "'";
    }
    if (O.Has("timeout") && !ParseSeconds(O.Value("timeout"), O.TimeoutMs))
        return "--timeout takes seconds (a number from 0), not '" + O.Value("timeout") + "'";
    if (O.Has("quiet") && O.Has("verbose"))
        return "-q and -v exclude each other";
    if (O.Has("transcript") && (O.Value("transcript").empty() || O.Value("transcript") == "-"))
        return "--transcript needs a file (-v shows the traffic on standard error)";
    const int N = static_cast<int>(O.Args.size());
    if (N < C.MinArgs)
        return std::string(C.Name) + " needs " + C.ArgName + " (kvxctl help " + C.Name + ")";
    if (C.MaxArgs >= 0 && N > C.MaxArgs)
        return std::string(C.Name)
            + (C.MaxArgs ? " takes at most " + std::to_string(C.MaxArgs) + " " + C.ArgName
                         : std::string(" takes no arguments"))
            + ", not '" + O.Args[static_cast<std::size_t>(C.MaxArgs)] + "'";
    if (C.NeedsPort && O.Port.empty())
        return "no port: give --port NAME or set KVXCTL_PORT (kvxctl ports lists them)";
    return {};
}

// The options and words of the command line, and how each option was
// written (Shown, by long name); answers the first fault found.
std::string Scan(int Argc, char** Argv, TOptions& O, std::map<std::string, std::string>& Shown)
{
    const std::vector<TOptionSpec> All = AllOptions();
    std::vector<option> Longs;
    // "-": words that are not options come back in order as 1; ":": a missing value is told apart.
    std::string Shorts = "-:";
    // Each long option returns a value of its own, or getopt_long would take
    // an abbreviation shared by two switches for the first of them.
    for (const TOptionSpec& S : All) {
        Longs.push_back(option {
            S.Long, S.Value ? required_argument : no_argument, nullptr, LongBase + static_cast<int>(Longs.size())});
        if (S.Short)
            Shorts += std::string(1, S.Short) + (S.Value ? ":" : "");
    }
    Longs.push_back(option {nullptr, 0, nullptr, 0});
    std::string First;
    opterr = 0;
    optind = 0; // a full reset: the parser may run more than once in a process
    for (int Code; (Code = getopt_long(Argc, Argv, Shorts.c_str(), Longs.data(), nullptr)) != -1;) {
        if (Code == 1) {
            (O.Command.empty() ? O.Command : O.Args.emplace_back()) = optarg;
            continue;
        }
        if (Code == '?' || Code == ':') {
            if (First.empty())
                First = Fault(All, Argv[optind - 1], Code, optopt);
            continue;
        }
        const TOptionSpec* S = nullptr;
        if (Code >= LongBase)
            S = &All[static_cast<std::size_t>(Code - LongBase)];
        for (const TOptionSpec& A : All)
            if (!S && A.Short == Code)
                S = &A;
        if (!S)
            continue;
        const std::string Long = S->Long;
        O.Given[Long] = optarg ? optarg : "";
        O.InOrder.emplace_back(Long, optarg ? optarg : "");
        Shown[Long] = Written(*S, Code < LongBase);
        // -j and --format: the last one given counts.
        if (Long == "json")
            O.Given["format"] = "json";
        else if (Long == "format")
            O.Given.erase("json");
    }
    // Words after "--" are arguments too.
    for (; optind < Argc; ++optind)
        (O.Command.empty() ? O.Command : O.Args.emplace_back()) = Argv[optind];
    return First;
}

int UsageError(const std::string& Why)
{
    Reporter().Error(Why);
    return Reporter().Finish(ecUsage);
}

} // namespace

int ParseOptions(int Argc, char** Argv, TOptions& O)
{
    O = TOptions();
    std::map<std::string, std::string> Shown;
    const std::string Fault = Scan(Argc, Argv, O, Shown);
    O.Json = O.Value("format") == "json";
    O.Verbosity = O.Has("quiet") ? vbQuiet : O.Has("verbose") ? vbVerbose : vbNormal;
    Reporter().Configure(O.Json, O.Verbosity);
    if (!Fault.empty())
        return UsageError(Fault);
    if (O.Has("version")) {
        PrintOut("kvxctl " + GetVersionString("%d.%d.%d.%d") + "\n");
        return ecDone;
    }
    const TCommand* C = O.Command.empty() ? nullptr : FindCommand(O.Command);
    if (O.Has("help")) {
        if (!C && !O.Command.empty())
            return UsageError("unknown command '" + O.Command + "' (kvxctl help lists them)");
        PrintOut(HelpText(C));
        return ecDone;
    }
    if (O.Command.empty())
        return UsageError("no command given (kvxctl help lists them)");
    if (!C)
        return UsageError("unknown command '" + O.Command + "' (kvxctl help lists them)");
    for (const auto& [Long, Value] : O.Given) {
        (void)Value;
        if (!Takes(*C, Long))
            return UsageError(Shown[Long] + " does not apply to " + C->Name + " (kvxctl help " + C->Name + ")");
    }
    const char* Env = std::getenv("KVXCTL_PORT");
    O.Port = ResolvePort(O.Has("port") ? O.Value("port") : Env ? Env : "");
    if (const std::string Why = CheckValues(O, *C); !Why.empty())
        return UsageError(Why);
    return -1;
}
