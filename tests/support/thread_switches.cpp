#include "support/thread_switches.h"

#include <filesystem>
#include <fstream>

namespace {

// The switches a /proc status file counts; -1 when it cannot be read.
long SwitchesIn(const std::filesystem::path& Status)
{
    std::ifstream In(Status);
    if (!In)
        return -1;
    long Total = 0;
    std::string Key;
    while (In >> Key)
        if (Key == "voluntary_ctxt_switches:" || Key == "nonvoluntary_ctxt_switches:") {
            long Value = 0;
            In >> Value;
            Total += Value;
        }
    return Total;
}

} // namespace

long ThreadSwitches(const std::string& Name)
{
    long Total = -1;
    std::error_code Ec;
    for (const auto& Task : std::filesystem::directory_iterator("/proc/self/task", Ec)) {
        std::ifstream Comm(Task.path() / "comm");
        std::string Seen;
        if (!std::getline(Comm, Seen) || Seen != Name.substr(0, 15))
            continue;
        const long N = SwitchesIn(Task.path() / "status");
        if (N >= 0)
            Total = (Total < 0 ? 0 : Total) + N;
    }
    return Total;
}

long ProcessSwitches(pid_t Pid)
{
    return SwitchesIn("/proc/" + std::to_string(Pid) + "/status");
}
