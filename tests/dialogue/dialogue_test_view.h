#pragma once
// A view that records what the encoder scripts do to it, for tests.

#include "dialogue/dialogue_view.h"

#include <map>
#include <string>
#include <vector>

struct TTestView : IDialogueView {
    TBRDSDataValidator Editor; // what the editor shows; Collect copies it
    bool EditorEnabled = false;
    int Clears = 0;
    int Populates = 0;
    int TitleResets = 0;
    int ManualSyncs = 0;
    int PendingEventRuns = 0;
    std::map<TDialogueLabel, std::string> Labels;
    std::vector<std::string> Statuses;
    std::vector<bool> Flashes;
    std::vector<std::string> Errors;
    std::vector<std::string> Questions;
    std::vector<TScriptProgress> Progress;
    TQuestionAnswer Answer = qaYes;
    // When set, collected records take the computer's clock instead of the editor's.
    bool SyncWithComputer = false;

    void ClearEditor() override { ++Clears; }
    void SetEditorEnabled(bool Enabled) override { EditorEnabled = Enabled; }
    void PopulateEditor(const TBRDSDataValidator& R) override
    {
        ++Populates;
        Editor.AssignSettings(R);
    }
    void CollectEditor(TBRDSDataValidator& R) override
    {
        // The record keeps its own readiness: what the test typed into the
        // editor was never read from an encoder.
        const bool Ready = R.Ready();
        R.AssignSettings(Editor);
        R.Ready(Ready);
        R.RTCManual = !SyncWithComputer;
    }
    void SetLabel(TDialogueLabel L, const std::string& Text) override { Labels[L] = Text; }
    void ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool Flash) override
    {
        Statuses.push_back(Text);
        Flashes.push_back(Flash);
    }
    void ShowError(const std::string& Msg) override { Errors.push_back(Msg); }
    TQuestionAnswer AskYesNoCancel(const std::string& Msg) override
    {
        Questions.push_back(Msg);
        return Answer;
    }
    void ResetTitle() override { ++TitleResets; }
    void SelectManualSynchronization() override
    {
        ++ManualSyncs;
        SyncWithComputer = false;
    }
    void ProcessMessages() override { ++PendingEventRuns; }
    void ScriptProgress(const TScriptProgress& P) override { Progress.push_back(P); }
};
