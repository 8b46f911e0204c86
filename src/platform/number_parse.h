#pragma once
// Whole-text integer parsing on std::from_chars. Every parser takes the whole
// text or nothing: no blanks, nothing left over, and a value that does not fit
// the type is refused rather than cut.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

// Decimal digits, with an optional "+" or "-" in front when Signed.
template <class T>
std::optional<T> ParseDecimal(std::string_view Text, bool Signed = true)
{
    if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) {
        if (!Signed)
            return std::nullopt;
        // from_chars takes a "-" but no "+", and a "+" must not hide a "-".
        if (Text.front() == '+') {
            Text.remove_prefix(1);
            if (!Text.empty() && Text.front() == '-')
                return std::nullopt;
        }
    }
    T value {};
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// Hexadecimal digits of either case; no sign, no prefix.
template <class T>
std::optional<T> ParseHex(std::string_view Text)
{
    if (!Text.empty() && (Text.front() == '+' || Text.front() == '-'))
        return std::nullopt;
    T value {};
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, value, 16);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// The integer notation of ini files and connection properties: an optional
// sign, then decimal digits, or hexadecimal digits after "$" or "0x". The
// value must fit 32 bits; unsigned hexadecimal may spell the full bit pattern
// ($FFFFFFFF is -1).
std::optional<std::int32_t> ParseInt32(std::string_view Text);
