// kvxctl help [TOPIC]: the help of kvxctl, of a command, of the keys.
#include "command.h"
#include "exit_codes.h"
#include "help_text.h"

namespace {

// Prints a topic as text, or with --format json as {"schema": 1, Key: Value}
// (Key empty: Value's members).
int Print(const TOptions& O, const std::string& Text, const char* Key, const TJson& Value)
{
    if (!O.Json) {
        PrintOut(Text);
        return ecDone;
    }
    TJson J = TJson::Object();
    J.Set("schema", TJson::Int(1));
    if (*Key)
        J.Set(Key, Value);
    else
        J.Merge(Value);
    PrintOut(J.Dump());
    return ecDone;
}

int Run(const TOptions& O)
{
    const std::string Topic = O.Args.empty() ? std::string() : O.Args[0];
    const std::string Of = O.Args.size() > 1 ? O.Args[1] : std::string();
    const TCommand* C = FindCommand(Of.empty() ? Topic : Of);
    if (!Of.empty() && Topic != "options") {
        Reporter().Error("help takes one topic, not '" + Of + "' after '" + Topic + "'");
        return ecUsage;
    }
    if (Topic.empty() || (C && Of.empty()))
        return Print(O, HelpText(C), "", HelpJson(C));
    if (Topic == "keys")
        return Print(O, KeysText(), "keys", KeysJson());
    if (Topic == "commands") {
        std::string T;
        TJson List = TJson::Array();
        for (const TCommand* Each : Commands()) {
            T += std::string(Each->Name) + "\n";
            List.Add(TJson::Utf8(Each->Name));
        }
        return Print(O, T, "commands", List);
    }
    if (Topic == "options" && (Of.empty() || C))
        return Print(O, OptionWords(C), "options", OptionWordsJson(C));
    Reporter().Error("no help on '" + (Of.empty() ? Topic : Of) + "' (kvxctl help lists the commands)");
    return ecUsage;
}

} // namespace

extern const TCommand HelpCommand = {"help", "help [COMMAND | keys | commands | options [COMMAND]]",
    "describe kvxctl, a command, or the keys of get and set",
    "Prints kvxctl's help, or a command's. \"help keys\" lists the keys of get\n"
    "and set with their values; \"help commands\" lists the command names and\n"
    "\"help options [COMMAND]\" the options (a command's, else all), one a line,\n"
    "for shell completion; an option that takes a value ends in \"=\".",
    {}, 0, 2, "TOPIC", false, Run};
