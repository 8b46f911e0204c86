#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "moving_clock.h"
#include "rds/data_validator.h"
#include "support/zone_scope.h"

namespace {

std::vector<std::string> Msgs(const std::vector<TMsgChange>& L)
{
    std::vector<std::string> r;
    for (const auto& m : L)
        r.push_back(m.Msg);
    return r;
}

// A record as read from an encoder at a given firmware level.
TBRDSDataValidator DeviceCopy(const char* FW = "01.03.100  2014/01/01 00:00:00")
{
    TBRDSDataValidator d;
    d.PI = 0xC201;
    d.PS = "RADIO 1";
    d.FW = FW;
    d.RTCManual = true;
    d.RTC.wYear = 2015;
    d.RTC.wMonth = 6;
    d.RTC.wDay = 9;
    d.RTC.wHour = 12;
    d.RTC.wMinute = 30;
    d.RTC.wSecond = 5;
    return d;
}

class RecordingPresenter : public TAlertPresenter {
public:
    bool PresentAlerts(const TAlertArray& A) override
    {
        Shown = A;
        ++Calls;
        return Answer;
    }
    TAlertArray Shown;
    int Calls = 0;
    bool Answer = true;
};

} // namespace

TEST(Validation, FindingsAndTheirTexts)
{
    struct Case {
        std::uint16_t PI;
        std::vector<int> AF; // AF1..
        std::vector<std::string> Names;
    };
    const Case Cases[] = {
        {0, {}, {"PI"}},
        {0xC201, {0, 0, 0, 0, 0, 0, 0}, {}},
        {0xC201, {1, 2, 1, 2}, {"AF[#3] 87.6 MHz", "AF[#4] 87.7 MHz"}},
        {0xC201, {105, 105, 105}, {"AF[#2] 98.0 MHz", "AF[#3] 98.0 MHz"}},
        {0xC201, {0, 204, 0, 0, 0, 0, 204}, {"AF[#7] 107.9 MHz"}},
        {0, {7, 7}, {"PI", "AF[#2] 88.2 MHz"}},
    };
    for (const Case& c : Cases) {
        TBRDSDataValidator r;
        r.PI = c.PI;
        for (std::size_t i = 0; i < c.AF.size(); ++i)
            r.AF[i + 1] = static_cast<std::uint8_t>(c.AF[i]);
        r.isValid(nullptr, false, nullptr);
        std::vector<std::string> Names;
        for (const TAlert& a : r.Alerts()) {
            Names.push_back(a.Name);
            EXPECT_EQ(a.AlertType, altCancel);
            EXPECT_FALSE(a.Confirmed);
            EXPECT_EQ(
                a.Description, a.Name == "PI" ? "Invalid PI!" : "AF Method A do not allows duplicate frequencies!");
        }
        EXPECT_EQ(Names, c.Names) << "PI " << c.PI;
    }
}

TEST(Validation, EverySettingIsCheckedAgainstTheFieldTable)
{
    // What an editor or a careless caller could leave in a record: list boxes
    // left blank (255), texts too long or with control characters.
    TBRDSDataValidator r = DeviceCopy();
    r.TA = 255;
    r.PTY = 99;
    r.TATime = -5;
    r.Phase = 99999;
    r.Offset = 99 * 60 + 99;
    r.PS = "THIRTEEN CHAR";
    r.RT = std::string(200, 'x');
    r.DPS = std::string("A\x1b"
                        "B");
    r.Sync = 3;
    r.isValid(nullptr, false, nullptr);
    std::vector<std::string> Keys;
    for (const TAlert& a : r.Alerts()) {
        Keys.push_back(a.Key);
        EXPECT_EQ(a.AlertType, altCancel);
        EXPECT_EQ(a.Name.rfind(a.Key + "=", 0), 0u) << a.Name;
    }
    EXPECT_EQ(Keys, (std::vector<std::string> {"PS", "PTY", "TA", "TATIME", "TEXT", "DPS", "PHASE", "OFFSET", "SYNC"}));
    EXPECT_EQ(r.Alerts()[2].Description, "must be a whole number from 0 to 1 (0 OFF, 1 ON)");
    EXPECT_EQ(r.Alerts()[5].Name, "DPS=A\\x1bB");

    // A finding made where the value came from comes first and stands for its setting.
    TBRDSDataValidator s = DeviceCopy();
    s.PI = 0;
    AddAlert(s.SourceFindings, altCancel, "PI=xyz", "Invalid PI!");
    s.SourceFindings.back().Key = "PI";
    s.SourceFindings.back().Line = 3;
    s.isValid(nullptr, false, nullptr);
    ASSERT_EQ(s.Alerts().size(), 1u);
    EXPECT_EQ(s.Alerts()[0].Line, 3);
}

TEST(Validation, PresenterDecidesAndNoPresenterRefusesBlockingFindings)
{
    TBRDSDataValidator Bad;
    // Without a window to ask, a blocking finding cannot pass; Alert false skips asking.
    EXPECT_FALSE(Bad.isValid(nullptr, true, nullptr));
    EXPECT_TRUE(Bad.isValid(nullptr, false, nullptr));
    EXPECT_EQ(Bad.Alerts().size(), 1u);

    RecordingPresenter P;
    SetAlertPresenter(&P);
    P.Answer = false;
    EXPECT_FALSE(Bad.isValid(nullptr, true, nullptr));
    P.Answer = true;
    EXPECT_TRUE(Bad.isValid(nullptr, true, nullptr));
    ASSERT_EQ(P.Shown.size(), 1u);
    EXPECT_EQ(P.Shown[0].Description, "Invalid PI!");

    TBRDSDataValidator Good = DeviceCopy("");
    const TBRDSDataValidator Old = DeviceCopy();
    EXPECT_TRUE(Good.isValid(&Old, true, nullptr));
    EXPECT_EQ(P.Calls, 2);      // no findings: nothing shown
    EXPECT_EQ(Good.FW, Old.FW); // identity taken from the device copy
    SetAlertPresenter(nullptr);

    // Information alone passes without a presenter; a confirmation cannot.
    struct OneFinding : TBRDSDataValidator {
        TAlertType Type = altInfo;
        bool isValid(const TDataValidator* OldDV, bool Alert, void* Data) override
        {
            FAlerts.clear();
            AddAlert(FAlerts, Type, "n", "d");
            // NOLINTNEXTLINE(bugprone-parent-virtual-call): TBRDSDataValidator's would clear the finding
            return TDataValidator::isValid(OldDV, Alert, Data);
        }
    } F;
    EXPECT_TRUE(F.isValid(nullptr, true, nullptr));
    F.Type = altConfirm;
    EXPECT_FALSE(F.isValid(nullptr, true, nullptr));
}

TEST(Validation, FirmwareVersionFromText)
{
    TBRDSDataValidator r;
    EXPECT_EQ(r.FirmwareLevel(), 0);
    r.FW = "01.02.992  2013/02/19 09:52:54";
    EXPECT_EQ(r.VerMajor(), 1);
    EXPECT_EQ(r.VerMinor(), 2);
    r.FW = "xx.03";
    EXPECT_EQ(r.VerMajor(), 0);
    EXPECT_EQ(r.VerMinor(), 3);
}

TEST(ChangeDetection, CommandsForEditedRecords)
{
    struct Case {
        const char* What;
        const char* FW;
        std::function<void(TBRDSDataValidator&)> Edit;
        std::vector<std::string> Commands;
    };
    const Case Cases[] = {
        {"nothing", nullptr, [](TBRDSDataValidator&) {}, {}},
        {"DI bit", nullptr,
            [](TBRDSDataValidator& e) {
                e.DIMS = 1;
                e.DIAH = 1;
            },
            {"DI=3"}},
        {"PI", nullptr, [](TBRDSDataValidator& e) { e.PI = 0x00A5; }, {"PI=00A5"}},
        {"PS blank", nullptr, [](TBRDSDataValidator& e) { e.PS = "RADIO 1 "; }, {"PS=RADIO 1 "}},
        {"order", nullptr,
            [](TBRDSDataValidator& e) {
                e.AF[5] = 9;
                e.AF[2] = 4;
                e.DRTS = 3;
                e.DPSS = 2;
                e.RT = "Hi";
                e.PTY = 10;
                e.MS = 1;
                e.TATime = 255;
                e.TP = 1;
                e.TA = 1;
                e.DPSParse = 9;
                e.DPS = "A B";
                e.Mode = 1;
                e.Phase = 3599;
                e.CT = 1;
                e.Sync = 2;
                e.DST = 1;
            },
            {"TA=1", "TP=1", "TATIME=255", "MS=1", "PTY=10", "TEXT=Hi", "DRTS=3", "AF2=4", "AF5=9", "DPSS=2", "PARSE=9",
                "DPS=A B", "MODE=1", "PHASE=3599", "CT=1", "SYNC=2", "DST=1"}},
        {"firmware 102", "01.02.992",
            [](TBRDSDataValidator& e) {
                e.Sync = 1;
                e.DST = 2;
            },
            {}},
        {"manual clock", nullptr,
            [](TBRDSDataValidator& e) {
                e.RTC.wYear = 2016;
                e.RTC.wSecond = 6;
                e.RTC.wMilliseconds = 9;
                e.RTC.wDayOfWeek = 3;
            },
            {"DATE=09.06.16", "TIME=12:30:06"}},
        {"offset +330", nullptr, [](TBRDSDataValidator& e) { e.Offset = 330; }, {"OFFSET=+05:30"}},
        {"offset -30", nullptr, [](TBRDSDataValidator& e) { e.Offset = -30; }, {"OFFSET=-00:30"}},
        {"offset -330", nullptr, [](TBRDSDataValidator& e) { e.Offset = -330; }, {"OFFSET=-05:30"}},
    };
    for (const Case& c : Cases) {
        const TBRDSDataValidator Device = c.FW ? DeviceCopy(c.FW) : DeviceCopy();
        TBRDSDataValidator Editor = DeviceCopy();
        c.Edit(Editor);
        std::vector<TMsgChange> L;
        EXPECT_EQ(Device.isDifferent(&Editor, &L), !c.Commands.empty()) << c.What;
        EXPECT_EQ(Msgs(L), c.Commands) << c.What;
        EXPECT_EQ(Device.isDifferent(&Editor, nullptr), !c.Commands.empty()) << c.What;
        for (const auto& m : L)
            EXPECT_TRUE(m.Res.empty());
    }

    // A zero offset only goes out when it changed.
    TBRDSDataValidator Device = DeviceCopy(), Editor = DeviceCopy();
    Device.Offset = 60;
    std::vector<TMsgChange> L;
    Device.isDifferent(&Editor, &L);
    EXPECT_EQ(Msgs(L), std::vector<std::string> {"OFFSET=+00:00"});
}

TEST(ChangeDetection, ComputerClockUsesOneUtcReadingAndTheZone)
{
    // 2015-07-01 23:59:59.900 UTC and 2015-01-15 10:00:00 UTC.
    const std::int64_t Summer = 1435795199900LL, Winter = 1421316000000LL;
    struct Case {
        const char* Zone;
        std::int64_t Now;
        const char* Offset;
    };
    const Case Cases[] = {
        {"Africa/Lagos", Summer, "OFFSET=+01:00"},     // an hour ahead, no daylight time
        {"Europe/London", Summer, "OFFSET=+01:00"},    // UTC with daylight time in force
        {"America/New_York", Summer, "OFFSET=-04:00"}, // five hours behind, daylight time
        {"America/New_York", Winter, "OFFSET=-05:00"},
        {"Asia/Kolkata", Winter, "OFFSET=+05:30"},
        {"UTC", Winter, "OFFSET=+00:00"},
    };
    for (const Case& c : Cases) {
        TZoneScope Tz(c.Zone);
        SetUtcNowOverride(c.Now);
        const TBRDSDataValidator Device = DeviceCopy();
        TBRDSDataValidator Editor = DeviceCopy();
        Editor.RTCManual = false;
        std::vector<TMsgChange> L;
        EXPECT_TRUE(Device.isDifferent(&Editor, &L));
        const std::vector<std::string> Want = c.Now == Summer
            ? std::vector<std::string> {"DATE=01.07.15", "TIME=23:59:59", c.Offset}
            : std::vector<std::string> {"DATE=15.01.15", "TIME=10:00:00", c.Offset};
        EXPECT_EQ(Msgs(L), Want) << c.Zone;
        EXPECT_TRUE(Device.isDifferent(&Editor, nullptr));
    }
}

TEST(ChangeDetection, AllTwentyStepsInTheirOrder)
{
    const TBRDSDataValidator Device = DeviceCopy("01.03.100");
    TBRDSDataValidator Editor = DeviceCopy();
    Editor.PI = 0x1234;
    Editor.PS = "NEW PS";
    Editor.DIDS = 1;
    Editor.TA = 1;
    Editor.TP = 1;
    Editor.TATime = 7;
    Editor.MS = 1;
    Editor.PTY = 31;
    Editor.RT = "Radio text";
    Editor.DRTS = 9;
    for (int i = 1; i <= 7; ++i)
        Editor.AF[i] = static_cast<std::uint8_t>(200 + i - 7);
    Editor.DPSS = 5;
    Editor.DPSParse = 1;
    Editor.DPS = "Dynamic";
    Editor.Mode = 1;
    Editor.Phase = 1800;
    Editor.CT = 1;
    Editor.Sync = 1;
    Editor.DST = 3;
    Editor.RTC.wDay = 31;
    Editor.RTC.wMonth = 12;
    Editor.RTC.wYear = 2099;
    Editor.RTC.wHour = 23;
    Editor.Offset = -765;
    std::vector<TMsgChange> L;
    EXPECT_TRUE(Device.isDifferent(&Editor, &L));
    EXPECT_EQ(Msgs(L),
        (std::vector<std::string> {"PI=1234", "PS=NEW PS", "DI=8", "TA=1", "TP=1", "TATIME=7", "MS=1", "PTY=31",
            "TEXT=Radio text", "DRTS=9", "AF1=194", "AF2=195", "AF3=196", "AF4=197", "AF5=198", "AF6=199", "AF7=200",
            "DPSS=5", "PARSE=1", "DPS=Dynamic", "MODE=1", "PHASE=1800", "CT=1", "SYNC=1", "DST=3", "DATE=31.12.99",
            "TIME=23:30:05", "OFFSET=-12:45"}));
}

TEST(ChangeDetection, WhatIsNeverADifference)
{
    const TBRDSDataValidator Device = DeviceCopy();
    // Day of the week and milliseconds of a manual clock are not compared.
    TBRDSDataValidator Editor = DeviceCopy();
    Editor.RTC.wDayOfWeek = 6;
    Editor.RTC.wMilliseconds = 999;
    std::vector<TMsgChange> L;
    EXPECT_FALSE(Device.isDifferent(&Editor, &L));
    EXPECT_TRUE(L.empty());

    // A record of another class, even one that calls itself different.
    struct Other : TDataValidator {
        bool isDifferent(const TDataValidator*, std::vector<TMsgChange>*) const override { return true; }
    } O;
    EXPECT_FALSE(Device.isDifferent(&O, &L));
    EXPECT_FALSE(Device.isDifferent(nullptr, &L));
    EXPECT_TRUE(L.empty());
}

TEST(Validation, CopiesTheEncoderIdentityFromTheDeviceCopy)
{
    TBRDSDataValidator Old = DeviceCopy("01.03.105  2015/03/10");
    Old.HW = "KVX-1 rev B";
    Old.Serial = "004711";
    TBRDSDataValidator Editor = DeviceCopy("");
    Editor.HW = "stale";
    Editor.isValid(&Old, false, nullptr);
    EXPECT_EQ(Editor.HW, Old.HW);
    EXPECT_EQ(Editor.FW, Old.FW);
    EXPECT_EQ(Editor.Serial, Old.Serial);
    EXPECT_EQ(Editor.FirmwareLevel(), 103);

    // Without a device copy (or with a record of another class) nothing is copied.
    struct Other : TDataValidator {
        bool isDifferent(const TDataValidator*, std::vector<TMsgChange>*) const override { return false; }
    } O;
    TBRDSDataValidator Alone = DeviceCopy("");
    Alone.HW = "mine";
    Alone.isValid(nullptr, false, nullptr);
    Alone.isValid(&O, false, nullptr);
    EXPECT_EQ(Alone.HW, "mine");
    EXPECT_EQ(Alone.FW, "");
}

TEST(ChangeDetection, ComputerClockIsReadOnceWhileItMoves)
{
    // The system clock moves on by a millisecond with every reading, starting
    // one millisecond before midnight of a new year and before the start of
    // summer time: date, time and offset must all come from the first reading.
    const struct {
        const char* Zone;
        std::int64_t Start;
        std::vector<std::string> Want;
    } Cases[] = {
        // 2015-12-31 23:59:59.999 UTC
        {"UTC", 1451606399999LL, {"DATE=31.12.15", "TIME=23:59:59", "OFFSET=+00:00"}},
        // 2015-03-29 00:59:59.999 UTC, London goes to +01:00 a millisecond later
        {"Europe/London", 1427590799999LL, {"DATE=29.03.15", "TIME=00:59:59", "OFFSET=+00:00"}},
    };
    for (const auto& c : Cases) {
        TZoneScope Tz(c.Zone);
        SetUtcNowOverride(std::nullopt);
        const TBRDSDataValidator Device = DeviceCopy();
        TBRDSDataValidator Editor = DeviceCopy();
        Editor.RTCManual = false;
        std::vector<TMsgChange> L;
        {
            MovingClock Clock(c.Start, 1);
            EXPECT_TRUE(Device.isDifferent(&Editor, &L));
            EXPECT_EQ(Clock.Readings(), 1) << c.Zone;
        }
        EXPECT_EQ(Msgs(L), c.Want) << c.Zone;
    }
}

namespace {

struct TPopulateCounter {
    int Calls = 0;
    void Count(TDataValidator*) { ++Calls; }
};

} // namespace

TEST(DataValidator, AssignSettingsTakesTheValuesAndKeepsTheHandlers)
{
    TPopulateCounter Mine, Theirs;
    TBRDSDataValidator To(nullptr, TDVNotifyEvent(&Mine, &TPopulateCounter::Count));
    TBRDSDataValidator From(nullptr, TDVNotifyEvent(&Theirs, &TPopulateCounter::Count));
    From.PI = 0xC201;
    From.PS = "RADIO 1 ";
    From.Ready(true);

    To.AssignSettings(From);
    EXPECT_EQ(To.PI, 0xC201);
    EXPECT_EQ(To.PS, "RADIO 1 ");
    EXPECT_TRUE(To.Ready());
    To.Populate();
    EXPECT_EQ(Mine.Calls, 1);
    EXPECT_EQ(Theirs.Calls, 0);
}
