#pragma once
// The console's side of the encoder dialogue: the "editor" is a record in
// memory, messages go to the run's reporter (standard error), questions are
// asked on standard input only when it is a terminal (otherwise --yes answers
// them, or they are refused), and validation findings are printed with their
// type.

#include "dialogue/dialogue_view.h"
#include "rds/data_validator.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// 8-bit text (the encoder's, a settings file's) for a terminal: characters
// beyond ASCII in UTF-8, control bytes (C0, DEL, C1: escape sequences of a
// hostile peer among them) as \xhh. With LineEnds CR and LF are shown as \r and
// \n; without, LF ends a line and CR before it is dropped.
std::string TerminalText(const std::string& Text, bool LineEnds);

class TConsoleView : public IDialogueView, public TAlertPresenter {
public:
    explicit TConsoleView(bool AssumeYes) : FAssumeYes(AssumeYes) { Editor.RTCManual = true; }

    TBRDSDataValidator Editor;
    std::map<TDialogueLabel, std::string> Labels;
    // The status texts shown, in order.
    std::vector<std::string> Statuses;
    // The computer's UTC clock (ms since 1970) when the encoder's time was
    // last parsed: what the encoder's clock is compared with.
    std::int64_t ClockReadAtMs = 0;

    void ClearEditor() override;
    void SetEditorEnabled(bool) override { }
    void PopulateEditor(const TBRDSDataValidator& Record) override;
    void CollectEditor(TBRDSDataValidator& Record) override;
    void SetLabel(TDialogueLabel Label, const std::string& Text) override;
    void ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool) override;
    void ShowError(const std::string& Msg) override;
    TQuestionAnswer AskYesNoCancel(const std::string& Msg) override;
    void ResetTitle() override { }
    void SelectManualSynchronization() override { Editor.RTCManual = true; }
    void ProcessMessages() override { }

    bool PresentAlerts(const TAlertArray& Alerts) override;

private:
    bool Confirm(const std::string& Question);
    bool FAssumeYes;
};
