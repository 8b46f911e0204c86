// What the look for other holders of a port adds to Connect: the /proc scan
// alone, and the whole check (scan plus exclusive probe open) of a free
// pseudo-terminal, beside the number of processes and descriptors looked at.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "_conn/port_holders.h"
#include "_conn/serial_connection.h"

namespace {

// Median of Runs timings of F, in microseconds.
template <typename F>
double MedianMicros(int Runs, F Fn)
{
    std::vector<double> t;
    for (int i = 0; i < Runs; ++i) {
        const auto a = std::chrono::steady_clock::now();
        Fn();
        t.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void CountProcesses(int& Processes, int& Descriptors)
{
    Processes = Descriptors = 0;
    DIR* proc = ::opendir("/proc");
    while (const dirent* p = proc ? ::readdir(proc) : nullptr) {
        if (p->d_name[0] < '0' || p->d_name[0] > '9')
            continue;
        ++Processes;
        if (DIR* fds = ::opendir((std::string("/proc/") + p->d_name + "/fd").c_str())) {
            while (const dirent* f = ::readdir(fds))
                Descriptors += f->d_name[0] != '.';
            ::closedir(fds);
        }
    }
    if (proc)
        ::closedir(proc);
}

} // namespace

int main()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    const std::string slave = ::ptsname(master);
    int processes = 0, descriptors = 0;
    CountProcesses(processes, descriptors);
    const int runs = 200;
    const double scan = MedianMicros(runs, [&] { (void)FindPortHolders(slave); });
    const double check = MedianMicros(runs, [&] { (void)TConnCOM::CheckPort(slave); });
    std::printf("processes %d, descriptors %d\n", processes, descriptors);
    std::printf("holder scan      %8.0f us (median of %d)\n", scan, runs);
    std::printf("whole port check %8.0f us (median of %d)\n", check, runs);
    ::close(master);
    return 0;
}
