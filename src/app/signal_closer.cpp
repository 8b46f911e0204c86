#include "app/signal_closer.h"

#include "platform/log.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The socket pair: the handler writes into [0], the event loop reads [1].
int GPipe[2] = {-1, -1};

constexpr std::array<int, 3> Signals = {SIGTERM, SIGINT, SIGHUP};
struct sigaction GPrevious[Signals.size()];

extern "C" void OnSignal(int Signo)
{
    const int Saved = errno;
    const unsigned char Byte = static_cast<unsigned char>(Signo);
    // Async-signal-safe; a full buffer drops the byte, and one waiting is enough.
    (void)!::write(GPipe[0], &Byte, 1);
    errno = Saved;
}

} // namespace

TSignalCloser::TSignalCloser(std::function<void(int)> OnSignalCall, QObject* Parent)
    : QObject(Parent), FOnSignal(std::move(OnSignalCall))
{
    if (GPipe[0] >= 0) {
        kvx::log::Error("signal handling is already set up");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, GPipe) != 0) {
        GPipe[0] = GPipe[1] = -1;
        kvx::log::Error("no socket pair for the signals; SIGTERM, SIGINT and SIGHUP end the program at once");
        return;
    }
    FNotifier = std::make_unique<QSocketNotifier>(GPipe[1], QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TSignalCloser::Readable);
    for (std::size_t i = 0; i < Signals.size(); ++i) {
        struct sigaction Action { };
        Action.sa_handler = OnSignal;
        sigemptyset(&Action.sa_mask);
        Action.sa_flags = SA_RESTART;
        ::sigaction(Signals[i], &Action, &GPrevious[i]);
    }
    FInstalled = true;
}

TSignalCloser::~TSignalCloser()
{
    if (!FInstalled)
        return;
    for (std::size_t i = 0; i < Signals.size(); ++i)
        ::sigaction(Signals[i], &GPrevious[i], nullptr);
    FNotifier.reset();
    ::close(GPipe[0]);
    ::close(GPipe[1]);
    GPipe[0] = GPipe[1] = -1;
}

void TSignalCloser::Readable()
{
    unsigned char Byte = 0;
    while (::read(GPipe[1], &Byte, 1) == 1) {
        kvx::log::Info("signal " + std::to_string(Byte) + ": closing the window");
        if (FOnSignal)
            FOnSignal(Byte);
    }
}
