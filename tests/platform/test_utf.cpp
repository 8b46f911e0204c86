#include "platform/utf.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

TEST(Utf, DecodeUtf8TellsWellFormedFromMalformed)
{
    struct Case {
        std::string_view Bytes;
        bool Valid;
        std::uint32_t Code; // when valid
        std::size_t Length;
    };
    const Case cases[] = {
        {"A", true, 'A', 1},
        {"\xC3\xA9", true, 0xE9, 2},
        {"\xE2\x82\xAC", true, 0x20AC, 3},
        {"\xF0\x9F\x98\x80", true, 0x1F600, 4},
        {"\xF4\x8F\xBF\xBF", true, 0x10FFFF, 4},
        {"\xC1\x81", false, 0, 2},         // overlong "A"
        {"\xE0\x80\xAF", false, 0, 3},     // overlong "/"
        {"\xED\xA0\x80", false, 0, 3},     // a surrogate
        {"\xF4\x90\x80\x80", false, 0, 4}, // above U+10FFFF
        {"\xE2\x82", false, 0, 2},         // truncated
        {"\xE2\x41\x42", false, 0, 1},     // a lead byte without continuation
        {"\x80", false, 0, 1},             // a stray continuation byte
        {"\xFF", false, 0, 1},
    };
    for (const Case& c : cases) {
        const TUtfChar ch = DecodeUtf8(c.Bytes, 0);
        EXPECT_EQ(ch.Valid, c.Valid) << testing::PrintToString(c.Bytes);
        EXPECT_EQ(ch.Length, c.Length) << testing::PrintToString(c.Bytes);
        if (c.Valid) {
            EXPECT_EQ(ch.Code, c.Code) << testing::PrintToString(c.Bytes);
        }
    }
}

TEST(Utf, ConversionsBothWays)
{
    // Bytes that are no UTF-8 stand for themselves as Latin-1.
    EXPECT_EQ(Utf8ToUtf16("Caf\xC3\xA9 \xE9\xC1\x81 \xF0\x9F\x98\x80"), u"Caf\u00e9 \u00e9\u00c1\u0081 \U0001F600");
    EXPECT_EQ(Utf16ToUtf8(u"Caf\u00e9 \U0001F600"), "Caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"ab\0cd", 5)), "ab"); // ends at NUL
    // A lone surrogate is kept as it is, and the character after it too.
    EXPECT_EQ(Utf16ToUtf8(std::u16string {0xD800, u'x'}), "\xED\xA0\x80x");
    EXPECT_EQ(DecodeUtf16(std::u16string {0xDC00}, 0).Valid, false);
}

TEST(Utf, IsUtf8TellsValidTextAndWhetherItGoesBeyondAscii)
{
    struct {
        const char* Bytes;
        bool Valid;
        bool Wide;
    } Cases[] = {
        {"", true, false}, {"PS=RADIO", true, false}, {"Caf\xC3\xA9", true, true}, {"Caf\xE9", false, false}, // Latin-1
        {"ab\xC3", false, false},       // cut short
        {"\xC3\xA9\xFF", false, false}, // valid, then a stray byte
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Bytes);
        bool Wide = !C.Wide;
        EXPECT_EQ(IsUtf8(C.Bytes, &Wide), C.Valid);
        if (C.Valid) {
            EXPECT_EQ(Wide, C.Wide);
        }
    }
}

} // namespace
