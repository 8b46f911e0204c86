#pragma once
// Wall-clock time stamps and monotonic tick counts.
//
// TDateTime is the number of days since 1899-12-30 00:00 in local time, the
// fraction being the time of day. It is for time stamps only: every duration is
// measured with TickMs(), which follows the monotonic clock.

#include <cstdint>

using TDateTime = double;

// Local time now.
TDateTime Now();

// Milliseconds of the monotonic clock. Never 0, so that 0 can mean "not set".
std::int64_t TickMs();

// Whole milliseconds since a TickMs() value (0 when Since is 0 or in the future).
std::int64_t MsSince(std::int64_t Since);
