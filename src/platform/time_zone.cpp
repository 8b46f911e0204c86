#include "platform/time_zone.h"

#include <chrono>
#include <ctime>
#include <mutex>

namespace {

std::mutex OverrideLock;
std::optional<std::int64_t> OverrideMs;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Offset east of UTC in seconds and the daylight flag of an instant.
bool LocalAt(std::time_t t, long& GmtOff, bool& Dst)
{
    std::tm tm {};
    if (!localtime_r(&t, &tm))
        return false;
    GmtOff = tm.tm_gmtoff;
    Dst = tm.tm_isdst > 0;
    return true;
}

} // namespace

std::int64_t UtcNowMs()
{
    {
        std::lock_guard<std::mutex> g(OverrideLock);
        if (OverrideMs)
            return *OverrideMs;
    }
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void SetUtcNowOverride(std::optional<std::int64_t> Ms)
{
    std::lock_guard<std::mutex> g(OverrideLock);
    OverrideMs = Ms;
}

TSystemTime UtcFromMs(std::int64_t Ms)
{
    const std::time_t t = static_cast<std::time_t>(FloorDiv(Ms, 1000));
    std::tm tm {};
    gmtime_r(&t, &tm);
    TSystemTime st;
    st.wYear = static_cast<std::uint16_t>(tm.tm_year + 1900);
    st.wMonth = static_cast<std::uint16_t>(tm.tm_mon + 1);
    st.wDayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    st.wDay = static_cast<std::uint16_t>(tm.tm_mday);
    st.wHour = static_cast<std::uint16_t>(tm.tm_hour);
    st.wMinute = static_cast<std::uint16_t>(tm.tm_min);
    st.wSecond = static_cast<std::uint16_t>(tm.tm_sec);
    st.wMilliseconds = static_cast<std::uint16_t>(Ms - FloorDiv(Ms, 1000) * 1000);
    return st;
}

TSystemTime UtcNow()
{
    return UtcFromMs(UtcNowMs());
}

TTimeZoneId GetTimeZoneInformation(TTimeZoneInformation& Info)
{
    return GetTimeZoneInformationAt(UtcNowMs(), Info);
}

TTimeZoneId GetTimeZoneInformationAt(std::int64_t Ms, TTimeZoneInformation& Info)
{
    tzset();
    Info = TTimeZoneInformation {};
    const std::time_t Now = static_cast<std::time_t>(FloorDiv(Ms, 1000));
    long NowOff = 0;
    bool NowDst = false;
    if (!LocalAt(Now, NowOff, NowDst))
        return tzUnknown;

    // Look half a year around now for the other kind of time, to learn both
    // offsets of the zone.
    bool HaveStd = !NowDst, HaveDst = NowDst;
    long StdOff = NowDst ? 0 : NowOff, DstOff = NowDst ? NowOff : 0;
    for (int Month = 1; Month <= 12 && !(HaveStd && HaveDst); ++Month) {
        long Off = 0;
        bool Dst = false;
        if (!LocalAt(Now + static_cast<std::time_t>(Month) * 30 * 86400, Off, Dst))
            continue;
        if (Dst && !HaveDst) {
            HaveDst = true;
            DstOff = Off;
        } else if (!Dst && !HaveStd) {
            HaveStd = true;
            StdOff = Off;
        }
    }
    if (!HaveStd)
        StdOff = -timezone; // a zone in permanent daylight time

    Info.Bias = static_cast<int>(-StdOff / 60);
    Info.StandardBias = 0;
    if (!HaveDst)
        return tzUnknown;
    Info.DaylightBias = static_cast<int>(-(DstOff - StdOff) / 60);
    return NowDst ? tzDaylight : tzStandard;
}

int LocalOffsetMinutes(std::int64_t Ms)
{
    TTimeZoneInformation Info;
    switch (GetTimeZoneInformationAt(Ms, Info)) {
    case tzStandard:
        return -(Info.Bias + Info.StandardBias);
    case tzDaylight:
        return -(Info.Bias + Info.DaylightBias);
    default:
        return -Info.Bias;
    }
}
