#include "dialogue/reply_parser.h"

#include "dialogue/loader_automaton.h"
#include "dialogue/state_table.h"
#include "platform/number_parse.h"
#include "rds/field_table.h"

#include <climits>
#include <cstdio>
#include <ctime>
#include <limits>

namespace {

// A whole decimal number (optional sign, digits only) within [Min, Max].
bool WholeNumber(const std::string& S, long long Min, long long Max, long long& Value)
{
    // Magnitudes up to 2^31, so that both ends of a 32-bit field are reachable.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    const std::optional<long long> V = ParseDecimal<long long>(S);
    if (!V || *V > kLimit || *V < -kLimit || *V < Min || *V > Max)
        return false;
    Value = *V;
    return true;
}

// Two characters from position Pos (0-based) as decimal; 0 when not a number.
int TwoDigits(const std::string& S, std::size_t Pos)
{
    if (Pos + 2 > S.size())
        return 0;
    long long V = 0;
    return WholeNumber(S.substr(Pos, 2), 0, 99, V) ? static_cast<int>(V) : 0;
}

// Hexadecimal digits; 0 when the text is not a 16-bit hexadecimal number.
std::uint16_t HexOrZero(const std::string& S)
{
    if (S.size() > 4)
        return 0;
    return ParseHex<std::uint16_t>(S).value_or(0);
}

// The text without its enclosing character on each side.
std::string Unenclosed(const std::string& S)
{
    return S.size() >= 2 ? S.substr(1, S.size() - 2) : std::string();
}

std::string From(const std::string& S, std::size_t Pos)
{
    return S.size() > Pos ? S.substr(Pos) : std::string();
}

// "+hh:mm" / "-hh:mm": sign in character 1, hours in 2-3, minutes in 5-6.
int ParseOffset(const std::string& L1)
{
    const int V = TwoDigits(L1, 1) * 60 + TwoDigits(L1, 4);
    return !L1.empty() && L1[0] == '-' ? -V : V;
}

// The non-empty lines of a reply.
std::vector<std::string> ReplyLines(const std::string& R)
{
    std::vector<std::string> Lines;
    std::string Line;
    for (char C : R) {
        if (C == '\r' || C == '\n') {
            if (!Line.empty())
                Lines.push_back(Line);
            Line.clear();
        } else
            Line += C;
    }
    if (!Line.empty())
        Lines.push_back(Line);
    return Lines;
}

// "dd.mm.yy" and "hh:mm:ss" into a clock; a part that is not a number reads 0.
void ReadDate(const std::string& L1, TSystemTime& T)
{
    T.wDay = static_cast<std::uint16_t>(TwoDigits(L1, 0));
    T.wMonth = static_cast<std::uint16_t>(TwoDigits(L1, 3));
    T.wYear = static_cast<std::uint16_t>(TwoDigits(L1, 6) + 2000);
}

void ReadTime(const std::string& L1, TSystemTime& T)
{
    T.wHour = static_cast<std::uint16_t>(TwoDigits(L1, 0));
    T.wMinute = static_cast<std::uint16_t>(TwoDigits(L1, 3));
    T.wSecond = static_cast<std::uint16_t>(TwoDigits(L1, 6));
}

// Stores a setting's value line into the record as the field's type reads it.
// A number the setting cannot hold leaves -1 in the field (a byte holds 255)
// and answers why; dfNone otherwise.
TDialogueFailure ReadField(const TField& F, const std::string& L1, TBRDSDataValidator& D)
{
    switch (F.Type) {
    case ftHex:
        F.Set(D, HexOrZero(L1));
        return dfNone;
    case ftText: {
        const std::string T = Unenclosed(L1);
        D.*F.TextField = F.Text == trTrimTrailing ? TrimTrailingBlanks(T) : T;
        return dfNone;
    }
    case ftOffset:
        F.Set(D, ParseOffset(L1));
        return dfNone;
    case ftNumber:
        break;
    }
    if (F.Words) {
        // A word per value; any other word reads as the first.
        std::int32_t V = F.Min;
        for (std::int32_t i = F.Min; i <= F.Max; ++i)
            if (L1 == F.Words[i - F.Min])
                V = i;
        F.Set(D, V);
        return dfNone;
    }
    long long V = 0;
    if (!WholeNumber(L1, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), V)) {
        F.Set(D, -1);
        return dfNotANumber;
    }
    if (V < F.Min || V > F.Max) {
        F.Set(D, -1);
        return dfOutOfRange;
    }
    F.Set(D, static_cast<std::int32_t>(V));
    return dfNone;
}

// The pilot label: the old firmware's words, or Yes and No.
void ParsePilot(const std::string& L1, const TReplyTargets& T)
{
    T.PilotWord = L1;
    std::string Text = "Pilot: ";
    if (T.Record.FirmwareLevel() < FirmwareLevelDST) {
        if (L1 == "FREE")
            Text += "defaulted to the internal timebase";
        else if (L1 == "LOCK")
            Text += "locked to the 19kHz stereo pilot signal";
    } else {
        if (L1 == "NOLOCK")
            Text += "No";
        else if (L1 == "LOCK")
            Text += "Yes";
    }
    T.View.SetLabel(TDialogueLabel::lbPilot, Text);
}

} // namespace

bool ReplyAccepted(const std::string& R)
{
    const std::size_t n = R.size();
    return n >= 4 && R.compare(n - 4, 4, "OK\r\n") == 0;
}

std::string FormatDeviceDate(const TSystemTime& T)
{
    std::tm Tm {};
    Tm.tm_mon = T.wMonth >= 1 && T.wMonth <= 12 ? T.wMonth - 1 : 0;
    Tm.tm_mday = 1;
    Tm.tm_year = 100;
    char Month[64] = {};
    if (T.wMonth < 1 || T.wMonth > 12 || std::strftime(Month, sizeof Month, "%b", &Tm) == 0)
        std::snprintf(Month, sizeof Month, "%.2d", T.wMonth);
    return Format("%.2d-%s-%.4d", T.wDay, Month, T.wYear);
}

std::string FormatDeviceTime(const TSystemTime& T)
{
    return Format("%.2d:%.2d:%.2d", T.wHour, T.wMinute, T.wSecond);
}

void ParseStateReply(const TCustomState& S, const TReplyTargets& T)
{
    const std::string R = S.Reply();
    if (!ReplyAccepted(R)) {
        T.Fail(dfRefused);
        T.View.ShowError("Negative Acknowledgement.");
        return;
    }
    // The value lines: the closing "OK" line is not a value.
    const std::vector<std::string> Lines = ReplyLines(R);
    const std::size_t Values = Lines.empty() ? 0 : Lines.size() - 1;
    const std::string L1 = Values > 0 ? Lines[0] : std::string();
    const std::string L2 = Values > 1 ? Lines[1] : std::string();

    TBRDSDataValidator& D = T.Record;
    const TTableRow* Row = RowOf(S.State());
    switch (Row ? Row->Target : rtNone) {
    case rtField:
        // A silent disconnection when the value cannot be held.
        if (const TField* F = FindFieldByWord(Row->Word))
            if (const TDialogueFailure Why = ReadField(*F, L1, D); Why != dfNone)
                T.Fail(Why);
        return;
    case rtRevision:
        // An encoder that gives one line names no firmware: FW stays empty
        // (firmware level 0) and the dialogue goes on.
        D.HW = From(L1, 3);
        D.FW = From(L2, 3);
        return;
    case rtSerial:
        D.Serial = L1;
        return;
    case rtDate:
        ReadDate(L1, D.RTC);
        return;
    case rtTime:
        T.ClockReadAtMs = UtcNowMs();
        ReadTime(L1, D.RTC);
        return;
    case rtIsDST:
        T.IsDSTWord = L1;
        if (L1 == "0")
            T.View.SetLabel(TDialogueLabel::lbRTC_DDST, "+00:00");
        else if (L1 == "1")
            T.View.SetLabel(TDialogueLabel::lbRTC_DDST, "+01:00");
        return;
    case rtPilot:
        ParsePilot(L1, T);
        return;
    case rtClockDate:
        ReadDate(L1, T.Clock);
        T.View.SetLabel(TDialogueLabel::lbRTC_DD, FormatDeviceDate(T.Clock));
        return;
    case rtClockTime:
        T.ClockReadAtMs = UtcNowMs();
        ReadTime(L1, T.Clock);
        T.View.SetLabel(TDialogueLabel::lbRTC_DT, FormatDeviceTime(T.Clock));
        return;
    case rtClockOffset:
        T.View.SetLabel(TDialogueLabel::lbRTC_DO, FormatOffset(ParseOffset(L1)));
        return;
    case rtNone:
    case rtWriteList:
        return;
    }
}
