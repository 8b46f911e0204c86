#include "_conn/port_holders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Major numbers of the pseudo-terminal slaves and of the master multiplexer.
constexpr unsigned PtySlaveMajorFirst = 136;
constexpr unsigned PtySlaveMajorLast = 143;
constexpr unsigned PtmxMajor = 5;
constexpr unsigned PtmxMinor = 2;

// One device looked for.
struct TTarget {
    dev_t Device;
    long PtyIndex; // the pseudo-terminal's index, or -1
};

bool IsNumber(const char* S)
{
    if (!*S)
        return false;
    for (; *S; ++S)
        if (*S < '0' || *S > '9')
            return false;
    return true;
}

// Reads a directory's entries with getdents64 into one buffer, so that a small
// directory (a process's descriptors) costs one call.
class TDirEntries {
public:
    // Calls Each(name) for every entry of the open directory Fd.
    template <typename F>
    void ForEach(int Fd, F Each)
    {
        for (;;) {
            const long n = ::syscall(SYS_getdents64, Fd, FBuf, sizeof FBuf);
            if (n <= 0)
                return;
            for (long at = 0; at < n;) {
                const auto* e = reinterpret_cast<const Entry*>(FBuf + at);
                at += e->Length;
                Each(e->Name);
            }
            // With room for more left over, the listing is complete.
            if (n < static_cast<long>(sizeof FBuf) - 1024)
                return;
        }
    }

private:
    struct Entry {
        std::uint64_t Inode;
        std::int64_t Offset;
        unsigned short Length;
        unsigned char Type;
        char Name[1];
    };
    alignas(8) char FBuf[32768];
};

// Index of the pseudo-terminal a master descriptor leads to, or -1.
long MasterIndex(int Proc, const char* Pid, const char* Fd)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/fdinfo/%s", Pid, Fd);
    const int f = ::openat(Proc, path, O_RDONLY | O_CLOEXEC);
    if (f < 0)
        return -1;
    char text[1024];
    const ssize_t n = ::read(f, text, sizeof text - 1);
    ::close(f);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const char* at = std::strstr(text, "tty-index:");
    return at ? std::strtol(at + 10, nullptr, 10) : -1;
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

std::string ProcessName(int Proc, const char* Pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/comm", Pid);
    const int f = ::openat(Proc, path, O_RDONLY | O_CLOEXEC);
    if (f < 0)
        return {};
    char text[64];
    const ssize_t n = ::read(f, text, sizeof text);
    ::close(f);
    std::string name(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

} // namespace

std::vector<std::vector<TPortHolder>> FindPortHolders(const std::vector<std::string>& Paths)
{
    std::vector<std::vector<TPortHolder>> holders(Paths.size());
    std::vector<std::pair<std::size_t, TTarget>> targets; // index into Paths, device
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        struct stat st { };
        if (Paths[i].empty() || ::stat(Paths[i].c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || !IsTerminal(st.st_rdev))
            continue;
        const unsigned major = ::major(st.st_rdev);
        const long ptyIndex = major >= PtySlaveMajorFirst && major <= PtySlaveMajorLast
            ? static_cast<long>((major - PtySlaveMajorFirst) * 256 + ::minor(st.st_rdev))
            : -1;
        targets.push_back({i, {st.st_rdev, ptyIndex}});
    }
    if (targets.empty())
        return holders;

    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return holders;
    char self[16];
    std::snprintf(self, sizeof self, "%d", static_cast<int>(::getpid()));
    TDirEntries processes, descriptors;
    std::vector<char> held(targets.size());
    processes.ForEach(proc, [&](const char* pid) {
        if (!IsNumber(pid) || std::strcmp(pid, self) == 0)
            return;
        char path[64];
        std::snprintf(path, sizeof path, "%s/fd", pid);
        const int dir = ::openat(proc, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            return; // gone, or not ours to look at
        std::fill(held.begin(), held.end(), 0);
        bool any = false;
        descriptors.ForEach(dir, [&](const char* fd) {
            struct stat st { };
            if (!IsNumber(fd) || ::fstatat(dir, fd, &st, 0) != 0 || !S_ISCHR(st.st_mode))
                return;
            for (std::size_t t = 0; t < targets.size(); ++t)
                if (st.st_rdev == targets[t].second.Device)
                    held[t] = any = true;
        });
        if (any) {
            // A holder of a pseudo-terminal that also holds its master is the
            // line's far end. Rare enough to walk its descriptors again.
            std::vector<long> masters;
            ::lseek(dir, 0, SEEK_SET);
            descriptors.ForEach(dir, [&](const char* fd) {
                struct stat st { };
                if (IsNumber(fd) && ::fstatat(dir, fd, &st, 0) == 0 && S_ISCHR(st.st_mode)
                    && ::major(st.st_rdev) == PtmxMajor && ::minor(st.st_rdev) == PtmxMinor)
                    masters.push_back(MasterIndex(proc, pid, fd));
            });
            const std::string name = ProcessName(proc, pid);
            for (std::size_t t = 0; t < targets.size(); ++t) {
                const long index = targets[t].second.PtyIndex;
                if (held[t] && (index < 0 || std::find(masters.begin(), masters.end(), index) == masters.end()))
                    holders[targets[t].first].push_back({std::atoi(pid), name});
            }
        }
        ::close(dir);
    });
    ::close(proc);
    for (auto& list : holders)
        std::sort(list.begin(), list.end(), [](const TPortHolder& A, const TPortHolder& B) { return A.Pid < B.Pid; });
    return holders;
}

std::vector<TPortHolder> FindPortHolders(const std::string& Path)
{
    return FindPortHolders(std::vector<std::string> {Path}).front();
}
