#pragma once
// kvxctl's commands. Each command is one file that defines its TCommand: its
// name, its help, the options it takes besides the global ones, its
// arguments and what it runs. The table in command_table.cpp lists them.

#include "options.h"

#include <span>
#include <string_view>
#include <vector>

struct TCommand {
    const char* Name;
    // What follows "kvxctl" in the usage line: "diff FILE [--sync-clock]".
    const char* Synopsis;
    // One line for the list of commands.
    const char* Summary;
    // What the command does, lines of at most 78 characters.
    const char* Help;
    // The options it takes besides the global ones.
    std::span<const TOptionSpec> Options;
    // Arguments after the command: at least MinArgs, at most MaxArgs (-1: no
    // limit); ArgName names one in usage errors ("FILE", "KEY").
    int MinArgs;
    int MaxArgs;
    const char* ArgName;
    // Whether it talks to an encoder (and so needs a port).
    bool NeedsPort;
    // Runs it with the parsed options; answers the exit code (TExitCode).
    int (*Run)(const TOptions& Options);
};

// Every command, in the order help lists them.
std::span<const TCommand* const> Commands();
const TCommand* FindCommand(std::string_view Name);
// Every option of kvxctl: the global ones, then those of the commands, once each.
std::vector<TOptionSpec> AllOptions();
