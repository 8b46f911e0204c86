#pragma once
// Which other processes hold a device open. The exclusive lock and the
// terminal's exclusive mode keep out only programs that take them too; a
// program that opens the port plainly (a modem manager probing a new adapter,
// a terminal program) is found here instead, through /proc/*/fd.

#include <string>
#include <vector>

struct TPortHolder {
    int Pid;
    std::string Name; // /proc/PID/comm
    bool operator==(const TPortHolder&) const = default;
};

// The processes other than this one that hold Path's device open, by pid.
// Devices are compared by their device number, so any path to the same
// device counts. For a pseudo-terminal, a process that holds its master side
// is the far end of the line, not a rival, and is left out. Only terminals
// are looked at: a device everyone shares (/dev/null) has no rivals. Processes whose
// descriptors this user may not read are not seen.
std::vector<TPortHolder> FindPortHolders(const std::string& Path);
