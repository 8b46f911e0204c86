#pragma once
// The UTC clock and the local time-zone information, in the shape the RDS
// settings use: a broken-down system time and biases in minutes (UTC minus
// local time). Tests can fix "now" so that the clock and the zone state they
// see are the same on every run.

#include <cstdint>
#include <optional>

struct TSystemTime {
    std::uint16_t wYear = 0;      // in full, e.g. 2015
    std::uint16_t wMonth = 0;     // 1-12
    std::uint16_t wDayOfWeek = 0; // 0 = Sunday
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

enum TTimeZoneId {
    tzUnknown = 0,  // the zone has no standard/daylight distinction
    tzStandard = 1, // standard time is in force
    tzDaylight = 2  // daylight time is in force
};

struct TTimeZoneInformation {
    int Bias = 0;         // UTC minus local standard time, minutes
    int StandardBias = 0; // added to Bias while standard time is in force
    int DaylightBias = 0; // added to Bias while daylight time is in force
};

// Milliseconds since 1970-01-01 00:00 UTC: the override when one is set,
// else the system clock.
std::int64_t UtcNowMs();

// Fixes UtcNowMs() (and so every function below) at a given instant;
// std::nullopt returns to the system clock.
void SetUtcNowOverride(std::optional<std::int64_t> Ms);

// The UTC date and time of UtcNowMs().
TSystemTime UtcNow();

// The UTC date and time of an instant.
TSystemTime UtcFromMs(std::int64_t Ms);

// The biases of the local zone (TZ, read again on every call) and which of
// them is in force at UtcNowMs().
TTimeZoneId GetTimeZoneInformation(TTimeZoneInformation& Info);
// The same at a given instant.
TTimeZoneId GetTimeZoneInformationAt(std::int64_t Ms, TTimeZoneInformation& Info);

// Local time minus UTC in minutes at an instant, from the zone information:
// -(Bias + the bias of the kind of time in force).
int LocalOffsetMinutes(std::int64_t Ms);
