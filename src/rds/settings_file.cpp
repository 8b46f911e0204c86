#include "rds/settings_file.h"

#include "platform/number_parse.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
        const unsigned char c = static_cast<unsigned char>(In[i]);
        int Extra;
        std::uint32_t Code;
        if (c < 0x80) {
            Extra = 0;
            Code = c;
        } else if ((c & 0xE0) == 0xC0) {
            Extra = 1;
            Code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            Extra = 2;
            Code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            Extra = 3;
            Code = c & 0x07;
        } else {
            Out += '?';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool Ok = true;
        for (int k = 0; k < Extra; ++k, ++j) {
            if (j >= In.size() || (static_cast<unsigned char>(In[j]) & 0xC0) != 0x80) {
                Ok = false;
                break;
            }
            Code = (Code << 6) | (static_cast<unsigned char>(In[j]) & 0x3F);
        }
        if (!Ok) {
            Out += '?';
            i = j > i + 1 ? j : i + 1;
            continue;
        }
        PutLatin1(Out, Code);
        i = j;
    }
    return Out;
}

std::string FromUtf16(const std::string& In, bool BigEndian)
{
    std::string Out;
    for (std::size_t i = 0; i + 1 < In.size(); i += 2) {
        const unsigned a = static_cast<unsigned char>(In[i]), b = static_cast<unsigned char>(In[i + 1]);
        const std::uint32_t Unit = BigEndian ? (a << 8 | b) : (b << 8 | a);
        if (Unit >= 0xD800 && Unit <= 0xDBFF && i + 3 < In.size()) {
            i += 2; // a surrogate pair is one character, never 8-bit
            Out += '?';
            continue;
        }
        PutLatin1(Out, Unit);
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

namespace {

// Writes all of Text to Fd through Write; the errno of the failure otherwise.
int WriteAll(int Fd, const std::string& Text, const TFileWrite& Write)
{
    std::size_t Done = 0;
    while (Done < Text.size()) {
        const ssize_t n = Write(Fd, Text.data() + Done, Text.size() - Done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        Done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::string FolderOf(const std::string& Path)
{
    const std::size_t Slash = Path.rfind('/');
    return Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
}

// The file a path names after following its symbolic links (the path itself
// when it is none); a link to a missing file names the file it would create.
bool FollowLinks(const std::string& Path, std::string& Target, int& Err)
{
    Target = Path;
    for (int Hops = 0; Hops < 40; ++Hops) {
        struct stat St { };
        if (lstat(Target.c_str(), &St) != 0 || !S_ISLNK(St.st_mode))
            return true;
        std::vector<char> Buf(static_cast<std::size_t>(St.st_size > 0 ? St.st_size : PATH_MAX) + 1);
        const ssize_t n = readlink(Target.c_str(), Buf.data(), Buf.size());
        if (n < 0) {
            Err = errno;
            return false;
        }
        const std::string Link(Buf.data(), static_cast<std::size_t>(n));
        Target = !Link.empty() && Link[0] == '/' ? Link : FolderOf(Target) + "/" + Link;
    }
    Err = ELOOP;
    return false;
}

bool ReadAll(int Fd, std::string& Out)
{
    char Buf[65536];
    for (;;) {
        const ssize_t n = read(Fd, Buf, sizeof Buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        Out.append(Buf, static_cast<std::size_t>(n));
    }
}

// Rewrites an existing file in place, for a folder where no new file can be
// made: the old contents are first copied to a backup file in the temporary
// folder, and put back when the new text cannot be written. The backup is
// removed after a good write, and kept (and named in Error) when even the old
// contents cannot be put back.
bool RewriteInPlace(const std::string& Target, const std::string& Path, const std::string& Text,
    const TFileWrite& Write, std::string& Error)
{
    const int Fd = open(Target.c_str(), O_RDWR | O_CLOEXEC);
    if (Fd < 0) {
        Error = Errno("Cannot create file", Path, errno);
        return false;
    }
    std::string Old;
    if (!ReadAll(Fd, Old)) {
        const int Err = errno;
        close(Fd);
        Error = Errno("Cannot read file", Path, Err);
        return false;
    }
    const char* TmpDir = std::getenv("TMPDIR");
    std::string Backup = std::string(TmpDir && *TmpDir ? TmpDir : "/tmp") + "/kvx-backup-XXXXXX";
    const int BackupFd = mkostemp(Backup.data(), O_CLOEXEC);
    if (BackupFd < 0) {
        const int Err = errno;
        close(Fd);
        Error = Errno("Cannot make a backup copy of", Path, Err);
        return false;
    }
    const int BackupErr = WriteAll(BackupFd, Old, TFileWrite(::write));
    if (BackupErr != 0 || fsync(BackupFd) != 0 || close(BackupFd) != 0) {
        const int Err = BackupErr ? BackupErr : errno;
        unlink(Backup.c_str());
        close(Fd);
        Error = Errno("Cannot make a backup copy of", Path, Err);
        return false;
    }

    auto Put = [&](const std::string& Bytes, const TFileWrite& W) -> int {
        if (lseek(Fd, 0, SEEK_SET) != 0)
            return errno;
        if (int Err = WriteAll(Fd, Bytes, W))
            return Err;
        if (ftruncate(Fd, static_cast<off_t>(Bytes.size())) != 0)
            return errno;
        return fsync(Fd) != 0 ? errno : 0;
    };
    const int Err = Put(Text, Write);
    if (Err == 0) {
        const bool Closed = close(Fd) == 0;
        if (Closed) {
            unlink(Backup.c_str());
            return true;
        }
        Error = Errno("Cannot write file", Path, errno) + " (the old contents are in \"" + Backup + "\")";
        return false;
    }
    Error = Errno("Cannot write file", Path, Err);
    if (Put(Old, TFileWrite(::write)) == 0)
        unlink(Backup.c_str());
    else
        Error += " (the old contents are in \"" + Backup + "\")";
    close(Fd);
    return false;
}

} // namespace

bool SaveSettingsFile(const TBRDSDataValidator& Record, const std::string& Path, std::string& Error, TFileWrite Write)
{
    if (!Write)
        Write = [](int Fd, const void* Buf, std::size_t Count) { return ::write(Fd, Buf, Count); };
    const std::string Text = SettingsFileText(Record);

    // A symbolic link stays a link: the file it points to is the one replaced.
    std::string Target;
    int LinkErr = 0;
    if (!FollowLinks(Path, Target, LinkErr)) {
        Error = Errno("Cannot write file", Path, LinkErr);
        return false;
    }
    struct stat Old { };
    const bool Exists = stat(Target.c_str(), &Old) == 0;

    std::string Temp = Target + ".XXXXXX";
    const int Fd = mkostemp(Temp.data(), O_CLOEXEC);
    if (Fd < 0) {
        const int Err = errno;
        // A folder where no new file can be made, around a file that can be
        // written: rewrite the file itself.
        if (Exists && S_ISREG(Old.st_mode) && (Err == EACCES || Err == EPERM))
            return RewriteInPlace(Target, Path, Text, Write, Error);
        Error = Errno("Cannot create file", Path, Err);
        return false;
    }
    auto Fail = [&](const char* What, int Err) {
        close(Fd);
        unlink(Temp.c_str());
        Error = Errno(What, Path, Err);
        return false;
    };
    // The new file keeps the mode, owner and group of the one it replaces; a
    // new file gets the usual mode. When the owner cannot be kept, the file is
    // rewritten in place instead, which keeps it.
    if (Exists) {
        if ((Old.st_uid != geteuid() || Old.st_gid != getegid()) && fchown(Fd, Old.st_uid, Old.st_gid) != 0) {
            close(Fd);
            unlink(Temp.c_str());
            return RewriteInPlace(Target, Path, Text, Write, Error);
        }
        if (fchmod(Fd, Old.st_mode & 07777) != 0)
            return Fail("Cannot write file", errno);
    } else {
        const mode_t Mask = umask(0);
        umask(Mask);
        if (fchmod(Fd, 0666 & ~Mask) != 0)
            return Fail("Cannot write file", errno);
    }

    if (int Err = WriteAll(Fd, Text, Write))
        return Fail("Cannot write file", Err);
    if (fsync(Fd) != 0)
        return Fail("Cannot write file", errno);
    if (close(Fd) != 0) {
        const int Err = errno;
        unlink(Temp.c_str());
        Error = Errno("Cannot write file", Path, Err);
        return false;
    }
    if (rename(Temp.c_str(), Target.c_str()) != 0) {
        const int Err = errno;
        unlink(Temp.c_str());
        Error = Errno("Cannot write file", Path, Err);
        return false;
    }
    // Make the rename itself durable.
    const int DirFd = open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd >= 0) {
        fsync(DirFd);
        close(DirFd);
    }
    return true;
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
