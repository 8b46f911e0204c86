#pragma once
// Sets the time zone (TZ) for a test and restores it, and clears any UTC
// clock override, when the object goes.

#include <optional>
#include <string>

class TZoneScope {
public:
    TZoneScope();
    explicit TZoneScope(const std::string& Zone) : TZoneScope() { Set(Zone); }
    ~TZoneScope();
    TZoneScope(const TZoneScope&) = delete;
    TZoneScope& operator=(const TZoneScope&) = delete;

    void Set(const std::string& Zone);

private:
    std::optional<std::string> FOld;
};
