#pragma once
// kvxctl's help, written from the command table, the option specs and the
// field table, so that it always says what the program does.

#include "json.h"

#include <string>

struct TCommand;

// The help of a command, or kvxctl's own when Command is nullptr.
std::string HelpText(const TCommand* Command);
// The keys get and set take, with their values: "PTY     0 to 31".
std::string KeysText();
// The options a command takes (the global ones included), or without a
// command every option kvxctl knows, one a line, as they are typed; one that
// takes a value ends in "=": "--port=", "-p=", "--quiet".
std::string OptionWords(const TCommand* Command);

// The same as JSON objects (without "schema").
TJson HelpJson(const TCommand* Command);
TJson KeysJson();
TJson OptionWordsJson(const TCommand* Command);
