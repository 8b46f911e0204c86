#pragma once
// The RDS settings record: every setting of an encoder, its validation and
// the commands that bring an encoder from one record to another.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/time_zone.h"
#include "rds/alerts.h"
#include "rds/msg_change.h"

class TDataValidator;

// Shows a message box (kind and button set as the window defines them) and
// returns the button pressed.
using TDVAlertEvent = std::function<int(TDataValidator* Sender, const std::string& Msg, int DlgType, int Buttons)>;
using TDVNotifyEvent = TEvent<TDataValidator*>;

// Shows validation findings to the user and returns whether the save goes
// ahead. The window installs one that opens the pre-flight window.
class TAlertPresenter {
public:
    virtual ~TAlertPresenter() = default;
    virtual bool PresentAlerts(const TAlertArray& Alerts) = 0;
};

// The presenter every record asks; nullptr removes it. Without a presenter a
// set of findings passes only when none of them is altCancel or altConfirm.
void SetAlertPresenter(TAlertPresenter* Presenter);
TAlertPresenter* GetAlertPresenter();

class TDataValidator {
public:
    TDataValidator(
        TDVAlertEvent OnAlert = nullptr, TDVNotifyEvent OnPopulate = nullptr, TDVNotifyEvent OnCollect = nullptr);
    virtual ~TDataValidator() = default;

    virtual bool GetReady() const { return FReady; }
    virtual void SetReady(bool Value) { FReady = Value; }
    bool Ready() const { return GetReady(); }
    void Ready(bool Value) { SetReady(Value); }

    // Raise OnPopulate / OnCollect with this record when assigned.
    virtual void Populate();
    virtual void Collect();

    // Whether DV differs from this record; appends the commands that write DV's
    // values to SaveChanges when it is given.
    virtual bool isDifferent(const TDataValidator* DV, std::vector<TMsgChange>* SaveChanges) const = 0;

    // Shows the findings of the last checks (when Alert is true and there are
    // any) and returns whether the save goes ahead.
    virtual bool isValid(const TDataValidator* OldDV, bool Alert, void* Data);

    const TAlertArray& Alerts() const { return FAlerts; }

    TDVAlertEvent OnAlert;
    TDVNotifyEvent OnPopulate;
    TDVNotifyEvent OnCollect;

protected:
    bool FReady = false;
    TAlertArray FAlerts;
};

class TBRDSDataValidator : public TDataValidator {
public:
    using TDataValidator::TDataValidator;

    std::uint16_t PI = 0;
    std::string PS;
    std::uint8_t PTY = 0;
    std::uint8_t TA = 0;
    std::uint8_t TP = 0;
    std::int32_t TATime = 0;
    std::uint8_t MS = 0;
    std::uint8_t DIMS = 0;
    std::uint8_t DIAH = 0;
    std::uint8_t DICO = 0;
    std::uint8_t DIDS = 0;
    std::uint8_t Mode = 0;
    std::string RT;
    std::uint8_t DRTS = 0;
    std::string DPS;
    std::uint8_t DPSS = 0;
    std::uint8_t DPSParse = 0;
    // Indexed 1-7 as on the encoder; AF[0] is not used. 0 = no frequency,
    // code n = (875 + n) / 10 MHz.
    std::array<std::uint8_t, 8> AF {};
    std::int32_t Phase = 0;
    std::uint8_t CT = 0;
    bool RTCManual = false;
    TSystemTime RTC {};
    std::int32_t Offset = 0;
    std::string FW;
    std::string HW;
    std::string Serial;
    std::uint8_t DST = 0;
    std::uint8_t Sync = 0;

    // Findings about the values as they were given, made by whoever filled the
    // record: the settings file (a value it refused, with its line) or the
    // editor (a character the 8-bit code page cannot hold). isValid lists them
    // first and does not check those settings again.
    TAlertArray SourceFindings;

    // Characters 1-2 and 4-5 of FW as decimal numbers, 0 when not numbers.
    int VerMajor() const;
    int VerMinor() const;
    // VerMajor * 100 + VerMinor; 103 and above know ISDST, SYNC and DST.
    int FirmwareLevel() const { return VerMajor() * 100 + VerMinor(); }

    // The four decoder-identification bits as one number, and back.
    int DI() const { return DIDS * 8 + DICO * 4 + DIAH * 2 + DIMS; }
    void SetDI(int Value);

    // One command per setting that differs, in the write order of the field
    // table (rds/field_table.h), then the clock. This and isValid are in
    // settings_checks.cpp, beside the table they read.
    bool isDifferent(const TDataValidator* DV, std::vector<TMsgChange>* SaveChanges) const override;
    // Checks every setting against the field table (PI 0 is "Invalid PI!"),
    // then duplicate alternative frequencies; every finding blocks the save.
    bool isValid(const TDataValidator* OldDV, bool Alert, void* Data) override;

    // Takes From's settings (and its readiness and findings); the handlers
    // stay this record's own.
    void AssignSettings(const TBRDSDataValidator& From);
};

// "+HH:MM" / "-HH:MM" of an offset in minutes (-330 -> "-05:30").
std::string FormatOffset(int Minutes);

// printf into a std::string.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));
