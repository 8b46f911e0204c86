#pragma once
// The bridge as a console program runs it ("kvxctl live"): its own encoder
// dialogue on the port, every input, reconnection with a back-off, time
// stamped logs on stderr, until a stop is requested (SIGINT, SIGTERM).

#include "live/live_options.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// A stop request that a signal handler may make.
class TLiveStop {
public:
    TLiveStop();
    ~TLiveStop();
    TLiveStop(const TLiveStop&) = delete;
    TLiveStop& operator=(const TLiveStop&) = delete;

    // Async-signal-safe.
    void Request();
    bool Requested() const { return FRequested.load(); }
    // Readable once a stop was requested.
    int Fd() const { return FPipe[0]; }
    // SIGINT and SIGTERM request this stop until the object goes (the
    // handlers before it are put back then).
    void HandleSignals();

private:
    int FPipe[2] = {-1, -1};
    std::atomic<bool> FRequested {false};
    bool FHandling = false;
};

struct TLiveRunHooks {
    // Called on the main thread once every input listens, with what listens
    // where ("http 127.0.0.1:8080", ...).
    std::function<void(const std::vector<std::string>&)> Listening;
    // Called at the end of a run that started, with the bridge's state as
    // GET /status gives it (counts, the last text sent).
    std::function<void(const std::string& StatusJson)> Stopped;
};

// Runs the bridge until StopFd becomes readable; answers the exit code: 0
// after a stop, 2 when an input cannot be opened, 64 when the transcript
// cannot be made (nothing else is done then). A write running when the stop
// comes is let finish (within the reply time-out) before the port is let
// go. An encoder that cannot be reached is tried again, 1 s after the first
// failure and twice as long after each next one, up to 60 s; it never ends
// the bridge.
int RunLiveBridge(const TLiveOptions& Options, int StopFd, const TLiveRunHooks& Hooks = {});
inline int RunLiveBridge(const TLiveOptions& Options, TLiveStop& Stop, const TLiveRunHooks& Hooks = {})
{
    return RunLiveBridge(Options, Stop.Fd(), Hooks);
}
