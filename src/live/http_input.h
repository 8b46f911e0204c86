#pragma once
// The HTTP input, on cpp-httplib: GET or form POST "/" with artist and title,
// text, or dps (and token when one is set); GET /status answers the bridge's
// state as JSON. Answers: 200 with the text that will be sent (or "skipped"
// and the rule), 400 with the reason, 401 without the right token, 403 for a
// source not allowed, 413/414 for a request longer than MaxRequestBytes, 429
// for too many requests. Each connection serves one request.

#include "live/access.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class TLiveInbox;

namespace httplib {
class Server;
}

class THttpInput {
public:
    THttpInput(const TListenAddress& Where, std::shared_ptr<TLiveInbox> Inbox);
    ~THttpInput();
    THttpInput(const THttpInput&) = delete;
    THttpInput& operator=(const THttpInput&) = delete;

    // Binds and starts serving; answers why it cannot, or nothing.
    std::optional<std::string> Start();
    // Stops taking requests and waits for the server's thread.
    void Stop();
    // The address it listens on (the port chosen when 0 was asked for).
    const TListenAddress& Address() const { return FWhere; }

private:
    TListenAddress FWhere;
    std::shared_ptr<TLiveInbox> FInbox;
    std::unique_ptr<httplib::Server> FServer;
    std::thread FThread;
    std::atomic<bool> FDone {false};
};
