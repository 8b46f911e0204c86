#include "rds/settings_file.h"

#include "platform/read_all.h"
#include "platform/utf.h"
#include "rds/field_table.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// Far above any settings file; a bigger file is refused instead of filling memory.
constexpr std::size_t kMaxFileSize = 16u << 20;

// Where a value's characters cannot go to the encoder as they are.
constexpr std::uint32_t kInvalid = 0x110000;

// UTF-16 as UTF-8; a lone surrogate keeps its own three bytes, which no
// UTF-8 reader takes as a character.
std::string Utf16AsUtf8(const std::string& In, bool BigEndian)
{
    std::u16string Units;
    for (std::size_t i = 0; i + 1 < In.size(); i += 2) {
        const unsigned a = static_cast<unsigned char>(In[i]), b = static_cast<unsigned char>(In[i + 1]);
        Units.push_back(static_cast<char16_t>(BigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    std::string Out;
    for (std::size_t i = 0; i < Units.size();) {
        const TUtfChar Ch = DecodeUtf16(Units, i);
        AppendUtf8(Out, Ch.Code);
        i += Ch.Length;
    }
    return Out;
}

// Whether the bytes are UTF-8 with at least one character beyond ASCII.
bool LooksUtf8(const std::string& Text)
{
    bool Wide = false;
    return IsUtf8(Text, &Wide) && Wide;
}

// The text in one encoding: UTF-8 (true) or 8-bit.
bool Decode(const std::string& Raw, std::string& Text)
{
    if (Raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        Text = Raw.substr(3);
        return true;
    }
    if (Raw.compare(0, 2, "\xFF\xFE") == 0 || Raw.compare(0, 2, "\xFE\xFF") == 0) {
        Text = Utf16AsUtf8(Raw.substr(2), Raw[0] == '\xFE');
        return true;
    }
    Text = Raw;
    return LooksUtf8(Raw);
}

// A value as 8-bit text; the first character it cannot hold, when there is one.
std::string ToLatin1(const std::string& Value, bool Utf8, std::uint32_t& Refused)
{
    Refused = 0;
    if (!Utf8)
        return Value;
    std::string Out;
    for (std::size_t i = 0; i < Value.size();) {
        const TUtfChar Ch = DecodeUtf8(Value, i);
        const std::uint32_t Code = Ch.Valid ? Ch.Code : kInvalid;
        if (Code > 0xFF && !Refused)
            Refused = Code;
        Out += Code <= 0xFF ? static_cast<char>(Code) : '?';
        i += Ch.Length;
    }
    return Out;
}

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> r;
    std::size_t Start = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\r' && Text[i] != '\n')
            continue;
        r.push_back(Text.substr(Start, i - Start));
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
            ++i;
        Start = i + 1;
    }
    if (Start < Text.size())
        r.push_back(Text.substr(Start));
    return r;
}

std::string Errno(const std::string& What, const std::string& Path, int Err)
{
    return What + " \"" + Path + "\": " + std::strerror(Err);
}

// What kind of thing a file of this mode is, for a refusal.
const char* KindOf(mode_t Mode)
{
    if (S_ISDIR(Mode))
        return "a folder";
    if (S_ISFIFO(Mode))
        return "a pipe (FIFO)";
    if (S_ISCHR(Mode) || S_ISBLK(Mode))
        return "a device";
    if (S_ISSOCK(Mode))
        return "a socket";
    return "not a regular file";
}

} // namespace

std::string SettingsFileText(const TBRDSDataValidator& R)
{
    std::string Text;
    for (const TField& F : SettingsFields()) {
        const std::string V = FieldValueText(F, R);
        if (!V.empty())
            Text += std::string(F.Key) + "=" + V + "\r\n";
    }
    return Text;
}

std::string SettingsFileBytes(const TBRDSDataValidator& R)
{
    return SettingsFileBytes(SettingsFileText(R));
}

std::string SettingsFileBytes(const std::string& Text)
{
    if (!LooksUtf8(Text))
        return Text;
    std::string Out = "\xEF\xBB\xBF";
    for (const char C : Text)
        AppendUtf8(Out, static_cast<unsigned char>(C));
    return Out;
}

void ParseSettingsFile(const std::string& FileText, TBRDSDataValidator& R, TSettingsFileInfo* Info)
{
    TSettingsFileInfo Own;
    TSettingsFileInfo& I = Info ? *Info : Own;
    I = TSettingsFileInfo();
    std::string Text;
    I.Utf8 = Decode(FileText, Text);

    // The value of each key is taken from the first line that names it, so one
    // pass over the lines finds them all, however long the file is.
    const std::span<const TField> Fields = SettingsFields();
    std::vector<std::string> Found(Fields.size());
    std::vector<int> Line(Fields.size(), 0);
    const std::vector<std::string> All = Lines(Text);
    for (std::size_t n = 0; n < All.size(); ++n) {
        const std::string& L = All[n];
        const std::size_t Eq = L.find('=');
        if (Eq == std::string::npos || Eq > 6)
            continue;
        const TField* F = FindFieldByKey(std::string_view(L).substr(0, Eq));
        if (!F)
            continue;
        const std::size_t k = static_cast<std::size_t>(F - Fields.data());
        if (Line[k] == 0) {
            Line[k] = static_cast<int>(n) + 1;
            Found[k] = L.substr(Eq + 1);
        }
    }
    bool Any = false;
    for (int L : Line)
        Any = Any || L != 0;
    if (!Any) {
        I.NotSettings = FileText.find('\0') != std::string::npos && !I.Utf8
            ? "it holds binary data and no line names a setting"
            : "no line names a setting (PI=, PS=, ...)";
        return;
    }

    R.SourceFindings.clear();
    for (std::size_t k = 0; k < Fields.size(); ++k) {
        const TField& F = Fields[k];
        if (Line[k] == 0) {
            // A key no line names gives 0, and an empty text.
            if (F.Type != ftText) {
                I.MissingKeys.push_back(F.Key);
                F.Set(R, 0);
            } else
                (R.*F.TextField).clear();
            continue;
        }
        I.KeyLines[F.Key] = Line[k];
        std::uint32_t Refused = 0;
        const std::string Value = ToLatin1(Found[k], I.Utf8, Refused);
        if (Refused == kInvalid)
            AddFieldAlert(R.SourceFindings, F, Value, "holds bytes that are not valid UTF-8 or UTF-16 text", Line[k]);
        else if (Refused)
            AddFieldAlert(R.SourceFindings, F, Value, UnencodableReason(Refused), Line[k]);
        else if (const auto Why = TakeFieldValue(F, Value, R))
            AddFieldAlert(R.SourceFindings, F, Value, *Why, Line[k]);
    }
    R.RTCManual = true;
    R.RTC = UtcNow();
}

bool SaveSettingsFile(const TBRDSDataValidator& Record, const std::string& Path, std::string& Error, TFileWrite Write)
{
    TAtomicFileOptions Options;
    Options.FollowLinks = true;
    Options.KeepAttributes = true;
    Options.Write = std::move(Write);
    return WriteFileAtomic(Path, SettingsFileBytes(Record), Error, Options);
}

bool ReadSettingsFileBytes(const std::string& Path, std::string& Raw, std::string& Error, bool AllowStreams)
{
    const bool Stdin = AllowStreams && Path == "-";
    const std::string Name = Stdin ? std::string("standard input") : Path;
    struct stat St { };
    // Looked at before it is opened: opening a device may already act on it.
    if (!Stdin && ::stat(Path.c_str(), &St) == 0 && !S_ISREG(St.st_mode)
        && !(AllowStreams && (S_ISFIFO(St.st_mode) || S_ISCHR(St.st_mode)))) {
        Error = "Cannot open file \"" + Path + "\": it is " + KindOf(St.st_mode) + ", not a settings file";
        return false;
    }
    // Without streams this never blocks: a FIFO put in place meanwhile opens
    // at once and is refused below. A stream waits for its writer.
    const int Flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | (AllowStreams ? 0 : O_NONBLOCK);
    const int Fd = Stdin ? ::fcntl(0, F_DUPFD_CLOEXEC, 0) : ::open(Path.c_str(), Flags);
    if (Fd < 0) {
        Error = Errno("Cannot open file", Name, errno);
        return false;
    }
    if (::fstat(Fd, &St) != 0 || (!S_ISREG(St.st_mode) && !AllowStreams)) {
        const int Err = errno;
        ::close(Fd);
        Error = S_ISREG(St.st_mode) || St.st_mode == 0
            ? Errno("Cannot open file", Name, Err)
            : "Cannot open file \"" + Name + "\": it is " + KindOf(St.st_mode) + ", not a settings file";
        return false;
    }
    const TReadAllResult R = ReadAll(Fd, Raw, kMaxFileSize);
    if (R == raError)
        Error = Errno("Cannot read file", Name, errno);
    else if (R == raTooLarge)
        Error = "Cannot read file \"" + Name + "\": the file is too large for a settings file";
    ::close(Fd);
    return R == raDone;
}

bool LoadSettingsFile(const std::string& Path, TBRDSDataValidator& Record, std::string& Error,
    const TBRDSDataValidator* DeviceCopy, TSettingsFileInfo* Info)
{
    std::string Raw;
    if (!ReadSettingsFileBytes(Path, Raw, Error))
        return false;
    TSettingsFileInfo Own;
    TSettingsFileInfo& I = Info ? *Info : Own;
    TBRDSDataValidator Read;
    Read.AssignSettings(Record);
    ParseSettingsFile(Raw, Read, &I);
    if (!I.NotSettings.empty()) {
        Error = "\"" + Path + "\" is not a settings file: " + I.NotSettings;
        return false;
    }
    if (DeviceCopy) {
        Read.FW = DeviceCopy->FW;
        Read.HW = DeviceCopy->HW;
        Read.Serial = DeviceCopy->Serial;
    }
    Record.AssignSettings(Read);
    return true;
}
