#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>
#include <utility>
#include <vector>

#include "rds/settings_file.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { Dir = Temp.Path(); }

    TBRDSDataValidator Load(const std::string& Bytes)
    {
        WriteFile(Dir / "in.kvx", Bytes);
        TBRDSDataValidator r;
        std::string Err;
        EXPECT_TRUE(LoadSettingsFile((Dir / "in.kvx").string(), r, Err)) << Err;
        return r;
    }

    TTempDir Temp {"kvx-rds"};
    fs::path Dir;
};

TBRDSDataValidator Sample()
{
    TBRDSDataValidator r;
    r.PI = 0xC201;
    r.PS = "RADIO 1 ";
    r.PTY = 10;
    r.TA = 1;
    r.TATime = 255;
    r.TP = 1;
    r.MS = 1;
    r.SetDI(13);
    r.Mode = 1;
    r.RT = "News=at 9";
    r.DRTS = 5;
    r.DPS = "WELCOME TO RADIO ONE";
    r.DPSS = 3;
    r.DPSParse = 9;
    for (int i = 1; i <= 7; ++i)
        r.AF[i] = static_cast<std::uint8_t>(i * 20);
    r.Phase = 3599;
    r.CT = 1;
    r.Offset = -330;
    r.DST = 2;
    r.Sync = 1;
    return r;
}

} // namespace

TEST_F(SettingsFile, WritesKeysInOrderAndReadsThemBack)
{
    const std::string Path = (Dir / "a.kvx").string();
    std::string Err;
    ASSERT_TRUE(SaveSettingsFile(Sample(), Path, Err)) << Err;
    EXPECT_EQ(ReadFile(Path),
        "PI=C201\r\nPS=RADIO 1 \r\nPTY=10\r\nTA=1\r\nTATIME=255\r\nTP=1\r\nMS=1\r\nDI=13\r\n"
        "MODE=1\r\nTEXT=News=at 9\r\nDRTS=5\r\nDPS=WELCOME TO RADIO ONE\r\nDPSS=3\r\nPARSE=9\r\n"
        "AF1=20\r\nAF2=40\r\nAF3=60\r\nAF4=80\r\nAF5=100\r\nAF6=120\r\nAF7=140\r\nPHASE=3599\r\n"
        "CT=1\r\nOFFSET=-05:30\r\nDST=2\r\nSYNC=1\r\n");

    TBRDSDataValidator Device;
    Device.FW = "01.03.100";
    Device.Serial = "S1";
    TBRDSDataValidator r;
    SetUtcNowOverride(1421316000000LL);
    ASSERT_TRUE(LoadSettingsFile(Path, r, Err, &Device)) << Err;
    SetUtcNowOverride(std::nullopt);
    EXPECT_EQ(SettingsFileText(r), SettingsFileText(Sample()));
    EXPECT_EQ(r.FW, "01.03.100");
    EXPECT_EQ(r.Serial, "S1");
    EXPECT_TRUE(r.RTCManual);
    EXPECT_EQ(r.RTC.wYear, 2015);
    EXPECT_EQ(r.RTC.wHour, 10);
}

TEST_F(SettingsFile, EmptyTextsAndOffsetsRoundTrip)
{
    for (int Offset : {330, 0, -30, -330}) {
        TBRDSDataValidator r = Sample();
        r.PS.clear();
        r.RT.clear();
        r.Offset = Offset;
        const std::string Text = SettingsFileText(r);
        EXPECT_EQ(Text.find("\nPS="), std::string::npos);
        EXPECT_EQ(Text.find("\nTEXT="), std::string::npos);
        const TBRDSDataValidator Back = Load(Text);
        EXPECT_EQ(Back.Offset, Offset);
        EXPECT_EQ(Back.PS, "");
        EXPECT_EQ(Back.RT, "");
        EXPECT_EQ(Back.DPS, r.DPS);
    }
}

TEST_F(SettingsFile, HandWrittenFiles)
{
    // Lower-case keys, LF ends, unknown and broken lines, first key wins,
    // blanks around numbers; every value valid.
    TSettingsFileInfo Info;
    TBRDSDataValidator r;
    ParseSettingsFile("junk\npi=c201\nps=HI=THERE\nPs=second\nnoise=1\nafx=3\naf3= 12\t\n"
                      "di=6\nphase=0\ntatime= 99 \noffset=+02:30\n",
        r, &Info);
    EXPECT_TRUE(r.SourceFindings.empty());
    EXPECT_EQ(r.PI, 0xC201);
    EXPECT_EQ(r.PS, "HI=THERE");
    EXPECT_EQ(r.AF[3], 12);
    EXPECT_EQ(r.DI(), 6);
    EXPECT_EQ(r.TATime, 99);
    EXPECT_EQ(r.Offset, 150);
    EXPECT_EQ(Info.KeyLines["PS"], 3);
    EXPECT_EQ(Info.KeyLines["AF3"], 7);
    // Missing keys are named (the texts are not: an empty text is left out).
    EXPECT_EQ(Info.MissingKeys,
        (std::vector<std::string> {"PTY", "TA", "TP", "MS", "MODE", "DRTS", "DPSS", "PARSE", "AF1", "AF2", "AF4", "AF5",
            "AF6", "AF7", "CT", "DST", "SYNC"}));
}

TEST_F(SettingsFile, RefusedValuesAreFindingsNeverWrappedOrZeroed)
{
    const std::string Ps13 = "PS=THIRTEEN CHAR";
    struct {
        std::string Line;
        const char* Key;
        const char* Reason;
    } Cases[] = {
        {"PTY=99", "PTY", "must be a whole number from 0 to 31"},
        {"PTY=300", "PTY", "must be a whole number from 0 to 31"},
        {"PTY=-1", "PTY", "must be a whole number from 0 to 31"},
        {"PTY=abc", "PTY", "must be a whole number from 0 to 31"},
        {"PTY=", "PTY", "must be a whole number from 0 to 31"},
        {"AF1=999", "AF1", "must be a whole number from 0 to 204"},
        {"TATIME=-5", "TATIME", "must be a whole number from 0 to 255"},
        {"TATIME=99999999999", "TATIME", "must be a whole number from 0 to 255"},
        {"PHASE=99999", "PHASE", "must be a whole number from 0 to 3599"},
        {"CT=1 x", "CT", "must be a whole number from 0 to 1 (0 OFF, 1 ON)"},
        {"DST=4", "DST", "(0 OFF, 1 Auto Europe, 2 Auto USA, 3 +1)"},
        {"DI=16", "DI", "from 0 to 15"},
        {"OFFSET=+99:99", "OFFSET", "must be +HH:MM or -HH:MM"},
        {"OFFSET=+05:15", "OFFSET", "three-quarter hours"},
        {"OFFSET=+02:xx", "OFFSET", "must be +HH:MM"},
        {"OFFSET=-", "OFFSET", "must be +HH:MM"},
        {"PI=12345", "PI", "Invalid PI!"},
        {"PI=xyz", "PI", "Invalid PI!"},
        {"PI=0000", "PI", "Invalid PI!"},
        {Ps13, "PS", "has 13 characters; at most 8 fit"},
        {"TEXT=" + std::string(200, 'x'), "TEXT", "has 200 characters; at most 64 fit"},
        {std::string("PS=AB\0CD", 8), "PS", "control character \\x00 at character 3"},
        {"DPS=\x1b[2J", "DPS", "control character \\x1b at character 1"},
        {"TEXT=a\x85", "TEXT", "control character \\x85 at character 2"},
        {"\xEF\xBB\xBFPS=5 \xE2\x82\xAC", "PS", "holds U+20AC, a character the 8-bit code page cannot hold"},
        {"PS=\xC4\x8C\xC5\x82\xC5\x91", "PS", "holds U+010C"},
        {"\xEF\xBB\xBFPS=\xC1\x81", "PS", "not valid UTF-8 or UTF-16"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        TBRDSDataValidator r;
        r.PS = "KEEP";
        r.PTY = 7;
        TSettingsFileInfo Info;
        // A byte-order mark goes before the first line.
        const std::string Bom = "\xEF\xBB\xBF";
        const bool Marked = C.Line.rfind(Bom, 0) == 0;
        ParseSettingsFile((Marked ? Bom : "") + "TA=1\r\n" + C.Line.substr(Marked ? 3 : 0) + "\r\n", r, &Info);
        ASSERT_EQ(r.SourceFindings.size(), 1u);
        const TAlert& A = r.SourceFindings[0];
        EXPECT_EQ(A.AlertType, altCancel);
        EXPECT_EQ(A.Key, C.Key);
        EXPECT_EQ(A.Line, 2);
        EXPECT_NE(A.Description.find(C.Reason), std::string::npos) << A.Description;
        EXPECT_EQ(A.Name.rfind(std::string(C.Key) + "=", 0), 0u) << A.Name;
        // The refused value is not taken: neither wrapped nor zeroed.
        if (std::string(C.Key) == "PTY") {
            EXPECT_EQ(r.PTY, 7);
        }
        if (std::string(C.Key) == "PS") {
            EXPECT_EQ(r.PS, "KEEP");
        }
        EXPECT_EQ(r.TA, 1);
    }
}

TEST_F(SettingsFile, TextsThatAreNotSettingsFiles)
{
    const std::string Binary("\x7f"
                             "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0",
        20);
    for (const std::string& Text : {std::string(), std::string("hello\nworld\n"), Binary}) {
        TBRDSDataValidator r;
        r.PS = "KEEP";
        TSettingsFileInfo Info;
        ParseSettingsFile(Text, r, &Info);
        EXPECT_FALSE(Info.NotSettings.empty());
        EXPECT_EQ(r.PS, "KEEP");
    }
    WriteFile(Dir / "bin.kvx", Binary);
    TBRDSDataValidator r;
    std::string Err;
    EXPECT_FALSE(LoadSettingsFile((Dir / "bin.kvx").string(), r, Err));
    EXPECT_NE(Err.find("is not a settings file: it holds binary data"), std::string::npos) << Err;
}

TEST_F(SettingsFile, LargeAndOversizedFiles)
{
    // Long runs of junk and a line far longer than any value are read through.
    std::string Big(2u << 20, 'x');
    Big += "\n=\nPI=C201\nPS=" + std::string(100000, 'y') + "\n";
    TBRDSDataValidator r;
    ParseSettingsFile(Big, r);
    EXPECT_EQ(r.PI, 0xC201);
    ASSERT_EQ(r.SourceFindings.size(), 1u);
    EXPECT_EQ(r.SourceFindings[0].Description, "has 100000 characters; at most 8 fit");

    // A file far beyond any settings file is refused with a reason.
    WriteFile(Dir / "huge.kvx", std::string(17u << 20, '\n'));
    TBRDSDataValidator h;
    std::string Err;
    EXPECT_FALSE(LoadSettingsFile((Dir / "huge.kvx").string(), h, Err));
    EXPECT_NE(Err.find("too large"), std::string::npos) << Err;
}

TEST_F(SettingsFile, EncodingsAndByteOrderMarks)
{
    auto Utf16 = [](const std::u16string& s, bool BE) {
        std::string r = BE ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t c : s) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            r += BE ? std::string {hi, lo} : std::string {lo, hi};
        }
        return r;
    };
    struct {
        const char* Name;
        std::string Text;
        const char* PS;
        bool Utf8;
    } Cases[] = {
        {"UTF-8 with a mark", "\xEF\xBB\xBFPS=CAF\xC3\x89\r\n", "CAF\xC9", true},
        {"UTF-8 without a mark", "PS=CAF\xC3\x89\r\n", "CAF\xC9", true},
        {"8-bit", "PS=CAF\xC9\r\n", "CAF\xC9", false},
        // Not valid UTF-8 as a whole: every byte is its own character.
        {"8-bit beside a UTF-8 look-alike", "PS=\xC3\xA9\xE9\r\n", "\xC3\xA9\xE9", false},
        {"UTF-16 LE", Utf16(u"ps=Caf\u00e9\r\n", false), "Caf\xE9", true},
        {"UTF-16 BE", Utf16(u"ps=Caf\u00e9\r\n", true), "Caf\xE9", true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TBRDSDataValidator r;
        TSettingsFileInfo Info;
        ParseSettingsFile(C.Text, r, &Info);
        EXPECT_TRUE(r.SourceFindings.empty());
        EXPECT_EQ(r.PS, C.PS);
        EXPECT_EQ(Info.Utf8, C.Utf8);
    }
    // 8-bit text that would read back as UTF-8 is saved as UTF-8 with a mark.
    TBRDSDataValidator Odd = Sample();
    Odd.PS = "\xC3\xA9";
    EXPECT_EQ(SettingsFileBytes(Odd).rfind("\xEF\xBB\xBFPI=C201\r\nPS=\xC3\x83\xC2\xA9\r\n", 0), 0u);
    EXPECT_EQ(SettingsFileBytes(Sample()), SettingsFileText(Sample()));
    TBRDSDataValidator Back;
    ParseSettingsFile(SettingsFileBytes(Odd), Back);
    EXPECT_EQ(Back.PS, Odd.PS);

    // A lone surrogate is refused, not taken as a character.
    TBRDSDataValidator r;
    ParseSettingsFile(Utf16(std::u16string {u'P', u'S', u'=', 0xD800, u'X'}, false), r);
    ASSERT_EQ(r.SourceFindings.size(), 1u);
    EXPECT_EQ(r.SourceFindings[0].Key, "PS");
}

TEST_F(SettingsFile, ReadsOnceAndRefusesWhatIsNotAFileAtOnce)
{
    // A FIFO nobody writes to, a folder and a device are refused without waiting.
    const fs::path Fifo = Dir / "fifo.kvx";
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    for (const fs::path& P : {Fifo, Dir, fs::path("/dev/null")}) {
        SCOPED_TRACE(P.string());
        TBRDSDataValidator r;
        std::string Err;
        EXPECT_FALSE(LoadSettingsFile(P.string(), r, Err));
        EXPECT_NE(Err.find("not a settings file"), std::string::npos) << Err;
    }
    // Streams are read to their end when asked for: a pipe with its writer.
    const pid_t Writer = ::fork();
    if (Writer == 0) {
        const int Fd = ::open(Fifo.c_str(), O_WRONLY);
        const char Text[] = "PI=C201\r\n";
        [[maybe_unused]] ssize_t n = ::write(Fd, Text, sizeof Text - 1);
        ::_exit(0);
    }
    std::string Bytes, Err;
    EXPECT_TRUE(ReadSettingsFileBytes(Fifo.string(), Bytes, Err, true)) << Err;
    EXPECT_EQ(Bytes, "PI=C201\r\n");
    ::waitpid(Writer, nullptr, 0);
}

TEST_F(SettingsFile, FailedSaveKeepsTheOldFile)
{
    const std::string Path = (Dir / "keep.kvx").string();
    std::string Err;
    TBRDSDataValidator Old = Sample();
    Old.PS = "OLD";
    ASSERT_TRUE(SaveSettingsFile(Old, Path, Err)) << Err;
    const std::string Before = ReadFile(Path);

    // The disk fills after the first 20 bytes.
    std::size_t Written = 0;
    auto FullDisk = [&](int Fd, const void* Buf, std::size_t Count) -> ssize_t {
        if (Written >= 20) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min<std::size_t>(Count, 20 - Written);
        Written += n;
        return ::write(Fd, Buf, n);
    };
    EXPECT_FALSE(SaveSettingsFile(Sample(), Path, Err, FullDisk));
    EXPECT_NE(Err.find("keep.kvx"), std::string::npos) << Err;
    EXPECT_NE(Err.find(std::strerror(ENOSPC)), std::string::npos) << Err;
    EXPECT_EQ(ReadFile(Path), Before);
    std::size_t Files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(Dir))
        ++Files;
    EXPECT_EQ(Files, 1u); // no temporary file left behind

    std::string LoadErr;
    TBRDSDataValidator r;
    r.PS = "untouched";
    EXPECT_FALSE(LoadSettingsFile((Dir / "missing.kvx").string(), r, LoadErr));
    EXPECT_FALSE(LoadErr.empty());
    EXPECT_EQ(r.PS, "untouched");
    EXPECT_FALSE(SaveSettingsFile(Sample(), (Dir / "no" / "such.kvx").string(), Err));
}

namespace {

// Runs a save in a child process as a user without the rights of root
// (nobody, when the tests run as root), so that folder and file permissions
// apply. Returns whether it succeeded and its error text.
std::pair<bool, std::string> SaveAsOtherUser(
    const std::string& Path, const std::string& TmpDir, TFileWrite Write = nullptr)
{
    int Pipe[2];
    if (pipe(Pipe) != 0)
        return {false, "pipe"};
    const pid_t Pid = fork();
    if (Pid == 0) {
        close(Pipe[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        setenv("TMPDIR", TmpDir.c_str(), 1);
        std::string Err;
        const bool Ok = SaveSettingsFile(Sample(), Path, Err, std::move(Write));
        [[maybe_unused]] ssize_t n = write(Pipe[1], Err.data(), Err.size());
        _exit(Ok ? 0 : 1);
    }
    close(Pipe[1]);
    std::string Err;
    char Buf[512];
    ssize_t n;
    while ((n = read(Pipe[0], Buf, sizeof Buf)) > 0)
        Err.append(Buf, static_cast<std::size_t>(n));
    close(Pipe[0]);
    int Status = 0;
    waitpid(Pid, &Status, 0);
    return {WIFEXITED(Status) && WEXITSTATUS(Status) == 0, Err};
}

std::size_t Entries(const fs::path& Folder)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(Folder))
        ++n;
    return n;
}

} // namespace

TEST_F(SettingsFile, SaveThroughLinksKeepsLinksModeOwnerAndGroup)
{
    fs::create_directories(Dir / "real");
    const fs::path Real = Dir / "real" / "station.kvx";
    WriteFile(Real, "PI=1234\r\n");
    ASSERT_EQ(chmod(Real.c_str(), 0640), 0);
    const bool Root = geteuid() == 0;
    if (Root) {
        ASSERT_EQ(chown(Real.c_str(), 65534, 65534), 0);
    }
    struct stat Before { };
    ASSERT_EQ(stat(Real.c_str(), &Before), 0);
    // A relative link, and an absolute link to that link.
    fs::create_symlink("real/station.kvx", Dir / "near.kvx");
    fs::create_symlink(Dir / "near.kvx", Dir / "far.kvx");

    std::string Err;
    ASSERT_TRUE(SaveSettingsFile(Sample(), (Dir / "far.kvx").string(), Err)) << Err;
    EXPECT_TRUE(fs::is_symlink(Dir / "far.kvx"));
    EXPECT_TRUE(fs::is_symlink(Dir / "near.kvx"));
    EXPECT_EQ(ReadFile(Real), SettingsFileText(Sample()));
    struct stat After { };
    ASSERT_EQ(stat(Real.c_str(), &After), 0);
    EXPECT_EQ(After.st_mode & 07777, 0640u);
    EXPECT_EQ(After.st_uid, Before.st_uid);
    EXPECT_EQ(After.st_gid, Before.st_gid);
    EXPECT_EQ(Entries(Dir / "real"), 1u);

    // A link to a file not there yet makes that file and stays a link.
    fs::create_symlink("real/new.kvx", Dir / "fresh.kvx");
    ASSERT_TRUE(SaveSettingsFile(Sample(), (Dir / "fresh.kvx").string(), Err)) << Err;
    EXPECT_TRUE(fs::is_symlink(Dir / "fresh.kvx"));
    EXPECT_EQ(ReadFile(Dir / "real" / "new.kvx"), SettingsFileText(Sample()));

    // A loop of links is an error, not a hang.
    fs::create_symlink("loop2.kvx", Dir / "loop1.kvx");
    fs::create_symlink("loop1.kvx", Dir / "loop2.kvx");
    EXPECT_FALSE(SaveSettingsFile(Sample(), (Dir / "loop1.kvx").string(), Err));
    EXPECT_NE(Err.find(std::strerror(ELOOP)), std::string::npos) << Err;
}

TEST_F(SettingsFile, UnwritableFolderRewritesAWritableFileInPlace)
{
    // The other user must reach the folders; the temporary folder is its own.
    ASSERT_EQ(chmod(Dir.c_str(), 0755), 0);
    const fs::path Tmp = Dir / "tmp";
    fs::create_directories(Tmp);
    ASSERT_EQ(chmod(Tmp.c_str(), 0777), 0);
    const fs::path Locked = Dir / "locked";
    fs::create_directories(Locked);
    const fs::path File = Locked / "station.kvx";
    const std::string OldText = "PI=1234\r\nTEXT=" + std::string(1000, 'x') + "\r\n"; // longer than the new
    WriteFile(File, OldText);
    ASSERT_EQ(chmod(File.c_str(), 0666), 0);
    ASSERT_EQ(chmod(Locked.c_str(), 0555), 0);
    struct stat Before { };
    ASSERT_EQ(stat(File.c_str(), &Before), 0);

    // The disk fills while the new text is written: the old text is put back.
    std::size_t Written = 0;
    auto FullDisk = [&](int Fd, const void* Buf, std::size_t Count) -> ssize_t {
        if (Written >= 10) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t n = std::min<std::size_t>(Count, 10 - Written);
        Written += n;
        return ::write(Fd, Buf, n);
    };
    auto [Ok, Err] = SaveAsOtherUser(File.string(), Tmp.string(), FullDisk);
    EXPECT_FALSE(Ok);
    EXPECT_NE(Err.find(std::strerror(ENOSPC)), std::string::npos) << Err;
    EXPECT_EQ(ReadFile(File), OldText);
    EXPECT_EQ(Entries(Tmp), 0u); // the backup went once the old text was back

    std::tie(Ok, Err) = SaveAsOtherUser(File.string(), Tmp.string());
    EXPECT_TRUE(Ok) << Err;
    EXPECT_EQ(ReadFile(File), SettingsFileText(Sample()));
    struct stat After { };
    ASSERT_EQ(stat(File.c_str(), &After), 0);
    EXPECT_EQ(After.st_ino, Before.st_ino);
    EXPECT_EQ(After.st_uid, Before.st_uid);
    EXPECT_EQ(After.st_mode & 07777, 0666u);
    EXPECT_EQ(Entries(Locked), 1u);
    EXPECT_EQ(Entries(Tmp), 0u);

    // Neither folder nor file writable: a clear error, the file untouched.
    ASSERT_EQ(chmod(Locked.c_str(), 0755), 0);
    ASSERT_EQ(chmod(File.c_str(), 0444), 0);
    ASSERT_EQ(chmod(Locked.c_str(), 0555), 0);
    std::tie(Ok, Err) = SaveAsOtherUser(File.string(), Tmp.string());
    EXPECT_FALSE(Ok);
    EXPECT_NE(Err.find("station.kvx"), std::string::npos) << Err;
    EXPECT_NE(Err.find(std::strerror(EACCES)), std::string::npos) << Err;
    EXPECT_EQ(ReadFile(File), SettingsFileText(Sample()));
    ASSERT_EQ(chmod(Locked.c_str(), 0755), 0); // so that the fixture can remove it
}
