#pragma once
// Text fit for the air. RadioText and the dynamic PS hold 8-bit text (the
// code page of the settings, Latin-1) of at most 64 characters, and a
// receiver shows control bytes as garbage. A now-playing text comes in as
// UTF-8 (or, when it is not valid UTF-8, as Latin-1 bytes) and leaves as:
//   - every character Latin-1 holds kept as its byte;
//   - a combining accent after its letter joined to it when Latin-1 has the
//     pair as one character (e + U+0301 -> é), otherwise left out;
//   - every other character replaced through one transliteration table
//     (ł -> l, ő -> o, ș -> s, € -> EUR, Cyrillic and Greek letters by their
//     usual Latin spelling); one the table lacks is left out;
//   - control bytes removed, tabs and line ends taken as blanks, runs of
//     blanks as one, no blank at either end;
//   - cut to the limit at the last word boundary (within its second half,
//     else at the limit itself).
// What was replaced or left out is reported, so that the caller can warn.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TAirText {
    // Latin-1 bytes, ready to send.
    std::string Text;
    // Each character replaced, once, as "ł -> l" in the order met.
    std::vector<std::string> Replaced;
    // Each character left out, once, as "U+1F3B5".
    std::vector<std::string> Dropped;
    bool ControlsRemoved = false;
    // Longer than the limit: cut.
    bool Cut = false;
};

// The limit of RadioText and of the dynamic PS.
constexpr std::size_t AirTextLimit = 64;

TAirText FitAirText(std::string_view Input, std::size_t Limit = AirTextLimit);

// The table's replacement for a character beyond Latin-1, or nullptr.
const char* Transliteration(std::uint32_t Code);

// One row of the table, for tests that check the table as a whole.
struct TTransliteration {
    std::uint32_t Code;
    const char* Ascii;
};
const TTransliteration* TransliterationTable(std::size_t& Count);

// Latin-1 bytes as UTF-8 (for logs, HTTP answers and JSON).
std::string Latin1ToUtf8(std::string_view Text);

// The warning a fit deserves, or empty: "ł -> l, € -> EUR replaced;
// U+1F3B5 left out; control bytes removed; cut to 64 characters".
std::string FitWarning(const TAirText& Fit, std::size_t Limit = AirTextLimit);
