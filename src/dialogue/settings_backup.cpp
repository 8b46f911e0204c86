#include "dialogue/settings_backup.h"

#include "rds/settings_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Env(const char* Name)
{
    const char* V = std::getenv(Name);
    return V ? std::string(V) : std::string();
}

} // namespace

std::string DefaultBackupFolder()
{
    std::string Base = Env("XDG_DATA_HOME");
    if (Base.empty() || Base.front() != '/') {
        std::string Home = Env("HOME");
        if (Home.empty()) {
            if (const passwd* Pw = ::getpwuid(::getuid()); Pw && Pw->pw_dir)
                Home = Pw->pw_dir;
        }
        Base = Home + "/.local/share";
    }
    return Base + "/kvxc/backups";
}

std::string BackupFileName(const std::string& Serial, const TSystemTime& UTC)
{
    std::string Name;
    for (char C : Serial)
        Name += (std::isalnum(static_cast<unsigned char>(C)) || C == '-' || C == '_') ? C : '_';
    if (Name.empty())
        Name = "encoder";
    char Time[64];
    std::snprintf(Time, sizeof Time, "-%.4d%.2d%.2dT%.2d%.2d%.2dZ.kvx", UTC.wYear, UTC.wMonth, UTC.wDay, UTC.wHour,
        UTC.wMinute, UTC.wSecond);
    return Name + Time;
}

bool SaveSettingsBackup(
    const TBRDSDataValidator& Record, const std::string& File, std::string& Path, std::string& Error)
{
    if (!File.empty()) {
        Path = File;
    } else {
        const std::string Folder = DefaultBackupFolder();
        std::error_code Ec, StatEc;
        fs::create_directories(Folder, Ec);
        if (!fs::is_directory(Folder, StatEc)) {
            Error = "Cannot create the folder \"" + Folder + "\"" + (Ec ? ": " + Ec.message() : std::string());
            return false;
        }
        const std::string Name = BackupFileName(Record.Serial, UtcNow());
        const std::string Stem = Folder + "/" + Name.substr(0, Name.size() - 4);
        Path = Stem + ".kvx";
        for (int N = 2; fs::exists(fs::symlink_status(Path, Ec)); ++N)
            Path = Stem + "-" + std::to_string(N) + ".kvx";
    }
    return SaveSettingsFile(Record, Path, Error);
}
