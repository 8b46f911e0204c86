#pragma once
// One site's part of a fleet run: a dialogue of its own, driven step by step
// on the main thread. It connects and reads, then does its task (compare,
// write and read back, keep a backup), disconnects and ends. Its view keeps
// what the dialogue tells and asks nothing; its settings "editor" is a record
// in memory that holds what a write should bring about.

#include "dialogue/dialogue_view.h"
#include "dialogue/encoder_dialogue.h"
#include "fleet/site_list.h"
#include "fleet/site_result.h"
#include "platform/serve_until.h"

#include <memory>
#include <string>
#include <vector>

class TSiteJob : public IDialogueView {
public:
    // Known, when not soDone, is why the site is not to be opened (a port
    // another program holds, or one that cannot be opened), in words in
    // Reason: the job ends at once with it.
    TSiteJob(const TSite& Site, TFleetTask Task, const TFleetOptions& Options, TSiteOutcome Known = soDone,
        const std::string& Reason = {});
    ~TSiteJob() override;
    TSiteJob(const TSiteJob&) = delete;
    TSiteJob& operator=(const TSiteJob&) = delete;

    // Whether the dialogue told anything since the last Step.
    bool Changed() const { return FChanged; }
    // Advances as far as what the dialogue told allows.
    void Step();
    bool Finished() const { return FPhase == phDone; }
    // When Step must look again even if nothing is told.
    TDeadline WakeAt() const;
    // Stops the site (a write once its command in flight is answered).
    void Stop(TSiteOutcome Why);

    TSiteResult& Result() { return FResult; }

    // IDialogueView
    void ClearEditor() override;
    void SetEditorEnabled(bool) override { }
    void PopulateEditor(const TBRDSDataValidator& Record) override;
    void CollectEditor(TBRDSDataValidator& Record) override;
    void SetLabel(TDialogueLabel, const std::string&) override { FChanged = true; }
    void ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool) override;
    void ShowError(const std::string& Msg) override;
    TQuestionAnswer AskYesNoCancel(const std::string&) override { return qaCancel; }
    void ResetTitle() override { }
    void SelectManualSynchronization() override { FEditor.RTCManual = true; }
    void ProcessMessages() override { }
    void ScriptProgress(const TScriptProgress& Progress) override;

private:
    enum TPhase : std::uint8_t { phReading, phWriting, phVerifying, phClosing, phDone };

    void Connect();
    // The read is complete: what it found, and the task's next step.
    void ReadDone();
    void WriteDone();
    void VerifyDone();
    // The dialogue failed (or the link could not be had): the result says why.
    void Failed(TSiteOutcome Outcome, const std::string& Reason);
    // Lets the link go; the job ends once it is gone.
    void Close();
    // The task's exit code for the site, once its outcome is known.
    void SetExitCode();
    std::string StatusWords() const;

    const TSite& FSite;
    TFleetTask FTask;
    const TFleetOptions& FOptions;
    std::unique_ptr<TEncoderDialogue> FD;
    TSiteResult FResult;
    TPhase FPhase = phReading;
    bool FChanged = true;
    // What Stop asked for (soDone: nothing).
    TSiteOutcome FStopped = soDone;
    bool FStopSent = false;
    TDeadline FDeadline;
    TDeadline FCloseDeadline = NoDeadline;
    std::int64_t FStartTick = 0;
    // The script running, and the one that ended last (scNone once looked at).
    TDialogueScript FRunning = scNone;
    TDialogueScript FEnded = scNone;
    TScriptProgress FProgress;
    bool FWasConnected = false;
    std::vector<std::string> FStatuses;
    std::vector<std::string> FErrors;
    // What a write is to bring about (the editor the dialogue collects from).
    TBRDSDataValidator FEditor;
};

// The encoder's clock minus the computer's, in seconds, from the date and
// time a read gave (whole seconds) and the computer's UTC clock (ms since
// 1970) when the time was read. None when the date and time are no instant.
std::optional<double> ClockDriftSeconds(const TSystemTime& Encoder, std::int64_t ReadAtMs);
