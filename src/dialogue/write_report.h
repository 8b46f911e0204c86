#pragma once
// What a write did to the encoder, and how a person is told. A write sends
// one setting command after the other; when it stops short, some commands
// were applied (answered OK), one failed (refused, unanswered, cut off by a
// lost link or an interruption) and the rest were never sent.

#include <cstdint>
#include <string>
#include <vector>

// Why a script stopped short (dfNone: it did not).
enum TDialogueFailure : std::uint8_t {
    dfNone = 0,
    dfRefused = 1,        // a query answered with anything but OK
    dfNotANumber = 2,     // a numeric reply that is not a whole number
    dfWriteRefused = 3,   // a setting command not answered exactly OK
    dfNoReply = 4,        // no reply within the reply time-out
    dfLinkLost = 5,       // the link went away while a script ran
    dfInitRefused = 6,    // INIT answered with anything but OK: the encoder was not reset
    dfInitUnanswered = 7, // no reply to INIT within the reply time-out
    dfInterrupted = 8,    // the user stopped the script (Disconnect, or an interrupt of the console)
    dfOutOfRange = 9,     // a numeric reply outside the range its setting allows
};

struct TWriteReport {
    // Every command of the write, in the order they are sent.
    std::vector<std::string> Commands;
    // The commands answered OK, in order (a prefix of Commands).
    std::vector<std::string> Applied;
    // The command that stopped the write, when one did: refused, or sent and
    // never answered. Empty when the write was stopped between two commands.
    std::string Failed;
    // dfNone while the write runs or once every command was applied; else
    // dfWriteRefused, dfNoReply, dfLinkLost or dfInterrupted.
    TDialogueFailure How = dfNone;
    // The refused command's reply, byte for byte.
    std::string Reply;
    // The commands never sent, in order.
    std::vector<std::string> NotSent;
    // The reply time-out in force, in milliseconds (named in a no-reply report).
    std::int64_t TimeoutMs = 0;

    bool Complete() const { return How == dfNone && Applied.size() == Commands.size(); }
    // Some commands were applied and the write stopped short.
    bool PartlyChanged() const { return How != dfNone && !Applied.empty(); }
};

// The report in words, lines separated by CR LF. A refused write begins with
// "Save Failed! Negative Acknowledgement.", then names the refused command and
// its reply, what was applied and what was not sent; an unanswered, cut-off
// or interrupted write names the command whose reply is missing, which may or
// may not have been applied. A complete write with CheckFailure set (the read
// that checked it failed) says that every command was applied and only the
// check failed, and why.
std::string WriteReportText(const TWriteReport& Report, const std::string& CheckFailure = std::string());

// Milliseconds as seconds in words: 5000 -> "5 s", 1500 -> "1.5 s".
std::string SecondsText(std::int64_t Ms);
