#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

#include "rds/settings_file.h"

namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char Tmpl[] = "kvx-rds-XXXXXX";
        const fs::path Base = fs::temp_directory_path() / Tmpl;
        std::string s = Base.string();
        ASSERT_NE(mkdtemp(s.data()), nullptr);
        Dir = s;
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string Read(const fs::path& p)
    {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    void Write(const fs::path& p, const std::string& Bytes)
    {
        std::ofstream f(p, std::ios::binary);
        f << Bytes;
    }
    TBRDSDataValidator Load(const std::string& Bytes)
    {
        Write(Dir / "in.kvx", Bytes);
        TBRDSDataValidator r;
        std::string Err;
        EXPECT_TRUE(LoadSettingsFile((Dir / "in.kvx").string(), r, Err)) << Err;
        return r;
    }

    fs::path Dir;
};

TBRDSDataValidator Sample()
{
    TBRDSDataValidator r;
    r.PI = 0xC201;
    r.PS = "RADIO 1  ";
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
    EXPECT_EQ(Read(Path),
        "PI=C201\r\nPS=RADIO 1  \r\nPTY=10\r\nTA=1\r\nTATIME=255\r\nTP=1\r\nMS=1\r\nDI=13\r\n"
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
    // Lower-case keys, LF ends, unknown and broken lines, first key wins.
    TBRDSDataValidator r = Load("junk\npi=c201\nps=HI=THERE\nPs=second\nnoise=1\nafx=3\naf3=abc\n"
                                "di=6\nphase=-5\ntatime=99999999999\noffset=+02:xx\n");
    EXPECT_EQ(r.PI, 0xC201);
    EXPECT_EQ(r.PS, "HI=THERE");
    EXPECT_EQ(r.AF[3], 0);
    EXPECT_EQ(r.DI(), 6);
    EXPECT_EQ(r.Phase, -5);
    EXPECT_EQ(r.TATime, 0);
    EXPECT_EQ(r.Offset, 120);

    EXPECT_EQ(Load("PI=12345\r\n").PI, 0); // more than 16 bits is not a PI
    EXPECT_EQ(Load("PI=xyz\r\n").PI, 0);
    EXPECT_EQ(Load("OFFSET=-\r\n").Offset, 0);
    EXPECT_EQ(Load(std::string("\0\0=\r\r\n\xff", 7)).PI, 0);
}

TEST_F(SettingsFile, LargeAndOversizedFiles)
{
    // Long runs of junk and a line far longer than any value still load.
    std::string Big(2u << 20, 'x');
    Big += "\n=\nPI=C201\nPS=" + std::string(100000, 'y') + "\n";
    const TBRDSDataValidator r = Load(Big);
    EXPECT_EQ(r.PI, 0xC201);
    EXPECT_EQ(r.PS.size(), 100000u);

    // A file far beyond any settings file is refused with a reason.
    Write(Dir / "huge.kvx", std::string(17u << 20, '\n'));
    TBRDSDataValidator h;
    std::string Err;
    EXPECT_FALSE(LoadSettingsFile((Dir / "huge.kvx").string(), h, Err));
    EXPECT_NE(Err.find("too large"), std::string::npos) << Err;
}

TEST_F(SettingsFile, ByteOrderMarks)
{
    // PS "Caf\u00e9" and RT with a character outside 8-bit text.
    const std::string Utf8 = "\xEF\xBB\xBFPI=C201\r\nPS=Caf\xC3\xA9\r\nTEXT=\xE2\x82\xAC 5\r\n";
    TBRDSDataValidator a = Load(Utf8);
    EXPECT_EQ(a.PI, 0xC201);
    EXPECT_EQ(a.PS, "Caf\xE9");
    EXPECT_EQ(a.RT, "? 5");

    auto Utf16 = [](const std::u16string& s, bool BE) {
        std::string r = BE ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t c : s) {
            const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
            r += BE ? std::string {hi, lo} : std::string {lo, hi};
        }
        return r;
    };
    for (bool BE : {false, true}) {
        TBRDSDataValidator b = Load(Utf16(u"ps=Caf\u00e9\r\npi=00A5\r\nTEXT=\u20ac\r\n", BE));
        EXPECT_EQ(b.PI, 0x00A5) << BE;
        EXPECT_EQ(b.PS, "Caf\xE9") << BE;
        EXPECT_EQ(b.RT, "?") << BE;
    }
    // Malformed text: an overlong form is no character, and a lone surrogate
    // does not take the character after it.
    EXPECT_EQ(Load("\xEF\xBB\xBFPS=\xC1\x81\xE2\x82Z\r\n").PS, "??Z");
    EXPECT_EQ(Load(Utf16(std::u16string {u'P', u'S', u'=', 0xD800, u'X'}, false)).PS, "?X");
    // Without a mark the bytes are taken as they are.
    EXPECT_EQ(Load("PS=Caf\xC3\xA9\r\n").PS, "Caf\xC3\xA9");
}

TEST_F(SettingsFile, FailedSaveKeepsTheOldFile)
{
    const std::string Path = (Dir / "keep.kvx").string();
    std::string Err;
    TBRDSDataValidator Old = Sample();
    Old.PS = "OLD";
    ASSERT_TRUE(SaveSettingsFile(Old, Path, Err)) << Err;
    const std::string Before = Read(Path);

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
    EXPECT_EQ(Read(Path), Before);
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
    Write(Real, "PI=1234\r\n");
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
    EXPECT_EQ(Read(Real), SettingsFileText(Sample()));
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
    EXPECT_EQ(Read(Dir / "real" / "new.kvx"), SettingsFileText(Sample()));

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
    Write(File, OldText);
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
    EXPECT_EQ(Read(File), OldText);
    EXPECT_EQ(Entries(Tmp), 0u); // the backup went once the old text was back

    std::tie(Ok, Err) = SaveAsOtherUser(File.string(), Tmp.string());
    EXPECT_TRUE(Ok) << Err;
    EXPECT_EQ(Read(File), SettingsFileText(Sample()));
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
    EXPECT_EQ(Read(File), SettingsFileText(Sample()));
    ASSERT_EQ(chmod(Locked.c_str(), 0755), 0); // so that the fixture can remove it
}
