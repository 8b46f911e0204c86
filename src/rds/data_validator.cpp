#include "rds/data_validator.h"

#include "platform/number_parse.h"
#include "rds/field_table.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<TAlertPresenter*> Presenter {nullptr};

// Decimal number of a piece of FW; 0 when it is not one.
int Number(const std::string& s)
{
    return ParseDecimal<int>(s, false).value_or(0);
}

std::string Piece(const std::string& s, std::size_t From, std::size_t Count)
{
    return From < s.size() ? s.substr(From, Count) : std::string();
}

// "%.1f" of an AF code's frequency, computed exactly and independent of the
// locale's decimal separator.
std::string AFMHz(int Code)
{
    const int Tenths = 875 + Code;
    return std::to_string(Tenths / 10) + "." + std::to_string(Tenths % 10);
}

} // namespace

std::string Format(const char* Fmt, ...)
{
    va_list a;
    va_start(a, Fmt);
    va_list b;
    va_copy(b, a);
    const int n = std::vsnprintf(nullptr, 0, Fmt, a);
    va_end(a);
    std::string r;
    if (n > 0) {
        r.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(r.data(), r.size(), Fmt, b);
        r.resize(static_cast<std::size_t>(n));
    }
    va_end(b);
    return r;
}

std::string FormatOffset(int Minutes)
{
    if (Minutes >= 0)
        return Format("+%.2d:%.2d", Minutes / 60, Minutes % 60);
    return Format("-%.2d:%.2d", std::abs(Minutes / 60), std::abs(Minutes % 60));
}

void SetAlertPresenter(TAlertPresenter* P)
{
    Presenter = P;
}
TAlertPresenter* GetAlertPresenter()
{
    return Presenter;
}

TDataValidator::TDataValidator(TDVAlertEvent AOnAlert, TDVNotifyEvent AOnPopulate, TDVNotifyEvent AOnCollect)
    : OnAlert(std::move(AOnAlert)), OnPopulate(AOnPopulate), OnCollect(AOnCollect)
{
    SetReady(false);
}

void TDataValidator::Populate()
{
    if (OnPopulate)
        OnPopulate(this);
}

void TDataValidator::Collect()
{
    if (OnCollect)
        OnCollect(this);
}

bool TDataValidator::isValid(const TDataValidator*, bool Alert, void*)
{
    if (FAlerts.empty() || !Alert)
        return true;
    if (TAlertPresenter* P = Presenter)
        return P->PresentAlerts(FAlerts);
    // Nobody to ask: blocking findings and findings that need a confirmation
    // cannot pass; mere information can.
    for (const TAlert& A : FAlerts)
        if (A.AlertType == altCancel || A.AlertType == altConfirm)
            return false;
    return true;
}

int TBRDSDataValidator::VerMajor() const
{
    return Number(Piece(FW, 0, 2));
}
int TBRDSDataValidator::VerMinor() const
{
    return Number(Piece(FW, 3, 2));
}

void TBRDSDataValidator::SetDI(int Value)
{
    DIMS = Value & 1;
    DIAH = (Value >> 1) & 1;
    DICO = (Value >> 2) & 1;
    DIDS = (Value >> 3) & 1;
}

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

void TBRDSDataValidator::AssignSettings(const TBRDSDataValidator& From)
{
    const TDVAlertEvent A = OnAlert;
    const TDVNotifyEvent P = OnPopulate;
    const TDVNotifyEvent C = OnCollect;
    *this = From;
    OnAlert = A;
    OnPopulate = P;
    OnCollect = C;
}
