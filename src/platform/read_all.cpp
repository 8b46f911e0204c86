#include "platform/read_all.h"

#include <cerrno>

#include <unistd.h>

TReadAllResult ReadAll(int Fd, std::string& Text, std::size_t Limit)
{
    Text.clear();
    char Buf[65536];
    for (;;) {
        const ssize_t N = ::read(Fd, Buf, sizeof Buf);
        if (N < 0 && errno == EINTR)
            continue;
        if (N < 0)
            return raError;
        if (N == 0)
            return raDone;
        if (static_cast<std::size_t>(N) > Limit - Text.size())
            return raTooLarge;
        Text.append(Buf, static_cast<std::size_t>(N));
    }
}
