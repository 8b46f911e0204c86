// The settings record's checks and change detection, both read from the
// field table (rds/field_table.h), which in turn describes the record.
#include "rds/data_validator.h"
#include "rds/field_table.h"

namespace {

// "%.1f" of an AF code's frequency, computed exactly and independent of the
// locale's decimal separator.
std::string AFMHz(int Code)
{
    const int Tenths = 875 + Code;
    return std::to_string(Tenths / 10) + "." + std::to_string(Tenths % 10);
}

} // namespace

bool TBRDSDataValidator::isValid(const TDataValidator* OldDV, bool Alert, void* Data)
{
    if (const auto* Old = dynamic_cast<const TBRDSDataValidator*>(OldDV)) {
        HW = Old->HW;
        FW = Old->FW;
        Serial = Old->Serial;
    }
    FAlerts = SourceFindings;
    for (const TField& F : SettingsFields()) {
        bool Reported = false;
        for (const TAlert& A : SourceFindings)
            Reported = Reported || A.Key == F.Key;
        if (Reported)
            continue;
        if (const auto Why = CheckFieldValue(F, *this)) {
            AddFieldAlert(FAlerts, F, FieldValueText(F, *this), *Why);
            // The Part's own title for PI.
            if (F.RangeText)
                FAlerts.back().Name = F.Key;
        }
    }
    for (int i = 1; i <= 6; ++i)
        for (int j = i + 1; j <= 7; ++j)
            if (AF[i] != 0 && AF[j] != 0 && AF[i] == AF[j]) {
                AddAlert(FAlerts, altCancel, "AF[#" + std::to_string(j) + "] " + AFMHz(AF[j]) + " MHz",
                    "AF Method A do not allows duplicate frequencies!");
                FAlerts.back().Key = "AF" + std::to_string(j);
                FAlerts.back().Value = std::to_string(AF[j]);
                break;
            }
    return TDataValidator::isValid(OldDV, Alert, Data);
}

bool TBRDSDataValidator::isDifferent(const TDataValidator* ADV, std::vector<TMsgChange>* SaveChanges) const
{
    const auto* DV = dynamic_cast<const TBRDSDataValidator*>(ADV);
    if (!DV)
        return false;
    bool Result = false;
    auto Add = [&](std::string Msg) {
        Result = true;
        if (SaveChanges)
            SaveChanges->push_back(TMsgChange {std::move(Msg), std::string()});
    };

    // The settings in their write order; the offset goes with the clock.
    for (int Step = 1;; ++Step) {
        bool Any = false;
        for (const TField& F : SettingsFields()) {
            if (F.WriteStep != Step)
                continue;
            Any = true;
            if (FieldKnown(F, FirmwareLevel()) && !SameFieldValue(F, *this, *DV))
                Add(FieldCommand(F, *DV));
        }
        if (!Any)
            break;
    }
    if (DV->RTCManual) {
        const TSystemTime& a = RTC;
        const TSystemTime& b = DV->RTC;
        if (a.wDay != b.wDay || a.wMonth != b.wMonth || a.wYear != b.wYear)
            Add(Format("DATE=%.2d.%.2d.%.2d", b.wDay, b.wMonth, b.wYear - 2000));
        if (a.wHour != b.wHour || a.wMinute != b.wMinute || a.wSecond != b.wSecond)
            Add(Format("TIME=%.2d:%.2d:%.2d", b.wHour, b.wMinute, b.wSecond));
        if (Offset != DV->Offset)
            Add("OFFSET=" + FormatOffset(DV->Offset));
    } else {
        // One reading of the clock for date, time and offset.
        const std::int64_t Now = UtcNowMs();
        const TSystemTime t = UtcFromMs(Now);
        Add(Format("DATE=%.2d.%.2d.%.2d", t.wDay, t.wMonth, t.wYear - 2000));
        Add(Format("TIME=%.2d:%.2d:%.2d", t.wHour, t.wMinute, t.wSecond));
        Add("OFFSET=" + FormatOffset(LocalOffsetMinutes(Now)));
    }
    return Result;
}
