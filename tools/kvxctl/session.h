#pragma once
// kvxctl's session with one encoder: the dialogue the window also drives,
// seen through the console view, and every wait for it. A wait sleeps until
// the dialogue hands something over (a status, a reply, its reply time-out),
// an interrupt comes, or the wait's own deadline passes; whatever ends it is
// named with its exit code.

#include "console_view.h"
#include "dialogue/encoder_dialogue.h"
#include "dialogue/transcript.h"
#include "options.h"
#include "platform/serve_until.h"
#include "rds/field_table.h"

#include <functional>
#include <string>
#include <vector>

// What a write got: the replies, and what the read-back found.
struct TWriteOutcome {
    // The commands answered, each with its reply, in order.
    std::vector<TMsgChange> Replies;
    bool Done = false; // the encoder was read back
    TBRDSDataValidator Expected;
    std::vector<const TField*> Differs;
};

class TSession {
public:
    explicit TSession(const TOptions& Options);
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // Opens the transcript (--transcript) and, with -v, shows the traffic on
    // standard error. 0, or ecUsage after saying why.
    int Open();
    // Connects and runs the read script: 0, or the exit code of what went wrong.
    int ConnectAndRead();
    // Open, then ConnectAndRead.
    int Start();
    // Serves the dialogue until Done holds or Until passes (0 either way), or
    // until something goes wrong: then its exit code, once it was named.
    int Wait(const std::function<bool()>& Done, const char* What, TDeadline Until = NoDeadline);
    // Waits until Script has reached its end.
    int WaitForScript(TDialogueScript Script, const char* What);
    // Disconnects a connected encoder and waits a moment for the link to close.
    void Disconnect();

    // The exit code of an encoder that refuses a query (diff gives 2 for it:
    // its own 1 means "differs").
    void SetRefusalCode(int Code) { FRefusalCode = Code; }

    // Puts Target into the editor (with the encoder's identity and clock; the
    // computer's clock with SyncClock) and validates it against what the
    // encoder holds. 0 with List the commands a write sends (empty: nothing
    // differs), or ecInvalid once the findings were shown.
    int Prepare(const TBRDSDataValidator& Target, bool SyncClock, std::vector<TMsgChange>& List);
    // Writes what Prepare found, telling Answered of each command once its
    // reply is in (and keeping it in Result); then, when Verify is set,
    // reads the encoder back and compares. 0 or the exit code (6 when the
    // encoder was partly changed).
    int Write(
        const std::function<void(const TMsgChange&)>& Answered, bool SyncClock, bool Verify, TWriteOutcome& Result);

    TEncoderDialogue& Dialogue() { return FD; }
    TConsoleView& View() { return FView; }
    const TOptions& Options() const { return FO; }

private:
    // One look at the dialogue during a wait: -1 to go on waiting, else the exit code.
    int Look(const std::function<bool()>& Done, bool& Interrupting);
    // Names a lost or refused connection; answers ecConnection.
    int ConnectionLost();
    // The exit code of the dialogue's failure; names what the dialogue did not.
    int FailureCode();
    void ConnectionErrorDetail();
    int ReadBack(bool SyncClock, TWriteOutcome& Result);

    const TOptions& FO;
    TConsoleView FView;
    TTranscript FTranscript;
    TEncoderDialogue FD;
    bool FWasConnected = false;
    int FRefusalCode;
};
