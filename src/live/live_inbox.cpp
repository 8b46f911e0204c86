#include "live/live_inbox.h"

#include "platform/log.h"
#include "platform/thread.h"

namespace {

// Updates waiting for the main thread at most; older ones are superseded anyway.
constexpr std::size_t MaxQueued = 1000;

} // namespace

TLiveInbox::TLiveInbox(const TLiveOptions& Options) : FOptions(Options), FLimiter(Options.MaxRate)
{
}

TLiveAnswer TLiveInbox::Submit(const TLiveFields& Fields, const std::string& Source)
{
    const TLiveDecision D = DecideLiveUpdate(Fields, FOptions.Rules);
    TLiveAnswer A;
    A.Kind = D.Kind;
    A.Reason = D.Reason;
    if (D.Kind == TLiveDecision::ldRefuse) {
        kvx::log::Warn("%s: refused: %s", Source.c_str(), D.Reason.c_str());
        return A;
    }
    if (D.Kind == TLiveDecision::ldSkip) {
        kvx::log::Info("%s: skipped (%s): %s", Source.c_str(), D.Reason.c_str(),
            Latin1ToUtf8(FitAirText(Fields.Title.empty() ? Fields.Text : Fields.Title).Text).c_str());
        return A;
    }
    A.Text = Latin1ToUtf8(D.Rt ? D.Rt->Text : D.Dps->Text);
    bool Wake = false;
    {
        std::lock_guard<std::mutex> G(FLock);
        if (FQueue.size() >= MaxQueued) {
            FQueue.pop_front();
            ++FDropped;
        }
        FQueue.push_back(TLiveAccepted {Source, D.Rt, D.Dps, std::chrono::steady_clock::now()});
        ++FTaken;
        Wake = !FWakeQueued;
        FWakeQueued = true;
    }
    // One queued call serves every update that arrives before it runs.
    if (Wake)
        TThread::ForceQueue(this, [Self = shared_from_this()] { Self->Deliver(); });
    return A;
}

void TLiveInbox::Deliver()
{
    std::deque<TLiveAccepted> Batch;
    std::uint64_t Dropped = 0;
    {
        std::lock_guard<std::mutex> G(FLock);
        Batch.swap(FQueue);
        Dropped = FDropped;
        FDropped = 0;
        FWakeQueued = false;
    }
    if (Dropped)
        kvx::log::Warn(
            "%llu updates were superseded before they could be looked at", static_cast<unsigned long long>(Dropped));
    for (TLiveAccepted& A : Batch)
        if (FReceiver)
            FReceiver(A);
}

void TLiveInbox::SetReceiver(std::function<void(TLiveAccepted&)> Receiver)
{
    FReceiver = std::move(Receiver);
}

void TLiveInbox::PublishStatus(std::string Json)
{
    std::lock_guard<std::mutex> G(FLock);
    FStatus = std::move(Json);
}

std::string TLiveInbox::StatusJson() const
{
    std::lock_guard<std::mutex> G(FLock);
    return FStatus;
}

std::uint64_t TLiveInbox::Taken() const
{
    std::lock_guard<std::mutex> G(FLock);
    return FTaken;
}

std::optional<std::string> TLiveInbox::Admit(const TSourceAddress& A, const std::string& Input)
{
    const std::vector<TAddressPrefix>& Allowed
        = FOptions.Allow.empty() && Input == "udp" ? LoopbackPrefixes() : FOptions.Allow;
    if ((!FOptions.Allow.empty() || Input == "udp") && !SourceAllowed(Allowed, A)) {
        const std::string Why = "the source " + A.Text() + " is not allowed (--allow)";
        bool First = false;
        {
            std::lock_guard<std::mutex> G(FLock);
            if (FRefusedSources.size() < 1024)
                First = FRefusedSources.insert(A.Text()).second;
        }
        if (First)
            kvx::log::Warn("%s %s: refused: %s; later requests from it are refused without a word", Input.c_str(),
                A.Text().c_str(), Why.c_str());
        return Why;
    }
    switch (FLimiter.Take(A.Text())) {
    case TRateLimiter::rvAllowed:
        return std::nullopt;
    case TRateLimiter::rvRefused:
        kvx::log::Warn("%s %s: refused: more than %g requests a second; more are refused until it slows down",
            Input.c_str(), A.Text().c_str(), FLimiter.Rate());
        break;
    case TRateLimiter::rvRefusedAgain:
        break;
    }
    char Buf[96];
    std::snprintf(Buf, sizeof Buf, "too many requests (more than %g a second)", FLimiter.Rate());
    return std::string(Buf);
}

bool TLiveInbox::TokenMatches(const std::string& Given) const
{
    return ::TokenMatches(Given, FOptions.Token);
}
