#pragma once
// Which other processes hold a device open. The exclusive lock and the
// terminal's exclusive mode keep out only programs that take them too; a
// program that opens the port plainly (a modem manager probing a new adapter,
// a terminal program) is found here instead, through /proc/*/fd.
//
// The walk is what a connect pays for every process on the machine, so it
// does the least per process: one listing of its descriptors (getdents into
// one buffer, relative to an open /proc) and one stat of each, compared by
// device number. Whatever else a process holds is looked at only when it
// holds the device. Several devices are looked for in the same walk.

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

// The same for several devices in one walk: one list per path, in order.
std::vector<std::vector<TPortHolder>> FindPortHolders(const std::vector<std::string>& Paths);
