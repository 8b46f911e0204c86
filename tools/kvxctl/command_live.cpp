// kvxctl live: the now-playing bridge. The options are the bridge's own
// (src/live); kvxctl's port, time-out, transcript and -q/-v go with them.
#include "command.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "live/live_options.h"
#include "live/live_run.h"

#include <cstdio>

namespace {

const TOptionSpec Options[] = {
    {"http", 0, "[ADDR:]PORT", "take GET or form POST /?artist=A&title=T, /?text=T;\nGET /status (repeatable)"},
    {"tcp", 0, "[ADDR:]PORT", "take lines: a text, or KEY=value with KEY TEXT,\nDPS, ARTIST or TITLE (repeatable)"},
    {"udp", 0, "[ADDR:]PORT", "take datagrams, one such line each (repeatable)"},
    {"file", 0, "PATH", "take the file's first line when it changes\n(repeatable)"},
    {"template", 0, "TEXT", "the text of the fields (default\n\"{artist} - {title}\"; {text} for whole texts)"},
    {"skip-if", 0, "FIELD~REGEX", "put nothing on air when FIELD matches\n(repeatable)"},
    {"target", 0, "rt|dps|both", "RadioText (default), dynamic PS or both"},
    {"idle-text", 0, "TEXT", "sent after --idle-after seconds without update"},
    {"idle-after", 0, "SECONDS", "default 300"},
    {"min-interval", 0, "SECONDS", "at most one write in this time (default 15)"},
    {"token", 0, "SECRET", "HTTP and TCP take updates only with it"},
    {"token-file", 0, "FILE", "the secret from the file's first line"},
    {"allow", 0, "ADDR/PREFIX", "take requests from these sources only\n(repeatable; UDP: the loopback without it)"},
    {"max-rate", 0, "N", "requests a second one source may make\n(default 10)"},
    {"config", 0, "FILE", "options from FILE, one \"name value\" a line"},
};

bool Own(const std::string& Long)
{
    for (const TOptionSpec& S : Options)
        if (Long == S.Long)
            return true;
    return false;
}

int Run(const TOptions& O)
{
    // The configuration file first, so that the command line adds to it and
    // overrides it.
    std::vector<std::string> Args;
    for (const auto& [Long, Value] : O.InOrder)
        if (Long == "config")
            Args.insert(Args.end(), {"--config", Value});
    if (!O.Port.empty())
        Args.insert(Args.end(), {"--port", O.Port});
    if (O.Has("timeout")) {
        char Seconds[32];
        std::snprintf(Seconds, sizeof Seconds, "%g", static_cast<double>(O.TimeoutMs) / 1000.0);
        Args.insert(Args.end(), {"--timeout", Seconds});
    }
    for (const auto& [Long, Value] : O.InOrder)
        if (Own(Long) && Long != "config")
            Args.insert(Args.end(), {"--" + Long, Value});
    TLiveOptions L;
    if (auto Why = ParseLiveOptions(Args, L)) {
        Reporter().Error(*Why + " (kvxctl help live)");
        return ecUsage;
    }
    L.Verbose = O.Verbosity == vbVerbose;
    L.Quiet = O.Verbosity == vbQuiet;
    L.Transcript = O.Value("transcript");
    TLiveRunHooks Hooks;
    if (O.Json)
        Hooks.Stopped = [](const std::string& Status) { PrintOut(Status + "\n"); };
    const int Code = RunLiveBridge(L, InterruptFd(), Hooks);
    if (Code == 2)
        Reporter().Error("an input could not be opened; nothing was sent");
    return Code;
}

} // namespace

extern const TCommand LiveCommand = {"live",
    "live [--http [ADDR:]PORT] [--tcp [ADDR:]PORT]\n"
    "       [--udp [ADDR:]PORT] [--file PATH] [options of live]",
    "put the playout system's now-playing text on air until interrupted",
    "Takes now-playing updates from any number of inputs (HTTP, TCP, UDP, a\n"
    "file; on the loopback unless an address is given, PORT 0 takes a free port\n"
    "that the log names) and puts them on air as RadioText (TEXT=) or dynamic PS\n"
    "(DPS=) until SIGINT or SIGTERM, which end it with 0. It holds the port,\n"
    "reconnects when the link drops (1 s after the first failure, up to 60 s\n"
    "apart) and puts the current text back when the encoder lost it.\n"
    "The text goes through the template, is spelled in the encoder's 8-bit code\n"
    "page (characters it lacks in Latin letters, with a warning), loses its\n"
    "control bytes and is cut to 64 characters at a word boundary. At most one\n"
    "write per --min-interval; the newest text wins; a text on air already is\n"
    "not sent again; a refused or unanswered write is tried once more at the\n"
    "next interval. With --token, HTTP needs token=SECRET (or Authorization:\n"
    "Bearer) and TCP a first line TOKEN=SECRET; requests are bounded to 4096\n"
    "bytes and --max-rate a second per source. Every change is logged with its\n"
    "source; -v also shows every line to and from the encoder. The port may\n"
    "come from --config. With --format=json the bridge's last state is printed\n"
    "when it ends.",
    Options, 0, 0, "", false, Run};
