#include "command.h"

// Each command's file defines one of these.
extern const TCommand ReadCommand, GetCommand, SetCommand, DiffCommand, WriteCommand, DefaultsCommand, ClockCommand,
    LiveCommand, SendCommand, PortsCommand, HelpCommand;

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
