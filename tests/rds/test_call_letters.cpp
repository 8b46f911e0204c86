#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rds/common.h"

TEST(CallLetters, ExamplesBothWays)
{
    struct Case {
        const char* Letters;
        std::uint16_t PI;
        const char* Back; // what the PI converts back to
    };
    const Case Cases[] = {
        {"kaaa", 0xAFA1, "KAAA"},
        {"KABC", 0xA11C, "KABC"},
        {"WXYZ", 0x93ED, "WXYZ"},
        {"KZZZ", 0x54A7, "KZZZ"},
        {"WAAA", 0x54A8, "WAAA"},
        {"CFRB", 0xC2CF, "CFRB"},
        {"CKAC", 0xCC07, "CKAC"},
        {"CFA", 0xC101, "CFA"},
        {"CKZZ", 0xCEC3, "CKZZ"},
        {"VF0", 0xCEC6, "VF0"},
        {"VF57", 0xCEFF, "VF57"},
        {"VF58", 0xCF01, "VF58"},
        {"VF312", 0xCFFF, "VF312"},
        {"VF313", 0xAC01, "VF313"},
        {"VF567", 0xACFF, "VF567"},
        {"VF568", 0xAFC1, "VF568"},
        {"VF582", 0xAFCF, "VF582"},
        {"VF583", 0xAFAC, "VF583"},
        {"VF584", 0xCEC6, "VF0"},
        {"KEX", 0x9950, "KEX"},
        {"VOAR", 0xCEC4, "VOAR"},
        {"  wbz ", 0x996D, "WBZ"},
    };
    for (const Case& c : Cases) {
        EXPECT_EQ(CallLettersToPI(c.Letters), c.PI) << c.Letters;
        EXPECT_EQ(PIToCallLetters(c.PI), c.Back) << std::hex << c.PI;
    }
}

TEST(CallLetters, UnknownGiveNothing)
{
    for (const char* s : {"CBC", "XYZ", "KA", "", "K1AB", "C F", "WA-B"})
        EXPECT_EQ(CallLettersToPI(s), 0) << s;
    for (std::uint16_t pi : {0x0000, 0xC200, 0x0123, 0xFFFF, 0x9961})
        EXPECT_EQ(PIToCallLetters(pi), "----") << std::hex << pi;
}

TEST(CallLetters, EveryAcceptedCallSignComesBack)
{
    std::vector<std::string> Calls;
    for (char a = 'A'; a <= 'Z'; ++a)
        for (char b = 'A'; b <= 'Z'; ++b) {
            for (char c = 'A'; c <= 'Z'; ++c) {
                Calls.push_back(std::string("K") + a + b + c);
                Calls.push_back(std::string("W") + a + b + c);
            }
        }
    for (char s : std::string("FHIJK"))
        for (char b = 'A'; b <= 'Z'; ++b) {
            Calls.push_back(std::string("C") + s + b);
            for (char c = 'A'; c <= 'Z'; ++c)
                Calls.push_back(std::string("C") + s + b + c);
        }
    for (int m = 0; m <= 583; ++m)
        Calls.push_back("VF" + std::to_string(m));
    for (const auto& e : CallLettersTable)
        Calls.push_back(e.Letters);

    for (const std::string& Call : Calls) {
        const std::uint16_t PI = CallLettersToPI(Call);
        ASSERT_NE(PI, 0) << Call;
        ASSERT_EQ(PIToCallLetters(PI), Call) << Call << " " << std::hex << PI;
    }
}

TEST(Common, PTYListsAndHelpers)
{
    std::vector<std::string> List {"old"};
    FillPTYList(List, true, true);
    ASSERT_EQ(List.size(), 32u);
    EXPECT_EQ(List[5], "5 - Rock");
    EXPECT_EQ(List[31], "31 - Emergency");
    FillPTYList(List, false, false);
    ASSERT_EQ(List.size(), 32u);
    EXPECT_EQ(List[2], "Current Affairs");
    EXPECT_EQ(List[18], "Children's Progs");
}
