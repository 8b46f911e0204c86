#include "platform/version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "kvx_version.h"

TEST(Version, VersionStringRefusesUnfinishedConversions)
{
    const std::string V = GetVersionString("%d.%d.%d.%d");
    ASSERT_FALSE(V.empty());
    EXPECT_EQ(std::count(V.begin(), V.end(), '.'), 3) << V;
    // A NUL is not a conversion character: "%-" followed by NULs must not reach
    // the formatter unfinished.
    EXPECT_EQ(GetVersionString(std::string("%-\0\0", 4)), "");
    EXPECT_EQ(GetVersionString(std::string("%\0", 2)), "");
    EXPECT_EQ(GetVersionString(std::string("%5.\0d", 5)), "");
    // Text after a NUL is never looked at, as the formatter would not.
    EXPECT_EQ(GetVersionString(std::string("%d.%d.%d.%d\0%s", 14)), V);
    for (const char* Bad : {"%", "%s.%d", "%ld", "%*d", "%n", "%d%d%d%d%d", "%s", "%1$d", "%1.2.3d"})
        EXPECT_EQ(GetVersionString(Bad), "") << Bad;
    // A width or precision beyond two digits is refused rather than making a
    // text of that many characters.
    EXPECT_TRUE(GetVersionString("%100000000d").empty());
    EXPECT_TRUE(GetVersionString("%.100000000d").empty());
    char Want[64];
    std::snprintf(Want, sizeof Want, "%03d|%-3d|%.2d|%5.3x", KVX_VERSION_MAJOR, KVX_VERSION_MINOR, KVX_VERSION_PATCH,
        KVX_VERSION_TWEAK);
    EXPECT_EQ(GetVersionString("%03d|%-3d|%.2d|%5.3x"), Want);
    EXPECT_EQ(GetVersionString("v%%%d"), "v%" + V.substr(0, V.find('.')));
}
