#pragma once
// Finding the serial ports present (TConnCOM::EnumerateDevices) and the order
// they are listed in.

#include <string>

// Less-than that compares runs of digits by their value: ttyS2 < ttyS10.
bool NaturalLess(const std::string& A, const std::string& B);
