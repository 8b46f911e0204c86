#include "_conn/port_problem.h"

#include <cerrno>
#include <cstring>

#include <grp.h>
#include <sys/stat.h>

namespace {

std::string DevicePath(const std::string& Port)
{
    return !Port.empty() && Port.front() == '/' ? Port : "/dev/" + Port;
}

std::string PortList(const std::vector<std::string>& Ports)
{
    if (Ports.empty())
        return "no serial port is present: plug the adapter in, then look at \"sudo dmesg | tail\" for the name it got";
    std::string list;
    for (const std::string& p : Ports)
        list += (list.empty() ? "" : ", ") + p;
    return "the ports present are " + list;
}

// The group that may use the device: its own group when that group may read
// and write it (dialout on Debian, uucp elsewhere), else dialout.
std::string PortGroup(const std::string& Path)
{
    struct stat st { };
    if (::stat(Path.c_str(), &st) == 0 && st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        if (const group* g = ::getgrgid(st.st_gid); g && g->gr_name)
            return g->gr_name;
    return "dialout";
}

// What to do about one program that holds the port.
std::string HolderAdvice(const TPortHolder& H)
{
    if (H.Name == "ModemManager")
        return "ModemManager probes new serial adapters for modems: keep it away from this one with a udev rule "
               "that sets ENV{ID_MM_DEVICE_IGNORE}=\"1\" for the adapter, or stop it with \"sudo systemctl stop "
               "ModemManager\"";
    if (H.Name == "brltty")
        return "brltty claims some USB serial adapters for braille displays: remove it (\"sudo apt remove brltty\") "
               "if no braille display is used";
    return "close " + H.Name + ", or end it with \"kill " + std::to_string(H.Pid) + "\"";
}

} // namespace

std::string PortProblemText(
    const std::string& Port, const TPortProblem& Problem, const std::vector<std::string>& PortsPresent)
{
    const std::string path = DevicePath(Port);
    switch (Problem.Kind) {
    case ppNone:
        return {};
    case ppLost:
        return path + " went away while connected (adapter unplugged?): plug it back in and connect again; "
            + PortList(PortsPresent) + ".";
    case ppHeld:
        break;
    case ppOpen:
        switch (Problem.Errno) {
        case EACCES:
        case EPERM:
            return "No permission to open " + path + ": add your user to the " + PortGroup(path)
                + " group: sudo usermod -aG " + PortGroup(path) + " $USER, then log in again.";
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return path + " does not exist: " + PortList(PortsPresent) + ".";
        case EBUSY:
        case EWOULDBLOCK:
            break;
        default:
            return "Cannot open " + path + ": " + std::strerror(Problem.Errno) + ".";
        }
        break;
    }
    if (Problem.Holders.empty())
        return path + " is in use by another program: close it (\"sudo fuser -v " + path
            + "\" names it; a modem manager often probes new USB adapters: stop it with \"sudo systemctl stop "
              "ModemManager\").";
    std::string names;
    std::string advice;
    for (const TPortHolder& h : Problem.Holders) {
        names += (names.empty() ? "" : ", ") + h.Name + " (pid " + std::to_string(h.Pid) + ")";
        advice += (advice.empty() ? "" : "; ") + HolderAdvice(h);
    }
    return path + " is in use by " + names + ": " + advice + ".";
}
