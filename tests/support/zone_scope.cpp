#include "support/zone_scope.h"

#include "platform/time_zone.h"

#include <cstdlib>
#include <ctime>

TZoneScope::TZoneScope()
{
    if (const char* Old = std::getenv("TZ"))
        FOld = Old;
}

TZoneScope::~TZoneScope()
{
    if (FOld)
        ::setenv("TZ", FOld->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    SetUtcNowOverride(std::nullopt);
}

void TZoneScope::Set(const std::string& Zone)
{
    ::setenv("TZ", Zone.c_str(), 1);
    ::tzset();
}
