#include "rds/field_table.h"

#include "platform/number_parse.h"

#include <cstdio>
#include <cstdlib>

namespace {

using R_ = TBRDSDataValidator;

const char* const OffOn[] = {"OFF", "ON"};
const char* const SpeechMusic[] = {"SPEECH", "MUSIC"};
const char* const ModeNames[] = {"Loop-Through", "Sidechain"};
const char* const ModeWords[] = {"LOOP", "SIDE"};
const char* const Speeds[] = {"0 - OFF", "1 - Slow", "2", "3", "4", "5", "6", "7", "8", "9 - Fast"};
const char* const ParseModes[] = {"0 - words centered", "1 char", "2 chars", "3 chars", "4 chars", "5 chars", "6 chars",
    "7 chars", "8 chars", "9 - words left justified"};
const char* const DSTNames[] = {"OFF", "Auto Europe", "Auto USA", "+1"};
const char* const DSTWords[] = {"OFF", "EU", "USA", "MANUAL"};
const char* const SyncNames[] = {"Auto", "Internal", "External"};
const char* const SyncWords[] = {"AUTO", "INT", "EXT"};

// The largest offset any zone has, in minutes.
constexpr std::int32_t MaxOffset = 15 * 60 + 30;

template <std::uint8_t R_::*M>
std::int32_t GetByte(const R_& R)
{
    return R.*M;
}
template <std::uint8_t R_::*M>
void SetByte(R_& R, std::int32_t V)
{
    R.*M = static_cast<std::uint8_t>(V);
}
template <std::int32_t R_::*M>
std::int32_t GetInt(const R_& R)
{
    return R.*M;
}
template <std::int32_t R_::*M>
void SetInt(R_& R, std::int32_t V)
{
    R.*M = V;
}
template <int I>
std::int32_t GetAF(const R_& R)
{
    return R.AF[I];
}
template <int I>
void SetAF(R_& R, std::int32_t V)
{
    R.AF[I] = static_cast<std::uint8_t>(V);
}

// A decimal number field: key and word, range, write step, choices, reply words.
constexpr TField Number(const char* Key, std::int32_t Max, int Step, std::int32_t (*Get)(const R_&),
    void (*Set)(R_&, std::int32_t), const char* const* Choices = nullptr, const char* const* Words = nullptr,
    int Firmware = 0)
{
    return TField {
        Key, Key, ftNumber, 0, Max, 0, trNone, Firmware, Step, nullptr, 0, Choices, Words, nullptr, Get, Set, nullptr};
}

constexpr TField Text(const char* Key, int Width, TTextRule Rule, int Step, std::string R_::*Field)
{
    return TField {Key, Key, ftText, 0, Width, Width, Rule, 0, Step, nullptr, 0, nullptr, nullptr, nullptr, nullptr,
        nullptr, Field};
}

template <int I>
constexpr TField AF(const char* Key)
{
    return TField {
        Key, Key, ftNumber, 0, 204, 0, trNone, 0, 11, "AF", I, nullptr, nullptr, nullptr, GetAF<I>, SetAF<I>, nullptr};
}

const TField Fields[] = {
    {"PI", "PI", ftHex, 1, 0xFFFF, 4, trNone, 0, 1, nullptr, 0, nullptr, nullptr, "Invalid PI!",
        [](const R_& R) -> std::int32_t { return R.PI; },
        [](R_& R, std::int32_t V) { R.PI = static_cast<std::uint16_t>(V); }, nullptr},
    Text("PS", 8, trKeepBlanks, 2, &R_::PS),
    Number("PTY", 31, 8, GetByte<&R_::PTY>, SetByte<&R_::PTY>),
    Number("TA", 1, 4, GetByte<&R_::TA>, SetByte<&R_::TA>, OffOn),
    Number("TATIME", 255, 6, GetInt<&R_::TATime>, SetInt<&R_::TATime>),
    Number("TP", 1, 5, GetByte<&R_::TP>, SetByte<&R_::TP>, OffOn),
    Number("MS", 1, 7, GetByte<&R_::MS>, SetByte<&R_::MS>, SpeechMusic),
    Number(
        "DI", 15, 3, [](const R_& R) -> std::int32_t { return R.DI(); }, [](R_& R, std::int32_t V) { R.SetDI(V); }),
    Number("MODE", 1, 15, GetByte<&R_::Mode>, SetByte<&R_::Mode>, ModeNames, ModeWords),
    Text("TEXT", 64, trTrimTrailing, 9, &R_::RT),
    Number("DRTS", 9, 10, GetByte<&R_::DRTS>, SetByte<&R_::DRTS>, Speeds),
    Text("DPS", 64, trTrimTrailing, 14, &R_::DPS),
    Number("DPSS", 9, 12, GetByte<&R_::DPSS>, SetByte<&R_::DPSS>, Speeds),
    Number("PARSE", 9, 13, GetByte<&R_::DPSParse>, SetByte<&R_::DPSParse>, ParseModes),
    AF<1>("AF1"),
    AF<2>("AF2"),
    AF<3>("AF3"),
    AF<4>("AF4"),
    AF<5>("AF5"),
    AF<6>("AF6"),
    AF<7>("AF7"),
    Number("PHASE", 3599, 16, GetInt<&R_::Phase>, SetInt<&R_::Phase>),
    Number("CT", 1, 17, GetByte<&R_::CT>, SetByte<&R_::CT>, OffOn),
    {"OFFSET", "OFFSET", ftOffset, -MaxOffset, MaxOffset, 6, trNone, 0, 0, nullptr, 0, nullptr, nullptr, nullptr,
        GetInt<&R_::Offset>, SetInt<&R_::Offset>, nullptr},
    Number("DST", 3, 19, GetByte<&R_::DST>, SetByte<&R_::DST>, DSTNames, DSTWords, 103),
    Number("SYNC", 2, 18, GetByte<&R_::Sync>, SetByte<&R_::Sync>, SyncNames, SyncWords, 103),
};

char Upper(char C)
{
    return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}

bool SameWord(std::string_view A, std::string_view B, bool IgnoreCase)
{
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if ((IgnoreCase ? Upper(A[i]) : A[i]) != B[i])
            return false;
    return true;
}

bool IsBlank(char C)
{
    return C == ' ' || C == '\t';
}

std::string_view Trimmed(std::string_view S)
{
    while (!S.empty() && IsBlank(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && IsBlank(S.back()))
        S.remove_suffix(1);
    return S;
}

bool IsControl(unsigned char C)
{
    return C < 0x20 || (C >= 0x7F && C <= 0x9F);
}

// Whole minutes of an offset that a zone can have: whole, half and three-quarter hours.
bool ZoneMinutes(std::int32_t Minutes)
{
    const std::int32_t M = std::abs(Minutes) % 60;
    return std::abs(Minutes) <= MaxOffset && (M == 0 || M == 30 || M == 45);
}

std::string RangeReason(const TField& F)
{
    if (F.RangeText)
        return F.RangeText;
    switch (F.Type) {
    case ftHex:
        return "must be 1 to " + std::to_string(F.Width) + " hexadecimal digits";
    case ftOffset:
        return "must be +HH:MM or -HH:MM, at most 15:30, in whole, half or three-quarter hours";
    default:
        break;
    }
    std::string T = "must be a whole number from " + std::to_string(F.Min) + " to " + std::to_string(F.Max);
    // Short lists are named; long ones are plain numbers.
    if (F.Choices && F.Max - F.Min < 4) {
        T += " (";
        for (std::int32_t v = F.Min; v <= F.Max; ++v)
            T += (v == F.Min ? "" : ", ") + std::to_string(v) + " " + F.Choices[v - F.Min];
        T += ")";
    }
    return T;
}

bool InRange(const TField& F, std::int32_t V)
{
    if (F.Type == ftOffset)
        return ZoneMinutes(V);
    return V >= F.Min && V <= F.Max;
}

} // namespace

std::span<const TField> SettingsFields()
{
    return Fields;
}

const TField* FindFieldByKey(std::string_view Key)
{
    for (const TField& F : Fields)
        if (SameWord(Key, F.Key, true))
            return &F;
    return nullptr;
}

const TField* FindFieldByWord(std::string_view Word)
{
    for (const TField& F : Fields)
        if (SameWord(Word, F.Word, false))
            return &F;
    return nullptr;
}

bool FieldKnown(const TField& F, int Level)
{
    return F.Firmware == 0 || Level >= F.Firmware;
}

std::string FieldValueText(const TField& F, const TBRDSDataValidator& R)
{
    switch (F.Type) {
    case ftHex:
        return Format("%.*X", F.Width, static_cast<unsigned>(F.Get(R)));
    case ftText:
        return R.*F.TextField;
    case ftOffset:
        return FormatOffset(F.Get(R));
    case ftNumber:
        break;
    }
    return std::to_string(F.Get(R));
}

std::string FieldCommand(const TField& F, const TBRDSDataValidator& R)
{
    return std::string(F.Word) + "=" + FieldValueText(F, R);
}

std::string TrimTrailingBlanks(std::string Text)
{
    while (!Text.empty() && Text.back() == ' ')
        Text.pop_back();
    return Text;
}

bool SameFieldValue(const TField& F, const TBRDSDataValidator& A, const TBRDSDataValidator& B)
{
    if (F.Type != ftText)
        return F.Get(A) == F.Get(B);
    if (F.Text == trTrimTrailing)
        return TrimTrailingBlanks(A.*F.TextField) == TrimTrailingBlanks(B.*F.TextField);
    return A.*F.TextField == B.*F.TextField;
}

std::string UnencodableReason(std::uint32_t Code)
{
    return Format("holds U+%.4X, a character the 8-bit code page cannot hold", Code);
}

std::string VisibleText(const std::string& Text)
{
    std::string Out;
    for (const char C : Text) {
        const auto B = static_cast<unsigned char>(C);
        if (IsControl(B)) {
            char Buf[8];
            std::snprintf(Buf, sizeof Buf, "\\x%.2x", B);
            Out += Buf;
        } else
            Out += C;
    }
    return Out;
}

std::optional<std::string> CheckFieldText(const TField& F, const std::string& Text)
{
    for (std::size_t i = 0; i < Text.size(); ++i)
        if (IsControl(static_cast<unsigned char>(Text[i])))
            return "holds the control character " + VisibleText(Text.substr(i, 1)) + " at character "
                + std::to_string(i + 1) + "; control characters cannot be sent";
    if (Text.size() > static_cast<std::size_t>(F.Width))
        return "has " + std::to_string(Text.size()) + " characters; at most " + std::to_string(F.Width) + " fit";
    return std::nullopt;
}

std::optional<std::string> CheckFieldValue(const TField& F, const TBRDSDataValidator& R)
{
    if (F.Type == ftText)
        return CheckFieldText(F, R.*F.TextField);
    if (!InRange(F, F.Get(R)))
        return RangeReason(F);
    return std::nullopt;
}

std::optional<std::string> TakeFieldValue(const TField& F, const std::string& Value, TBRDSDataValidator& R)
{
    if (F.Type == ftText) {
        if (auto Why = CheckFieldText(F, Value))
            return Why;
        R.*F.TextField = Value;
        return std::nullopt;
    }
    const std::string_view V = Trimmed(Value);
    std::optional<std::int32_t> N;
    switch (F.Type) {
    case ftHex:
        if (!V.empty() && V.size() <= static_cast<std::size_t>(F.Width))
            N = ParseHex<std::int32_t>(V);
        break;
    case ftOffset: {
        // "+HH:MM" or "-HH:MM", two digits each.
        auto Digits
            = [&](std::size_t At) { return V[At] >= '0' && V[At] <= '9' && V[At + 1] >= '0' && V[At + 1] <= '9'; };
        if (V.size() == 6 && (V[0] == '+' || V[0] == '-') && V[3] == ':' && Digits(1) && Digits(4) && V[4] < '6') {
            const std::int32_t M = ((V[1] - '0') * 10 + (V[2] - '0')) * 60 + (V[4] - '0') * 10 + (V[5] - '0');
            N = V[0] == '-' ? -M : M;
        }
        break;
    }
    default:
        N = ParseDecimal<std::int32_t>(V);
        break;
    }
    if (!N || !InRange(F, *N))
        return RangeReason(F);
    F.Set(R, *N);
    return std::nullopt;
}

void AddFieldAlert(TAlertArray& Alerts, const TField& F, const std::string& Value, const std::string& Reason, int Line)
{
    std::string Shown = VisibleText(Value);
    if (Shown.size() > 20)
        Shown = Shown.substr(0, 20) + "...";
    AddAlert(Alerts, altCancel, std::string(F.Key) + "=" + Shown, Reason);
    Alerts.back().Key = F.Key;
    Alerts.back().Value = Value;
    Alerts.back().Line = Line;
}
