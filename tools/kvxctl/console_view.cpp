#include "console_view.h"

#include "platform/utf.h"

#include <cstdio>
#include <string>

#include <unistd.h>

std::string TerminalText(const std::string& Text, bool LineEnds)
{
    std::string Out;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto C = static_cast<unsigned char>(Text[i]);
        if (LineEnds && (C == '\r' || C == '\n'))
            Out += C == '\r' ? "\\r" : "\\n";
        else if (!LineEnds && C == '\n')
            Out += '\n';
        else if (!LineEnds && C == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
            continue;
        else if (C < 0x20 || (C >= 0x7F && C <= 0x9F)) {
            char Buf[8];
            std::snprintf(Buf, sizeof Buf, "\\x%.2x", C);
            Out += Buf;
        } else
            AppendUtf8(Out, C);
    }
    return Out;
}

void TConsoleView::ClearEditor()
{
    const bool Manual = Editor.RTCManual;
    Editor.AssignSettings(TBRDSDataValidator());
    Editor.RTCManual = Manual;
}

void TConsoleView::PopulateEditor(const TBRDSDataValidator& Record)
{
    const bool Manual = Editor.RTCManual;
    Editor.AssignSettings(Record);
    // The synchronisation mode is the user's choice, never read from the encoder.
    Editor.RTCManual = Manual;
}

void TConsoleView::CollectEditor(TBRDSDataValidator& Record)
{
    Record.AssignSettings(Editor);
}

void TConsoleView::ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool)
{
    Statuses.push_back(Text);
    if (Verbose)
        std::fprintf(stderr, "kvxctl: %s\n", Text.c_str());
}

void TConsoleView::ShowError(const std::string& Msg)
{
    // One "kvxctl: " line per line of the message.
    const std::string Text = TerminalText(Msg, false);
    std::size_t Pos = 0;
    for (std::size_t End; Pos <= Text.size(); Pos = End + 1) {
        End = Text.find('\n', Pos);
        if (End == std::string::npos)
            End = Text.size();
        std::fprintf(stderr, "kvxctl: %s\n", Text.substr(Pos, End - Pos).c_str());
    }
}

bool TConsoleView::Confirm(const std::string& Question)
{
    std::string Q;
    for (char C : Question)
        if (C == '\n')
            Q += ' ';
        else if (C != '\r')
            Q += C;
    if (FAssumeYes) {
        std::fprintf(stderr, "kvxctl: %s yes (--yes)\n", Q.c_str());
        return true;
    }
    if (!::isatty(0)) {
        std::fprintf(stderr, "kvxctl: %s refused: not asked without a terminal (give --yes)\n", Q.c_str());
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", Q.c_str());
    std::fflush(stderr);
    char Buf[64] = {};
    if (!std::fgets(Buf, sizeof Buf, stdin))
        return false;
    return Buf[0] == 'y' || Buf[0] == 'Y';
}

TQuestionAnswer TConsoleView::AskYesNoCancel(const std::string& Msg)
{
    return Confirm(Msg) ? qaYes : qaCancel;
}

bool TConsoleView::PresentAlerts(const TAlertArray& Alerts)
{
    static const char* const Types[] = {"info", "cancel", "confirm"};
    bool Pass = true;
    for (const TAlert& A : Alerts) {
        const int T = A.AlertType >= altInfo && A.AlertType <= altConfirm ? A.AlertType : 0;
        std::fprintf(stderr, "kvxctl: alert (%s): %s: %s\n", Types[T], TerminalText(A.Name, true).c_str(),
            TerminalText(A.Description, true).c_str());
        if (A.AlertType == altCancel)
            Pass = false;
    }
    if (!Pass)
        return false;
    for (const TAlert& A : Alerts)
        if (A.AlertType == altConfirm && !Confirm(A.Name + ": " + A.Description + " Write all the same?"))
            return false;
    return true;
}
