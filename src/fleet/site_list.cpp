#include "fleet/site_list.h"

#include "_conn/serial_connection.h"
#include "_conn/socket_lib.h"
#include "platform/read_all.h"
#include "platform/utf.h"
#include "rds/field_table.h"
#include "rds/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far above any site list; a bigger file is refused instead of filling memory.
constexpr std::size_t kMaxListSize = 4u << 20;

const char* const DefaultsSection = "defaults";

std::string Lower(std::string S)
{
    std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
    return S;
}

bool IsBlank(char C)
{
    return C == ' ' || C == '\t';
}

std::string Trim(const std::string& S)
{
    std::size_t B = 0, E = S.size();
    while (B < E && IsBlank(S[B]))
        ++B;
    while (E > B && IsBlank(S[E - 1]))
        --E;
    return S.substr(B, E - B);
}

// Where a comment starts in Text: a ";" or "#" at its start or after a blank.
std::size_t CommentStart(const std::string& Text)
{
    for (std::size_t i = 0; i < Text.size(); ++i)
        if ((Text[i] == ';' || Text[i] == '#') && (i == 0 || IsBlank(Text[i - 1])))
            return i;
    return std::string::npos;
}

// UTF-8 text for a person: control characters (C0, DEL, C1) and bytes that
// are not UTF-8 as \xHH.
std::string VisibleUtf8(const std::string& S)
{
    std::string Out;
    for (std::size_t i = 0; i < S.size();) {
        const TUtfChar Ch = DecodeUtf8(S, i);
        const std::uint32_t C = Ch.Valid ? Ch.Code : static_cast<unsigned char>(S[i]);
        if (!Ch.Valid || C < 0x20 || (C >= 0x7F && C <= 0x9F)) {
            char Buf[8];
            std::snprintf(Buf, sizeof Buf, "\\x%.2X", static_cast<unsigned>(C));
            Out += Buf;
            i += Ch.Valid ? Ch.Length : 1;
            continue;
        }
        Out.append(S, i, Ch.Length);
        i += Ch.Length;
    }
    return Out;
}

std::string Latin1ToUtf8(const std::string& S)
{
    std::string Out;
    for (const char C : S)
        AppendUtf8(Out, static_cast<unsigned char>(C));
    return Out;
}

// A section name that is also a safe file name: a backup goes to NAME.kvx.
std::optional<std::string> SiteNameFault(const std::string& Name)
{
    if (Name.empty())
        return "a site needs a name: [NAME]";
    if (Name.size() > 64)
        return "the site name is longer than 64 characters";
    if (Name[0] == '.' || Name[0] == '-')
        return "a site name may not start with \".\" or \"-\"";
    for (const char C : Name)
        if (!std::isalnum(static_cast<unsigned char>(C)) && C != '.' && C != '-' && C != '_')
            return "a site name may hold only letters, digits, \".\", \"-\" and \"_\" (it names the site's "
                   "backup file)";
    return std::nullopt;
}

std::optional<std::string> PortFault(const std::string& Port)
{
    if (Port.empty())
        return "the port is empty";
    if (IsTcpPortName(Port)) {
        try {
            (void)ParseTcpPortName(Port);
        } catch (const ESocketLib& E) {
            return std::string(E.what());
        }
        return std::nullopt;
    }
    for (const char C : Port)
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
            return "the port name holds a control character";
    return std::nullopt;
}

// One "key = value" of the list.
struct TEntry {
    std::string Key; // as written
    std::string Value;
    int Line = 0;
};

struct TSection {
    std::string Name;
    int Line = 0;
    std::vector<TEntry> Entries;
    bool BadHeader = false; // already a finding: its keys are not looked at
};

class TListReader {
public:
    TListReader(const std::string& Path, std::vector<TSiteListFinding>& Findings) : FPath(Path), FFindings(Findings) { }

    // Splits the text into sections; faults of form are findings.
    std::vector<TSection> Read(const std::string& Text);

private:
    void Fault(int Line, const std::string& Text) { FFindings.push_back({FPath, Line, Text, false}); }
    bool Value(const std::string& After, int Line, std::string& Out);

    std::string FPath;
    std::vector<TSiteListFinding>& FFindings;
};

bool TListReader::Value(const std::string& After, int Line, std::string& Out)
{
    const std::string V = Trim(After);
    if (!V.empty() && V[0] == '"') {
        const std::size_t Close = V.rfind('"');
        if (Close == 0) {
            Fault(Line, "the quoted value has no closing \"");
            return false;
        }
        const std::string Rest = Trim(V.substr(Close + 1));
        if (!Rest.empty() && Rest[0] != ';' && Rest[0] != '#') {
            Fault(Line, "text after the closing \" of the value (a comment starts with ; or #)");
            return false;
        }
        Out = V.substr(1, Close - 1);
        return true;
    }
    const std::size_t C = CommentStart(V);
    Out = Trim(C == std::string::npos ? V : V.substr(0, C));
    return true;
}

std::vector<TSection> TListReader::Read(const std::string& Text)
{
    std::vector<TSection> Sections;
    std::size_t Start = 0;
    int LineNo = 0;
    while (Start < Text.size()) {
        std::size_t End = Text.find('\n', Start);
        if (End == std::string::npos)
            End = Text.size();
        std::string L = Text.substr(Start, End - Start);
        Start = End + 1;
        ++LineNo;
        if (!L.empty() && L.back() == '\r')
            L.pop_back();
        const std::string T = Trim(L);
        if (T.empty() || T[0] == ';' || T[0] == '#')
            continue;
        if (T[0] == '[') {
            const std::size_t C = CommentStart(T);
            const std::string H = Trim(C == std::string::npos ? T : T.substr(0, C));
            if (H.back() != ']') {
                Fault(LineNo, "a section line is [NAME]");
                Sections.push_back({"", LineNo, {}, true});
                continue;
            }
            Sections.push_back({Trim(H.substr(1, H.size() - 2)), LineNo, {}, false});
            continue;
        }
        const std::size_t Eq = T.find('=');
        if (Eq == std::string::npos) {
            Fault(LineNo, "not a KEY = VALUE line: " + T);
            continue;
        }
        TEntry E;
        E.Key = Trim(T.substr(0, Eq));
        E.Line = LineNo;
        if (E.Key.empty()) {
            Fault(LineNo, "a value without a key");
            continue;
        }
        if (!Value(T.substr(Eq + 1), LineNo, E.Value))
            continue;
        if (Sections.empty()) {
            Fault(LineNo, E.Key + " comes before any section ([defaults] or [SITE])");
            continue;
        }
        Sections.back().Entries.push_back(std::move(E));
    }
    return Sections;
}

// A profile, loaded once however many sites name it.
struct TProfile {
    bool Loaded = false;
    TBRDSDataValidator Record;
    TSettingsFileInfo Info;
    // Keys whose value the profile gives but the field table refused.
    std::set<std::string> RefusedKeys;
};

class TListBuilder {
public:
    TListBuilder(TSiteList& List) : FList(List), FFolder(std::filesystem::path(List.Path).parent_path()) { }

    void Build(const std::vector<TSection>& Sections);

private:
    // What [defaults] gives every site: a profile and overrides.
    struct TDefaults {
        const TSection* Section = nullptr;
        std::string Profile;
        int ProfileLine = 0;
        std::vector<const TEntry*> Overrides;
    };
    // Reads [defaults], wherever it stands; faults are findings.
    TDefaults ReadDefaults(const std::vector<TSection>& Sections);
    void Fault(int Line, const std::string& Text) { FList.Findings.push_back({FList.Path, Line, Text, false}); }
    std::string Resolve(const std::string& Profile) const;
    TProfile& LoadProfile(const std::string& Path);
    // The site's settings: its profile and the overrides (Entries of the
    // defaults first); faults are findings.
    void Settle(TSite& Site, const std::vector<const TEntry*>& Overrides, int ProfileLine);

    TSiteList& FList;
    std::filesystem::path FFolder;
    std::map<std::string, TProfile> FProfiles;
};

std::string TListBuilder::Resolve(const std::string& Profile) const
{
    const std::filesystem::path P(Profile);
    return (P.is_absolute() || FFolder.empty() ? P : FFolder / P).string();
}

TProfile& TListBuilder::LoadProfile(const std::string& Path)
{
    const auto Known = FProfiles.find(Path);
    if (Known != FProfiles.end())
        return Known->second;
    TProfile& P = FProfiles[Path];
    std::string Error;
    P.Record.RTCManual = true;
    P.Loaded = LoadSettingsFile(Path, P.Record, Error, nullptr, &P.Info);
    if (!P.Loaded) {
        FList.Findings.push_back({Path, 0, "the profile does not load: " + Error, false});
        return P;
    }
    for (const TAlert& A : P.Record.SourceFindings) {
        FList.Findings.push_back(
            {Path, A.Line, PrintableText(A.Key + "=" + A.Value) + ": " + PrintableText(A.Description), false});
        P.RefusedKeys.insert(A.Key);
    }
    if (!P.Info.MissingKeys.empty()) {
        std::string Keys;
        for (const std::string& K : P.Info.MissingKeys)
            Keys += (Keys.empty() ? "" : ", ") + K;
        FList.Findings.push_back({Path, 0,
            "no line for " + Keys + ": " + (P.Info.MissingKeys.size() == 1 ? "it takes" : "they take") + " 0", true});
    }
    return P;
}

void TListBuilder::Settle(TSite& Site, const std::vector<const TEntry*>& Overrides, int ProfileLine)
{
    if (Site.Profile.empty()) {
        Fault(Site.Line, "site " + Site.Name + " has no profile: give profile = FILE here or in [defaults]");
        return;
    }
    Site.ProfilePath = Resolve(Site.Profile);
    TProfile& P = LoadProfile(Site.ProfilePath);
    if (!P.Loaded)
        return;
    Site.Desired.AssignSettings(P.Record);
    Site.Desired.SourceFindings.clear();
    Site.Desired.RTCManual = true;

    // The overrides are read as the settings file reads its lines, from a
    // text of their own in UTF-8 (the list's text already is).
    std::string Text = "\xEF\xBB\xBF";
    for (const TEntry* E : Overrides)
        Text += E->Key + "=" + E->Value + "\r\n";
    std::map<std::string, int> Where; // key -> line in the list
    std::set<std::string> Refused = P.RefusedKeys;
    if (!Overrides.empty()) {
        TBRDSDataValidator Given;
        TSettingsFileInfo Info;
        ParseSettingsFile(Text, Given, &Info);
        for (const TAlert& A : Given.SourceFindings) {
            // The value as the list gives it, not as the 8-bit code page took it.
            const TEntry& E = *Overrides[static_cast<std::size_t>(A.Line - 1)];
            Fault(E.Line, A.Key + "=" + VisibleUtf8(E.Value) + ": " + PrintableText(A.Description));
            Refused.insert(A.Key);
        }
        for (const TField& F : SettingsFields()) {
            const auto At = Info.KeyLines.find(F.Key);
            if (At == Info.KeyLines.end())
                continue;
            Where[F.Key] = Overrides[static_cast<std::size_t>(At->second - 1)]->Line;
            Site.OverrideKeys.emplace_back(F.Key);
            if (Refused.count(F.Key))
                continue;
            if (F.Type == ftText)
                Site.Desired.*F.TextField = Given.*F.TextField;
            else
                F.Set(Site.Desired, F.Get(Given));
        }
    }

    // The whole record, as a write would check it; a value refused above is
    // not reported again.
    Site.Desired.isValid(nullptr, false, nullptr);
    for (const TAlert& A : Site.Desired.Alerts()) {
        if (!A.Key.empty() && Refused.count(A.Key))
            continue;
        const std::string What = (A.Key.empty() ? A.Name : A.Key + "=" + A.Value) + ": " + A.Description;
        // A frequency given twice ("AF[#3] 98.0 MHz") is placed at its second entry.
        std::string Key = A.Key;
        if (Key.empty() && A.Name.compare(0, 4, "AF[#") == 0 && A.Name.size() > 4)
            Key = "AF" + A.Name.substr(4, 1);
        if (Where.count(Key))
            Fault(Where[Key], PrintableText(What));
        else if (P.Info.KeyLines.count(Key))
            FList.Findings.push_back({Site.ProfilePath, P.Info.KeyLines.at(Key), PrintableText(What), false});
        else
            Fault(ProfileLine ? ProfileLine : Site.Line, "site " + Site.Name + ": " + PrintableText(What));
    }
}

TListBuilder::TDefaults TListBuilder::ReadDefaults(const std::vector<TSection>& Sections)
{
    TDefaults D;
    const TSection*& Defaults = D.Section;
    for (const TSection& S : Sections) {
        if (Lower(S.Name) != DefaultsSection)
            continue;
        if (Defaults) {
            Fault(S.Line, "[defaults] is given twice (first on line " + std::to_string(Defaults->Line) + ")");
            continue;
        }
        Defaults = &S;
        std::map<std::string, int> Seen;
        for (const TEntry& E : S.Entries) {
            const std::string K = Lower(E.Key);
            if (Seen.count(K)) {
                Fault(E.Line, E.Key + " is given twice in [defaults] (first on line " + std::to_string(Seen[K]) + ")");
                continue;
            }
            Seen[K] = E.Line;
            if (K == "profile") {
                D.Profile = E.Value;
                D.ProfileLine = E.Line;
            } else if (FindFieldByKey(E.Key))
                D.Overrides.push_back(&E);
            else
                Fault(E.Line,
                    "unknown key " + E.Key + " in [defaults] (profile, or a settings-file key: PI, PS, AF1, ...)");
        }
    }
    return D;
}

void TListBuilder::Build(const std::vector<TSection>& Sections)
{
    // [defaults] first, wherever it stands.
    const TDefaults Defaults = ReadDefaults(Sections);

    struct TPlace {
        std::string Name;
        int Line;
    };
    std::map<std::string, int> Names;    // lower-case name -> line of its section
    std::map<std::string, TPlace> Ports; // identity -> the site and the line that name it
    bool AnySite = false;
    for (const TSection& S : Sections) {
        if (S.BadHeader || &S == Defaults.Section || Lower(S.Name) == DefaultsSection)
            continue;
        AnySite = true;
        TSite Site;
        Site.Name = S.Name;
        Site.Line = S.Line;
        if (const auto Why = SiteNameFault(S.Name)) {
            Fault(S.Line, *Why);
            continue;
        }
        if (Names.count(Lower(S.Name))) {
            Fault(S.Line,
                "site " + S.Name + " is given twice (first on line " + std::to_string(Names[Lower(S.Name)]) + ")");
            continue;
        }
        Names[Lower(S.Name)] = S.Line;
        std::map<std::string, int> Seen;
        std::vector<const TEntry*> Overrides = Defaults.Overrides;
        int ProfileLine = Defaults.ProfileLine;
        Site.Profile = Defaults.Profile;
        bool PortOk = false;
        for (const TEntry& E : S.Entries) {
            const std::string K = Lower(E.Key);
            if (Seen.count(K)) {
                Fault(E.Line,
                    E.Key + " is given twice in [" + S.Name + "] (first on line " + std::to_string(Seen[K]) + ")");
                continue;
            }
            Seen[K] = E.Line;
            if (K == "port") {
                Site.Port = E.Value;
                Site.PortLine = E.Line;
                if (const auto Why = PortFault(E.Value))
                    Fault(E.Line, "port " + E.Value + ": " + *Why);
                else
                    PortOk = true;
            } else if (K == "profile") {
                Site.Profile = E.Value;
                ProfileLine = E.Line;
            } else if (FindFieldByKey(E.Key)) {
                // The site's own value wins over the defaults'.
                std::erase_if(Overrides, [&](const TEntry* D) { return Lower(D->Key) == K; });
                Overrides.push_back(&E);
            } else
                Fault(E.Line,
                    "unknown key " + E.Key + " in [" + S.Name
                        + "] (port, profile, or a settings-file key: PI, PS, AF1, ...)");
        }
        if (!Seen.count("port"))
            Fault(S.Line, "site " + S.Name + " has no port: give port = DEVICE or tcp://HOST:PORT");
        if (PortOk) {
            const std::string Id = PortIdentity(Site.Port);
            const auto Other = Ports.find(Id);
            if (Other != Ports.end())
                Fault(Site.PortLine,
                    "port " + Site.Port + " is also site " + Other->second.Name + "'s (line "
                        + std::to_string(Other->second.Line) + "): one encoder, one site");
            else
                Ports[Id] = {Site.Name, Site.PortLine};
        }
        Settle(Site, Overrides, ProfileLine);
        FList.Sites.push_back(std::move(Site));
    }
    if (!AnySite)
        Fault(0, "no site: add a [NAME] section with a port for each encoder");
}

bool ReadListFile(const std::string& Path, std::string& Text, std::string& Error)
{
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (Fd < 0) {
        Error = std::strerror(errno);
        return false;
    }
    struct stat St { };
    if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
        ::close(Fd);
        Error = "not a regular file";
        return false;
    }
    const TReadAllResult R = ReadAll(Fd, Text, kMaxListSize);
    if (R == raError)
        Error = std::strerror(errno);
    else if (R == raTooLarge)
        Error = "larger than any site list (4 MiB)";
    ::close(Fd);
    return R == raDone;
}

} // namespace

std::string FindingText(const TSiteListFinding& F)
{
    return F.File + (F.Line ? ":" + std::to_string(F.Line) : std::string()) + ": " + (F.Note ? "note: " : "") + F.Text;
}

bool TSiteList::Valid() const
{
    return std::none_of(Findings.begin(), Findings.end(), [](const TSiteListFinding& F) { return !F.Note; });
}

const TSite* TSiteList::Find(const std::string& Name) const
{
    for (const TSite& S : Sites)
        if (Lower(S.Name) == Lower(Name))
            return &S;
    return nullptr;
}

std::string PortIdentity(const std::string& Port)
{
    if (IsTcpPortName(Port)) {
        try {
            const TTcpAddress A = ParseTcpPortName(Port);
            return "tcp://" + Lower(A.Host) + ":" + std::to_string(std::stoi(A.Service));
        } catch (const std::exception&) {
            return Port;
        }
    }
    const std::string Path = TConnCOM::PortPath(Port);
    std::error_code Ec;
    const std::filesystem::path Real = std::filesystem::canonical(Path, Ec);
    return Ec ? std::filesystem::path(Path).lexically_normal().string() : Real.string();
}

std::string PrintableText(const std::string& Latin1)
{
    return VisibleUtf8(Latin1ToUtf8(Latin1));
}

TSiteList ParseSiteList(const std::string& Raw, const std::string& Path)
{
    TSiteList List;
    List.Path = Path;
    std::string Text = Raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? Raw.substr(3) : Raw;
    // A list that is not UTF-8 is 8-bit text.
    if (!IsUtf8(Text))
        Text = Latin1ToUtf8(Text);
    if (Text.find('\0') != std::string::npos) {
        List.Findings.push_back({Path, 0, "not a site list: it holds binary data", false});
        return List;
    }
    TListReader Reader(Path, List.Findings);
    const std::vector<TSection> Sections = Reader.Read(Text);
    TListBuilder(List).Build(Sections);
    // Each finding once (a profile's fault is found for every site that
    // names it), the list's first, then each file's in the order of its lines.
    std::set<std::tuple<std::string, int, std::string>> Seen;
    std::erase_if(List.Findings, [&](const TSiteListFinding& F) {
        return !Seen.insert({F.File, F.Line, F.Text}).second;
    });
    std::stable_sort(
        List.Findings.begin(), List.Findings.end(), [&](const TSiteListFinding& A, const TSiteListFinding& B) {
            const bool AList = A.File == Path, BList = B.File == Path;
            if (AList != BList)
                return AList;
            return A.File != B.File ? A.File < B.File : A.Line < B.Line;
        });
    return List;
}

TSiteList LoadSiteList(const std::string& Path)
{
    std::string Text, Error;
    if (!ReadListFile(Path, Text, Error)) {
        TSiteList List;
        List.Path = Path;
        List.Findings.push_back({Path, 0, "cannot read the site list: " + Error, false});
        return List;
    }
    return ParseSiteList(Text, Path);
}
