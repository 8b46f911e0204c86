#pragma once
// A write as diff, write and set show it: the commands that bring the encoder
// to the target's settings, then (unless it is only a diff) each command sent
// with its reply, and the read-back that verifies them. Text lines as they
// happen, or one JSON object at the end.

#include "session.h"

#include <string>

struct TWriteFlow {
    bool Write = false;     // diff when false: nothing that changes the encoder is sent
    bool SyncClock = false; // the computer's clock is written too
    bool Verify = true;     // read back after writing
    std::string Source;     // what the settings came from, for messages ("station.kvx", "the values")
};

// Runs the flow on a session that has read the encoder. Answers the exit
// code: for a diff 0 (the same) or 1 (differs); for a write 0 when every
// command was applied and verified.
int RunWriteFlow(TSession& Session, const TBRDSDataValidator& Target, const TWriteFlow& Flow);
