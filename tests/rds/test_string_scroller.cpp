#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rds/string_scroller.h"

TEST(StringScroller, FramesOfMessagesAndModes)
{
    struct Case {
        const char* Message;
        int Mode;
        std::vector<std::string> Frames; // one full cycle followed by the restart
    };
    const Case Cases[] = {
        {"WELCOME TO RADIO ONE", 0, {"WELCOME", "TO RADIO", "  ONE", "WELCOME"}},
        {"NEWS AT NINE ON THE HOUR EVERY HOUR", 0, {"NEWS AT", "NINE ON", "THE HOUR", " EVERY", "  HOUR", "NEWS AT"}},
        {"BROADCASTING", 9, {"BROADCAS", "ROADCAST", "OADCASTI", "ADCASTIN", "DCASTING", "BROADCAS"}},
        {"HELLO WORLD", 3, {"HELLO WO", "LO WORLD", "WORLD", "LD", "HELLO WO"}},
        {"HELLO WORLD", 1,
            {"HELLO WO", "ELLO WOR", "LLO WORL", "LO WORLD", "O WORLD", " WORLD", "WORLD", "ORLD", "RLD", "LD", "D",
                "HELLO WO"}},
        {"", 0, {"    ", "    "}},
        {"", 4, {"", ""}},
        {"   ", 0, {"     ", "     "}},
        {"A    B", 9, {"A B", "A B"}},
        {"A    B", 2, {"A    B", "   B", " B", "A    B"}},
        {"HELLO", 10, {"", ""}},
        {"ABCDEFGH XY", 9, {"ABCDEFGH", "XY", "ABCDEFGH"}},
        {"ABCDEFGHI", 9, {"ABCDEFGH", "BCDEFGHI", "ABCDEFGH"}},
    };
    for (const Case& c : Cases) {
        TStringScroller s;
        s.Str(c.Message);
        s.Parse(static_cast<std::uint8_t>(c.Mode));
        for (std::size_t i = 0; i < c.Frames.size(); ++i) {
            EXPECT_EQ(s.ScrollStr(), c.Frames[i]) << '"' << c.Message << "\" mode " << c.Mode << " frame " << i;
            EXPECT_EQ(s.LastScrollStr(), c.Frames[i]);
        }
    }
}

TEST(StringScroller, OnlyNewValuesRestart)
{
    TStringScroller s;
    s.Parse(1);
    s.Str("ABCDEFGHIJ");
    EXPECT_EQ(s.ScrollStr(), "ABCDEFGH");
    s.Str("ABCDEFGHIJ");
    s.Parse(1);
    EXPECT_EQ(s.ScrollStr(), "BCDEFGHI");
    s.Parse(2);
    EXPECT_EQ(s.ScrollStr(), "ABCDEFGH");
    s.Str("0123456789");
    EXPECT_EQ(s.ScrollStr(), "01234567");
}
