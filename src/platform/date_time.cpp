#include "platform/date_time.h"

#include <chrono>
#include <ctime>

namespace {
constexpr double UnixEpochDays = 25569.0; // 1970-01-01 as days since 1899-12-30
}

TDateTime Now()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm local {};
    localtime_r(&secs, &local);
    const double localMs = static_cast<double>(ms) + static_cast<double>(local.tm_gmtoff) * 1000.0;
    return UnixEpochDays + localMs / 86400000.0;
}

std::int64_t TickMs()
{
    const auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(t).count() + 1;
}

std::int64_t MsSince(std::int64_t Since)
{
    if (Since == 0)
        return 0;
    const std::int64_t d = TickMs() - Since;
    return d > 0 ? d : 0;
}
