#include "write_flow.h"

#include "dialogue/transcript.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "settings_output.h"

namespace {

// The settings-table row a command sets ("PS=..." -> PS), nullptr for the clock's DATE and TIME.
const TField* FieldOfCommand(const std::string& Command)
{
    return FindFieldByWord(Command.substr(0, Command.find('=')));
}

TJson ChangesJson(TSession& S, const TBRDSDataValidator& Target, const std::vector<TMsgChange>& List)
{
    TJson Changes = TJson::Array();
    for (const TMsgChange& M : List) {
        const TField* F = FieldOfCommand(M.Msg);
        TJson C = TJson::Object();
        C.Set("command", TJson::Latin1(M.Msg));
        C.Set("key", F ? TJson::Utf8(F->Key) : TJson());
        C.Set("encoder", F ? FieldJson(*F, S.Dialogue().DeviceCopy()) : TJson());
        C.Set("target", F ? FieldJson(*F, Target) : TJson());
        Changes.Add(C);
    }
    return Changes;
}

// What became of each command of the write, in words for JSON.
const char* CommandStatus(const TWriteReport& R, std::size_t i)
{
    if (i < R.Applied.size())
        return "applied";
    if (i == R.Applied.size() && !R.Failed.empty()) {
        switch (R.How) {
        case dfWriteRefused:
            return "refused";
        case dfNoReply:
            return "no reply";
        case dfLinkLost:
            return "link lost";
        default:
            return "interrupted";
        }
    }
    return "not sent";
}

TJson WriteJson(TSession& S, const TWriteOutcome& V)
{
    const TWriteReport& R = S.Dialogue().WriteReport();
    TJson Commands = TJson::Array();
    for (std::size_t i = 0; i < R.Commands.size(); ++i) {
        const std::string Reply = i < V.Replies.size() ? V.Replies[i].Res : std::string();
        TJson C = TJson::Object();
        C.Set("command", TJson::Latin1(R.Commands[i]));
        C.Set("reply", Reply.empty() ? TJson() : TJson::Latin1(Reply));
        C.Set("status", TJson::Utf8(CommandStatus(R, i)));
        Commands.Add(C);
    }
    TJson Differences = TJson::Array();
    for (const TField* F : V.Differs) {
        TJson D = TJson::Object();
        D.Set("key", TJson::Utf8(F->Key));
        D.Set("written", FieldJson(*F, V.Expected));
        D.Set("held", FieldJson(*F, S.Dialogue().DeviceCopy()));
        Differences.Add(D);
    }
    TJson J = TJson::Object();
    J.Set("commands", Commands);
    J.Set("applied", TJson::Int(static_cast<std::int64_t>(R.Applied.size())));
    J.Set("complete", TJson::Bool(R.Complete()));
    J.Set("verified", V.Done ? TJson::Bool(V.Differs.empty()) : TJson());
    J.Set("differences", Differences);
    return J;
}

} // namespace

int RunWriteFlow(TSession& S, const TBRDSDataValidator& Target, const TWriteFlow& Flow)
{
    const bool Json = S.Options().Json;
    const bool Quiet = S.Options().Verbosity == vbQuiet;
    std::vector<TMsgChange> List;
    if (S.Prepare(Target, Flow.SyncClock, List)) {
        // A question of the validation may have been cut short by an interrupt.
        if (Interrupted()) {
            Reporter().Error("interrupted: nothing was sent");
            return ecInterrupted;
        }
        Reporter().Error("validation refused " + Flow.Source + ": nothing was sent");
        return ecInvalid;
    }
    TJson J = TJson::Object();
    J.Set("schema", TJson::Int(1));
    J.Set("same", TJson::Bool(List.empty()));
    J.Set("changes", ChangesJson(S, Target, List));
    if (!Json && !Quiet)
        for (const TMsgChange& M : List)
            PrintOut(TerminalText(M.Msg, true) + "\n");
    if (!Flow.Write) {
        if (Json)
            PrintOut(J.Dump());
        return List.empty() ? ecDone : ecDiffers;
    }
    TWriteOutcome V;
    const int Code = List.empty()
        ? ecDone
        : S.Write(
            [&](const TMsgChange& M) {
                if (!Json && !Quiet)
                    PrintOut(TerminalText(M.Msg, true) + " -> " + TTranscript::Visible(M.Res) + "\n");
            },
            Flow.SyncClock, Flow.Verify, V);
    if (Json)
        PrintOut(J.Merge(WriteJson(S, V)).Dump());
    return Code;
}
