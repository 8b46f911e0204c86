#pragma once
// A JSON value for kvxctl's output: built up, then written out once. Numbers
// keep the digits they are given; strings are escaped so that any byte an
// encoder sends reads back as the same character.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TJson {
public:
    // null
    TJson() = default;

    static TJson Bool(bool Value);
    static TJson Int(std::int64_t Value);
    // A decimal number with a fixed count of decimals: Fixed(98.0, 1) is 98.0.
    static TJson Fixed(double Value, int Decimals);
    // 8-bit text as the encoder and the settings file hold it (each byte one
    // character of the 8-bit code page).
    static TJson Latin1(const std::string& Text);
    // UTF-8 text (paths, messages); a byte that starts no valid sequence
    // stands for the character of the 8-bit code page.
    static TJson Utf8(const std::string& Text);
    static TJson Array();
    static TJson Object();

    // Appends to an array.
    TJson& Add(TJson Value);
    // Sets a member of an object, in the order first set.
    TJson& Set(const std::string& Key, TJson Value);
    // Takes every member of another object.
    TJson& Merge(const TJson& Other);

    bool IsNull() const { return FKind == jkNull; }

    // Indented by two blanks per level and ended by a line end; Compact: on
    // one line (for one object per line).
    std::string Dump(bool Compact = false) const;

private:
    enum TKind : std::uint8_t { jkNull, jkScalar, jkArray, jkObject };
    void DumpTo(std::string& Out, bool Compact, int Level) const;
    // Holds no array or object.
    bool Flat() const;

    TKind FKind = jkNull;
    std::string FScalar; // the written form of a number, true, false or a string
    std::vector<TJson> FItems;
    std::vector<std::pair<std::string, TJson>> FMembers;
};

// A JSON string of UTF-8 text, quoted: " \ and every control character
// (C0, DEL, C1) escaped.
std::string JsonQuoted(const std::string& Utf8);
