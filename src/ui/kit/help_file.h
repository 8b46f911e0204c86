#pragma once
// Where the program's help file is: "<name>.html" beside the program file (a
// build tree, a portable copy), else "../share/doc/<name>/<name>.html" from
// the program's folder (an installed program), <name> being the program
// file's name without its extension.
#include <QString>

// The first of the two that exists as a file; empty when neither does.
QString FindHelpFile(const QString& ProgramFile);
