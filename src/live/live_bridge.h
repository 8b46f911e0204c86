#pragma once
// The now-playing bridge on the main thread. It keeps the newest text wanted
// on air for each target (RadioText, dynamic PS) and writes it through the
// encoder dialogue (WriteRecord) when the encoder is ready and idle:
//   - at most one write per MinInterval; the newest text wins meanwhile;
//   - a text the encoder already holds (the device copy says so) is not sent,
//     so after a reconnect the current text goes out again only when the
//     encoder lost it;
//   - a write that is refused or unanswered is logged and tried once more at
//     the next interval, then given up until a new text comes;
//   - after IdleAfter seconds without an update the idle text is wanted.
// Writes wait behind every other script of the dialogue and never
// interleave with one.
//
// The front end forwards the dialogue view's ScriptProgress to the bridge
// (it only takes note there) and calls Service() from its own loop, never
// from inside a dialogue callback: Service may start a script.

#include "dialogue/dialogue_view.h"
#include "dialogue/write_report.h"
#include "live/live_inbox.h"
#include "live/live_options.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TEncoderDialogue;

// A text the bridge put on air.
struct TLiveSent {
    // RadioText (else the dynamic PS) as UTF-8.
    std::string Text;
    // The targets written, and what the encoder held before (Latin-1): a
    // front end with an editor can tell whether the editor showed it.
    bool Rt = false;
    bool Dps = false;
    std::string OldRt;
    std::string NewRt;
    std::string OldDps;
    std::string NewDps;
};

class TLiveBridge {
public:
    TLiveBridge(TEncoderDialogue& Dialogue, const TLiveOptions& Options, std::shared_ptr<TLiveInbox> Inbox);
    ~TLiveBridge();
    TLiveBridge(const TLiveBridge&) = delete;
    TLiveBridge& operator=(const TLiveBridge&) = delete;

    // From the dialogue's view, as it happens.
    void ScriptProgress(const TScriptProgress& Progress);
    // An update taken for the air (the inbox calls it on the main thread).
    void Take(const TLiveAccepted& Update);

    // Does what is due; answers the milliseconds until it is due again when
    // nothing else happens (-1: only after an event).
    std::int64_t Service();

    // Called after a write put a text on air.
    std::function<void(const TLiveSent& Sent)> OnSent;

    struct TCounts {
        std::uint64_t Updates = 0;  // updates taken
        std::uint64_t Writes = 0;   // writes started
        std::uint64_t Failures = 0; // writes refused, unanswered or cut off
    };
    const TCounts& Counts() const { return FCounts; }
    // The texts wanted (Latin-1), empty when none.
    const std::string& WantedText() const { return FWantRt; }
    const std::string& WantedDps() const { return FWantDps; }
    // The state as JSON, as GET /status shows it.
    std::string StatusJson() const;
    // The last text put on air (UTF-8) and when (local time, ISO 8601);
    // empty before the first.
    const std::string& SentText() const { return FSentText; }
    const std::string& SentAt() const { return FSentAt; }
    // Why the last write failed, on one line (empty after a success).
    const std::string& LastError() const { return FLastError; }

private:
    using TClock = std::chrono::steady_clock;
    void Want(const std::optional<TAirText>& Rt, const std::optional<TAirText>& Dps, const std::string& Source);
    bool Differs() const;
    void Finished();
    std::int64_t MsUntil(TClock::time_point T) const;

    TEncoderDialogue& FDialogue;
    const TLiveOptions FOptions;
    std::shared_ptr<TLiveInbox> FInbox;

    bool FHaveRt = false;
    bool FHaveDps = false;
    std::string FWantRt;
    std::string FWantDps;
    // Failed attempts at the texts wanted; 2 gives them up.
    int FAttempts = 0;
    bool FGivenUp = false;
    std::optional<TClock::time_point> FLastWrite;
    TClock::time_point FLastUpdate;
    bool FIdle = false;
    bool FWasReady = false;
    // A write ended in a way that takes the link down (no reply, link lost):
    // nothing more is written until the link has gone and been read again.
    bool FAwaitRelink = false;

    // A write of ours runs, and how it ended (taken at the end of the script).
    bool FWriting = false;
    bool FEnded = false;
    TDialogueFailure FEndFailure = dfNone;
    std::string FEndText;
    std::string FWritingRt;
    std::string FWritingDps;
    std::string FBeforeRt;
    std::string FBeforeDps;

    std::string FSentText;
    std::string FSentAt;
    std::string FLastError;
    TCounts FCounts;
};
