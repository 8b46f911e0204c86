#pragma once
// The encoder scripts: the read script that runs after every connection, the
// write, revert, factory-defaults and clock-refresh scripts, walked by a
// loader over the state table (dialogue/state_table.h), with every reply
// parsed into the device copy of the settings (dialogue/reply_parser.h).
// Everything runs on the main thread (the loader and the device hand their
// events over to it); what the scripts do to the screen goes through an
// IDialogueView. The window, the console front end and the live bridge own
// one each and see only this face: the scripts by name, their progress and
// failures, and the device copy to read.
//
// Failures are named (Failure(), FailedCommand(), FailureText()): a refusal,
// a reply that is not a number, a refused write, no reply within the reply
// time-out, a link lost while a script ran, INIT refused or unanswered, an
// interruption. Every failure ends the running script and disconnects the
// device. A write keeps a report of what it did (WriteReport()).

#include "_conn/status_words.h"
#include "dialogue/dialogue_view.h"
#include "dialogue/write_report.h"
#include "platform/time_zone.h"
#include "rds/data_validator.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TCustomAutomata;
class TCustomDevice;
class TCustomState;
class TDeadlineTimer;
class TKVXStateList;
class TLoaderAutomata;
class TTranscript;
enum TDataDirection : std::uint8_t;

// The outcome of preparing a save.
enum TSaveResult : std::uint8_t {
    srStarted = 0,   // the write script runs
    srNoChanges = 1, // nothing differs: nothing to send
    srInvalid = 2,   // validation refused the record
    srBusy = 3,      // another script runs: nothing started, nothing changed
    srNotReady = 4,  // no complete read yet
};

class TEncoderDialogue {
public:
    // Builds the state table and the device (with its OK/NO framing); the
    // loader's thread starts with the first script.
    explicit TEncoderDialogue(IDialogueView& View);
    // Takes its handlers off the device, ends the loader thread (its handler
    // uses the device), then frees the device.
    ~TEncoderDialogue();
    TEncoderDialogue(const TEncoderDialogue&) = delete;
    TEncoderDialogue& operator=(const TEncoderDialogue&) = delete;

    // The Connect/Disconnect action: tag 0 connects to Port, tag 1 disconnects.
    void DeviceConnectExecute(const std::string& Port);
    int ConnectTag() const { return FConnectTag; }
    bool ConnectEnabled() const { return FConnectEnabled; }

    // Save Changes: collect, validate, and write the differences.
    TSaveResult SaveChanges();
    // Collects the editor into Record (which gets this dialogue's editor handlers), validates it against the device
    // copy (the pre-flight presenter may be asked) and fills List with the commands a write would send. srStarted here
    // means "there is something to write".
    TSaveResult PrepareSave(TBRDSDataValidator& Record, std::vector<TMsgChange>& List);
    // Writes the settings of Record that differ from the device copy, without
    // the editor: nothing is collected or shown, no question is asked, and the
    // clock (date, time, offset) and the device facts are left as the device
    // copy has them. Every setting that differs is checked against the field
    // table first; a value it does not allow gives srInvalid with the reason
    // in Why, and nothing is sent. Runs as scWrite, with its progress and its
    // write report, after no other script (srBusy while one runs or a reset
    // waits; srNotReady before a complete read). Failures are not shown to the
    // view: the caller reads Failure(), FailureText() and WriteReport(). A
    // refused command ends the write without a disconnection (the encoder
    // answered, so the line is in step); a command without a reply, a lost
    // link or an interruption end it as they end every script. The device
    // copy takes the values that were applied.
    TSaveResult WriteRecord(const TBRDSDataValidator& Record, std::string* Why = nullptr);
    // Revert Changes: the editor shows the device copy again.
    void RevertChanges();
    // Factory Defaults: asks, saves the device copy as a backup settings file
    // and sends INIT (script scFactoryReset); answers whether the reset went
    // ahead. Without a complete read or when the backup cannot be written,
    // shows why and sends nothing. A script that runs (a clock refresh, a
    // write) is let finish first; INIT follows it, and a failure of that
    // script cancels the reset. The device copy is not Ready from here until
    // the re-read. The rest follows without blocking: the INIT reply is
    // awaited (up to the reply time-out) and checked; NO ends the script with
    // dfInitRefused and "the encoder refused INIT: it was not reset", no reply
    // with dfInitUnanswered and its own message (both shown, and the device
    // disconnects). After an OK the line is given at least 1000 ms from the
    // sending of INIT and then until it has been quiet for a moment (what
    // still arrives is dropped), so that every reply of the re-read lands on
    // its own query; then the read script runs again.
    bool FactoryDefaults();
    // Where the backup goes: this file when set, else a new file in
    // DefaultBackupFolder() (dialogue/settings_backup.h).
    std::string BackupFile;
    // The backup written by the last reset (empty before the first).
    const std::string& LastBackup() const { return FLastBackup; }
    // One tick of the 2000 ms clock-refresh timer.
    void ClockRefreshTick();
    // The close question; answers whether the window may close.
    bool QuerySaveChanges();

    // Enable rules of the actions.
    bool EditorDiffers();   // Save Changes, Revert Changes
    bool Connected() const; // Factory Defaults, file actions

    // Starts the read script (as after a connection): Clear, Reset, SetActive.
    void StartRead();

    // The reply time-out in milliseconds. When a command of a script gets no
    // reply within it, the script ends, the device disconnects and the failure
    // is dfNoReply (dfInitUnanswered for INIT) with FailedCommand() naming the
    // command; the view is told through ShowError (a write shows its report).
    // 0, the default, waits without end (until the user disconnects or the
    // link goes). The wait is a deadline, not a poll: an idle dialogue, or one
    // waiting without a time-out, does not wake up.
    void SetReplyTimeout(std::int64_t Ms);
    std::int64_t ReplyTimeout() const { return FReplyTimeoutMs; }

    // The script that runs and how far it is (scNone when none runs). The view
    // hears of every change through IDialogueView::ScriptProgress.
    TScriptProgress Progress() const;

    // Stops the running script with dfInterrupted and disconnects. A write
    // whose command is being answered stops once that reply is in (so the
    // report knows whether it was applied: an OK counts as applied, a refusal
    // as dfWriteRefused), unless the reply time-out ends it first; any other
    // script stops at once. Nothing happens when no script runs.
    void Interrupt();

    // What the last write did (valid from the start of a write until the next
    // one): the commands applied, the one that failed and how, the ones not
    // sent. WriteReportText (dialogue/write_report.h) puts it in words.
    const TWriteReport& WriteReport() const { return FReport; }

    // The last failure in words for a person, without a final full stop:
    // "the encoder refused PTY? (reply \r\nNO\r\n)", "no reply to PS? within 5 s",
    // "the encoder refused INIT: it was not reset"; a failed write gives its
    // report. Empty when the last script did not fail.
    std::string FailureText() const;

    // What front ends watch.
    TConnStatus LastStatus() const { return FLastStatus; }
    // The computer's UTC clock (milliseconds since 1970) when the encoder's
    // reply to the last TIME? of a read or clock refresh was parsed; 0 before
    // the first. Beside the device copy's clock it gives the encoder's drift.
    std::int64_t ClockReadAtMs() const { return FClockReadAtMs; }
    // The script that reached its end last (scRead, scWrite or scClockRefresh),
    // scNone when none has since the last start or ClearLastScriptEnd. A script
    // that failed never reaches its end.
    TDialogueScript LastScriptEnded() const { return FLastEnded; }
    void ClearLastScriptEnd() { FLastEnded = scNone; }
    // The settings as the encoder holds them (the device copy), valid once a read ended.
    const TBRDSDataValidator& DeviceCopy() const { return *BRDSDV; }
    // The commands of the running or last write, each with its reply packet
    // (empty while it is awaited or was never sent), in the order they go out.
    std::vector<TMsgChange> WriteProgress() const;
    // The encoder's UTC date and time as the last clock refresh read them.
    const TSystemTime& RefreshedClock() const { return FUTC; }
    // Why the connection's last connect failed or its link went, in words,
    // when the transport knows more than its status says (a socket error;
    // for a serial port what kept it from us and how to mend that); empty
    // otherwise, and before the first Connect.
    std::string ConnectionProblem() const;
    TDialogueFailure Failure() const { return FFailure; }
    // The command whose reply failed, and the reply.
    const std::string& FailedCommand() const { return FFailedCommand; }
    const std::string& FailedReply() const { return FFailedReply; }
    // The last PILOT? and ISDST? value lines (empty before the first).
    const std::string& PilotWord() const { return FPilotWord; }
    const std::string& IsDSTWord() const { return FIsDSTWord; }
    const std::string& Port() const { return FPort; }
    // Reply packets received since the dialogue was made.
    std::uint64_t PacketCount() const { return FPackets; }

    // Every line sent and every reply received goes to it when set (not owned).
    void SetTranscript(TTranscript* Value) { FTranscript = Value; }

private:
    enum TResetPhase : std::uint8_t { rpNone, rpAwaitInit, rpSettle };

    // The loader's and the device's events, on the main thread.
    void LoaderState(TLoaderAutomata* Sender, TCustomState* State);
    void ParseReply(TCustomState& State);
    void DeviceStatus(TCustomDevice* Sender, TConnStatus Status);
    // On the device thread: queues the replies for HandleReplies.
    void DevicePacket(TCustomDevice* Sender, TCustomAutomata* PA);
    void HandleReplies(const std::vector<std::vector<std::uint8_t>>& Replies);
    void DeviceData(TCustomDevice* Sender, const void* Data, std::int32_t Size, TDataDirection Dir, bool& Proceed);

    void AddStates();
    void Send(const std::string& Msg);
    void Fail(TDialogueFailure Why, const std::string& Command, const std::string& Reply);
    // A script begins (its progress is announced), and ends.
    void BeginScript(TDialogueScript Script);
    // A read or a clock refresh begins: nothing has ended or failed since,
    // and the loader's states are cleared and reset.
    void BeginAfresh(TDialogueScript Script);
    void EndScript();
    void AnnounceProgress();
    // The reply time-out ran out, or the reset's settling pause is over.
    void DeadlineExpired();
    void SendInit();
    void InitReply(const std::string& Reply);
    void Settle();
    // Fills the write report from the write state's replies; Why names what
    // stopped a write that stopped short.
    void BuildWriteReport(TDialogueFailure Why);
    void FailWrite(TDialogueFailure Why);
    // Starts the write script with these commands.
    void StartWrite(std::vector<TMsgChange>& List);
    // The device copy takes the values of the record being written whose
    // commands were applied.
    void TakeAppliedValues();
    void PopulateHandler(TDataValidator* Sender);
    void CollectHandler(TDataValidator* Sender);
    std::unique_ptr<TBRDSDataValidator> NewRecord();
    void WriteCheck();

    // The device copy, the device (which owns its framing and its
    // connection) and the loader with the state table; FWrite is the table's
    // list state of the write.
    std::unique_ptr<TBRDSDataValidator> BRDSDV;
    std::unique_ptr<TCustomDevice> Device;
    std::unique_ptr<TLoaderAutomata> LDRA;
    TKVXStateList* FWrite = nullptr;
    // The encoder's UTC date and time as the last clock refresh read them.
    TSystemTime FUTC {};

    IDialogueView& FView;
    std::string FPort;
    int FConnectTag = 0;
    bool FConnectEnabled = true;
    TConnStatus FLastStatus = stIdle;
    TDialogueScript FLastEnded = scNone;
    TDialogueFailure FFailure = dfNone;
    std::string FFailedCommand;
    std::string FFailedReply;
    std::string FPilotWord;
    std::string FIsDSTWord;
    TTranscript* FTranscript = nullptr;
    std::uint64_t FPackets = 0;
    std::int64_t FClockReadAtMs = 0;
    std::string FLastBackup;
    bool FClosing = false;

    std::unique_ptr<TDeadlineTimer> FTimer;
    std::int64_t FReplyTimeoutMs = 0;
    TDialogueScript FScript = scNone;
    // The script the last failure ended.
    TDialogueScript FFailedScript = scNone;
    int FStep = 0;
    // The read has parsed REV? and knows the firmware level (and so its total).
    bool FRevSeen = false;
    // The command sent whose reply has not come yet (empty: none awaited).
    std::string FAwaiting;
    bool FInterruptRequested = false;
    // Factory Defaults was confirmed while another script ran: INIT goes out when it ends.
    bool FResetPending = false;
    bool FUserDisconnect = false;
    TWriteReport FReport;
    // The record WriteRecord writes (nullptr for a write of the editor).
    std::unique_ptr<TBRDSDataValidator> FRecordWrite;
    TResetPhase FResetPhase = rpNone;
    std::int64_t FInitSentAt = 0;
    std::atomic<std::int64_t> FLastIncomingAt {0}; // set on the device thread

    // Tests of the scripts' steps reach the loader, the device copy and the
    // events through it (tests/support/dialogue_probe.h).
    friend class TDialogueProbe;
};
