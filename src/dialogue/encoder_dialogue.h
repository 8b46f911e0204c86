#pragma once
// The encoder scripts: the one state table of the loader automaton, the read
// script that runs after every connection, the write, revert, factory-defaults
// and clock-refresh scripts, and the parsing of every reply into the device
// copy of the settings. Everything runs on the main thread (the loader and the
// device hand their events over to it); what the scripts do to the screen goes
// through an IDialogueView. The window and the console front end own one each.

#include "_conn/device.h"
#include "dialogue/dialogue_view.h"
#include "dialogue/loader_automaton.h"
#include "platform/time_zone.h"
#include "rds/data_validator.h"

#include <cstdint>
#include <string>
#include <vector>

class TTranscript;

// Why the last script stopped short; front ends map it to their own reports.
enum TDialogueFailure : std::uint8_t {
    dfNone = 0,
    dfRefused = 1,      // a query answered with anything but OK
    dfNotANumber = 2,   // a numeric reply that is not a whole number
    dfWriteRefused = 3, // a setting command not answered exactly OK
};

// The outcome of preparing a save.
enum TSaveResult : std::uint8_t {
    srStarted = 0,   // the write script runs
    srNoChanges = 1, // nothing differs: nothing to send
    srInvalid = 2,   // validation refused the record
    srBusy = 3,      // another script runs: nothing started, nothing changed
    srNotReady = 4,  // no complete read yet
};

// Firmware level from which the encoder knows ISDST, SYNC and DST.
constexpr int FirmwareLevelDST = 103;

// "dd-mmm-yyyy" with the locale's abbreviated month, and "hh:nn:ss".
std::string FormatDeviceDate(const TSystemTime& T);
std::string FormatDeviceTime(const TSystemTime& T);

class TEncoderDialogue {
public:
    // Builds the state table and the device (with its OK/NO framing); the
    // loader thread starts at once, inactive.
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
    // Revert Changes: the editor shows the device copy again.
    void RevertChanges();
    // Factory Defaults: asks, saves the device copy as a backup settings file,
    // sends INIT, waits 1000 ms and reads again. Without a complete read or
    // when the backup cannot be written, shows why and sends nothing. Answers
    // whether the reset was sent.
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

    // Handlers (public so that tests and front ends can drive them directly).
    void LoaderState(TLoaderAutomata* Sender, TCustomState* State);
    void ParseReply(TKVXState* State);
    void DeviceStatus(TCustomDevice* Sender, TConnStatus Status);
    void DevicePacket(TCustomDevice* Sender, TCustomAutomata* PA);
    void DeviceData(TCustomDevice* Sender, const void* Data, std::int32_t Size, TDataDirection Dir, bool& Proceed);

    TLoaderAutomata* LDRA = nullptr;
    TBRDSDataValidator* BRDSDV = nullptr;
    TCustomDevice* Device = nullptr;
    TSystemTime FUTC {};
    // The non-empty lines of the reply being parsed.
    std::vector<std::string> tmpSL;

    // What front ends watch.
    TConnStatus LastStatus() const { return FLastStatus; }
    // Number of the end state (134, 152, 206) the last finished script reached; 0 none yet.
    int LastScriptEnd() const { return FLastEnd; }
    void ClearLastScriptEnd() { FLastEnd = 0; }
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
    void AddStates();
    void Send(const std::string& Msg);
    void Fail(TDialogueFailure Why, const std::string& Command, const std::string& Reply);
    void PopulateHandler(TDataValidator* Sender);
    void CollectHandler(TDataValidator* Sender);
    TBRDSDataValidator* NewRecord();
    void ParsePilot(const std::string& L1);
    void WriteCheck(TKVXStateList* State);

    IDialogueView& FView;
    std::string FPort;
    int FConnectTag = 0;
    bool FConnectEnabled = true;
    TConnStatus FLastStatus = stIdle;
    int FLastEnd = 0;
    TDialogueFailure FFailure = dfNone;
    std::string FFailedCommand;
    std::string FFailedReply;
    std::string FPilotWord;
    std::string FIsDSTWord;
    TTranscript* FTranscript = nullptr;
    std::uint64_t FPackets = 0;
    std::string FLastBackup;
    bool FClosing = false;
};
