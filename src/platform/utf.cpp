#include "platform/utf.h"

TUtfChar DecodeUtf8(std::string_view Text, std::size_t Pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(Text[i]); };
    const unsigned char c = byte(Pos);
    TUtfChar r;
    r.Code = c;
    std::size_t len = 1;
    if (c < 0x80) {
        r.Valid = true;
        return r;
    }
    if (c >= 0xC0 && c <= 0xDF)
        len = 2, r.Code = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, r.Code = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF7)
        len = 4, r.Code = c & 0x07;
    else
        return r;
    for (std::size_t k = 1; k < len; ++k) {
        if (Pos + k >= Text.size() || (byte(Pos + k) & 0xC0) != 0x80) {
            r.Length = k;
            return r;
        }
        r.Code = (r.Code << 6) | (byte(Pos + k) & 0x3F);
    }
    r.Length = len;
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    r.Valid = r.Code >= kSmallest[len] && r.Code <= 0x10FFFF && !(r.Code >= 0xD800 && r.Code <= 0xDFFF);
    return r;
}

TUtfChar DecodeUtf16(std::u16string_view Units, std::size_t Pos)
{
    const char16_t u = Units[Pos];
    TUtfChar r;
    r.Code = u;
    if (u < 0xD800 || u > 0xDFFF) {
        r.Valid = true;
        return r;
    }
    if (u <= 0xDBFF && Pos + 1 < Units.size()) {
        const char16_t lo = Units[Pos + 1];
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
            r.Code = 0x10000 + ((static_cast<std::uint32_t>(u) - 0xD800) << 10) + (lo - 0xDC00);
            r.Length = 2;
            r.Valid = true;
        }
    }
    return r;
}

void AppendUtf8(std::string& Out, std::uint32_t Cp)
{
    if (Cp < 0x80) {
        Out.push_back(static_cast<char>(Cp));
    } else if (Cp < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (Cp >> 6)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    } else if (Cp < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (Cp >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (Cp >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    }
}

std::u16string Utf8ToUtf16(std::string_view Text)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < Text.size()) {
        const TUtfChar ch = DecodeUtf8(Text, i);
        if (!ch.Valid) {
            out.push_back(static_cast<char16_t>(static_cast<unsigned char>(Text[i])));
            ++i;
            continue;
        }
        if (ch.Code >= 0x10000) {
            const std::uint32_t cp = ch.Code - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(ch.Code));
        }
        i += ch.Length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view Units)
{
    std::string out;
    std::size_t i = 0;
    while (i < Units.size() && Units[i] != 0) {
        const TUtfChar ch = DecodeUtf16(Units, i);
        AppendUtf8(out, ch.Code);
        i += ch.Length;
    }
    return out;
}

bool IsUtf8(std::string_view Text, bool* Wide)
{
    bool AnyWide = false;
    for (std::size_t i = 0; i < Text.size();) {
        if (static_cast<unsigned char>(Text[i]) < 0x80) {
            ++i;
            continue;
        }
        const TUtfChar Ch = DecodeUtf8(Text, i);
        if (!Ch.Valid)
            return false;
        AnyWide = true;
        i += Ch.Length;
    }
    if (Wide)
        *Wide = AnyWide;
    return true;
}
