#pragma once
// What the encoder scripts do to the window (or to a console front end): the
// editor, the device labels, the status panel, message boxes and the title.

#include "rds/data_validator.h"

#include <cstdint>
#include <string>

// The labels the read and clock-refresh scripts fill.
enum class TDialogueLabel : std::uint8_t { lbPilot, lbRTC_DD, lbRTC_DT, lbRTC_DO, lbRTC_DDST };

enum TQuestionAnswer : std::uint8_t { qaYes = 0, qaNo = 1, qaCancel = 2 };

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
};
