#pragma once
// Reads kvxctl's command line by the command table: which command, its
// arguments and options, and whether they fit it.

#include "options.h"

// Reads the command line into Options. Answers -1 when the command is to run;
// otherwise the exit code to end with, after the help or the version was
// printed (0) or a usage error was reported (64).
int ParseOptions(int Argc, char** Argv, TOptions& Options);
