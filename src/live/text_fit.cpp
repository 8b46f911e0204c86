#include "live/text_fit.h"

#include "platform/text.h"
#include "platform/utf.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// Characters beyond Latin-1 and their Latin spelling, by code point.
constexpr TTransliteration Table[] = {
    {0x0100, "A"},    // Ā
    {0x0101, "a"},    // ā
    {0x0102, "A"},    // Ă
    {0x0103, "a"},    // ă
    {0x0104, "A"},    // Ą
    {0x0105, "a"},    // ą
    {0x0106, "C"},    // Ć
    {0x0107, "c"},    // ć
    {0x0108, "C"},    // Ĉ
    {0x0109, "c"},    // ĉ
    {0x010A, "C"},    // Ċ
    {0x010B, "c"},    // ċ
    {0x010C, "C"},    // Č
    {0x010D, "c"},    // č
    {0x010E, "D"},    // Ď
    {0x010F, "d"},    // ď
    {0x0110, "D"},    // Đ
    {0x0111, "d"},    // đ
    {0x0112, "E"},    // Ē
    {0x0113, "e"},    // ē
    {0x0114, "E"},    // Ĕ
    {0x0115, "e"},    // ĕ
    {0x0116, "E"},    // Ė
    {0x0117, "e"},    // ė
    {0x0118, "E"},    // Ę
    {0x0119, "e"},    // ę
    {0x011A, "E"},    // Ě
    {0x011B, "e"},    // ě
    {0x011C, "G"},    // Ĝ
    {0x011D, "g"},    // ĝ
    {0x011E, "G"},    // Ğ
    {0x011F, "g"},    // ğ
    {0x0120, "G"},    // Ġ
    {0x0121, "g"},    // ġ
    {0x0122, "G"},    // Ģ
    {0x0123, "g"},    // ģ
    {0x0124, "H"},    // Ĥ
    {0x0125, "h"},    // ĥ
    {0x0126, "H"},    // Ħ
    {0x0127, "h"},    // ħ
    {0x0128, "I"},    // Ĩ
    {0x0129, "i"},    // ĩ
    {0x012A, "I"},    // Ī
    {0x012B, "i"},    // ī
    {0x012C, "I"},    // Ĭ
    {0x012D, "i"},    // ĭ
    {0x012E, "I"},    // Į
    {0x012F, "i"},    // į
    {0x0130, "I"},    // İ
    {0x0131, "i"},    // ı
    {0x0132, "IJ"},   // Ĳ
    {0x0133, "ij"},   // ĳ
    {0x0134, "J"},    // Ĵ
    {0x0135, "j"},    // ĵ
    {0x0136, "K"},    // Ķ
    {0x0137, "k"},    // ķ
    {0x0138, "k"},    // ĸ
    {0x0139, "L"},    // Ĺ
    {0x013A, "l"},    // ĺ
    {0x013B, "L"},    // Ļ
    {0x013C, "l"},    // ļ
    {0x013D, "L"},    // Ľ
    {0x013E, "l"},    // ľ
    {0x013F, "L"},    // Ŀ
    {0x0140, "l"},    // ŀ
    {0x0141, "L"},    // Ł
    {0x0142, "l"},    // ł
    {0x0143, "N"},    // Ń
    {0x0144, "n"},    // ń
    {0x0145, "N"},    // Ņ
    {0x0146, "n"},    // ņ
    {0x0147, "N"},    // Ň
    {0x0148, "n"},    // ň
    {0x0149, "'n"},   // ŉ
    {0x014A, "NG"},   // Ŋ
    {0x014B, "ng"},   // ŋ
    {0x014C, "O"},    // Ō
    {0x014D, "o"},    // ō
    {0x014E, "O"},    // Ŏ
    {0x014F, "o"},    // ŏ
    {0x0150, "O"},    // Ő
    {0x0151, "o"},    // ő
    {0x0152, "OE"},   // Œ
    {0x0153, "oe"},   // œ
    {0x0154, "R"},    // Ŕ
    {0x0155, "r"},    // ŕ
    {0x0156, "R"},    // Ŗ
    {0x0157, "r"},    // ŗ
    {0x0158, "R"},    // Ř
    {0x0159, "r"},    // ř
    {0x015A, "S"},    // Ś
    {0x015B, "s"},    // ś
    {0x015C, "S"},    // Ŝ
    {0x015D, "s"},    // ŝ
    {0x015E, "S"},    // Ş
    {0x015F, "s"},    // ş
    {0x0160, "S"},    // Š
    {0x0161, "s"},    // š
    {0x0162, "T"},    // Ţ
    {0x0163, "t"},    // ţ
    {0x0164, "T"},    // Ť
    {0x0165, "t"},    // ť
    {0x0166, "T"},    // Ŧ
    {0x0167, "t"},    // ŧ
    {0x0168, "U"},    // Ũ
    {0x0169, "u"},    // ũ
    {0x016A, "U"},    // Ū
    {0x016B, "u"},    // ū
    {0x016C, "U"},    // Ŭ
    {0x016D, "u"},    // ŭ
    {0x016E, "U"},    // Ů
    {0x016F, "u"},    // ů
    {0x0170, "U"},    // Ű
    {0x0171, "u"},    // ű
    {0x0172, "U"},    // Ų
    {0x0173, "u"},    // ų
    {0x0174, "W"},    // Ŵ
    {0x0175, "w"},    // ŵ
    {0x0176, "Y"},    // Ŷ
    {0x0177, "y"},    // ŷ
    {0x0178, "Y"},    // Ÿ
    {0x0179, "Z"},    // Ź
    {0x017A, "z"},    // ź
    {0x017B, "Z"},    // Ż
    {0x017C, "z"},    // ż
    {0x017D, "Z"},    // Ž
    {0x017E, "z"},    // ž
    {0x017F, "s"},    // ſ
    {0x0192, "f"},    // ƒ
    {0x01A0, "O"},    // Ơ
    {0x01A1, "o"},    // ơ
    {0x01AF, "U"},    // Ư
    {0x01B0, "u"},    // ư
    {0x01CD, "A"},    // Ǎ
    {0x01CE, "a"},    // ǎ
    {0x01CF, "I"},    // Ǐ
    {0x01D0, "i"},    // ǐ
    {0x01D1, "O"},    // Ǒ
    {0x01D2, "o"},    // ǒ
    {0x01D3, "U"},    // Ǔ
    {0x01D4, "u"},    // ǔ
    {0x01D5, "U"},    // Ǖ
    {0x01D6, "u"},    // ǖ
    {0x01D7, "U"},    // Ǘ
    {0x01D8, "u"},    // ǘ
    {0x01D9, "U"},    // Ǚ
    {0x01DA, "u"},    // ǚ
    {0x01DB, "U"},    // Ǜ
    {0x01DC, "u"},    // ǜ
    {0x0218, "S"},    // Ș
    {0x0219, "s"},    // ș
    {0x021A, "T"},    // Ț
    {0x021B, "t"},    // ț
    {0x0386, "A"},    // Ά
    {0x0388, "E"},    // Έ
    {0x0389, "I"},    // Ή
    {0x038A, "I"},    // Ί
    {0x038C, "O"},    // Ό
    {0x038E, "Y"},    // Ύ
    {0x038F, "O"},    // Ώ
    {0x0390, "i"},    // ΐ
    {0x0391, "A"},    // Α
    {0x0392, "V"},    // Β
    {0x0393, "G"},    // Γ
    {0x0394, "D"},    // Δ
    {0x0395, "E"},    // Ε
    {0x0396, "Z"},    // Ζ
    {0x0397, "I"},    // Η
    {0x0398, "Th"},   // Θ
    {0x0399, "I"},    // Ι
    {0x039A, "K"},    // Κ
    {0x039B, "L"},    // Λ
    {0x039C, "M"},    // Μ
    {0x039D, "N"},    // Ν
    {0x039E, "X"},    // Ξ
    {0x039F, "O"},    // Ο
    {0x03A0, "P"},    // Π
    {0x03A1, "R"},    // Ρ
    {0x03A3, "S"},    // Σ
    {0x03A4, "T"},    // Τ
    {0x03A5, "Y"},    // Υ
    {0x03A6, "F"},    // Φ
    {0x03A7, "Ch"},   // Χ
    {0x03A8, "Ps"},   // Ψ
    {0x03A9, "O"},    // Ω
    {0x03AA, "I"},    // Ϊ
    {0x03AB, "Y"},    // Ϋ
    {0x03AC, "a"},    // ά
    {0x03AD, "e"},    // έ
    {0x03AE, "i"},    // ή
    {0x03AF, "i"},    // ί
    {0x03B0, "y"},    // ΰ
    {0x03B1, "a"},    // α
    {0x03B2, "v"},    // β
    {0x03B3, "g"},    // γ
    {0x03B4, "d"},    // δ
    {0x03B5, "e"},    // ε
    {0x03B6, "z"},    // ζ
    {0x03B7, "i"},    // η
    {0x03B8, "th"},   // θ
    {0x03B9, "i"},    // ι
    {0x03BA, "k"},    // κ
    {0x03BB, "l"},    // λ
    {0x03BC, "m"},    // μ
    {0x03BD, "n"},    // ν
    {0x03BE, "x"},    // ξ
    {0x03BF, "o"},    // ο
    {0x03C0, "p"},    // π
    {0x03C1, "r"},    // ρ
    {0x03C2, "s"},    // ς
    {0x03C3, "s"},    // σ
    {0x03C4, "t"},    // τ
    {0x03C5, "y"},    // υ
    {0x03C6, "f"},    // φ
    {0x03C7, "ch"},   // χ
    {0x03C8, "ps"},   // ψ
    {0x03C9, "o"},    // ω
    {0x03CA, "i"},    // ϊ
    {0x03CB, "y"},    // ϋ
    {0x03CC, "o"},    // ό
    {0x03CD, "y"},    // ύ
    {0x03CE, "o"},    // ώ
    {0x0401, "Yo"},   // Ё
    {0x0402, "Dj"},   // Ђ
    {0x0403, "Gj"},   // Ѓ
    {0x0404, "Ye"},   // Є
    {0x0405, "Dz"},   // Ѕ
    {0x0406, "I"},    // І
    {0x0407, "Yi"},   // Ї
    {0x0408, "J"},    // Ј
    {0x0409, "Lj"},   // Љ
    {0x040A, "Nj"},   // Њ
    {0x040B, "C"},    // Ћ
    {0x040C, "Kj"},   // Ќ
    {0x040E, "U"},    // Ў
    {0x040F, "Dz"},   // Џ
    {0x0410, "A"},    // А
    {0x0411, "B"},    // Б
    {0x0412, "V"},    // В
    {0x0413, "G"},    // Г
    {0x0414, "D"},    // Д
    {0x0415, "E"},    // Е
    {0x0416, "Zh"},   // Ж
    {0x0417, "Z"},    // З
    {0x0418, "I"},    // И
    {0x0419, "Y"},    // Й
    {0x041A, "K"},    // К
    {0x041B, "L"},    // Л
    {0x041C, "M"},    // М
    {0x041D, "N"},    // Н
    {0x041E, "O"},    // О
    {0x041F, "P"},    // П
    {0x0420, "R"},    // Р
    {0x0421, "S"},    // С
    {0x0422, "T"},    // Т
    {0x0423, "U"},    // У
    {0x0424, "F"},    // Ф
    {0x0425, "Kh"},   // Х
    {0x0426, "Ts"},   // Ц
    {0x0427, "Ch"},   // Ч
    {0x0428, "Sh"},   // Ш
    {0x0429, "Shch"}, // Щ
    {0x042A, ""},     // Ъ
    {0x042B, "Y"},    // Ы
    {0x042C, ""},     // Ь
    {0x042D, "E"},    // Э
    {0x042E, "Yu"},   // Ю
    {0x042F, "Ya"},   // Я
    {0x0430, "a"},    // а
    {0x0431, "b"},    // б
    {0x0432, "v"},    // в
    {0x0433, "g"},    // г
    {0x0434, "d"},    // д
    {0x0435, "e"},    // е
    {0x0436, "zh"},   // ж
    {0x0437, "z"},    // з
    {0x0438, "i"},    // и
    {0x0439, "y"},    // й
    {0x043A, "k"},    // к
    {0x043B, "l"},    // л
    {0x043C, "m"},    // м
    {0x043D, "n"},    // н
    {0x043E, "o"},    // о
    {0x043F, "p"},    // п
    {0x0440, "r"},    // р
    {0x0441, "s"},    // с
    {0x0442, "t"},    // т
    {0x0443, "u"},    // у
    {0x0444, "f"},    // ф
    {0x0445, "kh"},   // х
    {0x0446, "ts"},   // ц
    {0x0447, "ch"},   // ч
    {0x0448, "sh"},   // ш
    {0x0449, "shch"}, // щ
    {0x044A, ""},     // ъ
    {0x044B, "y"},    // ы
    {0x044C, ""},     // ь
    {0x044D, "e"},    // э
    {0x044E, "yu"},   // ю
    {0x044F, "ya"},   // я
    {0x0451, "yo"},   // ё
    {0x0452, "dj"},   // ђ
    {0x0453, "gj"},   // ѓ
    {0x0454, "ye"},   // є
    {0x0455, "dz"},   // ѕ
    {0x0456, "i"},    // і
    {0x0457, "yi"},   // ї
    {0x0458, "j"},    // ј
    {0x0459, "lj"},   // љ
    {0x045A, "nj"},   // њ
    {0x045B, "c"},    // ћ
    {0x045C, "kj"},   // ќ
    {0x045E, "u"},    // ў
    {0x045F, "dz"},   // џ
    {0x0490, "G"},    // Ґ
    {0x0491, "g"},    // ґ
    {0x1E9E, "SS"},   // ẞ
    {0x2000, " "},    // U+2000
    {0x2001, " "},    // U+2001
    {0x2002, " "},    // U+2002
    {0x2003, " "},    // U+2003
    {0x2004, " "},    // U+2004
    {0x2005, " "},    // U+2005
    {0x2006, " "},    // U+2006
    {0x2007, " "},    // U+2007
    {0x2008, " "},    // U+2008
    {0x2009, " "},    // U+2009
    {0x200A, " "},    // U+200A
    {0x2010, "-"},    // ‐
    {0x2011, "-"},    // ‑
    {0x2012, "-"},    // ‒
    {0x2013, "-"},    // –
    {0x2014, "-"},    // —
    {0x2015, "-"},    // ―
    {0x2018, "'"},    // ‘
    {0x2019, "'"},    // ’
    {0x201A, "'"},    // ‚
    {0x201B, "'"},    // ‛
    {0x201C, "\""},   // “
    {0x201D, "\""},   // ”
    {0x201E, "\""},   // „
    {0x201F, "\""},   // ‟
    {0x2020, "+"},    // †
    {0x2022, "*"},    // •
    {0x2026, "..."},  // …
    {0x202F, " "},    // U+202F
    {0x2030, "%o"},   // ‰
    {0x2032, "'"},    // ′
    {0x2033, "\""},   // ″
    {0x2039, "<"},    // ‹
    {0x203A, ">"},    // ›
    {0x2044, "/"},    // ⁄
    {0x205F, " "},    // U+205F
    {0x20A4, "L"},    // ₤
    {0x20AC, "EUR"},  // €
    {0x20B4, "UAH"},  // ₴
    {0x20B9, "Rs"},   // ₹
    {0x20BA, "TL"},   // ₺
    {0x20BD, "RUB"},  // ₽
    {0x2116, "No"},   // №
    {0x2122, "TM"},   // ™
    {0x2190, "<-"},   // ←
    {0x2192, "->"},   // →
    {0x2212, "-"},    // −
    {0x266A, ""},     // ♪
    {0x266B, ""},     // ♫
    {0x3000, " "},    // U+3000

};

// A letter and a combining accent that Latin-1 holds as one character.
struct TComposition {
    std::uint32_t Mark;
    char Base;
    unsigned char Composed;
};

constexpr TComposition Compositions[] = {
    {0x0300, 'A', 0xC0}, // À
    {0x0300, 'E', 0xC8}, // È
    {0x0300, 'I', 0xCC}, // Ì
    {0x0300, 'O', 0xD2}, // Ò
    {0x0300, 'U', 0xD9}, // Ù
    {0x0300, 'a', 0xE0}, // à
    {0x0300, 'e', 0xE8}, // è
    {0x0300, 'i', 0xEC}, // ì
    {0x0300, 'o', 0xF2}, // ò
    {0x0300, 'u', 0xF9}, // ù
    {0x0301, 'A', 0xC1}, // Á
    {0x0301, 'E', 0xC9}, // É
    {0x0301, 'I', 0xCD}, // Í
    {0x0301, 'O', 0xD3}, // Ó
    {0x0301, 'U', 0xDA}, // Ú
    {0x0301, 'Y', 0xDD}, // Ý
    {0x0301, 'a', 0xE1}, // á
    {0x0301, 'e', 0xE9}, // é
    {0x0301, 'i', 0xED}, // í
    {0x0301, 'o', 0xF3}, // ó
    {0x0301, 'u', 0xFA}, // ú
    {0x0301, 'y', 0xFD}, // ý
    {0x0302, 'A', 0xC2}, // Â
    {0x0302, 'E', 0xCA}, // Ê
    {0x0302, 'I', 0xCE}, // Î
    {0x0302, 'O', 0xD4}, // Ô
    {0x0302, 'U', 0xDB}, // Û
    {0x0302, 'a', 0xE2}, // â
    {0x0302, 'e', 0xEA}, // ê
    {0x0302, 'i', 0xEE}, // î
    {0x0302, 'o', 0xF4}, // ô
    {0x0302, 'u', 0xFB}, // û
    {0x0303, 'A', 0xC3}, // Ã
    {0x0303, 'N', 0xD1}, // Ñ
    {0x0303, 'O', 0xD5}, // Õ
    {0x0303, 'a', 0xE3}, // ã
    {0x0303, 'n', 0xF1}, // ñ
    {0x0303, 'o', 0xF5}, // õ
    {0x0308, 'A', 0xC4}, // Ä
    {0x0308, 'E', 0xCB}, // Ë
    {0x0308, 'I', 0xCF}, // Ï
    {0x0308, 'O', 0xD6}, // Ö
    {0x0308, 'U', 0xDC}, // Ü
    {0x0308, 'a', 0xE4}, // ä
    {0x0308, 'e', 0xEB}, // ë
    {0x0308, 'i', 0xEF}, // ï
    {0x0308, 'o', 0xF6}, // ö
    {0x0308, 'u', 0xFC}, // ü
    {0x0308, 'y', 0xFF}, // ÿ
    {0x030A, 'A', 0xC5}, // Å
    {0x030A, 'a', 0xE5}, // å
    {0x0327, 'C', 0xC7}, // Ç
    {0x0327, 'c', 0xE7}, // ç

};

bool IsCombiningMark(std::uint32_t C)
{
    return C >= 0x0300 && C <= 0x036F;
}

// Characters that show nothing: left out without a word.
bool IsInvisible(std::uint32_t C)
{
    return (C >= 0x200B && C <= 0x200D) || C == 0x2060 || C == 0xFEFF || (C >= 0xFE00 && C <= 0xFE0F);
}

bool IsControl(std::uint32_t C)
{
    return C < 0x20 || (C >= 0x7F && C <= 0x9F);
}

bool IsBlankControl(std::uint32_t C)
{
    return C == '\t' || C == '\n' || C == 0x0B || C == 0x0C || C == '\r';
}

// The characters of Input: UTF-8 when all of it is well-formed, else one
// Latin-1 character per byte (a playout system that sends its 8-bit text).
std::vector<std::uint32_t> Characters(std::string_view Input)
{
    std::vector<std::uint32_t> Out;
    for (std::size_t i = 0; i < Input.size();) {
        const TUtfChar C = DecodeUtf8(Input, i);
        if (!C.Valid) {
            Out.clear();
            for (const char B : Input)
                Out.push_back(static_cast<unsigned char>(B));
            return Out;
        }
        Out.push_back(C.Code);
        i += C.Length;
    }
    return Out;
}

void AddOnce(std::vector<std::string>& List, const std::string& Item)
{
    if (std::find(List.begin(), List.end(), Item) == List.end())
        List.push_back(Item);
}

std::string CodeName(std::uint32_t C)
{
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "U+%.4X", static_cast<unsigned>(C));
    return Buf;
}

// Appends a byte; a blank only after a character that is not one.
void Put(std::string& Out, char B)
{
    if (B == ' ' && (Out.empty() || Out.back() == ' '))
        return;
    Out.push_back(B);
}

} // namespace

const TTransliteration* TransliterationTable(std::size_t& Count)
{
    Count = std::size(Table);
    return Table;
}

const char* Transliteration(std::uint32_t Code)
{
    const auto* End = std::end(Table);
    const auto* It = std::lower_bound(
        std::begin(Table), End, Code, [](const TTransliteration& R, std::uint32_t C) { return R.Code < C; });
    return It != End && It->Code == Code ? It->Ascii : nullptr;
}

TAirText FitAirText(std::string_view Input, std::size_t Limit)
{
    TAirText R;
    std::string& Out = R.Text;
    for (const std::uint32_t C : Characters(Input)) {
        if (IsCombiningMark(C)) {
            const auto* It = std::find_if(std::begin(Compositions), std::end(Compositions),
                [&](const TComposition& K) { return K.Mark == C && !Out.empty() && Out.back() == K.Base; });
            if (It != std::end(Compositions))
                Out.back() = static_cast<char>(It->Composed);
            else
                AddOnce(R.Dropped, CodeName(C));
        } else if (IsBlankControl(C))
            Put(Out, ' ');
        else if (IsControl(C))
            R.ControlsRemoved = true;
        else if (C <= 0xFF)
            Put(Out, static_cast<char>(C));
        else if (IsInvisible(C))
            continue;
        else if (const char* A = Transliteration(C)) {
            for (const char* P = A; *P; ++P)
                Put(Out, *P);
            std::string From;
            AppendUtf8(From, C);
            AddOnce(R.Replaced, From + " -> " + A);
        } else
            AddOnce(R.Dropped, CodeName(C));
    }
    if (!Out.empty() && Out.front() == ' ')
        Out.erase(0, 1);
    if (!Out.empty() && Out.back() == ' ')
        Out.pop_back();
    if (Out.size() > Limit) {
        R.Cut = true;
        // The last blank within the limit (one right after it ends a word
        // exactly there), unless it would lose more than half the text.
        const std::size_t Blank = Out.rfind(' ', Limit);
        Out.resize(Blank != std::string::npos && Blank >= Limit / 2 ? Blank : Limit);
        if (!Out.empty() && Out.back() == ' ')
            Out.pop_back();
    }
    return R;
}

std::string Latin1ToUtf8(std::string_view Text)
{
    std::string Out;
    for (const char B : Text)
        AppendUtf8(Out, static_cast<unsigned char>(B));
    return Out;
}

std::string FitWarning(const TAirText& Fit, std::size_t Limit)
{
    std::vector<std::string> Parts;
    if (!Fit.Replaced.empty())
        Parts.push_back(JoinList(Fit.Replaced) + " replaced");
    if (!Fit.Dropped.empty())
        Parts.push_back(JoinList(Fit.Dropped) + " left out (no 8-bit form)");
    if (Fit.ControlsRemoved)
        Parts.push_back("control bytes removed");
    if (Fit.Cut)
        Parts.push_back("cut to " + std::to_string(Limit) + " characters");
    std::string Out;
    for (const std::string& P : Parts)
        Out += (Out.empty() ? "" : "; ") + P;
    return Out;
}
