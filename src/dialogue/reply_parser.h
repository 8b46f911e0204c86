#pragma once
// The parsing of the encoder's replies: each state's reply goes where the
// state table says (a setting of the device copy by the field table's type,
// the hardware and firmware, the clock, a label). A refused reply, a number
// that is no number and one its setting cannot hold are failures.

#include "dialogue/dialogue_view.h"
#include "dialogue/write_report.h"
#include "platform/time_zone.h"
#include "rds/data_validator.h"

#include <cstdint>
#include <functional>
#include <string>

class TCustomState;

// "dd-mmm-yyyy" with the locale's abbreviated month, and "hh:nn:ss".
std::string FormatDeviceDate(const TSystemTime& T);
std::string FormatDeviceTime(const TSystemTime& T);

// A reply accepted as OK: at least 4 bytes, ending in "OK" CR LF.
bool ReplyAccepted(const std::string& R);

// Where a reply's values go.
struct TReplyTargets {
    TBRDSDataValidator& Record;  // the device copy
    TSystemTime& Clock;          // the encoder's clock as a refresh reads it
    std::int64_t& ClockReadAtMs; // UtcNowMs() when a TIME? reply was read
    std::string& PilotWord;      // the last PILOT? and ISDST? value lines
    std::string& IsDSTWord;
    IDialogueView& View; // its labels, and the refusal's message
    // Ends the script with the failure; called before anything about it is shown.
    std::function<void(TDialogueFailure Why)> Fail;
};

// Parses the reply S holds into the targets, as the state table's row of S
// says. A reply not ending in OK fails
// with dfRefused and shows "Negative Acknowledgement."; a setting's number
// that is not a whole number (dfNotANumber) or lies outside its range
// (dfOutOfRange) leaves -1 in the setting and fails without a message.
void ParseStateReply(const TCustomState& S, const TReplyTargets& T);
