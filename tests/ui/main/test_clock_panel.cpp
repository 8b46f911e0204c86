// The real-time clock group: the device labels and offset, the computer's
// UTC clock and zone, the synchronisation mode, the firmware gate of the DST
// rule, and collecting the pickers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/time_zone.h"
#include "ui/kit/fonts.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"

namespace {

// 2026-03-05 23:59:58 UTC, a Thursday.
constexpr std::int64_t kNowMs = 1772755198000;

struct TClockFixture {
    QWidget Window;
    TGroupBox* gbRTC;
    TClockPanel* Panel;
    TClockFixture()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        Window.setFont(WindowFont());
        Window.resize(180, 400);
        gbRTC = new TGroupBox(QStringLiteral("Real Time Clock"), &Window);
        gbRTC->setGeometry(8, 8, 162, 384);
        Panel = new TClockPanel(gbRTC);
        Window.show();
    }
    ~TClockFixture() { QLocale::setDefault(QLocale::system()); }
};

// Sets TZ (and "now") for one scope.
class TZoneScope {
public:
    TZoneScope(const char* Zone, std::int64_t NowMs)
    {
        if (const char* old = std::getenv("TZ"))
            FSaved = old;
        ::setenv("TZ", Zone, 1);
        ::tzset();
        SetUtcNowOverride(NowMs);
    }
    ~TZoneScope()
    {
        if (FSaved)
            ::setenv("TZ", FSaved->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        SetUtcNowOverride(std::nullopt);
    }

private:
    std::optional<std::string> FSaved;
};

TBRDSDataValidator Record(const char* FW, int Offset = 0, std::uint8_t DST = 0)
{
    TBRDSDataValidator r;
    r.FW = FW;
    r.Offset = Offset;
    r.DST = DST;
    r.RTC = {2026, 3, 3, 4, 10, 20, 37, 250}; // Wednesday 4 March
    return r;
}

} // namespace

TEST(ClockPanel, DeviceOffsetReadsAndCollectsBack)
{
    const struct {
        int Minutes;
        const char* Label;
        double Hours;
    } cases[] = {
        {-330, "-05:30", -5.5}, {-30, "-00:30", -0.5}, {60, "+01:00", 1.0}, {0, "+00:00", 0.0}, {930, "+15:30", 15.5},
        {345, "+05:45", 5.75}, {-195, "-03:15", -3.25}, {765, "+12:45", 12.75},
        {342, "+05:42", 5.7}, // an offset off the quarter hours is kept
    };
    TClockFixture f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Minutes);
        f.Panel->Populate(Record("01.03", c.Minutes));
        EXPECT_EQ(f.Panel->lbRTC_DO->text(), c.Label);
        EXPECT_DOUBLE_EQ(f.Panel->ednxTimeOffset->value(), c.Hours);
        TBRDSDataValidator r;
        f.Panel->Collect(r);
        EXPECT_EQ(r.Offset, c.Minutes);
    }
}

TEST(ClockPanel, TypedOffsetsLandOnQuarterHours)
{
    TClockFixture f;
    TOffsetSpinBox* box = f.Panel->ednxTimeOffset;
    EXPECT_EQ(box->text(), "0.0 hours");
    const struct {
        const char* Typed;
        double Hours;
        const char* Shown;
        int Minutes;
    } cases[] = {
        {"5.75", 5.75, "5.75 hours", 345},
        {"5.7", 5.75, "5.75 hours", 345},
        {"-3.25", -3.25, "-3.25 hours", -195},
        {"12.8", 12.75, "12.75 hours", 765},
        {"5.5", 5.5, "5.5 hours", 330},
        {"-15.5", -15.5, "-15.5 hours", -930},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        box->selectAll();
        for (QChar ch : QString::fromLatin1(c.Typed)) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QCoreApplication::sendEvent(box, &press);
        }
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &enter);
        EXPECT_DOUBLE_EQ(box->value(), c.Hours);
        EXPECT_EQ(box->text(), c.Shown);
        TBRDSDataValidator r;
        f.Panel->Collect(r);
        EXPECT_EQ(r.Offset, c.Minutes);
    }
    // The arrows step a quarter hour; from an offset between two quarter
    // hours they land on the neighbouring one.
    const struct {
        int Minutes;
        int Steps;
        double Hours;
    } steps[] = {{345, 1, 6.0}, {345, -1, 5.5}, {342, 1, 5.75}, {342, -1, 5.5}, {-330, -1, -5.75}, {930, 1, 15.5}};
    for (const auto& c : steps) {
        SCOPED_TRACE(c.Minutes);
        f.Panel->Populate(Record("01.03", c.Minutes));
        box->stepBy(c.Steps);
        EXPECT_DOUBLE_EQ(box->value(), c.Hours);
    }
}

TEST(ClockPanel, ComputerClockShowsUtcAndTheZone)
{
    const struct {
        const char* Zone;
        std::int64_t Now;
        const char* Date;
        const char* Time;
        const char* Offset;
        const char* Dst;
    } cases[] = {
        {"Asia/Kolkata", kNowMs, "05-Mar-2026", "23:59:58", "+05:30", "+00:00"},
        {"America/New_York", kNowMs, "05-Mar-2026", "23:59:58", "-05:00", "+00:00"},
        // 2026-07-01 12:00:00 UTC: daylight time in Berlin.
        {"Europe/Berlin", 1782907200000, "01-Jul-2026", "12:00:00", "+01:00", "+01:00"},
        {"UTC", kNowMs, "05-Mar-2026", "23:59:58", "+00:00", "+00:00"},
    };
    TClockFixture f;
    EXPECT_EQ(f.Panel->TimerCT->interval(), 1000);
    EXPECT_TRUE(f.Panel->TimerCT->isActive());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Zone);
        TZoneScope zone(c.Zone, c.Now);
        f.Panel->TimerCTTimer();
        EXPECT_EQ(f.Panel->lbRTC_LD->text(), c.Date);
        EXPECT_EQ(f.Panel->lbRTC_LT->text(), c.Time);
        EXPECT_EQ(f.Panel->lbRTC_LO->text(), c.Offset);
        EXPECT_EQ(f.Panel->lbRTC_LDST->text(), c.Dst);
    }
}

TEST(ClockPanel, SynchronisationModeEnablesThePickers)
{
    TClockFixture f;
    EXPECT_TRUE(f.Panel->rbCTSyncMan->isChecked());
    QWidget* manual[] = {f.Panel->dtpDate, f.Panel->dtpTime, f.Panel->ednxTimeOffset, f.Panel->lbTimeOffset};
    const struct {
        QRadioButton* Button;
        bool Manual;
    } steps[] = {{f.Panel->rbCTSyncComp, false}, {f.Panel->rbCTSyncMan, true}, {f.Panel->rbCTSyncComp, false}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.Button->text().toStdString());
        s.Button->click();
        for (QWidget* w : manual)
            EXPECT_EQ(w->isEnabled(), s.Manual) << w->objectName().toStdString();
        EXPECT_TRUE(f.Panel->cbDST->isEnabled());
        TBRDSDataValidator r;
        f.Panel->Collect(r);
        EXPECT_EQ(r.RTCManual, s.Manual);
    }
    // After a write the window goes back to manual.
    f.Panel->SelectManualSynchronization();
    EXPECT_TRUE(f.Panel->rbCTSyncMan->isChecked());
    for (QWidget* w : manual)
        EXPECT_TRUE(w->isEnabled());
}

TEST(ClockPanel, FirmwareBefore103HasNoDstRule)
{
    TClockFixture f;
    f.Panel->SetLabel(TDialogueLabel::lbRTC_DDST, QStringLiteral("+01:00"));
    f.Panel->cbDST->setCurrentIndex(3);

    f.Panel->Populate(Record("01.03", 0, 2));
    EXPECT_EQ(f.Panel->cbDST->currentIndex(), 2);
    EXPECT_TRUE(f.Panel->cbDST->isEnabled());
    EXPECT_EQ(f.Panel->lbRTC_DDST->text(), "+01:00");

    f.Panel->Populate(Record("01.02", 0, 0));
    EXPECT_EQ(f.Panel->cbDST->currentIndex(), 2); // keeps what it showed
    EXPECT_FALSE(f.Panel->cbDST->isEnabled());
    EXPECT_FALSE(f.Panel->lbDST->isEnabled());
    EXPECT_EQ(f.Panel->lbRTC_DDST->text(), "N/A");
    TBRDSDataValidator r;
    f.Panel->Collect(r);
    EXPECT_EQ(r.DST, 2); // collected whatever the firmware

    // A rule the list does not have leaves the list as it was.
    f.gbRTC->setEnabled(true);
    f.Panel->cbDST->setEnabled(true);
    f.Panel->Populate(Record("01.05", 0, 9));
    EXPECT_EQ(f.Panel->cbDST->currentIndex(), 2);
}

TEST(ClockPanel, PickersShowTheDeviceClockAndCollectTheEditedTime)
{
    TClockFixture f;
    f.Panel->Populate(Record("01.03"));
    EXPECT_EQ(f.Panel->lbRTC_DD->text(), "04-Mar-2026");
    EXPECT_EQ(f.Panel->lbRTC_DT->text(), "10:20:37");
    EXPECT_EQ(f.Panel->dtpDate->date(), QDate(2026, 3, 4));
    EXPECT_EQ(f.Panel->dtpTime->displayFormat(), " HH:mm");
    EXPECT_EQ(f.Panel->dtpTime->text(), " 10:20");
    // The arrows step the hours although the text starts with a space.
    f.Panel->dtpTime->stepUp();
    EXPECT_EQ(f.Panel->dtpTime->text(), " 11:20");

    f.Panel->dtpTime->setTime(QTime(23, 59));
    f.Panel->dtpDate->setDate(QDate(2027, 12, 31));
    TBRDSDataValidator r;
    r.RTC.wDayOfWeek = 6;
    r.RTC.wMilliseconds = 123;
    f.Panel->Collect(r);
    EXPECT_EQ(r.RTC.wYear, 2027);
    EXPECT_EQ(r.RTC.wMonth, 12);
    EXPECT_EQ(r.RTC.wDay, 31);
    EXPECT_EQ(r.RTC.wHour, 23);
    EXPECT_EQ(r.RTC.wMinute, 59);
    EXPECT_EQ(r.RTC.wSecond, 37); // the seconds the picker was given
    EXPECT_EQ(r.RTC.wDayOfWeek, 6);
    EXPECT_EQ(r.RTC.wMilliseconds, 123);

    // A record without a clock (never read) shows no date and keeps the pickers.
    TBRDSDataValidator empty;
    empty.FW = "01.03";
    f.Panel->Populate(empty);
    EXPECT_EQ(f.Panel->lbRTC_DD->text(), "");
    EXPECT_EQ(f.Panel->dtpDate->date(), QDate(2027, 12, 31));
}

TEST(ClockPanel, ClearEmptiesTheDeviceLabelsAndSetsThePickersToLocalNow)
{
    TClockFixture f;
    const TDialogueLabel labels[]
        = {TDialogueLabel::lbRTC_DD, TDialogueLabel::lbRTC_DT, TDialogueLabel::lbRTC_DO, TDialogueLabel::lbRTC_DDST};
    QLabel* shown[] = {f.Panel->lbRTC_DD, f.Panel->lbRTC_DT, f.Panel->lbRTC_DO, f.Panel->lbRTC_DDST};
    for (int i = 0; i < 4; ++i) {
        f.Panel->SetLabel(labels[i], QString::number(i));
        EXPECT_EQ(shown[i]->text(), QString::number(i));
    }
    f.Panel->SetLabel(TDialogueLabel::lbPilot, QStringLiteral("Pilot: Yes")); // not this group's
    TZoneScope zone("Asia/Kolkata", kNowMs);
    f.Panel->Clear();
    for (QLabel* l : shown)
        EXPECT_EQ(l->text(), "");
    // 23:59:58 UTC is 05:29:58 the next day in a zone 5:30 east.
    EXPECT_EQ(f.Panel->dtpDate->date(), QDate(2026, 3, 6));
    EXPECT_EQ(f.Panel->dtpTime->time().hour(), 5);
    EXPECT_EQ(f.Panel->dtpTime->time().minute(), 29);
    TBRDSDataValidator r;
    f.Panel->Collect(r);
    EXPECT_EQ(r.RTC.wSecond, 58);
}
