#pragma once
// Where the program's help page is, <name> being the program file's name
// without its extension, looked for from the program's folder in this order:
//   ../share/<name>/<name>.html      an installed program (the page is data:
//                                    minimal installs that leave out share/doc
//                                    keep it)
//   <name>.html                      beside the program: a build tree, a
//                                    portable copy
//   ../share/doc/<name>/<name>.html  an older installation
#include <QString>

// The first of these that exists as a file; empty when none does.
QString FindHelpFile(const QString& ProgramFile);
