#include "platform/wake_event.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

bool TWakeEvent::Open()
{
    Close();
    FFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return FFd >= 0;
}

void TWakeEvent::Close()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

void TWakeEvent::Signal()
{
    if (FFd >= 0) {
        const std::uint64_t One = 1;
        [[maybe_unused]] const ssize_t N = ::write(FFd, &One, sizeof One);
    }
}

void TWakeEvent::Consume()
{
    if (FFd >= 0) {
        std::uint64_t Count;
        [[maybe_unused]] const ssize_t N = ::read(FFd, &Count, sizeof Count);
    }
}
