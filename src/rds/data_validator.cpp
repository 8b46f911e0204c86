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
