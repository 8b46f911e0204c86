#pragma once
// The program's version as text.

#include <string>

// Fmt formatted with the program's four version numbers (major, minor,
// release, build). Fmt must take four int conversions, e.g. "%d.%d.%d.%d".
std::string GetVersionString(const std::string& Fmt);
