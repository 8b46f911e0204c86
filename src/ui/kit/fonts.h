#pragma once
// The program's two faces, each asked for with a list of families so that the
// fixed pixel layout looks the same wherever the first choice is missing.
#include <QFont>

QFont WindowFont(); // "Tahoma" 8 pt, then "Liberation Sans", then the system sans
QFont MonoFont();   // "Courier New" 8 pt, then "Liberation Mono", then the system monospace
