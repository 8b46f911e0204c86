#include "platform/number_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace {

struct Case {
    std::string_view Text;
    std::optional<std::int32_t> Want;
};

TEST(NumberParse, Int32NotationOfIniFilesAndProperties)
{
    const Case cases[] = {
        {"0", 0},
        {"+17", 17},
        {"-17", -17},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$1f", 31},
        {"0X1F", 31},
        {"-$10", -16},
        {"$FFFFFFFF", -1}, // the full bit pattern
        {"0x80000000", INT32_MIN},
        {"-0x80000000", INT32_MIN},
        {"2147483648", std::nullopt}, // decimal must fit
        {"-2147483649", std::nullopt},
        {"-$FFFFFFFF", std::nullopt},
        {"$100000000", std::nullopt}, // beyond 32 bits
        {"4294967296", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"+-1", std::nullopt},
        {"$-1", std::nullopt},
        {"12a", std::nullopt},
        {"1 ", std::nullopt},
        {" 1", std::nullopt},
        {"0x1g", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseInt32(c.Text), c.Want) << c.Text;
}

TEST(NumberParse, DecimalAndHexTakeTheWholeTextAndRefuseWhatDoesNotFit)
{
    EXPECT_EQ(ParseDecimal<int>("+5"), 5);
    EXPECT_EQ(ParseDecimal<int>("-5"), -5);
    EXPECT_EQ(ParseDecimal<int>("007"), 7);
    EXPECT_EQ(ParseDecimal<int>("5", false), 5);
    for (std::string_view bad : {"", "+", "-", "+-5", "5x", " 5", "1e3"})
        EXPECT_EQ(ParseDecimal<int>(bad), std::nullopt) << bad;
    EXPECT_EQ(ParseDecimal<int>("+5", false), std::nullopt);
    EXPECT_EQ(ParseDecimal<int>("-5", false), std::nullopt);
    EXPECT_EQ(ParseDecimal<std::int32_t>("99999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseDecimal<std::uint8_t>("256"), std::nullopt);

    EXPECT_EQ(ParseHex<std::uint16_t>("c201"), 0xC201);
    EXPECT_EQ(ParseHex<std::uint16_t>("00FFFF"), 0xFFFF);
    for (std::string_view bad : {"", "10000", "0x12", "$12", "+12", "-1", "12G"})
        EXPECT_EQ(ParseHex<std::uint16_t>(bad), std::nullopt) << bad;
}

} // namespace
