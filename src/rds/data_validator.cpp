#include "rds/data_validator.h"

#include "platform/number_parse.h"

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
    FAlerts.clear();
    if (PI == 0)
        AddAlert(FAlerts, altCancel, "PI", "Invalid PI!");
    for (int i = 1; i <= 6; ++i)
        for (int j = i + 1; j <= 7; ++j)
            if (AF[i] != 0 && AF[j] != 0 && AF[i] == AF[j]) {
                AddAlert(FAlerts, altCancel, "AF[#" + std::to_string(j) + "] " + AFMHz(AF[j]) + " MHz",
                    "AF Method A do not allows duplicate frequencies!");
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

    if (PI != DV->PI)
        Add(Format("PI=%.4X", DV->PI));
    if (PS != DV->PS)
        Add("PS=" + DV->PS);
    if (DIMS != DV->DIMS || DIAH != DV->DIAH || DICO != DV->DICO || DIDS != DV->DIDS)
        Add(Format("DI=%d", DV->DI()));
    if (TA != DV->TA)
        Add(Format("TA=%d", DV->TA));
    if (TP != DV->TP)
        Add(Format("TP=%d", DV->TP));
    if (TATime != DV->TATime)
        Add(Format("TATIME=%d", DV->TATime));
    if (MS != DV->MS)
        Add(Format("MS=%d", DV->MS));
    if (PTY != DV->PTY)
        Add(Format("PTY=%d", DV->PTY));
    if (RT != DV->RT)
        Add("TEXT=" + DV->RT);
    if (DRTS != DV->DRTS)
        Add(Format("DRTS=%d", DV->DRTS));
    for (int i = 1; i <= 7; ++i)
        if (AF[i] != DV->AF[i])
            Add(Format("AF%d=%d", i, DV->AF[i]));
    if (DPSS != DV->DPSS)
        Add(Format("DPSS=%d", DV->DPSS));
    if (DPSParse != DV->DPSParse)
        Add(Format("PARSE=%d", DV->DPSParse));
    if (DPS != DV->DPS)
        Add("DPS=" + DV->DPS);
    if (Mode != DV->Mode)
        Add(Format("MODE=%d", DV->Mode));
    if (Phase != DV->Phase)
        Add(Format("PHASE=%d", DV->Phase));
    if (CT != DV->CT)
        Add(Format("CT=%d", DV->CT));
    if (FirmwareLevel() >= 103) {
        if (Sync != DV->Sync)
            Add(Format("SYNC=%d", DV->Sync));
        if (DST != DV->DST)
            Add(Format("DST=%d", DV->DST));
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
