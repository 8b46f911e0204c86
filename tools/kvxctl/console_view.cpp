#include "console_view.h"

#include "interrupt.h"
#include "output.h"
#include "platform/time_zone.h"
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

void TConsoleView::SetLabel(TDialogueLabel Label, const std::string& Text)
{
    Labels[Label] = Text;
    if (Label == TDialogueLabel::lbRTC_DT)
        ClockReadAtMs = UtcNowMs();
}

void TConsoleView::ShowStatus(const std::string& Text, std::uint32_t, std::uint32_t, bool)
{
    Statuses.push_back(Text);
    Reporter().Detail(TerminalText(Text, true));
}

void TConsoleView::ShowError(const std::string& Msg)
{
    Reporter().Error(TerminalText(Msg, false));
}

bool TConsoleView::Confirm(const std::string& Question)
{
    std::string Q;
    for (char C : Question)
        if (C == '\n')
            Q += ' ';
        else if (C != '\r')
            Q += C;
    Q = TerminalText(Q, true);
    if (FAssumeYes) {
        Reporter().Note(Q + " yes (--yes)");
        return true;
    }
    if (!::isatty(0)) {
        Reporter().Error(Q + " refused: not asked without a terminal (give --yes)");
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", Q.c_str());
    std::fflush(stderr);
    std::string Answer;
    const bool Read = ReadAnswerLine(Answer);
    if (Interrupted()) {
        std::fputc('\n', stderr);
        return false;
    }
    return Read && (Answer.rfind('y', 0) == 0 || Answer.rfind('Y', 0) == 0);
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
        const std::string Line = std::string("alert (") + Types[T] + "): " + TerminalText(A.Name, true) + ": "
            + TerminalText(A.Description, true);
        if (A.AlertType == altCancel)
            Reporter().Error(Line);
        else
            Reporter().Note(Line);
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
