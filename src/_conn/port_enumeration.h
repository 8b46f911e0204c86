#pragma once
// Finding the serial ports present (TConnCOM::EnumerateDevices) and the order
// they are listed in.

#include <string>
#include <vector>

// Serial ports present: entries of SysRoot that have a device/driver link,
// less the on-board UART slots that have no UART behind them; names without
// "/dev/", naturally sorted. With OnlyUseable, only ports that DevRoot/<name>
// opens for our exclusive use.
std::vector<std::string> EnumerateSerialPorts(bool OnlyUseable, const std::string& SysRoot, const std::string& DevRoot);

// Less-than that compares runs of digits by their value: ttyS2 < ttyS10.
bool NaturalLess(const std::string& A, const std::string& B);
