#include "app/config.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

#include "platform/ini_file.h"

namespace fs = std::filesystem;

const TConfigData DefConfigData = {0, 0, 800, 600, false, std::string(), 5};
const char* const BuildTreeMarker = "kvx-build-tree";

namespace {

const char* const SectionApp = "Application";
const char* const SectionConn = "Conn";
const char* const IniName = "kvxc.ini";

std::string Env(const char* Name)
{
    const char* v = std::getenv(Name);
    return v ? std::string(v) : std::string();
}

// Creates Folder with its parents; true when it exists as a folder afterwards.
bool MakeFolder(const std::string& Folder)
{
    std::error_code ec;
    fs::create_directories(Folder, ec);
    return fs::is_directory(Folder, ec);
}

// Whether a file can be created in Folder: the only sure test (permission
// bits do not tell about read-only mounts, and root ignores them).
bool CanWriteIn(const std::string& Folder)
{
    std::string name = Folder + "/.kvxc-probe-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(name.c_str());
    return true;
}

} // namespace

std::string CutConfigPort(const std::string& Port)
{
    std::string s = Port.substr(0, Port.find('\0'));
    if (s.size() > ConfigPortMax)
        s.resize(ConfigPortMax);
    return s;
}

TDMI::TDMI() : TDMI(ProgramFileFolder())
{
}

TDMI::TDMI(std::string ProgramFolder) : FProgramFolder(std::move(ProgramFolder))
{
    EnsureConfigFolder();
}

std::string TDMI::ProgramFileFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path())
        return exe.parent_path().string();
    return fs::current_path(ec).string();
}

namespace {

// An XDG base folder: the variable when it holds an absolute path (a relative
// one is ignored), else Fallback under the home folder.
std::string XdgFolder(const char* Variable, const char* Fallback)
{
    std::string base = Env(Variable);
    if (base.empty() || base.front() != '/') {
        std::string home = Env("HOME");
        if (home.empty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
                home = pw->pw_dir;
        }
        base = home + "/" + Fallback;
    }
    return base;
}

} // namespace

std::string TDMI::UserConfigFolder()
{
    return XdgFolder("XDG_CONFIG_HOME", ".config") + "/kvxc/conf";
}

std::string StateFolder(bool Create)
{
    std::string folder = XdgFolder("XDG_STATE_HOME", ".local/state") + "/kvxc";
    if (Create && !MakeFolder(folder))
        return {};
    return folder;
}

bool TDMI::InBuildTree(const std::string& ProgramFolder)
{
    std::error_code ec;
    return fs::is_regular_file(fs::path(ProgramFolder) / BuildTreeMarker, ec);
}

void TDMI::EnsureConfigFolder()
{
    const std::string own = Env("KVX_CONFIG_DIR");
    if (!own.empty()) {
        FConfigFolder = own;
    } else {
        // Only a build tree keeps its configuration beside the program: an
        // installed one that did so would write into a system folder (as
        // root it could), which no package owns and nothing removes.
        if (InBuildTree(FProgramFolder)) {
            FConfigFolder = FProgramFolder + "/conf";
            if (MakeFolder(FConfigFolder) && CanWriteIn(FConfigFolder))
                return;
        }
        FConfigFolder = UserConfigFolder();
    }
    if (!MakeFolder(FConfigFolder))
        std::fprintf(stderr, "kvxc: cannot create the configuration folder %s\n", FConfigFolder.c_str());
}

std::string TDMI::FileName() const
{
    return FConfigFolder + "/" + IniName;
}

void TDMI::ReadConfig(TConfigData& AConfig) const
{
    const TIniFile ini(FileName());
    const TConfigData& d = DefConfigData;
    AConfig.APP_Width = ini.ReadInteger(SectionApp, "WIDTH", d.APP_Width);
    AConfig.APP_Height = ini.ReadInteger(SectionApp, "HEIGHT", d.APP_Height);
    AConfig.APP_X = ini.ReadInteger(SectionApp, "X", d.APP_X);
    AConfig.APP_Y = ini.ReadInteger(SectionApp, "Y", d.APP_Y);
    AConfig.APP_Maximized = ini.ReadBool(SectionApp, "Maximized", d.APP_Maximized);
    AConfig.CONN_PORT = CutConfigPort(ini.ReadString(SectionConn, "Port", d.CONN_PORT));
    const std::int32_t timeout = ini.ReadInteger(SectionConn, "ReplyTimeout", d.CONN_REPLY_TIMEOUT);
    AConfig.CONN_REPLY_TIMEOUT = timeout < 0 ? d.CONN_REPLY_TIMEOUT : std::min(timeout, ConfigReplyTimeoutMax);
}

bool TDMI::WriteConfig(const TConfigData& AConfig) const
{
    // Every write replaces the file through a temporary file; the first one
    // that fails stops the rest, so the file on disk is never half written.
    TIniFile ini(FileName());
    errno = 0;
    const bool ok = ini.WriteInteger(SectionApp, "WIDTH", AConfig.APP_Width)
        && ini.WriteInteger(SectionApp, "HEIGHT", AConfig.APP_Height)
        && ini.WriteInteger(SectionApp, "X", AConfig.APP_X) && ini.WriteInteger(SectionApp, "Y", AConfig.APP_Y)
        && ini.WriteBool(SectionApp, "Maximized", AConfig.APP_Maximized)
        && ini.WriteString(SectionConn, "Port", CutConfigPort(AConfig.CONN_PORT))
        && ini.WriteInteger(SectionConn, "ReplyTimeout", AConfig.CONN_REPLY_TIMEOUT);
    if (!ok) {
        const int err = errno;
        std::fprintf(stderr, "kvxc: cannot write the configuration file %s%s%s\n", FileName().c_str(), err ? ": " : "",
            err ? std::strerror(err) : "");
    }
    return ok;
}

void TDMI::DefaultConfig(TConfigData& AConfig)
{
    AConfig = DefConfigData;
}
