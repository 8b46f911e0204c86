#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "app/config.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Each test gets its own temporary folder and a clean environment: no
// configuration folder override, XDG_CONFIG_HOME and HOME inside the folder.
class Config : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tmp.isValid());
        Root = Tmp.path().toStdString();
        for (const char* name : {"KVX_CONFIG_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            Saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        ::unsetenv("KVX_CONFIG_DIR");
        ::setenv("XDG_CONFIG_HOME", (Root + "/xdg").c_str(), 1);
        ::setenv("HOME", (Root + "/home").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : Saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    QTemporaryDir Tmp;
    std::string Root;
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved;
};

TEST_F(Config, FirstRunCreatesTheFolderAndWritesEveryKeyInOrder)
{
    // A build tree: the marker beside the program, no conf folder yet.
    const std::string prog = Root + "/build/src/app";
    WriteFile(prog + "/" + BuildTreeMarker, "");
    TDMI dmi(prog);
    EXPECT_EQ(dmi.ConfigFolder(), prog + "/conf");
    EXPECT_EQ(dmi.FileName(), prog + "/conf/kvxc.ini");
    EXPECT_TRUE(fs::is_directory(prog + "/conf"));
    EXPECT_FALSE(fs::exists(dmi.FileName()));

    TConfigData config {1, 2, 3, 4, true, "x"};
    dmi.ReadConfig(config);
    EXPECT_EQ(config, (TConfigData {0, 0, 800, 600, false, ""}));
    TConfigData reset {5, 6, 7, 8, true, "y"};
    TDMI::DefaultConfig(reset);
    EXPECT_EQ(reset, config);

    config.APP_X = 120;
    config.APP_Y = -8;
    ASSERT_TRUE(dmi.WriteConfig(config));
    EXPECT_EQ(ReadFile(dmi.FileName()),
        "[Application]\nWIDTH=800\nHEIGHT=600\nX=120\nY=-8\nMaximized=0\n[Conn]\nPort=\nReplyTimeout=5\n");
    // No temporary or probe file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(prog + "/conf"), fs::directory_iterator()), 1);

    TConfigData back;
    TDMI(prog).ReadConfig(back);
    EXPECT_EQ(back, config);
}

TEST_F(Config, ReadsWhatIsThereAndDefaultsForTheRest)
{
    const std::string longPort = "/dev/serial/by-id/" + std::string(400, 'p');
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    const TConfigData d = DefConfigData;

    struct Case {
        const char* What;
        std::string Ini;
        TConfigData Expected;
    };
    const Case cases[] = {
        {"only the port", "[Conn]\nPort=ttyUSB0\n", {0, 0, 800, 600, false, "ttyUSB0"}},
        {"all keys, odd case, Windows line ends",
            "[APPLICATION]\r\nwidth=1024\r\nHeight=700\r\nx=-1920\r\nY=33\r\nMAXIMIZED=1\r\n[conn]\r\nPORT=ttyACM0\r\n",
            {-1920, 33, 1024, 700, true, "ttyACM0"}},
        {"non-numbers", "[Application]\nWIDTH=abc\nHEIGHT=12.5\nX=\nY=99999999999\nMaximized=yes\n",
            {0, 0, 800, 600, false, ""}},
        {"any non-zero number is true", "[Application]\nMaximized=-2\n", {0, 0, 800, 600, true, ""}},
        {"keys in the wrong section", "[Conn]\nX=5\n[Application]\nPort=ttyS0\n[Other]\nWIDTH=1\n", d},
        {"a long port is cut", "[Conn]\nPort=" + longPort + "\n", {0, 0, 800, 600, false, longPort.substr(0, 255)}},
        {"a port with a NUL", std::string("[Conn]\nPort=ttyUSB1\0junk\n", 23), {0, 0, 800, 600, false, "ttyUSB1"}},
        {"huge values",
            "[Application]\nWIDTH=" + std::string(200000, '9') + "\n[Conn]\nPort=" + std::string(1 << 20, 'z') + "\n",
            {0, 0, 800, 600, false, std::string(255, 'z')}},
        {"binary", binary, d},
        {"reply time-out off", "[Conn]\nReplyTimeout=0\n", {0, 0, 800, 600, false, "", 0}},
        {"reply time-out too long", "[Conn]\nReplyTimeout=86400\n", {0, 0, 800, 600, false, "", 600}},
        {"reply time-out negative", "[Conn]\nReplyTimeout=-1\n", d},
        {"empty", "", d},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        ::setenv("KVX_CONFIG_DIR", (Root + "/c").c_str(), 1);
        TDMI dmi;
        WriteFile(dmi.FileName(), c.Ini);
        TConfigData config {9, 9, 9, 9, true, "stale"};
        dmi.ReadConfig(config);
        EXPECT_EQ(config, c.Expected);
        // Whatever was read is written back and read again unchanged.
        ASSERT_TRUE(dmi.WriteConfig(config));
        TConfigData again;
        dmi.ReadConfig(again);
        EXPECT_EQ(again, config);
    }
}

TEST_F(Config, StateFolderFollowsXdgStateHome)
{
    ::setenv("HOME", (Root + "/home").c_str(), 1);
    struct Case {
        const char* StateHome; // nullptr: unset
        std::string Folder;
    };
    for (const Case& c :
        {Case {nullptr, Root + "/home/.local/state/kvxc"}, Case {"relative", Root + "/home/.local/state/kvxc"},
            Case {"", Root + "/home/.local/state/kvxc"}, Case {"/abs", "/abs/kvxc"}}) {
        SCOPED_TRACE(c.StateHome ? c.StateHome : "unset");
        if (c.StateHome)
            ::setenv("XDG_STATE_HOME", c.StateHome, 1);
        else
            ::unsetenv("XDG_STATE_HOME");
        EXPECT_EQ(StateFolder(), c.Folder);
    }
    ::setenv("XDG_STATE_HOME", (Root + "/state").c_str(), 1);
    EXPECT_FALSE(fs::exists(Root + "/state"));
    EXPECT_EQ(StateFolder(true), Root + "/state/kvxc");
    EXPECT_TRUE(fs::is_directory(Root + "/state/kvxc"));
    // A folder that cannot be made: a file stands where it belongs.
    WriteFile(Root + "/blocked", "");
    ::setenv("XDG_STATE_HOME", (Root + "/blocked").c_str(), 1);
    EXPECT_EQ(StateFolder(true), "");
}

TEST_F(Config, WritingKeepsForeignLinesAndUpdatesKeysWhateverTheirCase)
{
    ::setenv("KVX_CONFIG_DIR", (Root + "/own/deeper").c_str(), 1);
    TDMI dmi(Root + "/prog");
    EXPECT_EQ(dmi.FileName(), Root + "/own/deeper/kvxc.ini");
    EXPECT_FALSE(fs::exists(Root + "/prog/conf"));
    WriteFile(dmi.FileName(), "; kept\n[application]\nwidth=1\nTheme=dark\n\n[Other]\nA=1\n");

    ASSERT_TRUE(dmi.WriteConfig({10, 20, 1280, 720, true, "ttyUSB2"}));
    EXPECT_EQ(ReadFile(dmi.FileName()),
        "; kept\n[application]\nwidth=1280\nTheme=dark\nHEIGHT=720\nX=10\nY=20\nMaximized=1\n\n[Other]\nA=1\n"
        "[Conn]\nPort=ttyUSB2\nReplyTimeout=5\n");
}

TEST_F(Config, AFailedWriteIsReportedAndKeepsTheOldFile)
{
    TDMI dmi(Root + "/prog");
    const std::string old = "[Application]\nX=5\n";
    WriteFile(dmi.FileName(), old);

    // No file can be opened any more: the replacement cannot be written.
    const int lowest = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(lowest, 0);
    ::close(lowest);
    rlimit limit {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit before = limit;
    limit.rlim_cur = static_cast<rlim_t>(lowest);
    testing::internal::CaptureStderr();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    const bool written = dmi.WriteConfig({1, 2, 3, 4, false, "ttyS0"});
    setrlimit(RLIMIT_NOFILE, &before);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(written);
    EXPECT_NE(err.find("cannot write the configuration file " + dmi.FileName()), std::string::npos) << err;
    EXPECT_EQ(ReadFile(dmi.FileName()), old);
}

TEST_F(Config, OnlyABuildTreeKeepsItsConfigurationBesideTheProgram)
{
    // An installed program: its folder exists and (as root) could be written,
    // yet nothing is created in it; the file goes to the user's folder.
    const std::string prog = Root + "/usr/bin";
    fs::create_directories(prog);
    struct Case {
        const char* Xdg; // nullptr: unset
        std::string Expected;
    };
    const Case cases[] = {
        {"xdg", Root + "/xdg/kvxc/conf"}, {nullptr, Root + "/home/.config/kvxc/conf"},
        {"relative/xdg", Root + "/home/.config/kvxc/conf"}, // only an absolute path counts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expected);
        if (c.Xdg && c.Xdg[0] == 'x')
            ::setenv("XDG_CONFIG_HOME", (Root + "/" + c.Xdg).c_str(), 1);
        else if (c.Xdg)
            ::setenv("XDG_CONFIG_HOME", c.Xdg, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        TDMI dmi(prog);
        EXPECT_EQ(dmi.ConfigFolder(), c.Expected);
        EXPECT_TRUE(dmi.WriteConfig(DefConfigData));
        EXPECT_TRUE(fs::exists(c.Expected + "/kvxc.ini"));
        EXPECT_TRUE(fs::is_empty(prog));
    }

    // The marker is what makes a build tree; a folder of that name is none.
    fs::create_directories(prog + "/" + BuildTreeMarker);
    EXPECT_EQ(TDMI(prog).ConfigFolder(), Root + "/home/.config/kvxc/conf");
    fs::remove(prog + "/" + BuildTreeMarker);
    WriteFile(prog + "/" + BuildTreeMarker, "");
    EXPECT_EQ(TDMI(prog).ConfigFolder(), prog + "/conf");
    fs::remove(prog + "/conf");

    // A folder named outright wins over the build tree; it is used or
    // reported, never swapped for another.
    WriteFile(Root + "/file", "not a folder");
    ::setenv("KVX_CONFIG_DIR", (Root + "/file/own").c_str(), 1);
    testing::internal::CaptureStderr();
    TDMI dmi(prog);
    EXPECT_FALSE(dmi.WriteConfig(DefConfigData));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(dmi.ConfigFolder(), Root + "/file/own");
    EXPECT_NE(err.find("cannot create the configuration folder " + Root + "/file/own"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot write the configuration file"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(prog + "/conf"));
}

// A build tree whose conf folder takes no new file, for any user (root
// included): a folder of /proc stands in for a read-only mount.
TEST_F(Config, ABuildTreeThatCannotBeWrittenFallsBackToTheUserFolder)
{
    const std::string prog = Root + "/build/src/app";
    fs::create_directories(prog);
    WriteFile(prog + "/" + BuildTreeMarker, "");
    fs::create_directory_symlink("/proc/self", prog + "/conf");
    TDMI dmi(prog);
    EXPECT_EQ(dmi.ConfigFolder(), Root + "/xdg/kvxc/conf");
    EXPECT_TRUE(dmi.WriteConfig(DefConfigData));
    EXPECT_TRUE(fs::exists(Root + "/xdg/kvxc/conf/kvxc.ini"));
}

// Permission bits do not stop root: the store runs as "nobody" in a child.
TEST_F(Config, ReadOnlyProgramFolderFallsBackToTheUserFolder)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root, the user nobody and setpriv";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    fs::permissions(Root, fs::perms(0755));
    const std::string xdg = Root + "/xdg";
    fs::create_directories(xdg);
    ASSERT_EQ(::chown(xdg.c_str(), uid, gid), 0);

    struct Case {
        const char* What;
        bool ConfExists;
    };
    for (const Case& c : {Case {"conf cannot be created", false}, Case {"conf cannot be written", true}}) {
        SCOPED_TRACE(c.What);
        const std::string prog = Root + (c.ConfExists ? "/prog2" : "/prog1");
        fs::create_directories(prog + "/conf");
        WriteFile(prog + "/" + BuildTreeMarker, ""); // a build tree that user cannot write
        if (!c.ConfExists)
            fs::remove(prog + "/conf");
        fs::permissions(prog, fs::perms(0555));
        if (c.ConfExists)
            fs::permissions(prog + "/conf", fs::perms(0555));

        TChildProcess p;
        ASSERT_TRUE(p.Start("/usr/bin/setpriv",
            {"--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid), "--clear-groups", CONFIG_PROBE_PATH,
                prog},
            {"KVX_CONFIG_DIR", "XDG_CONFIG_HOME=" + xdg}));
        ASSERT_TRUE(p.WaitForEnd(30000));
        const QString out = QString::fromStdString(p.Out()).trimmed();
        EXPECT_EQ(p.ExitCode(), 0) << p.Err();
        EXPECT_EQ(out.toStdString(), xdg + "/kvxc/conf/kvxc.ini");
        EXPECT_NE(ReadFile(xdg + "/kvxc/conf/kvxc.ini").find("X=7\n"), std::string::npos);
        EXPECT_EQ(fs::exists(prog + "/conf"), c.ConfExists);
        if (c.ConfExists) {
            EXPECT_TRUE(fs::is_empty(prog + "/conf"));
        }
        fs::remove(xdg + "/kvxc/conf/kvxc.ini");
    }
}

} // namespace
