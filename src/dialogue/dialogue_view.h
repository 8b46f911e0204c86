#pragma once
// What the encoder scripts do to the window (or to a console front end): the
// editor, the device labels, the status panel, message boxes and the title.

#include "rds/data_validator.h"

#include <cstdint>
#include <string>

// Firmware level from which the encoder knows ISDST, SYNC and DST.
constexpr int FirmwareLevelDST = 103;

// The labels the read and clock-refresh scripts fill.
enum class TDialogueLabel : std::uint8_t { lbPilot, lbRTC_DD, lbRTC_DT, lbRTC_DO, lbRTC_DDST };

enum TQuestionAnswer : std::uint8_t { qaYes = 0, qaNo = 1, qaCancel = 2 };

// The scripts the dialogue runs, one at a time.
enum TDialogueScript : std::uint8_t {
    scNone = 0,         // nothing runs
    scRead = 1,         // every setting is read (after a connection and after a reset)
    scWrite = 2,        // the changed settings are written (Save Changes)
    scFactoryReset = 3, // INIT is sent and awaited, then the line settles; the re-read is an scRead
    scClockRefresh = 4, // the encoder's clock and pilot are read again
};

// How far the running script is.
struct TScriptProgress {
    TDialogueScript Script = scNone;
    // Commands sent so far, the one being answered included (0 before the first).
    int Step = 0;
    // Commands the script sends in all: 33 for a read (30 below firmware level
    // 103, known once REV? is answered), the changed settings for a write,
    // 1 (INIT) for a reset, 5 (4 below level 103) for a clock refresh.
    int Total = 0;
};

class IDialogueView {
public:
    virtual ~IDialogueView() = default;

    // The editor: empty it, enable or disable its panels, show a record in it,
    // and fill a record from it.
    virtual void ClearEditor() = 0;
    virtual void SetEditorEnabled(bool Enabled) = 0;
    virtual void PopulateEditor(const TBRDSDataValidator& Record) = 0;
    virtual void CollectEditor(TBRDSDataValidator& Record) = 0;

    virtual void SetLabel(TDialogueLabel Label, const std::string& Text) = 0;
    // Colours are toolkit values, red in the low byte; Flash makes the panel
    // swap them twice a second until the next status.
    virtual void ShowStatus(const std::string& Text, std::uint32_t Fore, std::uint32_t Back, bool Flash) = 0;
    // A modal error box with an OK button.
    virtual void ShowError(const std::string& Msg) = 0;
    // A modal confirmation box with Yes, No and Cancel.
    virtual TQuestionAnswer AskYesNoCancel(const std::string& Msg) = 0;
    // FileName emptied and the title set back to the one without a file name.
    virtual void ResetTitle() = 0;
    // Selects "Manual Synchronization" in the clock panel and runs its click handler.
    virtual void SelectManualSynchronization() = 0;
    // Lets the user interface handle its pending events.
    virtual void ProcessMessages() = 0;
    // Called on the main thread whenever a script starts, sends a command or
    // ends (Script scNone), and when a read learns its total. The window shows
    // "Reading 12/33", "Writing 3 of 7", "Resetting" from it.
    virtual void ScriptProgress(const TScriptProgress& Progress) { (void)Progress; }
};
