#include "_conn/port_holders.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Major numbers of the pseudo-terminal slaves and of the master multiplexer.
constexpr unsigned PtySlaveMajorFirst = 136;
constexpr unsigned PtySlaveMajorLast = 143;
constexpr unsigned PtmxMajor = 5;
constexpr unsigned PtmxMinor = 2;

bool IsNumber(const char* S)
{
    if (!*S)
        return false;
    for (; *S; ++S)
        if (!std::isdigit(static_cast<unsigned char>(*S)))
            return false;
    return true;
}

// Index of the pseudo-terminal a master descriptor leads to, or -1.
long MasterIndex(const std::string& FdInfo)
{
    std::ifstream in(FdInfo);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("tty-index:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10);
    return -1;
}

// Whether the device is a terminal. Pseudo-terminal slaves have no entry
// under /sys/dev/char; every other character device names its class there.
bool IsTerminal(dev_t Device)
{
    const std::string link
        = "/sys/dev/char/" + std::to_string(::major(Device)) + ":" + std::to_string(::minor(Device)) + "/subsystem";
    char target[512];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return true;
    const std::string subsystem(target, static_cast<std::size_t>(n));
    return subsystem.size() >= 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0;
}

std::string ProcessName(const std::string& ProcDir)
{
    std::ifstream in(ProcDir + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

} // namespace

std::vector<TPortHolder> FindPortHolders(const std::string& Path)
{
    std::vector<TPortHolder> holders;
    struct stat target { };
    if (Path.empty() || ::stat(Path.c_str(), &target) != 0 || !S_ISCHR(target.st_mode) || !IsTerminal(target.st_rdev))
        return holders;
    const unsigned major = ::major(target.st_rdev);
    const long ptyIndex = major >= PtySlaveMajorFirst && major <= PtySlaveMajorLast
        ? static_cast<long>((major - PtySlaveMajorFirst) * 256 + ::minor(target.st_rdev))
        : -1;

    DIR* proc = ::opendir("/proc");
    if (!proc)
        return holders;
    const int self = static_cast<int>(::getpid());
    while (const dirent* p = ::readdir(proc)) {
        if (!IsNumber(p->d_name))
            continue;
        const int pid = std::atoi(p->d_name);
        if (pid == self)
            continue;
        const std::string dir = std::string("/proc/") + p->d_name;
        DIR* fds = ::opendir((dir + "/fd").c_str());
        if (!fds)
            continue; // gone, or not ours to look at
        bool holds = false;
        bool farEnd = false;
        while (const dirent* f = ::readdir(fds)) {
            if (!IsNumber(f->d_name))
                continue;
            struct stat st { };
            if (::fstatat(::dirfd(fds), f->d_name, &st, 0) != 0 || !S_ISCHR(st.st_mode))
                continue;
            if (st.st_rdev == target.st_rdev)
                holds = true;
            else if (ptyIndex >= 0 && ::major(st.st_rdev) == PtmxMajor && ::minor(st.st_rdev) == PtmxMinor
                && MasterIndex(dir + "/fdinfo/" + f->d_name) == ptyIndex)
                farEnd = true;
        }
        ::closedir(fds);
        if (holds && !farEnd)
            holders.push_back({pid, ProcessName(dir)});
    }
    ::closedir(proc);
    std::sort(holders.begin(), holders.end(), [](const TPortHolder& A, const TPortHolder& B) { return A.Pid < B.Pid; });
    return holders;
}
