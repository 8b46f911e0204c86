#include "_conn/port_descriptor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TFileDescriptor& TFileDescriptor::operator=(TFileDescriptor&& Other) noexcept
{
    if (this != &Other)
        Reset(Other.Release());
    return *this;
}

int TFileDescriptor::Release()
{
    const int fd = FFd;
    FFd = -1;
    return fd;
}

void TFileDescriptor::Reset(int Fd)
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = Fd;
}

TFileDescriptor OpenPortExclusive(const std::string& Path)
{
    if (Path.empty())
        return {};
    TFileDescriptor fd(::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid())
        return {};
    // The lock is what keeps a second opener out when we run as root, which the
    // terminal's own exclusive mode does not.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return {};
    return fd;
}
