#include "support/pty.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

TPty::TPty()
{
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) {
        ADD_FAILURE() << "cannot create a pseudo-terminal";
        return;
    }
    char Name[128] = {};
    if (::ptsname_r(FMaster, Name, sizeof Name) != 0) {
        ADD_FAILURE() << "cannot name the pseudo-terminal";
        return;
    }
    FSlavePath = Name;
}

void TPty::MakeRaw() const
{
    termios T {};
    ::tcgetattr(FMaster, &T);
    ::cfmakeraw(&T);
    ::tcsetattr(FMaster, TCSANOW, &T);
}

void TPty::CloseMaster()
{
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

void TPty::Write(const std::string& Bytes) const
{
    if (!WriteAll(FMaster, Bytes))
        ADD_FAILURE() << "master side does not drain";
}

std::string TPty::Read(std::size_t Count) const
{
    std::string Out;
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Out.size() < Count && std::chrono::steady_clock::now() < End) {
        pollfd P {FMaster, POLLIN, 0};
        if (::poll(&P, 1, 100) <= 0)
            continue;
        char Buf[4096];
        const ssize_t R = ::read(FMaster, Buf, std::min(sizeof Buf, Count - Out.size()));
        if (R > 0)
            Out.append(Buf, static_cast<std::size_t>(R));
        else if (R == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return Out;
}

bool WriteAll(int Fd, const std::string& Bytes, int StallMs)
{
    std::size_t Done = 0;
    while (Done < Bytes.size()) {
        const ssize_t W = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
        if (W > 0) {
            Done += static_cast<std::size_t>(W);
            continue;
        }
        if (W < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd P {Fd, POLLOUT, 0};
        if (::poll(&P, 1, StallMs) <= 0)
            return false;
    }
    return true;
}

int OpenRawTerminal(const std::string& Path, int Flags)
{
    const int Fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | Flags);
    if (Fd < 0)
        return Fd;
    termios T {};
    ::tcgetattr(Fd, &T);
    ::cfmakeraw(&T);
    ::tcsetattr(Fd, TCSANOW, &T);
    return Fd;
}

int OpenDescriptorCount()
{
    int N = 0;
    for (int Fd = 0; Fd < 4096; ++Fd)
        if (::fcntl(Fd, F_GETFD) != -1)
            ++N;
    return N;
}
