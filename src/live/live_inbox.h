#pragma once
// Where the inputs hand their updates over. An input thread judges an update
// (template, skip rules, text fit: pure work on its own thread), answers its
// client at once, and queues what is to go on air for the main thread, which
// is woken by a queued call (TThread::ForceQueue) and hands it to the bridge. The
// main thread also publishes the bridge's state here for GET /status.
//
// The inbox is shared (std::shared_ptr): a call queued for the main thread
// keeps it alive, so the receiver may go at any time; it sets itself aside
// first (SetReceiver(nullptr)) and what arrives afterwards is dropped.

#include "live/access.h"
#include "live/live_options.h"
#include "live/live_update.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

// An update taken for the air.
struct TLiveAccepted {
    // "http 127.0.0.1:40522", "tcp 127.0.0.1:51000", "udp ...", "file /srv/np.txt".
    std::string Source;
    std::optional<TAirText> Rt;
    std::optional<TAirText> Dps;
    std::chrono::steady_clock::time_point At;
};

// What an input answers its client.
struct TLiveAnswer {
    TLiveDecision::TKind Kind = TLiveDecision::ldRefuse;
    // ldSend: the text that will be sent (RadioText, else the dynamic PS), as UTF-8.
    std::string Text;
    // ldSkip: the rule that matched; ldRefuse: why.
    std::string Reason;
};

class TLiveInbox : public std::enable_shared_from_this<TLiveInbox> {
public:
    explicit TLiveInbox(const TLiveOptions& Options);
    TLiveInbox(const TLiveInbox&) = delete;
    TLiveInbox& operator=(const TLiveInbox&) = delete;

    // Any thread: judges Fields from Source and queues a sendable update.
    TLiveAnswer Submit(const TLiveFields& Fields, const std::string& Source);

    // Main thread: who receives the queued updates (nullptr: nobody).
    void SetReceiver(std::function<void(TLiveAccepted&)> Receiver);

    // The bridge's state as JSON for GET /status (main thread writes, any reads).
    void PublishStatus(std::string Json);
    std::string StatusJson() const;

    // Whether a request from A, on the input named Input ("http", "tcp",
    // "udp"), may be taken: answers the refusal, or nothing. Sources outside
    // --allow are refused (without --allow, UDP takes the loopback only), and
    // so is a source over its rate. Refusals are logged; of a series of
    // refusals for rate, the first only.
    std::optional<std::string> Admit(const TSourceAddress& A, const std::string& Input);
    bool TokenNeeded() const { return !FOptions.Token.empty(); }
    bool TokenMatches(const std::string& Given) const;

    const TLiveOptions& Options() const { return FOptions; }

    // Updates taken since the start, and queued ones dropped because newer
    // ones piled up behind them before the main thread could look.
    std::uint64_t Taken() const;

private:
    void Deliver();

    const TLiveOptions FOptions;
    TRateLimiter FLimiter;
    mutable std::mutex FLock;
    std::deque<TLiveAccepted> FQueue;
    bool FWakeQueued = false;
    std::uint64_t FTaken = 0;
    std::uint64_t FDropped = 0;
    std::string FStatus = "{}";
    // Sources refused for not being allowed, logged once each.
    std::set<std::string> FRefusedSources;
    // Main thread only.
    std::function<void(TLiveAccepted&)> FReceiver;
};
