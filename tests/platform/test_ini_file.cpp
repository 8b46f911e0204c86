#include "platform/ini_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = Temp.Path();
        Path = (Dir / "kvxc.ini").string();
    }
    void Put(const std::string& Text) { WriteFile(Path, Text); }
    std::string Get() { return ReadFile(Path); }
    TTempDir Temp {"kvx-ini"};
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
    fs::create_directory(Path + ".tmp"); // the save cannot write beside the file
    EXPECT_FALSE(ini.WriteInteger("App", "Width", 1));
    EXPECT_EQ(ini.ReadInteger("App", "Width", 0), 1); // kept in memory
    EXPECT_EQ(Get(), "[App]\nWidth=800\n");
    TIniFile nowhere((Dir / "no-folder" / "kvxc.ini").string());
    EXPECT_FALSE(nowhere.WriteString("Conn", "Port", "x"));
}

} // namespace
