#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "kvx-ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        Dir = tmpl;
        Path = (Dir / "kvxc.ini").string();
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::size_t Entries()
    {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(Dir))
            ++n;
        return n;
    }
    void Put(const std::string& Text) { std::ofstream(Path, std::ios::binary) << Text; }
    std::string Get()
    {
        std::ifstream in(Path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::path Dir;
    std::string Path;
};

TEST_F(IniFileTest, ReadsWithoutRegardToCaseAndFallsBackToDefaults)
{
    Put("; settings\n[App]\nWIDTH = "
        "1024\nx=-5\nhex=$1F\nbad=12a\nbig=3000000000\nMaximized=2\n\n[Conn]\nPort=ttyUSB0\n");
    TIniFile ini(Path);
    EXPECT_EQ(ini.ReadInteger("app", "width", 800), 1024);
    EXPECT_EQ(ini.ReadInteger("APP", "X", 0), -5);
    EXPECT_EQ(ini.ReadInteger("App", "hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("App", "bad", 7), 7);
    EXPECT_EQ(ini.ReadInteger("App", "big", 7), 7);
    EXPECT_EQ(ini.ReadInteger("App", "missing", 600), 600);
    EXPECT_EQ(ini.ReadInteger("Nowhere", "WIDTH", 800), 800);
    EXPECT_TRUE(ini.ReadBool("App", "Maximized", false));
    EXPECT_FALSE(ini.ReadBool("App", "bad", false));
    EXPECT_EQ(ini.ReadString("conn", "PORT", ""), "ttyUSB0");
    EXPECT_TRUE(ini.SectionExists("CONN"));
    EXPECT_FALSE(ini.ValueExists("Conn", "Speed"));

    TIniFile missing((Dir / "absent.ini").string());
    EXPECT_EQ(missing.ReadString("Conn", "Port", "dflt"), "dflt");
}

TEST_F(IniFileTest, WritesKeepUnknownLinesAndOrder)
{
    Put("; keep me\r\n[App]\r\nWidth=800\r\nOther=x\r\n\r\n[Conn]\r\nPort=COM1\r\n");
    TIniFile ini(Path);
    EXPECT_TRUE(ini.WriteInteger("APP", "width", 1280));
    EXPECT_TRUE(ini.WriteBool("App", "Maximized", true));
    EXPECT_TRUE(ini.WriteString("conn", "port", "tty\nS0"));
    EXPECT_TRUE(ini.WriteString("New", "Key", "v"));
    EXPECT_EQ(Get(),
        "; keep me\r\n[App]\r\nWidth=1280\r\nOther=x\r\nMaximized=1\r\n\r\n[Conn]\r\nPort=tty S0\r\n"
        "[New]\r\nKey=v\r\n");
    TIniFile again(Path);
    EXPECT_EQ(again.ReadInteger("App", "Width", 0), 1280);
    EXPECT_TRUE(again.DeleteKey("App", "Other"));
    EXPECT_TRUE(again.EraseSection("new"));
    EXPECT_EQ(Get(), "; keep me\r\n[App]\r\nWidth=1280\r\nMaximized=1\r\n\r\n[Conn]\r\nPort=tty S0\r\n");
}

TEST_F(IniFileTest, FailedSaveReportsAndKeepsTheOldFile)
{
    Put("[App]\nWidth=800\n");
    TIniFile ini(Path);
    // Files may grow to 8 bytes only: the new text cannot be written.
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = ini.WriteInteger("App", "Width", 1);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ini.ReadInteger("App", "Width", 0), 1); // kept in memory
    EXPECT_EQ(Get(), "[App]\nWidth=800\n");
    EXPECT_EQ(Entries(), 1u); // no temporary file left behind
    TIniFile nowhere((Dir / "no-folder" / "kvxc.ini").string());
    EXPECT_FALSE(nowhere.WriteString("Conn", "Port", "x"));
}

TEST_F(IniFileTest, SaveIsNotBlockedByAnOldTemporaryName)
{
    Put("[App]\nWidth=800\n");
    fs::create_directory(Path + ".tmp");
    TIniFile ini(Path);
    EXPECT_TRUE(ini.WriteInteger("App", "Width", 1));
    EXPECT_EQ(Get(), "[App]\nWidth=1\n");
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(IniFileTest, UnreadableFileIsNeverWrittenOver)
{
    // The file belongs to someone else and only they may read it; the folder is
    // open to all, so a save could replace it.
    Put("[App]\nWidth=800\n[Conn]\nPort=ttyUSB0\n");
    ASSERT_EQ(chmod(Path.c_str(), 0600), 0);
    ASSERT_EQ(chmod(Dir.c_str(), 0777), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        TIniFile ini(Path);
        const bool refused = !ini.LoadError().empty() && ini.ReadInteger("App", "Width", 7) == 7
            && !ini.WriteInteger("App", "Width", 1) && !ini.DeleteKey("Conn", "Port");
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Get(), "[App]\nWidth=800\n[Conn]\nPort=ttyUSB0\n");
    EXPECT_EQ(Entries(), 1u);

    TIniFile readable(Path);
    EXPECT_TRUE(readable.LoadError().empty());
}

TEST_F(IniFileTest, DeleteAndEraseRemoveEveryCopy)
{
    Put("[App]\nA=1\nB=2\na=3\n[Other]\nA=4\n[APP]\nA=5\n");
    TIniFile ini(Path);
    EXPECT_TRUE(ini.DeleteKey("app", "a"));
    EXPECT_FALSE(ini.ValueExists("App", "A"));
    EXPECT_EQ(Get(), "[App]\nB=2\n[Other]\nA=4\n[APP]\n");
    EXPECT_TRUE(ini.EraseSection("App"));
    EXPECT_FALSE(ini.SectionExists("App"));
    EXPECT_EQ(Get(), "[Other]\nA=4\n");
}

} // namespace
