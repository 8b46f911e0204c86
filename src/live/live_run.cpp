#include "live/live_run.h"

#include "_conn/status_words.h"
#include "dialogue/encoder_dialogue.h"
#include "dialogue/transcript.h"
#include "live/live_bridge.h"
#include "live/live_inbox.h"
#include "live/live_inputs.h"
#include "platform/log.h"
#include "platform/serve_until.h"
#include "platform/thread.h"
#include "platform/wake_event.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

TLiveStop* GStop = nullptr;
struct sigaction GOldInt { };
struct sigaction GOldTerm { };

void OnStopSignal(int)
{
    if (GStop)
        GStop->Request();
}

// Longest pause between two attempts to reach the encoder.
constexpr std::int64_t MaxBackoffMs = 60000;

// Waits for the stop request on a thread of its own and hands it to the main
// thread, which sleeps until then.
class TStopWatch : public TThread {
public:
    TStopWatch(int StopFd, std::shared_ptr<std::atomic<bool>> Stopped)
        : TThread(true), FStopFd(StopFd), FStopped(std::move(Stopped))
    {
        SetName("live stop");
        FWake.Open();
        Start();
    }
    ~TStopWatch() override { TerminateAndWait(); }

protected:
    void Execute() override
    {
        pollfd P[2] = {{FStopFd, POLLIN, 0}, {FWake.Fd(), POLLIN, 0}};
        while (!Terminated()) {
            if (::poll(P, 2, -1) < 0 && errno != EINTR)
                break;
            if (P[0].revents) {
                TThread::ForceQueue(nullptr, [S = FStopped] { *S = true; });
                return;
            }
            if (P[1].revents)
                return;
        }
    }
    void TerminatedSet() override { FWake.Signal(); }

private:
    const int FStopFd;
    TWakeEvent FWake;
    std::shared_ptr<std::atomic<bool>> FStopped;
};

// The dialogue's view for the console bridge: nothing to show but the log,
// no questions (there are none in a write), and every script's progress
// goes to the bridge.
class TLiveView : public IDialogueView {
public:
    TLiveBridge* Bridge = nullptr;

    void ClearEditor() override { }
    void SetEditorEnabled(bool) override { }
    void PopulateEditor(const TBRDSDataValidator&) override { }
    void CollectEditor(TBRDSDataValidator& Record) override { Record.RTCManual = true; }
    void SetLabel(TDialogueLabel, const std::string&) override { }
    void ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool) override
    {
        kvx::log::Debug("link: %s", Text.c_str());
    }
    void ShowError(const std::string& Msg) override
    {
        std::string T = Msg;
        for (std::size_t P; (P = T.find("\r\n")) != std::string::npos;)
            T.replace(P, 2, " ");
        kvx::log::Error("%s", T.c_str());
    }
    TQuestionAnswer AskYesNoCancel(const std::string&) override { return qaNo; }
    void ResetTitle() override { }
    void SelectManualSynchronization() override { }
    void ProcessMessages() override { }
    void ScriptProgress(const TScriptProgress& P) override
    {
        if (Bridge)
            Bridge->ScriptProgress(P);
    }
};

// Holds the port: connects, and after every lost link or failed attempt
// connects again after a pause that doubles up to MaxBackoffMs.
class TLinkKeeper {
public:
    TLinkKeeper(TEncoderDialogue& D, const std::string& Port) : FD(D), FPort(Port) { }

    // Answers the milliseconds until it is due again (-1: after an event).
    std::int64_t Service()
    {
        const auto Now = Clock::now();
        const bool Ready = FD.Connected() && FD.DeviceCopy().Ready();
        if (Ready && !FReady) {
            FBackoffMs = 1000;
            kvx::log::Info("connected to %s: the encoder holds TEXT=\"%s\"", FPort.c_str(),
                Latin1ToUtf8(FD.DeviceCopy().RT).c_str());
        }
        FReady = Ready;
        if (FD.ConnectTag() != 0) {
            FRetryAt.reset();
            return -1;
        }
        if (!FRetryAt) {
            if (FAttempted) {
                // A failed write has been told by the bridge; any other
                // failure (a read refused, no reply) is told here.
                const bool InWrite = FD.Failure() != dfNone && FD.WriteReport().How == FD.Failure();
                std::string Why = FD.Failure() != dfNone && !InWrite ? FD.FailureText() : ConnStatusWord();
                const std::string More = FD.ConnectionProblem();
                if (!More.empty())
                    Why += ": " + More;
                for (std::size_t P; (P = Why.find("\r\n")) != std::string::npos;)
                    Why.replace(P, 2, " ");
                kvx::log::Warn("no link to %s (%s); trying again in %lld s", FPort.c_str(), Why.c_str(),
                    static_cast<long long>(FBackoffMs / 1000));
                FRetryAt = Now + std::chrono::milliseconds(FBackoffMs);
                FBackoffMs = std::min(FBackoffMs * 2, MaxBackoffMs);
            } else
                FRetryAt = Now;
        }
        if (Now < *FRetryAt)
            return std::chrono::ceil<std::chrono::milliseconds>(*FRetryAt - Now).count();
        FRetryAt.reset();
        FAttempted = true;
        kvx::log::Info("connecting to %s", FPort.c_str());
        FD.DeviceConnectExecute(FPort);
        return -1;
    }

private:
    std::string ConnStatusWord() const { return ConnStatusText(FD.LastStatus()); }

    TEncoderDialogue& FD;
    const std::string FPort;
    std::optional<Clock::time_point> FRetryAt;
    std::int64_t FBackoffMs = 1000;
    bool FAttempted = false;
    bool FReady = false;
};

std::int64_t Sooner(std::int64_t A, std::int64_t B)
{
    if (A < 0)
        return B;
    if (B < 0)
        return A;
    return std::min(A, B);
}

} // namespace

TLiveStop::TLiveStop()
{
    if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        FPipe[0] = FPipe[1] = -1;
}

TLiveStop::~TLiveStop()
{
    if (FHandling) {
        ::sigaction(SIGINT, &GOldInt, nullptr);
        ::sigaction(SIGTERM, &GOldTerm, nullptr);
        GStop = nullptr;
    }
    for (int Fd : FPipe)
        if (Fd >= 0)
            ::close(Fd);
}

void TLiveStop::Request()
{
    FRequested = true;
    const char B = 1;
    [[maybe_unused]] const ssize_t N = ::write(FPipe[1], &B, 1);
}

void TLiveStop::HandleSignals()
{
    GStop = this;
    struct sigaction Sa { };
    Sa.sa_handler = OnStopSignal;
    ::sigemptyset(&Sa.sa_mask);
    ::sigaction(SIGINT, &Sa, FHandling ? nullptr : &GOldInt);
    ::sigaction(SIGTERM, &Sa, FHandling ? nullptr : &GOldTerm);
    FHandling = true;
}

int RunLiveBridge(const TLiveOptions& O, int StopFd, const TLiveRunHooks& Hooks)
{
    TThread::SetMainThread();
    // Changes are logged as they happen unless KVX_LOG says otherwise; -v
    // adds the traffic, -q keeps to the problems.
    if (O.Verbose)
        kvx::log::SetLevel(kvx::log::Level::Debug);
    else if (O.Quiet)
        kvx::log::SetLevel(kvx::log::Level::Warn);
    else if (!std::getenv("KVX_LOG"))
        kvx::log::SetLevel(kvx::log::Level::Info);

    // -v: every line to and from the encoder on the error output; a
    // transcript keeps them in a file.
    TTranscript Traffic;
    if (!O.Transcript.empty()) {
        std::string Error;
        if (!Traffic.Open(O.Transcript, Error)) {
            kvx::log::Error("cannot open the transcript: %s", Error.c_str());
            return 64;
        }
    }
    if (O.Verbose)
        Traffic.MirrorTo(stderr);

    auto Inbox = std::make_shared<TLiveInbox>(O);
    TLiveInputs Inputs;
    if (auto Error = Inputs.Open(O, Inbox)) {
        kvx::log::Error("%s", Error->c_str());
        return 2;
    }
    for (const std::string& W : LiveExposureWarnings(O))
        kvx::log::Warn("%s", W.c_str());
    for (const std::string& A : Inputs.Addresses())
        kvx::log::Info("listening: %s", A.c_str());

    TLiveView View;
    TEncoderDialogue D(View);
    D.SetReplyTimeout(static_cast<std::int64_t>(O.Timeout * 1000));
    if (Traffic.IsOpen())
        D.SetTranscript(&Traffic);
    TLiveBridge Bridge(D, O, Inbox);
    View.Bridge = &Bridge;
    TLinkKeeper Link(D, O.Port);
    if (Hooks.Listening)
        Hooks.Listening(Inputs.Addresses());

    auto Stopped = std::make_shared<std::atomic<bool>>(false);
    {
        TStopWatch Watch(StopFd, Stopped);
        while (!*Stopped) {
            const std::int64_t Due = Sooner(Bridge.Service(), Link.Service());
            if (*Stopped)
                break;
            // Sleeps until a hand-over comes (a status, a reply, an update,
            // the stop) or the next thing is due.
            TThread::CheckSynchronize(static_cast<int>(Due < 0 ? INT_MAX : std::clamp<std::int64_t>(Due, 1, INT_MAX)));
        }
    }
    kvx::log::Info("stopping");
    Inputs.Stop();
    // A write on its way is let finish, so that the log can say what it did.
    if (D.Progress().Script != scNone) {
        ServeUntil([&] { return D.Progress().Script == scNone; },
            DeadlineIn(static_cast<std::int64_t>(O.Timeout * 1000) + 1000));
        Bridge.Service();
    }
    if (D.ConnectTag() == 1) {
        D.DeviceConnectExecute(O.Port);
        ServeUntil([&] { return D.LastStatus() == stDisconnected; }, DeadlineIn(2000));
    }
    View.Bridge = nullptr;
    D.SetTranscript(nullptr);
    if (Hooks.Stopped)
        Hooks.Stopped(Bridge.StatusJson());
    kvx::log::Info("stopped: %llu updates, %llu writes, %llu failed",
        static_cast<unsigned long long>(Bridge.Counts().Updates),
        static_cast<unsigned long long>(Bridge.Counts().Writes),
        static_cast<unsigned long long>(Bridge.Counts().Failures));
    return 0;
}
