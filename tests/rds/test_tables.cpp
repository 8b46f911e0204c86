// The fixed tables, pinned entry by entry: a name changed by one character or a
// call-letter row moved to another (free) PI must fail here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rds/common.h"

TEST(Tables, ProgrammeTypeNamesExactly)
{
    const char* const Rds[32] = {"None", "News", "Current Affairs", "Information", "Sport", "Education", "Drama",
        "Culture", "Science", "Varied", "Pop Music", "Rock Music", "Easy Listening", "Light Classical",
        "Serious Classical", "Other Music", "Weather", "Finance", "Children's Progs", "Social Affairs", "Religion",
        "Phone In", "Travel", "Leisure", "Jazz Music", "Country Music", "National Music", "Oldies Music", "Folk Music",
        "Documentary", "Alarm Test", "Alarm"};
    const char* const Rbds[32] = {"None", "News", "Information", "Sports", "Talk", "Rock", "Classic Rock", "Adult Hits",
        "Soft Rock", "Top 40", "Country", "Oldies", "Soft", "Nostalgia", "Jazz", "Classical", "Rhythm and Blues",
        "Soft R & B", "Foreign Language", "Religious Music", "Religious Talk", "Personality", "Public", "College",
        "Unassigned", "Unassigned", "Unassigned", "Unassigned", "Unassigned", "Weather", "Emergency Test", "Emergency"};
    std::vector<std::string> RdsList, RbdsList;
    FillPTYList(RdsList, false, false);
    FillPTYList(RbdsList, true, false);
    ASSERT_EQ(RdsList.size(), 32u);
    ASSERT_EQ(RbdsList.size(), 32u);
    for (int i = 0; i < 32; ++i) {
        EXPECT_STREQ(PTY_RDS[i], Rds[i]) << i;
        EXPECT_STREQ(PTY_RBDS[i], Rbds[i]) << i;
        EXPECT_EQ(RdsList[i], Rds[i]) << i;
        EXPECT_EQ(RbdsList[i], Rbds[i]) << i;
    }
}

TEST(Tables, EveryCallLetterTableEntryPinned)
{
    const struct {
        const char* Letters;
        std::uint16_t PI;
    } Want[74] = {{"KEX", 0x9950}, {"KFH", 0x9951}, {"KFI", 0x9952}, {"KGA", 0x9953}, {"KGO", 0x9954}, {"KGU", 0x9955},
        {"KGW", 0x9956}, {"KGY", 0x9957}, {"KID", 0x9958}, {"KIT", 0x9959}, {"KJR", 0x995A}, {"KLO", 0x995B},
        {"KLZ", 0x995C}, {"KMA", 0x995D}, {"KMJ", 0x995E}, {"KNX", 0x995F}, {"KOA", 0x9960}, {"KQV", 0x9964},
        {"KSL", 0x9965}, {"KUJ", 0x9966}, {"KVI", 0x9967}, {"KWG", 0x9968}, {"KYW", 0x996B}, {"WBZ", 0x996D},
        {"WDZ", 0x996E}, {"WEW", 0x996F}, {"WGL", 0x9971}, {"WGN", 0x9972}, {"WGR", 0x9973}, {"WHA", 0x9975},
        {"WHB", 0x9976}, {"WHK", 0x9977}, {"WHO", 0x9978}, {"WIP", 0x997A}, {"WJR", 0x997B}, {"WKY", 0x997C},
        {"WLS", 0x997D}, {"WLW", 0x997E}, {"WOC", 0x9981}, {"WOL", 0x9983}, {"WOR", 0x9984}, {"WWJ", 0x9988},
        {"WWL", 0x9989}, {"KDB", 0x9990}, {"KGB", 0x9991}, {"KOY", 0x9992}, {"KPQ", 0x9993}, {"KSD", 0x9994},
        {"KUT", 0x9995}, {"KXL", 0x9996}, {"KXO", 0x9997}, {"WBT", 0x9999}, {"WGH", 0x999A}, {"WGY", 0x999B},
        {"WHP", 0x999C}, {"WIL", 0x999D}, {"WMC", 0x999E}, {"WMT", 0x999F}, {"WOI", 0x99A0}, {"WOW", 0x99A1},
        {"WRR", 0x99A2}, {"WSB", 0x99A3}, {"WSM", 0x99A4}, {"KBW", 0x99A5}, {"KCY", 0x99A6}, {"KDF", 0x99A7},
        {"KHQ", 0x99AA}, {"KOB", 0x99AB}, {"WIS", 0x99B3}, {"WJW", 0x99B4}, {"WJZ", 0x99B5}, {"WRC", 0x99B9},
        {"VOAR", 0xCEC4}, {"VOCM", 0xCEC5}};
    for (int i = 0; i < 74; ++i) {
        EXPECT_STREQ(CallLettersTable[i].Letters, Want[i].Letters) << i;
        EXPECT_EQ(CallLettersTable[i].PI, Want[i].PI) << Want[i].Letters;
        EXPECT_EQ(CallLettersToPI(Want[i].Letters), Want[i].PI) << Want[i].Letters;
        EXPECT_EQ(PIToCallLetters(Want[i].PI), Want[i].Letters) << std::hex << Want[i].PI;
    }
    // The free slots between the entries have no call letters.
    for (std::uint16_t PI : {0x9961, 0x9962, 0x9963, 0x9969, 0x996A, 0x996C, 0x9970, 0x9974, 0x9979, 0x997F, 0x9980,
             0x9982, 0x9985, 0x998A, 0x9998, 0x99A8, 0x99A9, 0x99AC, 0x99B2, 0x99B6, 0x99B8, 0x99BA})
        EXPECT_EQ(PIToCallLetters(PI), "----") << std::hex << PI;
}
