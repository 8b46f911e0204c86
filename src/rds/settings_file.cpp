#include "rds/settings_file.h"

#include "platform/number_parse.h"
#include "platform/utf.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// Far above any settings file; a bigger file is refused instead of filling memory.
constexpr std::size_t kMaxFileSize = 16u << 20;

const char* const kKeys[26] = {"PI", "PS", "PTY", "TA", "TATIME", "TP", "MS", "DI", "MODE", "TEXT", "DRTS", "DPS",
    "DPSS", "PARSE", "AF1", "AF2", "AF3", "AF4", "AF5", "AF6", "AF7", "PHASE", "CT", "OFFSET", "DST", "SYNC"};

// A whole decimal number with an optional sign; Default when it is not one
// or does not fit 32 bits.
long long ToInt(const std::string& s, long long Default = 0)
{
    return ParseDecimal<std::int32_t>(s).value_or(Default);
}

// Hexadecimal PI; 0 when the text is not a 16-bit hexadecimal number.
std::uint16_t ToPI(const std::string& s)
{
    return ParseHex<std::uint16_t>(s).value_or(0);
}

void PutLatin1(std::string& Out, std::uint32_t Code)
{
    Out += Code < 256 ? static_cast<char>(Code) : '?';
}

std::string FromUtf8(const std::string& In)
{
    std::string Out;
    std::size_t i = 0;
    while (i < In.size()) {
        const TUtfChar Ch = DecodeUtf8(In, i);
        PutLatin1(Out, Ch.Valid ? Ch.Code : '?');
        i += Ch.Length;
    }
    return Out;
}

std::string FromUtf16(const std::string& In, bool BigEndian)
{
    std::u16string Units;
    for (std::size_t i = 0; i + 1 < In.size(); i += 2) {
        const unsigned a = static_cast<unsigned char>(In[i]), b = static_cast<unsigned char>(In[i + 1]);
        Units.push_back(static_cast<char16_t>(BigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    std::string Out;
    std::size_t i = 0;
    while (i < Units.size()) {
        const TUtfChar Ch = DecodeUtf16(Units, i);
        PutLatin1(Out, Ch.Code);
        i += Ch.Length;
    }
    return Out;
}

std::string Decode(const std::string& Raw)
{
    if (Raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return FromUtf8(Raw.substr(3));
    if (Raw.compare(0, 2, "\xFF\xFE") == 0)
        return FromUtf16(Raw.substr(2), false);
    if (Raw.compare(0, 2, "\xFE\xFF") == 0)
        return FromUtf16(Raw.substr(2), true);
    return Raw;
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

bool SameKey(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i])
            return false;
    }
    return true;
}

std::string Errno(const std::string& What, const std::string& Path, int Err)
{
    return What + " \"" + Path + "\": " + std::strerror(Err);
}

} // namespace

std::string SettingsFileText(const TBRDSDataValidator& R)
{
    const std::string Values[26] = {Format("%.4X", R.PI), R.PS, std::to_string(R.PTY), std::to_string(R.TA),
        std::to_string(R.TATime), std::to_string(R.TP), std::to_string(R.MS), std::to_string(R.DI()),
        std::to_string(R.Mode), R.RT, std::to_string(R.DRTS), R.DPS, std::to_string(R.DPSS), std::to_string(R.DPSParse),
        std::to_string(R.AF[1]), std::to_string(R.AF[2]), std::to_string(R.AF[3]), std::to_string(R.AF[4]),
        std::to_string(R.AF[5]), std::to_string(R.AF[6]), std::to_string(R.AF[7]), std::to_string(R.Phase),
        std::to_string(R.CT), FormatOffset(R.Offset), std::to_string(R.DST), std::to_string(R.Sync)};
    std::string Text;
    for (int i = 0; i < 26; ++i)
        if (!Values[i].empty())
            Text += std::string(kKeys[i]) + "=" + Values[i] + "\r\n";
    return Text;
}

void ParseSettingsFile(const std::string& FileText, TBRDSDataValidator& R)
{
    // The value of each key is taken from the first line that names it, so one
    // pass over the lines finds them all, however long the file is.
    std::string Found[26];
    bool Seen[26] = {};
    for (const std::string& Line : Lines(Decode(FileText))) {
        const std::size_t Eq = Line.find('=');
        if (Eq == std::string::npos || Eq > 6)
            continue;
        const std::string Name = Line.substr(0, Eq);
        for (int k = 0; k < 26; ++k)
            if (!Seen[k] && SameKey(Name, kKeys[k])) {
                Seen[k] = true;
                Found[k] = Line.substr(Eq + 1);
            }
    }
    auto Value = [&](const char* Key) -> std::string {
        for (int k = 0; k < 26; ++k)
            if (std::strcmp(Key, kKeys[k]) == 0)
                return Found[k];
        return std::string();
    };
    auto Int = [&](const char* Key) { return ToInt(Value(Key)); };
    auto Byte = [&](const char* Key) { return static_cast<std::uint8_t>(Int(Key)); };

    R.PI = ToPI(Value("PI"));
    R.PS = Value("PS");
    R.PTY = Byte("PTY");
    R.TA = Byte("TA");
    R.TATime = static_cast<std::int32_t>(Int("TATIME"));
    R.TP = Byte("TP");
    R.MS = Byte("MS");
    R.SetDI(static_cast<int>(Int("DI")));
    R.Mode = Byte("MODE");
    R.RT = Value("TEXT");
    R.DRTS = Byte("DRTS");
    R.DPS = Value("DPS");
    R.DPSS = Byte("DPSS");
    R.DPSParse = Byte("PARSE");
    for (int i = 1; i <= 7; ++i)
        R.AF[i] = Byte(kKeys[13 + i]);
    R.Phase = static_cast<std::int32_t>(Int("PHASE"));
    R.CT = Byte("CT");
    const std::string Off = Value("OFFSET");
    if (!Off.empty()) {
        const long long Hours = ToInt(Off.size() > 1 ? Off.substr(1, 2) : std::string());
        const long long Minutes = ToInt(Off.size() > 4 ? Off.substr(4, 2) : std::string());
        const long long Total = Hours * 60 + Minutes;
        R.Offset = static_cast<std::int32_t>(Off[0] == '-' ? -Total : Total);
    }
    R.DST = Byte("DST");
    R.Sync = Byte("SYNC");
    R.RTCManual = true;
    R.RTC = UtcNow();
}

bool SaveSettingsFile(const TBRDSDataValidator& Record, const std::string& Path, std::string& Error, TFileWrite Write)
{
    TAtomicFileOptions Options;
    Options.FollowLinks = true;
    Options.KeepAttributes = true;
    Options.Write = std::move(Write);
    return WriteFileAtomic(Path, SettingsFileText(Record), Error, Options);
}

bool LoadSettingsFile(
    const std::string& Path, TBRDSDataValidator& Record, std::string& Error, const TBRDSDataValidator* DeviceCopy)
{
    const int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0) {
        Error = Errno("Cannot open file", Path, errno);
        return false;
    }
    std::string Raw;
    char Buf[65536];
    for (;;) {
        const ssize_t n = read(Fd, Buf, sizeof Buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int Err = errno;
            close(Fd);
            Error = Errno("Cannot read file", Path, Err);
            return false;
        }
        if (n == 0)
            break;
        if (Raw.size() + static_cast<std::size_t>(n) > kMaxFileSize) {
            close(Fd);
            Error = "Cannot read file \"" + Path + "\": the file is too large for a settings file";
            return false;
        }
        Raw.append(Buf, static_cast<std::size_t>(n));
    }
    close(Fd);
    if (DeviceCopy) {
        Record.FW = DeviceCopy->FW;
        Record.HW = DeviceCopy->HW;
        Record.Serial = DeviceCopy->Serial;
    }
    ParseSettingsFile(Raw, Record);
    return true;
}
