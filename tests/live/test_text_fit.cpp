#include "live/text_fit.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct TFitCase {
    const char* In;
    const char* Out; // as UTF-8
    bool Warned;     // something was replaced, left out, removed or cut
};

} // namespace

// One table for the way a text reaches the air: what Latin-1 holds stays,
// the rest is spelled in Latin letters, and the warning says so.
TEST(TextFit, EveryCharacterReachesTheAirAsLatin1)
{
    const TFitCase Cases[] = {
        {"Artist - Title", "Artist - Title", false},
        {"Café Müller Ñandú", "Café Müller Ñandú", false}, // Latin-1 itself
        {"Łódź", "Lódz", true},                            // ó is Latin-1
        {"Ő és ű", "O és u", true},
        {"Ștefan Țară", "Stefan Tara", true},
        {"Dvořák", "Dvorák", true},
        {"Žižek Šuša Čapek", "Zizek Susa Capek", true},
        {"İstanbul ığdır", "Istanbul igdir", true},
        {"Œuvre œ", "OEuvre oe", true},
        {"Straße ẞ", "Straße SS", true},
        {"5 €", "5 EUR", true},
        {"10 ₽", "10 RUB", true},
        {"„Hello“ ‘you’", "\"Hello\" 'you'", true},
        {"A – B — C", "A - B - C", true},
        {"Wait…", "Wait...", true},
        {"Brand™", "BrandTM", true},
        {"Кино — Группа крови", "Kino - Gruppa krovi", true},
        {"Щедрик", "Shchedrik", true},
        {"Ελλάδα", "Ellada", true},
        {"e\xcc\x81t\xc3\xa9", "été", false},          // a combining accent joins its letter
        {"n\xcc\x8c", "n", true},                      // one Latin-1 lacks is left out
        {"zero\xe2\x80\x8bwidth", "zerowidth", false}, // invisible, quietly left out
        {"Song \xf0\x9f\x8e\xb5", "Song", true},       // no 8-bit form at all
        {"a\tb\r\nc", "a b c", false},                 // tabs and line ends are blanks
        {"bell\x07 esc\x1b[1m", "bell esc[1m", true},
        {"c1 \xc2\x85 gone", "c1 gone", true}, // a C1 control in UTF-8
        {"  many   blanks  ", "many blanks", false},
        {"caf\xe9 na\xefve", "café naïve", false}, // not UTF-8: Latin-1 bytes
        {"\xe2\x82\xac", "EUR", true},
    };
    for (const TFitCase& C : Cases) {
        const TAirText F = FitAirText(C.In);
        EXPECT_EQ(Latin1ToUtf8(F.Text), C.Out) << C.In;
        EXPECT_EQ(!FitWarning(F).empty(), C.Warned) << C.In << ": " << FitWarning(F);
    }
}

TEST(TextFit, TheWarningNamesWhatChanged)
{
    const TAirText F = FitAirText("ł ł € \xf0\x9f\x8e\xb5 \x01");
    EXPECT_EQ(FitWarning(F),
        "\xc5\x82 -> l, \xe2\x82\xac -> EUR replaced; U+1F3B5 left out (no 8-bit form); control bytes removed");
}

TEST(TextFit, ALongTextIsCutAtAWordBoundary)
{
    // 73 characters: the last word that fits ends at 59.
    const std::string Long = "Orchestra of the Age of Enlightenment - Symphony No. 9 in D minor Op. 125";
    const TAirText F = FitAirText(Long);
    EXPECT_TRUE(F.Cut);
    EXPECT_EQ(F.Text, "Orchestra of the Age of Enlightenment - Symphony No. 9 in D");
    EXPECT_LE(F.Text.size(), AirTextLimit);
    // A word that ends exactly at the limit stays whole.
    EXPECT_EQ(FitAirText(std::string(63, 'a') + "b c").Text, std::string(63, 'a') + "b");
    // One word longer than the limit is cut at the limit.
    EXPECT_EQ(FitAirText(std::string(80, 'x')).Text, std::string(64, 'x'));
    // A boundary in the first half would lose too much: cut at the limit.
    EXPECT_EQ(FitAirText("ab " + std::string(80, 'y')).Text, "ab " + std::string(61, 'y'));
    // Transliteration can make a text longer than it was; the cut comes after.
    EXPECT_EQ(FitAirText(std::string(40, 'a') + " " + "Щщщщщщщщщщ").Text.size(), 40u);
}

TEST(TextFit, TheTableIsSortedAndSpellsInPrintableAscii)
{
    std::size_t N = 0;
    const TTransliteration* T = TransliterationTable(N);
    ASSERT_GT(N, 300u);
    std::set<std::uint32_t> Seen;
    for (std::size_t i = 0; i < N; ++i) {
        EXPECT_GT(T[i].Code, 0xFFu) << i;
        if (i > 0) {
            EXPECT_LT(T[i - 1].Code, T[i].Code) << "row " << i << " out of order";
        }
        for (const char* P = T[i].Ascii; *P; ++P)
            EXPECT_TRUE(*P >= 0x20 && *P < 0x7F) << std::hex << T[i].Code;
        EXPECT_EQ(Transliteration(T[i].Code), T[i].Ascii);
    }
    // Every letter of Latin Extended-A has its spelling.
    for (std::uint32_t C = 0x100; C <= 0x17F; ++C)
        EXPECT_NE(Transliteration(C), nullptr) << std::hex << C;
    EXPECT_EQ(Transliteration(0x4E2D), nullptr);
}
