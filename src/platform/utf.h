#pragma once
// UTF-8 and UTF-16 conversion.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One decoded character: its code point and how many units it took.
struct TUtfChar {
    std::uint32_t Code = 0;
    std::size_t Length = 1;
    bool Valid = false;
};

// The UTF-8 character that starts at Pos (< Text.size()). A sequence that is
// not well-formed (a stray byte, a truncated or overlong form, a surrogate, a
// code above U+10FFFF) is not Valid; its Length then covers the lead byte and
// the continuation bytes that follow it.
TUtfChar DecodeUtf8(std::string_view Text, std::size_t Pos);

// The UTF-16 character that starts at Pos (< Units.size()): a surrogate pair is
// one character of Length 2; a lone surrogate stands for itself and is not Valid.
TUtfChar DecodeUtf16(std::u16string_view Units, std::size_t Pos);

void AppendUtf8(std::string& Out, std::uint32_t Code);

// UTF-8 to UTF-16; a byte that does not start a valid sequence stands for itself (Latin-1).
std::u16string Utf8ToUtf16(std::string_view Text);

// Whether Text is valid UTF-8 (plain ASCII included); Wide, when given,
// receives whether it holds a character beyond ASCII.
bool IsUtf8(std::string_view Text, bool* Wide = nullptr);

// UTF-16 to UTF-8 up to the first NUL; a lone surrogate is encoded as it is.
std::string Utf16ToUtf8(std::u16string_view Units);
