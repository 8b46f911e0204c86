// kvxctl get KEY...: settings and facts by key, one value a line or JSON.
#include "command.h"
#include "console_view.h"
#include "exit_codes.h"
#include "session.h"
#include "settings_output.h"

namespace {

// What a key names: a read-only fact, a group of settings, or one setting.
struct TKeyTarget {
    std::string Key; // as the settings file and JSON write it
    const TDeviceFact* Fact = nullptr;
    std::vector<const TField*> Fields;
};

bool Resolve(const std::string& Key, TKeyTarget& T)
{
    if (const TDeviceFact* F = FindDeviceFact(Key)) {
        T = {F->Key, F, {}};
        return true;
    }
    if (const TField* F = FindFieldByKey(Key)) {
        T = {F->Key, nullptr, {F}};
        return true;
    }
    T.Fields = FieldGroup(Key);
    if (T.Fields.empty())
        return false;
    T.Key = T.Fields.front()->Group;
    return true;
}

std::string ValueText(const TField& F, const TBRDSDataValidator& R)
{
    return FieldKnown(F, R.FirmwareLevel()) ? TerminalText(FieldValueText(F, R), true) : std::string("N/A");
}

int Run(const TOptions& O)
{
    // Every key is known before the port is opened.
    std::vector<TKeyTarget> Targets(O.Args.size());
    for (std::size_t i = 0; i < O.Args.size(); ++i)
        if (!Resolve(O.Args[i], Targets[i])) {
            Reporter().Error("unknown key '" + TerminalText(O.Args[i], true) + "' (kvxctl help keys lists them)");
            return ecUsage;
        }
    TSession S(O);
    if (const int E = S.Start())
        return E;
    const TEncoderDialogue& D = S.Dialogue();
    const TBRDSDataValidator& R = D.DeviceCopy();
    std::string Text;
    TJson J = TJson::Object();
    J.Set("schema", TJson::Int(1));
    for (const TKeyTarget& T : Targets) {
        if (T.Fact) {
            Text += TerminalText(T.Fact->Text(D), true) + "\n";
            J.Set(T.Key, T.Fact->Json(D));
        } else if (T.Fields.size() == 1 && !T.Fields[0]->Group) {
            Text += ValueText(*T.Fields[0], R) + "\n";
            SetFieldJson(J, *T.Fields[0], R);
        } else {
            TJson Slots = TJson::Array();
            for (const TField* F : T.Fields) {
                Text += ValueText(*F, R) + "\n";
                Slots.Add(FieldJson(*F, R));
            }
            J.Set(T.Key, T.Fields.size() == 1 ? FieldJson(*T.Fields[0], R) : Slots);
        }
    }
    PrintOut(O.Json ? J.Dump() : Text);
    return ecDone;
}

} // namespace

extern const TCommand GetCommand = {"get", "get KEY...", "print settings by key, one value a line",
    "Reads the encoder and prints the value of each KEY, one a line, in the\n"
    "order given: the settings file's keys (PI, PS, PTY, ... AF1 to AF7, OFFSET,\n"
    "DST, SYNC; AF names the seven slots), and the read-only HW, FW, SERIAL,\n"
    "PILOT, CLOCK and ISDST. Keys are matched without regard to case; kvxctl\n"
    "help keys lists them. Values are written as in the settings file; a\n"
    "setting the encoder's firmware does not know reads N/A (JSON: null).\n"
    "--format json prints one object with the keys as read's JSON has them.",
    {}, 1, -1, "KEY", true, Run};
