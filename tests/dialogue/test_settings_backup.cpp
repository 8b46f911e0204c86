#include "dialogue/settings_backup.h"

#include "rds/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(SettingsBackup, FileNameFromSerialAndUtcTime)
{
    const TSystemTime T {2026, 12, 4, 10, 8, 1, 56, 0};
    const std::pair<const char*, const char*> Cases[] = {
        {"KV-0042_b", "KV-0042_b-20261210T080156Z.kvx"},
        {"../a b/c", "___a_b_c-20261210T080156Z.kvx"}, // never leaves the folder
        {"", "encoder-20261210T080156Z.kvx"},
    };
    for (const auto& [Serial, Name] : Cases)
        EXPECT_EQ(BackupFileName(Serial, T), Name) << Serial;
}

TEST(SettingsBackup, FolderFollowsXdgDataHome)
{
    const char* OldHome = std::getenv("HOME");
    const std::string Home = OldHome ? OldHome : "";
    ::setenv("HOME", "/home/u", 1);
    const std::pair<const char*, const char*> Cases[] = {
        {"/data", "/data/kvxc/backups"},
        {"relative", "/home/u/.local/share/kvxc/backups"},
        {"", "/home/u/.local/share/kvxc/backups"},
    };
    for (const auto& [Xdg, Folder] : Cases) {
        ::setenv("XDG_DATA_HOME", Xdg, 1);
        EXPECT_EQ(DefaultBackupFolder(), Folder) << Xdg;
    }
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", Home.c_str(), 1);
}

TEST(SettingsBackup, BackupsOfTheSameSecondAreAllKept)
{
    std::string Dir = (fs::temp_directory_path() / "kvx-backup-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(Dir.data()), nullptr);
    ::setenv("XDG_DATA_HOME", Dir.c_str(), 1);
    SetUtcNowOverride(std::int64_t(1'796'890'000'000));

    TBRDSDataValidator R;
    R.Serial = "S1";
    std::string First, Second, Error;
    R.PI = 0x1111;
    ASSERT_TRUE(SaveSettingsBackup(R, "", First, Error)) << Error;
    R.PI = 0x2222;
    ASSERT_TRUE(SaveSettingsBackup(R, "", Second, Error)) << Error;
    EXPECT_NE(First, Second);
    TBRDSDataValidator Back;
    ASSERT_TRUE(LoadSettingsFile(First, Back, Error)) << Error;
    EXPECT_EQ(Back.PI, 0x1111);

    SetUtcNowOverride(std::nullopt);
    ::unsetenv("XDG_DATA_HOME");
    fs::remove_all(Dir);
}
