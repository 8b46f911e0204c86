#include "live/live_options.h"

#include "platform/log.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

const char* const LiveUsage
    = "Usage: kvxctl live --port NAME [--http [ADDR:]PORT] [--tcp [ADDR:]PORT] [--udp [ADDR:]PORT]\n"
      "                   [--file PATH] [OPTIONS]\n"
      "Puts the now-playing text of a playout system on air as RadioText (TEXT=) or\n"
      "dynamic PS (DPS=), until SIGINT or SIGTERM (then it exits with 0). It holds the\n"
      "port, reconnects when the link drops, and puts the current text back on the\n"
      "encoder when it no longer holds it. Every change is logged with its source.\n"
      "\n"
      "Inputs (any number at once, at least one). ADDR is the loopback (127.0.0.1)\n"
      "unless given; an IPv6 address goes in brackets; PORT 0 takes a free port,\n"
      "which the log names. Each may be repeated.\n"
      "  --http [ADDR:]PORT   GET or form POST /?artist=A&title=T, /?text=T or /?dps=T:\n"
      "                       200 with the text that will be sent, 400 with the reason;\n"
      "                       GET /status answers JSON (link, text on air, pending)\n"
      "  --tcp [ADDR:]PORT    one update a line (LF or CR LF): the whole text, or\n"
      "                       KEY=value with KEY TEXT, DPS, ARTIST or TITLE (an ARTIST\n"
      "                       waits for its TITLE); each line is answered with OK and\n"
      "                       the text, SKIP or ERR and the reason\n"
      "  --udp [ADDR:]PORT    one datagram is one such line; nothing is answered\n"
      "  --file PATH          the file's first line, whenever the file is rewritten or\n"
      "                       replaced by a rename (other files of its folder, such as\n"
      "                       an editor's temporary files, are ignored)\n"
      "\n"
      "Options:\n"
      "  --port NAME          the encoder's port: a name under /dev, a path, or\n"
      "                       tcp://HOST:PORT\n"
      "  --template TEXT      how the fields make one text (default \"{artist} - {title}\");\n"
      "                       {artist}, {title}, {text}; what stands between two\n"
      "                       fields is left out when one of them is not given\n"
      "  --skip-if FIELD~REGEX  an update whose FIELD (artist, title, text or dps)\n"
      "                       matches REGEX is not put on air (breaks, jingles);\n"
      "                       repeatable, for example --skip-if 'title~^(ADV|JINGLE)'\n"
      "  --target rt|dps|both where the text goes (default rt, RadioText)\n"
      "  --idle-text TEXT     sent when no update came for --idle-after seconds\n"
      "  --idle-after SECONDS default 300 (with --idle-text)\n"
      "  --min-interval SECONDS  at most one write to the encoder in this time (default\n"
      "                       15); the newest text wins, identical texts are not sent\n"
      "                       again, a refused or unanswered write is retried once\n"
      "  --token SECRET       HTTP and TCP take updates only with it: ?token=SECRET (or\n"
      "                       a form field token, or Authorization: Bearer SECRET), or a\n"
      "                       first TCP line TOKEN=SECRET\n"
      "  --token-file FILE    the secret from the first line of FILE\n"
      "  --allow ADDR/PREFIX  take requests only from these sources (repeatable);\n"
      "                       without it UDP takes the loopback only\n"
      "  --max-rate N         requests a second one source may make (default 10, with\n"
      "                       bursts of twice that)\n"
      "  --timeout SECONDS    longest wait for a reply of the encoder (default 3; 0\n"
      "                       waits without end)\n"
      "  --config FILE        options from FILE, one \"name value\" a line (names without\n"
      "                       \"--\", # starts a comment); later options add to them\n"
      "  -v, --verbose        log every update and every line to and from the encoder\n"
      "\n"
      "Text goes on air in the encoder's 8-bit code page (Latin-1): characters it lacks\n"
      "are spelled in Latin letters (a warning names them), control bytes are removed,\n"
      "and a text is cut to 64 characters at a word boundary.\n";

namespace {

// A positive number of seconds (fractions allowed), at least Min.
std::optional<std::string> Seconds(const std::string& Name, const std::string& V, double Min, double& Out)
{
    char* End = nullptr;
    errno = 0;
    const double D = std::strtod(V.c_str(), &End);
    if (V.empty() || *End || errno || !std::isfinite(D) || D < Min) {
        char Least[32];
        std::snprintf(Least, sizeof Least, "%g", Min);
        return "--" + Name + " takes a number of at least " + Least + ", not \"" + V + "\"";
    }
    Out = D;
    return std::nullopt;
}

std::string Trim(const std::string& S)
{
    const std::size_t B = S.find_first_not_of(" \t\r");
    if (B == std::string::npos)
        return {};
    return S.substr(B, S.find_last_not_of(" \t\r") - B + 1);
}

std::optional<std::string> ReadTokenFile(const std::string& Path, std::string& Token)
{
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        return "--token-file " + Path + ": " + std::strerror(errno);
    std::string Line;
    std::getline(In, Line);
    Token = Trim(Line);
    if (Token.empty())
        return "--token-file " + Path + ": its first line is empty";
    struct stat St { };
    if (::stat(Path.c_str(), &St) == 0 && (St.st_mode & S_IROTH))
        kvx::log::Warn("the token file %s can be read by every user of this machine", Path.c_str());
    return std::nullopt;
}

constexpr const char* ValueOptions[] = {"port", "timeout", "http", "tcp", "udp", "file", "template", "skip-if",
    "target", "idle-text", "idle-after", "min-interval", "token", "token-file", "allow", "max-rate", "config"};

bool TakesValue(const std::string& Name)
{
    for (const char* N : ValueOptions)
        if (Name == N)
            return true;
    return false;
}

struct TParse {
    TLiveOptions& O;
    bool TemplateSet = false;
    bool IdleAfterSet = false;
    std::string TokenFile;
    int Depth = 0;

    std::optional<std::string> Run(const std::vector<std::string>& Args);
    std::optional<std::string> One(const std::string& Name, const std::string& V);
};

std::optional<std::string> TParse::Run(const std::vector<std::string>& Args)
{
    for (std::size_t i = 0; i < Args.size(); ++i) {
        const std::string& A = Args[i];
        if (A == "-v" || A == "--verbose") {
            O.Verbose = true;
            continue;
        }
        if (A.rfind("--", 0) != 0)
            return "unexpected argument \"" + A + "\"";
        std::string Name = A.substr(2);
        std::string Value;
        bool HasValue = false;
        if (const std::size_t Eq = Name.find('='); Eq != std::string::npos) {
            Value = Name.substr(Eq + 1);
            Name.resize(Eq);
            HasValue = true;
        }
        if (!TakesValue(Name))
            return "unknown option --" + Name;
        if (!HasValue) {
            if (i + 1 >= Args.size())
                return "--" + Name + " needs a value";
            Value = Args[++i];
        }
        if (auto E = One(Name, Value))
            return E;
    }
    return std::nullopt;
}

std::optional<std::string> TParse::One(const std::string& Name, const std::string& V)
{
    auto Listen = [&](std::vector<TListenAddress>& To) -> std::optional<std::string> {
        TListenAddress L;
        if (auto E = ParseListenAddress(V, L))
            return "--" + Name + ": " + *E;
        To.push_back(L);
        return std::nullopt;
    };
    if (Name == "port")
        O.Port = V;
    else if (Name == "timeout")
        return Seconds(Name, V, 0, O.Timeout);
    else if (Name == "http")
        return Listen(O.Http);
    else if (Name == "tcp")
        return Listen(O.Tcp);
    else if (Name == "udp")
        return Listen(O.Udp);
    else if (Name == "file") {
        if (V.empty())
            return "--file needs a path";
        O.Files.push_back(V);
    } else if (Name == "template") {
        if (auto E = O.Rules.Template.Parse(V))
            return "--template: " + *E;
        TemplateSet = true;
    } else if (Name == "skip-if") {
        TSkipRule R;
        if (auto E = ParseSkipRule(V, R))
            return "--skip-if: " + *E;
        O.Rules.Skip.push_back(std::move(R));
    } else if (Name == "target") {
        if (V == "rt")
            O.Rules.Target = ltRadioText;
        else if (V == "dps")
            O.Rules.Target = ltDynamicPS;
        else if (V == "both")
            O.Rules.Target = ltBoth;
        else
            return "--target takes rt, dps or both, not \"" + V + "\"";
    } else if (Name == "idle-text")
        O.IdleText = V;
    else if (Name == "idle-after") {
        IdleAfterSet = true;
        return Seconds(Name, V, 1, O.IdleAfter);
    } else if (Name == "min-interval")
        return Seconds(Name, V, 0.1, O.MinInterval);
    else if (Name == "token") {
        if (V.empty())
            return "--token needs a secret";
        O.Token = V;
    } else if (Name == "token-file")
        TokenFile = V;
    else if (Name == "allow") {
        TAddressPrefix P;
        if (auto E = ParseAddressPrefix(V, P))
            return "--allow: " + *E;
        O.Allow.push_back(P);
    } else if (Name == "max-rate")
        return Seconds(Name, V, 0.1, O.MaxRate);
    else if (Name == "config") {
        if (Depth > 0)
            return "--config in a configuration file: they do not nest";
        std::vector<std::string> More;
        if (auto E = LiveConfigArguments(V, More))
            return E;
        ++Depth;
        auto E = Run(More);
        --Depth;
        if (E)
            return V + ": " + *E;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> LiveConfigArguments(const std::string& Path, std::vector<std::string>& Args)
{
    std::ifstream In(Path, std::ios::binary);
    if (!In)
        return "--config " + Path + ": " + std::strerror(errno);
    std::string Line;
    int N = 0;
    while (std::getline(In, Line)) {
        ++N;
        if (N > 1000)
            return Path + ": more than 1000 lines";
        std::string T = Trim(Line);
        if (T.empty() || T.front() == '#')
            continue;
        const std::size_t Gap = T.find_first_of(" \t=");
        std::string Name = T.substr(0, Gap);
        std::string Value = Gap == std::string::npos ? std::string() : Trim(T.substr(Gap));
        if (!Value.empty() && Value.front() == '=')
            Value = Trim(Value.substr(1));
        if (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"')
            Value = Value.substr(1, Value.size() - 2);
        if (Name == "verbose" || Name == "v") {
            if (!Value.empty() && Value != "true" && Value != "yes" && Value != "1")
                return Path + ":" + std::to_string(N) + ": verbose takes no value (or yes)";
            Args.push_back("--verbose");
            continue;
        }
        if (!TakesValue(Name))
            return Path + ":" + std::to_string(N) + ": unknown option \"" + Name + "\"";
        if (Value.empty())
            return Path + ":" + std::to_string(N) + ": " + Name + " needs a value";
        Args.push_back("--" + Name);
        Args.push_back(Value);
    }
    return std::nullopt;
}

std::optional<std::string> ParseLiveOptions(const std::vector<std::string>& Args, TLiveOptions& Out)
{
    TParse P {Out, false, false, {}, 0};
    if (auto E = P.Run(Args))
        return E;
    if (!P.TemplateSet)
        Out.Rules.Template.Parse(DefaultLiveTemplate);
    if (!P.TokenFile.empty()) {
        if (!Out.Token.empty())
            return "--token and --token-file: give one of them";
        if (auto E = ReadTokenFile(P.TokenFile, Out.Token))
            return E;
    }
    if (Out.Port.empty())
        return "--port is needed";
    if (!Out.HasInput())
        return "no input: give at least one of --http, --tcp, --udp, --file";
    if (P.IdleAfterSet && Out.IdleText.empty())
        return "--idle-after without --idle-text";
    if (!Out.IdleText.empty() && !P.IdleAfterSet)
        Out.IdleAfter = DefaultIdleAfter;
    return std::nullopt;
}
