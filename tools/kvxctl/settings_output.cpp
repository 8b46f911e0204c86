#include "settings_output.h"

#include "console_view.h"
#include "options.h"
#include "platform/text.h"
#include "rds/settings_file.h"

#include <ctime>

namespace {

bool KnowsDST(const TEncoderDialogue& D)
{
    return D.DeviceCopy().FirmwareLevel() >= FirmwareLevelDST && !D.IsDSTWord().empty();
}

const TDeviceFact Facts[] = {
    {"HW", "the hardware's description", [](const TEncoderDialogue& D) { return D.DeviceCopy().HW; },
        [](const TEncoderDialogue& D) { return TJson::Latin1(D.DeviceCopy().HW); }},
    {"FW", "the firmware's description; its first five characters\ngive the firmware level (01.03 is 103)",
        [](const TEncoderDialogue& D) { return D.DeviceCopy().FW; },
        [](const TEncoderDialogue& D) { return TJson::Latin1(D.DeviceCopy().FW); }},
    {"SERIAL", "the serial number", [](const TEncoderDialogue& D) { return D.DeviceCopy().Serial; },
        [](const TEncoderDialogue& D) { return TJson::Latin1(D.DeviceCopy().Serial); }},
    {"PILOT", "the pilot's state as the encoder words it: LOCK,\nNOLOCK (FREE below firmware 01.03)",
        [](const TEncoderDialogue& D) { return D.PilotWord(); },
        [](const TEncoderDialogue& D) { return TJson::Latin1(D.PilotWord()); }},
    {"CLOCK", "the encoder's UTC date and time, ISO 8601 (JSON:\nnull when it is not a date)",
        [](const TEncoderDialogue& D) { return IsoUtc(D.DeviceCopy().RTC); },
        [](const TEncoderDialogue& D) {
            return IsRealDateTime(D.DeviceCopy().RTC) ? TJson::Utf8(IsoUtc(D.DeviceCopy().RTC)) : TJson();
        }},
    {"ISDST", "1 while daylight-saving time is in force, else 0;\nN/A (JSON: null) below firmware 01.03",
        [](const TEncoderDialogue& D) { return KnowsDST(D) ? D.IsDSTWord() : std::string("N/A"); },
        [](const TEncoderDialogue& D) {
            const std::string& W = D.IsDSTWord();
            return KnowsDST(D) && (W == "0" || W == "1") ? TJson::Int(W == "1") : TJson();
        }},
};

} // namespace

std::span<const TDeviceFact> DeviceFacts()
{
    return Facts;
}

const TDeviceFact* FindDeviceFact(std::string_view Key)
{
    for (const TDeviceFact& F : Facts)
        if (SameText(Key, F.Key))
            return &F;
    return nullptr;
}

std::vector<const TField*> FieldGroup(std::string_view Key)
{
    std::vector<const TField*> Rows;
    for (const TField& F : SettingsFields())
        if (F.Group && SameText(Key, F.Group))
            Rows.push_back(&F);
    return Rows;
}

TJson AFSlotJson(const TField& F, const TBRDSDataValidator& R)
{
    const std::int32_t Code = F.Get(R);
    TJson J = TJson::Object();
    J.Set("slot", TJson::Int(F.Index));
    J.Set("code", TJson::Int(Code));
    J.Set("MHz", Code > 0 ? TJson::Fixed((875 + Code) / 10.0, 1) : TJson());
    return J;
}

TJson DIBitsJson(const TBRDSDataValidator& R)
{
    TJson J = TJson::Object();
    J.Set("stereo", TJson::Bool(R.DIMS != 0));
    J.Set("artificial_head", TJson::Bool(R.DIAH != 0));
    J.Set("compressed", TJson::Bool(R.DICO != 0));
    J.Set("dynamic_pty", TJson::Bool(R.DIDS != 0));
    return J;
}

TJson FieldJson(const TField& F, const TBRDSDataValidator& R)
{
    if (!FieldKnown(F, R.FirmwareLevel()))
        return TJson();
    if (F.Group)
        return AFSlotJson(F, R);
    if (F.Type == ftNumber)
        return TJson::Int(F.Get(R));
    return TJson::Latin1(FieldValueText(F, R));
}

std::string SettingsText(const TEncoderDialogue& D)
{
    std::string T;
    for (const TDeviceFact& F : Facts)
        T += std::string(F.Key) + "=" + F.Text(D) + "\r\n";
    return T + SettingsFileText(D.DeviceCopy());
}

TJson SettingsJson(const TEncoderDialogue& D)
{
    const TBRDSDataValidator& R = D.DeviceCopy();
    TJson J = TJson::Object();
    J.Set("schema", TJson::Int(1));
    for (const TDeviceFact& F : Facts)
        J.Set(F.Key, F.Json(D));
    J.Set("firmware_level", TJson::Int(R.FirmwareLevel()));
    for (const TField& F : SettingsFields()) {
        if (F.Group) {
            // The group's slots as one list, where its first row stands.
            if (F.Index == 1) {
                TJson Slots = TJson::Array();
                for (const TField* Slot : FieldGroup(F.Group))
                    Slots.Add(AFSlotJson(*Slot, R));
                J.Set(F.Group, Slots);
            }
            continue;
        }
        SetFieldJson(J, F, R);
    }
    return J;
}

void SetFieldJson(TJson& J, const TField& F, const TBRDSDataValidator& R)
{
    J.Set(F.Key, FieldJson(F, R));
    if (std::string_view(F.Key) == "DI")
        J.Set("DI_bits", DIBitsJson(R));
}

bool EmitSettings(const TOptions& O, const TEncoderDialogue& D, const TJson& Extra)
{
    if (O.Json)
        return EmitResult(O.Value("output"), SettingsJson(D).Merge(Extra).Dump());
    // A file gets the settings file's bytes (CR LF line ends); a terminal
    // gets LF line ends and the control bytes shown.
    const std::string Text = SettingsText(D);
    const std::string Shown = TerminalText(Text, false);
    return EmitResult(O.Value("output"), SettingsFileBytes(Text), &Shown);
}

std::string FieldValuesHelp(const TField& F)
{
    std::string T;
    switch (F.Type) {
    case ftHex:
        T = Format("%d to %d hexadecimal digits, %X to %X", 1, F.Width, static_cast<unsigned>(F.Min),
            static_cast<unsigned>(F.Max));
        break;
    case ftText:
        T = "text of at most " + std::to_string(F.Max) + " characters"
            + (F.Text == trKeepBlanks ? " (trailing blanks count)" : " (trailing blanks dropped)");
        break;
    case ftOffset:
        T = "+HH:MM or -HH:MM, whole, half or three-quarter hours";
        break;
    case ftNumber:
        T = std::to_string(F.Min) + " to " + std::to_string(F.Max);
        if (F.Group)
            T += ": 0 none, n is (875 + n) / 10 MHz; set also takes\nthe frequency in MHz (98.0)";
        else if (F.Choices && F.Max - F.Min < 4) {
            T += " (";
            for (std::int32_t v = F.Min; v <= F.Max; ++v)
                T += (v == F.Min ? "" : ", ") + std::to_string(v) + " " + F.Choices[v - F.Min];
            T += ")";
        }
        break;
    }
    if (F.Firmware)
        T += Format("; firmware %.2d.%.2d and later", F.Firmware / 100, F.Firmware % 100);
    return T;
}

std::string IsoUtc(const TSystemTime& T)
{
    return Format("%.4d-%.2d-%.2dT%.2d:%.2d:%.2dZ", T.wYear, T.wMonth, T.wDay, T.wHour, T.wMinute, T.wSecond);
}

bool IsRealDateTime(const TSystemTime& T)
{
    static const int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (T.wMonth < 1 || T.wMonth > 12 || T.wHour > 23 || T.wMinute > 59 || T.wSecond > 59)
        return false;
    const bool Leap = (T.wYear % 4 == 0 && T.wYear % 100 != 0) || T.wYear % 400 == 0;
    const int Last = Days[T.wMonth - 1] + (T.wMonth == 2 && Leap ? 1 : 0);
    return T.wDay >= 1 && T.wDay <= Last;
}

std::int64_t UtcSeconds(const TSystemTime& T)
{
    std::tm Tm {};
    Tm.tm_year = T.wYear - 1900;
    Tm.tm_mon = T.wMonth - 1;
    Tm.tm_mday = T.wDay;
    Tm.tm_hour = T.wHour;
    Tm.tm_min = T.wMinute;
    Tm.tm_sec = T.wSecond;
    return static_cast<std::int64_t>(::timegm(&Tm));
}
