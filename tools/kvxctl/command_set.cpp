// kvxctl set KEY=VALUE...: single settings, validated, written and verified.
#include "command.h"
#include "console_view.h"
#include "exit_codes.h"
#include "rds/settings_file.h"
#include "settings_output.h"
#include "write_flow.h"

#include <charconv>
#include <cmath>
#include <set>

namespace {

const TOptionSpec Options[] = {YesOption, NoVerifyOption};

// An alternative frequency given in MHz ("98.0") as its code ("105"); any
// other value as it is, for the field table to judge.
std::string AFCode(const std::string& Value)
{
    if (Value.find('.') == std::string::npos)
        return Value;
    double MHz = 0;
    const auto [End, Ec] = std::from_chars(Value.data(), Value.data() + Value.size(), MHz);
    const long Tenths = std::lround(MHz * 10);
    if (Ec != std::errc() || End != Value.data() + Value.size() || std::fabs(MHz * 10 - Tenths) > 1e-6 || Tenths < 876
        || Tenths > 1079)
        return Value;
    return std::to_string(Tenths - 875);
}

struct TAssignment {
    const TField* Field;
    std::string Value;
};

// KEY=VALUE words to settings-table rows; false after saying what is wrong.
bool ReadAssignments(const std::vector<std::string>& Args, std::vector<TAssignment>& Out)
{
    std::set<const TField*> Seen;
    for (const std::string& A : Args) {
        const std::size_t Eq = A.find('=');
        const std::string Key = A.substr(0, Eq);
        const TField* F = FindFieldByKey(Key);
        std::string Why;
        if (Eq == std::string::npos)
            Why = "set takes KEY=VALUE, not '" + A + "'";
        else if (FindDeviceFact(Key))
            Why = Key + " is read-only";
        else if (!FieldGroup(Key).empty())
            Why = "give the slots one by one: " + Key + "1=... to " + Key + "7=...";
        else if (!F)
            Why = "unknown key '" + Key + "' (kvxctl help keys lists them)";
        else if (!Seen.insert(F).second)
            Why = std::string(F->Key) + " is given twice";
        else if (A.find_first_of("\r\n") != std::string::npos)
            Why = std::string(F->Key) + ": a value holds no line end";
        if (!Why.empty()) {
            Reporter().Error(TerminalText(Why, true));
            return false;
        }
        Out.push_back({F, F->Group ? AFCode(A.substr(Eq + 1)) : A.substr(Eq + 1)});
    }
    return true;
}

// Takes the values by the settings file's rules (its text encodings, its
// checks); false after naming every value refused.
bool TakeValues(const std::vector<TAssignment>& List, TBRDSDataValidator& Values)
{
    std::string Text;
    for (const TAssignment& A : List)
        Text += std::string(A.Field->Key) + "=" + A.Value + "\r\n";
    ParseSettingsFile(Text, Values);
    for (const TAlert& A : Values.SourceFindings)
        Reporter().Error(TerminalText(A.Key + "=" + A.Value, true) + ": " + TerminalText(A.Description, true));
    if (Values.SourceFindings.empty())
        return true;
    Reporter().Error("validation refused the values: nothing was sent");
    return false;
}

int Run(const TOptions& O)
{
    std::vector<TAssignment> List;
    if (!ReadAssignments(O.Args, List))
        return ecUsage;
    TBRDSDataValidator Values;
    if (!TakeValues(List, Values))
        return ecInvalid;
    TSession S(O);
    if (const int E = S.Start())
        return E;
    const TBRDSDataValidator& Held = S.Dialogue().DeviceCopy();
    TBRDSDataValidator Target;
    Target.AssignSettings(Held);
    for (const TAssignment& A : List) {
        if (!FieldKnown(*A.Field, Held.FirmwareLevel())) {
            Reporter().Error(std::string(A.Field->Key) + ": the encoder's firmware (" + TerminalText(Held.FW, true)
                + ") does not know it: nothing was sent");
            return ecInvalid;
        }
        if (A.Field->Type == ftText)
            Target.*A.Field->TextField = Values.*A.Field->TextField;
        else
            A.Field->Set(Target, A.Field->Get(Values));
    }
    TWriteFlow Flow;
    Flow.Write = true;
    Flow.Verify = !O.Has("no-verify");
    Flow.Source = "the values";
    return RunWriteFlow(S, Target, Flow);
}

} // namespace

extern const TCommand SetCommand
    = {"set", "set KEY=VALUE... [--yes] [--no-verify]", "change settings by key, and verify them",
        "Checks every value against its setting's range, width and text rules\n"
        "before the port is opened (a refused value: exit 4, nothing is sent), then\n"
        "reads the encoder and writes only the settings that differ, in the\n"
        "encoder's write order, printing each command with its reply, and reads the\n"
        "encoder back to verify them (exit 5 when one differs). Keys are those of\n"
        "the settings file, in any letter case (kvxctl help keys); values are\n"
        "written as there: PI=C201, PS='RADIO 1 ', OFFSET=-05:30. AF1 to AF7 take\n"
        "the code or the frequency in MHz (AF2=105 or AF2=98.0; 0 for none). A write\n"
        "that stops short names what was applied and what was not (exit 6 when\n"
        "some were applied).",
        Options, 1, -1, "KEY=VALUE", true, Run};
