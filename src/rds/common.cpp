#include "rds/common.h"

#include <cctype>

const char* const PTY_RDS[32]
    = {"None", "News", "Current Affairs", "Information", "Sport", "Education", "Drama", "Culture", "Science", "Varied",
        "Pop Music", "Rock Music", "Easy Listening", "Light Classical", "Serious Classical", "Other Music", "Weather",
        "Finance", "Children's Progs", "Social Affairs", "Religion", "Phone In", "Travel", "Leisure", "Jazz Music",
        "Country Music", "National Music", "Oldies Music", "Folk Music", "Documentary", "Alarm Test", "Alarm"};

const char* const PTY_RBDS[32] = {"None", "News", "Information", "Sports", "Talk", "Rock", "Classic Rock", "Adult Hits",
    "Soft Rock", "Top 40", "Country", "Oldies", "Soft", "Nostalgia", "Jazz", "Classical", "Rhythm and Blues",
    "Soft R & B", "Foreign Language", "Religious Music", "Religious Talk", "Personality", "Public", "College",
    "Unassigned", "Unassigned", "Unassigned", "Unassigned", "Unassigned", "Weather", "Emergency Test", "Emergency"};

const TCallLettersPI CallLettersTable[74] = {{"KEX", 0x9950}, {"KFH", 0x9951}, {"KFI", 0x9952}, {"KGA", 0x9953},
    {"KGO", 0x9954}, {"KGU", 0x9955}, {"KGW", 0x9956}, {"KGY", 0x9957}, {"KID", 0x9958}, {"KIT", 0x9959},
    {"KJR", 0x995A}, {"KLO", 0x995B}, {"KLZ", 0x995C}, {"KMA", 0x995D}, {"KMJ", 0x995E}, {"KNX", 0x995F},
    {"KOA", 0x9960}, {"KQV", 0x9964}, {"KSL", 0x9965}, {"KUJ", 0x9966}, {"KVI", 0x9967}, {"KWG", 0x9968},
    {"KYW", 0x996B}, {"WBZ", 0x996D}, {"WDZ", 0x996E}, {"WEW", 0x996F}, {"WGL", 0x9971}, {"WGN", 0x9972},
    {"WGR", 0x9973}, {"WHA", 0x9975}, {"WHB", 0x9976}, {"WHK", 0x9977}, {"WHO", 0x9978}, {"WIP", 0x997A},
    {"WJR", 0x997B}, {"WKY", 0x997C}, {"WLS", 0x997D}, {"WLW", 0x997E}, {"WOC", 0x9981}, {"WOL", 0x9983},
    {"WOR", 0x9984}, {"WWJ", 0x9988}, {"WWL", 0x9989}, {"KDB", 0x9990}, {"KGB", 0x9991}, {"KOY", 0x9992},
    {"KPQ", 0x9993}, {"KSD", 0x9994}, {"KUT", 0x9995}, {"KXL", 0x9996}, {"KXO", 0x9997}, {"WBT", 0x9999},
    {"WGH", 0x999A}, {"WGY", 0x999B}, {"WHP", 0x999C}, {"WIL", 0x999D}, {"WMC", 0x999E}, {"WMT", 0x999F},
    {"WOI", 0x99A0}, {"WOW", 0x99A1}, {"WRR", 0x99A2}, {"WSB", 0x99A3}, {"WSM", 0x99A4}, {"KBW", 0x99A5},
    {"KCY", 0x99A6}, {"KDF", 0x99A7}, {"KHQ", 0x99AA}, {"KOB", 0x99AB}, {"WIS", 0x99B3}, {"WJW", 0x99B4},
    {"WJZ", 0x99B5}, {"WRC", 0x99B9}, {"VOAR", 0xCEC4}, {"VOCM", 0xCEC5}};

namespace {

bool IsLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}
int Val(char c)
{
    return c - 'A';
}

// Letters from position From on are all A-Z.
bool LettersFrom(const std::string& s, std::size_t From)
{
    for (std::size_t i = From; i < s.size(); ++i)
        if (!IsLetter(s[i]))
            return false;
    return true;
}

std::uint16_t RawPI(const std::string& s)
{
    const std::size_t n = s.size();
    if (s[0] == 'K' && n == 4) {
        if (!LettersFrom(s, 1))
            return 0;
        return static_cast<std::uint16_t>(0x1000 + 676 * Val(s[1]) + 26 * Val(s[2]) + Val(s[3]));
    }
    if (s[0] == 'W' && n == 4) {
        if (!LettersFrom(s, 1))
            return 0;
        return static_cast<std::uint16_t>(0x54A8 + 676 * Val(s[1]) + 26 * Val(s[2]) + Val(s[3]));
    }
    if (s[0] == 'C' && (n == 3 || n == 4)) {
        static const char kSecond[] = "FHIJK";
        int a = -1;
        for (int i = 0; i < 5; ++i)
            if (s[1] == kSecond[i])
                a = i;
        if (a < 0 || !LettersFrom(s, 2))
            return 0;
        const int b = Val(s[2]);
        const int d = n == 3 ? 0 : Val(s[3]) + 1;
        const int v = 702 * a + 27 * b + d;
        return static_cast<std::uint16_t>(0xC101 + v + v / 255);
    }
    if (n >= 3 && n <= 6 && s[0] == 'V' && s[1] == 'F') {
        int m = 0;
        bool Number = true;
        for (std::size_t i = 2; i < n; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(s[i])))
                Number = false;
            else
                m = m * 10 + (s[i] - '0');
        }
        if (!Number)
            m = 0;
        m %= 584;
        if (m < 58)
            return static_cast<std::uint16_t>(0xCEC6 + m);
        if (m <= 312)
            return static_cast<std::uint16_t>(0xCF01 + (m - 58));
        if (m <= 567)
            return static_cast<std::uint16_t>(0xAC01 + (m - 313));
        if (m <= 582)
            return static_cast<std::uint16_t>(0xAFC1 + (m - 568));
        return 0xAFAC;
    }
    for (const auto& E : CallLettersTable)
        if (s == E.Letters)
            return E.PI;
    return 0;
}

} // namespace

std::uint16_t CallLettersToPI(const std::string& Text)
{
    std::size_t b = 0, e = Text.size();
    while (b < e && static_cast<unsigned char>(Text[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(Text[e - 1]) <= ' ')
        --e;
    std::string s = Text.substr(b, e - b);
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (s.size() < 3)
        return 0;
    std::uint16_t PI = RawPI(s);
    if (PI == 0)
        return 0;
    // Codes whose second digit is 0 move to the A range, codes ending in 00 to AF.
    if (((PI >> 8) & 0xF) == 0)
        PI = static_cast<std::uint16_t>(0xA000 + ((PI >> 12) << 8) + (PI & 0xFF));
    if ((PI & 0xFF) == 0)
        PI = static_cast<std::uint16_t>(0xAF00 + (PI >> 8));
    return PI;
}

std::string PIToCallLetters(std::uint16_t PI)
{
    if (PI == 0)
        return "----";
    if (PI >= 0xAC01 && PI <= 0xACFF)
        return "VF" + std::to_string(PI - 0xAC01 + 313);
    if (PI >= 0xAFC1 && PI <= 0xAFCF)
        return "VF" + std::to_string(PI - 0xAFC1 + 568);
    if (PI == 0xAFAC)
        return "VF583";
    if ((PI >> 8) == 0xAF)
        PI = static_cast<std::uint16_t>((PI & 0xFF) << 8);
    if ((PI >> 12) == 0xA)
        PI = static_cast<std::uint16_t>((((PI >> 8) & 0xF) << 12) | (PI & 0xFF));
    if (PI >= 0x1000 && PI <= 0x994F) {
        std::string r(4, ' ');
        int v;
        if (PI > 0x54A7) {
            r[0] = 'W';
            v = PI - 0x54A8;
        } else {
            r[0] = 'K';
            v = PI - 0x1000;
        }
        r[1] = static_cast<char>('A' + v / 676);
        r[2] = static_cast<char>('A' + (v % 676) / 26);
        r[3] = static_cast<char>('A' + v % 26);
        return r;
    }
    if (PI >= 0xC101 && PI <= 0xCEC3) {
        if ((PI & 0xFF) == 0)
            return "----";
        const int x = PI - 0xC101;
        const int v = x - x / 256;
        static const char kSecond[] = "FHIJK";
        const int k = v / 702;
        std::string r = "C";
        r += k >= 0 && k <= 4 ? kSecond[k] : 'F';
        r += static_cast<char>('A' + (v % 702) / 27);
        const int rest = v % 27;
        if (rest != 0)
            r += static_cast<char>('A' + rest - 1);
        return r;
    }
    if (PI >= 0xCEC6 && PI <= 0xCEFF)
        return "VF" + std::to_string(PI - 0xCEC6);
    if (PI >= 0xCF01 && PI <= 0xCFFF)
        return "VF" + std::to_string(PI - 0xCF01 + 58);
    for (const auto& E : CallLettersTable)
        if (E.PI == PI)
            return E.Letters;
    return "----";
}

void FillPTYList(std::vector<std::string>& List, bool RBDS, bool Numbered)
{
    List.clear();
    const char* const* Names = RBDS ? PTY_RBDS : PTY_RDS;
    for (int i = 0; i < 32; ++i)
        List.push_back(Numbered ? std::to_string(i) + " - " + Names[i] : std::string(Names[i]));
}
