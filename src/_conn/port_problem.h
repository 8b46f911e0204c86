#pragma once
// Why a serial port could not be had, in words that name the fix. The status
// word stays "Connection Refused" (or "Disconnected from Device"); this is the
// line a front end shows beside it.

#include <cstdint>
#include <string>
#include <vector>

#include "_conn/port_holders.h"

enum TPortProblemKind : std::uint8_t {
    ppNone, // the port was had
    ppOpen, // the port could not be opened: Errno says why
    ppHeld, // other processes hold the port open: Holders names them
    ppLost  // the port went away while connected (adapter unplugged)
};

struct TPortProblem {
    TPortProblemKind Kind = ppNone;
    int Errno = 0;
    std::vector<TPortHolder> Holders;
};

// The message for Problem on the port named Port (as the user gave it, "ttyUSB0"
// or a path). PortsPresent lists the serial ports there are, for a port that
// is missing or went away. Empty for ppNone.
std::string PortProblemText(
    const std::string& Port, const TPortProblem& Problem, const std::vector<std::string>& PortsPresent);
