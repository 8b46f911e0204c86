// kvxctl help [TOPIC]: the help of kvxctl, of a command, of the keys.
#include "command.h"
#include "exit_codes.h"
#include "help_text.h"

namespace {

int Run(const TOptions& O)
{
    const std::string Topic = O.Args.empty() ? std::string() : O.Args[0];
    const std::string Of = O.Args.size() > 1 ? O.Args[1] : std::string();
    const TCommand* C = FindCommand(Of.empty() ? Topic : Of);
    if (!Of.empty() && Topic != "options") {
        Reporter().Error("help takes one topic, not '" + Of + "' after '" + Topic + "'");
        return ecUsage;
    }
    if (Topic.empty() || (C && Of.empty())) {
        PrintOut(HelpText(C));
        return ecDone;
    }
    if (Topic == "keys") {
        PrintOut(KeysText());
        return ecDone;
    }
    if (Topic == "commands") {
        std::string T;
        for (const TCommand* Each : Commands())
            T += std::string(Each->Name) + "\n";
        PrintOut(T);
        return ecDone;
    }
    if (Topic == "options" && (Of.empty() || C)) {
        PrintOut(OptionWords(C));
        return ecDone;
    }
    Reporter().Error("no help on '" + (Of.empty() ? Topic : Of) + "' (kvxctl help lists the commands)");
    return ecUsage;
}

} // namespace

extern const TCommand HelpCommand = {"help", "help [COMMAND | keys | commands | options [COMMAND]]",
    "describe kvxctl, a command, or the keys of get and set",
    "Prints kvxctl's help, or a command's. \"help keys\" lists the keys of get\n"
    "and set with their values; \"help commands\" and \"help options [COMMAND]\"\n"
    "list the command names and the options one a line, for shell completion.",
    {}, 0, 2, "TOPIC", false, Run};
