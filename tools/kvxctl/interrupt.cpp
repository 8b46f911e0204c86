#include "interrupt.h"

#include "platform/serve_until.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <thread>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

std::atomic<bool> GInterrupted {false};
int GInterruptFd = -1;

} // namespace

void WatchInterrupts()
{
    sigset_t Set;
    sigemptyset(&Set);
    sigaddset(&Set, SIGINT);
    sigaddset(&Set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &Set, nullptr);
    GInterruptFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::thread([Set] {
        for (;;) {
            int Signal = 0;
            if (sigwait(&Set, &Signal) != 0)
                continue;
            GInterrupted = true;
            if (GInterruptFd >= 0) {
                const std::uint64_t One = 1;
                [[maybe_unused]] const auto N = ::write(GInterruptFd, &One, sizeof One);
            }
            // The main thread looks at the flag again once it has served this.
            WakeMainThread();
        }
    }).detach();
}

bool Interrupted()
{
    return GInterrupted.load();
}

int InterruptFd()
{
    return GInterruptFd;
}

bool ReadAnswerLine(std::string& Line)
{
    Line.clear();
    for (;;) {
        pollfd Fds[2] = {{0, POLLIN, 0}, {GInterruptFd, POLLIN, 0}};
        if (Interrupted())
            return false;
        if (::poll(Fds, GInterruptFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (Interrupted())
            return false;
        char C = 0;
        const ssize_t N = ::read(0, &C, 1);
        if (N <= 0)
            return !Line.empty();
        if (C == '\n')
            return true;
        Line += C;
    }
}
