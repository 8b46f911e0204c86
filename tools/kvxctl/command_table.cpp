#include "command.h"

#include <string>

// Each command's file defines one of these.
extern const TCommand ReadCommand, GetCommand, SetCommand, DiffCommand, WriteCommand, DefaultsCommand, ClockCommand,
    LiveCommand, SendCommand, PortsCommand, FleetCommand, ExporterCommand, HelpCommand;

namespace {

const TCommand* const Table[] = {
    &ReadCommand,
    &GetCommand,
    &SetCommand,
    &DiffCommand,
    &WriteCommand,
    &DefaultsCommand,
    &ClockCommand,
    &LiveCommand,
    &SendCommand,
    &PortsCommand,
    &FleetCommand,
    &ExporterCommand,
    &HelpCommand,
};

} // namespace

std::span<const TCommand* const> Commands()
{
    return Table;
}

const TCommand* FindCommand(std::string_view Name)
{
    for (const TCommand* C : Table)
        if (Name == C->Name)
            return C;
    return nullptr;
}

std::vector<TOptionSpec> AllOptions()
{
    std::vector<TOptionSpec> All(GlobalOptions().begin(), GlobalOptions().end());
    for (const TCommand* C : Commands())
        for (const TOptionSpec& S : C->Options) {
            bool Known = false;
            for (const TOptionSpec& A : All)
                Known = Known || std::string(A.Long) == S.Long;
            if (!Known)
                All.push_back(S);
        }
    return All;
}
