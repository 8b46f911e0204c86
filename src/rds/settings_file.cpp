#include "settings_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// Far above any settings file; a bigger file is refused instead of filling memory.
constexpr std::size_t kMaxFileSize = 16u << 20;

const char* const kKeys[26] = {"PI",   "PS",   "PTY",   "TA",  "TATIME", "TP",  "MS",
                               "DI",   "MODE", "TEXT",  "DRTS", "DPS",   "DPSS", "PARSE",
                               "AF1",  "AF2",  "AF3",   "AF4", "AF5",    "AF6", "AF7",
                               "PHASE", "CT",  "OFFSET", "DST", "SYNC"};

// A whole decimal number with an optional sign; Default when it is not one
// or does not fit 32 bits.
long long ToInt(const std::string& s, long long Default = 0) {
  std::size_t i = 0;
  bool Neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) Neg = s[i++] == '-';
  if (i >= s.size()) return Default;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return Default;
    v = v * 10 + (s[i] - '0');
    if (v > INT_MAX + 1LL) return Default;
  }
  v = Neg ? -v : v;
  return v < INT_MIN || v > INT_MAX ? Default : v;
}

// Hexadecimal PI; 0 when the text is not a 16-bit hexadecimal number.
std::uint16_t ToPI(const std::string& s) {
  if (s.empty()) return 0;
  unsigned v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return 0;
    v = v * 16 + static_cast<unsigned>(d);
    if (v > 0xFFFF) return 0;
  }
  return static_cast<std::uint16_t>(v);
}

void PutLatin1(std::string& Out, std::uint32_t Code) {
  Out += Code < 256 ? static_cast<char>(Code) : '?';
}

std::string FromUtf8(const std::string& In) {
  std::string Out;
  std::size_t i = 0;
  while (i < In.size()) {
    const unsigned char c = static_cast<unsigned char>(In[i]);
    int Extra;
    std::uint32_t Code;
    if (c < 0x80) { Extra = 0; Code = c; }
    else if ((c & 0xE0) == 0xC0) { Extra = 1; Code = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { Extra = 2; Code = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { Extra = 3; Code = c & 0x07; }
    else { Out += '?'; ++i; continue; }
    std::size_t j = i + 1;
    bool Ok = true;
    for (int k = 0; k < Extra; ++k, ++j) {
      if (j >= In.size() || (static_cast<unsigned char>(In[j]) & 0xC0) != 0x80) { Ok = false; break; }
      Code = (Code << 6) | (static_cast<unsigned char>(In[j]) & 0x3F);
    }
    if (!Ok) { Out += '?'; i = j > i + 1 ? j : i + 1; continue; }
    PutLatin1(Out, Code);
    i = j;
  }
  return Out;
}

std::string FromUtf16(const std::string& In, bool BigEndian) {
  std::string Out;
  for (std::size_t i = 0; i + 1 < In.size(); i += 2) {
    const unsigned a = static_cast<unsigned char>(In[i]), b = static_cast<unsigned char>(In[i + 1]);
    const std::uint32_t Unit = BigEndian ? (a << 8 | b) : (b << 8 | a);
    if (Unit >= 0xD800 && Unit <= 0xDBFF && i + 3 < In.size()) {
      i += 2;  // a surrogate pair is one character, never 8-bit
      Out += '?';
      continue;
    }
    PutLatin1(Out, Unit);
  }
  return Out;
}

std::string Decode(const std::string& Raw) {
  if (Raw.compare(0, 3, "\xEF\xBB\xBF") == 0) return FromUtf8(Raw.substr(3));
  if (Raw.compare(0, 2, "\xFF\xFE") == 0) return FromUtf16(Raw.substr(2), false);
  if (Raw.compare(0, 2, "\xFE\xFF") == 0) return FromUtf16(Raw.substr(2), true);
  return Raw;
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> r;
  std::size_t Start = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '\r' && Text[i] != '\n') continue;
    r.push_back(Text.substr(Start, i - Start));
    if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    Start = i + 1;
  }
  if (Start < Text.size()) r.push_back(Text.substr(Start));
  return r;
}

bool SameKey(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != b[i]) return false;
  }
  return true;
}

std::string Errno(const std::string& What, const std::string& Path, int Err) {
  return What + " \"" + Path + "\": " + std::strerror(Err);
}

}  // namespace

std::string SettingsFileText(const TBRDSDataValidator& R) {
  const std::string Values[26] = {
      Format("%.4X", R.PI), R.PS, std::to_string(R.PTY), std::to_string(R.TA),
      std::to_string(R.TATime), std::to_string(R.TP), std::to_string(R.MS), std::to_string(R.DI()),
      std::to_string(R.Mode), R.RT, std::to_string(R.DRTS), R.DPS, std::to_string(R.DPSS),
      std::to_string(R.DPSParse), std::to_string(R.AF[1]), std::to_string(R.AF[2]),
      std::to_string(R.AF[3]), std::to_string(R.AF[4]), std::to_string(R.AF[5]),
      std::to_string(R.AF[6]), std::to_string(R.AF[7]), std::to_string(R.Phase),
      std::to_string(R.CT), FormatOffset(R.Offset), std::to_string(R.DST), std::to_string(R.Sync)};
  std::string Text;
  for (int i = 0; i < 26; ++i)
    if (!Values[i].empty()) Text += std::string(kKeys[i]) + "=" + Values[i] + "\r\n";
  return Text;
}

void ParseSettingsFile(const std::string& FileText, TBRDSDataValidator& R) {
  // The value of each key is taken from the first line that names it, so one
  // pass over the lines finds them all, however long the file is.
  std::string Found[26];
  bool Seen[26] = {};
  for (const std::string& Line : Lines(Decode(FileText))) {
    const std::size_t Eq = Line.find('=');
    if (Eq == std::string::npos || Eq > 6) continue;
    const std::string Name = Line.substr(0, Eq);
    for (int k = 0; k < 26; ++k)
      if (!Seen[k] && SameKey(Name, kKeys[k])) {
        Seen[k] = true;
        Found[k] = Line.substr(Eq + 1);
      }
  }
  auto Value = [&](const char* Key) -> std::string {
    for (int k = 0; k < 26; ++k)
      if (std::strcmp(Key, kKeys[k]) == 0) return Found[k];
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
  for (int i = 1; i <= 7; ++i) R.AF[i] = Byte(kKeys[13 + i]);
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

bool SaveSettingsFile(const TBRDSDataValidator& Record, const std::string& Path, std::string& Error,
                      TFileWrite Write) {
  if (!Write) Write = [](int Fd, const void* Buf, std::size_t Count) { return ::write(Fd, Buf, Count); };
  const std::string Text = SettingsFileText(Record);

  std::string Temp = Path + ".XXXXXX";
  const int Fd = mkostemp(Temp.data(), O_CLOEXEC);
  if (Fd < 0) {
    Error = Errno("Cannot create file", Path, errno);
    return false;
  }
  // Keep the mode of the file being replaced; a new file gets the usual one.
  struct stat Old{};
  mode_t Mode;
  if (stat(Path.c_str(), &Old) == 0) {
    Mode = Old.st_mode & 07777;
  } else {
    const mode_t Mask = umask(0);
    umask(Mask);
    Mode = 0666 & ~Mask;
  }
  fchmod(Fd, Mode);

  auto Fail = [&](const char* What, int Err) {
    close(Fd);
    unlink(Temp.c_str());
    Error = Errno(What, Path, Err);
    return false;
  };
  std::size_t Done = 0;
  while (Done < Text.size()) {
    const ssize_t n = Write(Fd, Text.data() + Done, Text.size() - Done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("Cannot write file", n < 0 ? errno : EIO);
    Done += static_cast<std::size_t>(n);
  }
  if (fsync(Fd) != 0) return Fail("Cannot write file", errno);
  if (close(Fd) != 0) {
    const int Err = errno;
    unlink(Temp.c_str());
    Error = Errno("Cannot write file", Path, Err);
    return false;
  }
  if (rename(Temp.c_str(), Path.c_str()) != 0) {
    const int Err = errno;
    unlink(Temp.c_str());
    Error = Errno("Cannot write file", Path, Err);
    return false;
  }
  // Make the rename itself durable.
  const std::size_t Slash = Path.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
  const int DirFd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (DirFd >= 0) {
    fsync(DirFd);
    close(DirFd);
  }
  return true;
}

bool LoadSettingsFile(const std::string& Path, TBRDSDataValidator& Record, std::string& Error,
                      const TBRDSDataValidator* DeviceCopy) {
  const int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    Error = Errno("Cannot open file", Path, errno);
    return false;
  }
  std::string Raw;
  char Buf[65536];
  for (;;) {
    const ssize_t n = read(Fd, Buf, sizeof Buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int Err = errno;
      close(Fd);
      Error = Errno("Cannot read file", Path, Err);
      return false;
    }
    if (n == 0) break;
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
