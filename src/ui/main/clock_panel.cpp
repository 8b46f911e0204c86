#include "ui/main/clock_panel.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/time_zone.h"
#include "ui/main/group_box.h"

namespace {

// A caption whose right edge is at x = Right.
QLabel* Caption(QWidget* Parent, const QString& Text, int Right, int Y)
{
    auto* l = new QLabel(Text, Parent);
    const int w = l->fontMetrics().horizontalAdvance(Text) + 2;
    l->setGeometry(Right - w, Y, w, l->fontMetrics().height());
    l->setAlignment(Qt::AlignRight | Qt::AlignTop);
    return l;
}

QLabel* Value(QWidget* Parent, const char* Name, int X, int Y)
{
    auto* l = new QLabel(Parent);
    l->setObjectName(QLatin1String(Name));
    l->setGeometry(X, Y, Parent->width() - X - 4, l->fontMetrics().height());
    // These labels change every second or two: drawn opaque, a new text
    // repaints the label alone, not the group boxes under it.
    l->setAutoFillBackground(true);
    return l;
}

// "%s%.2d:%.2d" of a bias in minutes west of UTC: east reads "+".
QString BiasText(int Bias)
{
    return QString::asprintf("%s%.2d:%.2d", Bias > 0 ? "-" : "+", std::abs(Bias / 60), std::abs(Bias % 60));
}

} // namespace

TOffsetSpinBox::TOffsetSpinBox(QWidget* Parent) : QDoubleSpinBox(Parent)
{
    setDecimals(2);
    setRange(-15.5, 15.5);
    setSingleStep(Step);
    setSuffix(QStringLiteral(" hours"));
}

double TOffsetSpinBox::Snapped(double Hours)
{
    return std::round(Hours / Step) * Step;
}

void TOffsetSpinBox::stepBy(int Steps)
{
    // From a value between two quarter hours, the first step lands on the
    // neighbouring quarter hour in the step's direction.
    const double Quarters = value() / Step;
    const double From = Steps > 0 ? std::floor(Quarters) : std::ceil(Quarters);
    setValue((From + Steps) * Step);
}

QString TOffsetSpinBox::textFromValue(double Value) const
{
    QString Text = locale().toString(Value, 'f', 2);
    Text.remove(locale().groupSeparator());
    if (Text.endsWith(QLatin1Char('0')))
        Text.chop(1);
    return Text;
}

double TOffsetSpinBox::valueFromText(const QString& Text) const
{
    QString Number = Text;
    if (Number.endsWith(suffix()))
        Number.chop(suffix().size());
    bool Ok = false;
    const double Hours = locale().toDouble(Number.trimmed(), &Ok);
    return Ok ? std::clamp(Snapped(Hours), minimum(), maximum()) : value();
}

TClockPanel::TClockPanel(TGroupBox* gbRTC) : QObject(gbRTC)
{
    GroupBox1 = new TGroupBox(QStringLiteral("Device Date and Time"), gbRTC);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 20, 147, 94);
    GroupBox15 = new TGroupBox(QStringLiteral("Local Date and Time"), gbRTC);
    GroupBox15->setObjectName(QStringLiteral("GroupBox15"));
    GroupBox15->setGeometry(8, 124, 147, 94);

    const QString captions[4]
        = {QStringLiteral("Date:"), QStringLiteral("Time:"), QStringLiteral("Offset:"), QStringLiteral("DST:")};
    const int deviceRows[4] = {16, 35, 54, 73};
    const int localRows[4] = {16, 36, 55, 74};
    for (int i = 0; i < 4; ++i) {
        Caption(GroupBox1, captions[i], 43, deviceRows[i]);
        Caption(GroupBox15, captions[i], 43, localRows[i]);
    }
    lbRTC_DD = Value(GroupBox1, "lbRTC_DD", 49, deviceRows[0]);
    lbRTC_DT = Value(GroupBox1, "lbRTC_DT", 49, deviceRows[1]);
    lbRTC_DO = Value(GroupBox1, "lbRTC_DO", 49, deviceRows[2]);
    lbRTC_DDST = Value(GroupBox1, "lbRTC_DDST", 49, deviceRows[3]);
    lbRTC_LD = Value(GroupBox15, "lbRTC_LD", 49, localRows[0]);
    lbRTC_LT = Value(GroupBox15, "lbRTC_LT", 49, localRows[1]);
    lbRTC_LO = Value(GroupBox15, "lbRTC_LO", 49, localRows[2]);
    lbRTC_LDST = Value(GroupBox15, "lbRTC_LDST", 49, localRows[3]);

    rbCTSyncComp = new QRadioButton(QStringLiteral("Sync with Computer Clock"), gbRTC);
    rbCTSyncComp->setObjectName(QStringLiteral("rbCTSyncComp"));
    rbCTSyncComp->setGeometry(8, 229, 153, 17);
    rbCTSyncMan = new QRadioButton(QStringLiteral("Manual Synchronization"), gbRTC);
    rbCTSyncMan->setObjectName(QStringLiteral("rbCTSyncMan"));
    rbCTSyncMan->setGeometry(8, 252, 153, 17);
    rbCTSyncMan->setChecked(true);

    Caption(gbRTC, QStringLiteral("Date:"), 43, 278);
    dtpDate = new QDateEdit(gbRTC);
    dtpDate->setObjectName(QStringLiteral("dtpDate"));
    dtpDate->setGeometry(49, 275, 108, 21);
    dtpDate->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    dtpDate->setCalendarPopup(true);

    Caption(gbRTC, QStringLiteral("Time:"), 43, 305);
    dtpTime = new QTimeEdit(gbRTC);
    dtpTime->setObjectName(QStringLiteral("dtpTime"));
    dtpTime->setGeometry(49, 302, 64, 21);
    dtpTime->setDisplayFormat(QStringLiteral(" HH:mm"));
    // The leading space is no section: without this the arrows would step nothing.
    dtpTime->setCurrentSection(QDateTimeEdit::HourSection);

    lbTimeOffset = Caption(gbRTC, QStringLiteral("Offset:"), 43, 332);
    lbTimeOffset->setObjectName(QStringLiteral("lbTimeOffset"));
    ednxTimeOffset = new TOffsetSpinBox(gbRTC);
    ednxTimeOffset->setObjectName(QStringLiteral("ednxTimeOffset"));
    ednxTimeOffset->setGeometry(49, 329, 88, 21);
    ednxTimeOffset->setAlignment(Qt::AlignRight);
    ednxTimeOffset->setValue(0.0);

    lbDST = Caption(gbRTC, QStringLiteral("DST:"), 43, 359);
    lbDST->setObjectName(QStringLiteral("lbDST"));
    cbDST = new QComboBox(gbRTC);
    cbDST->setObjectName(QStringLiteral("cbDST"));
    cbDST->setGeometry(49, 356, 88, 21);
    cbDST->addItems(
        {QStringLiteral("OFF"), QStringLiteral("Auto Europe"), QStringLiteral("Auto USA"), QStringLiteral("+1")});
    cbDST->setCurrentIndex(1);

    connect(rbCTSyncComp, &QRadioButton::clicked, this, [this] { rbCTSyncCompClick(rbCTSyncComp); });
    connect(rbCTSyncMan, &QRadioButton::clicked, this, [this] { rbCTSyncCompClick(rbCTSyncMan); });

    TimerCT = new QTimer(this);
    TimerCT->setInterval(1000);
    connect(TimerCT, &QTimer::timeout, this, [this] { TimerCTTimer(); });
    TimerCT->start();
}

QString TClockPanel::DateText(const TSystemTime& T)
{
    const QDate d(T.wYear, T.wMonth, T.wDay);
    return d.isValid() ? QLocale().toString(d, QStringLiteral("dd-MMM-yyyy")) : QString();
}

QString TClockPanel::TimeText(const TSystemTime& T)
{
    return QString::asprintf("%.2d:%.2d:%.2d", T.wHour, T.wMinute, T.wSecond);
}

void TClockPanel::TimerCTTimer()
{
    TTimeZoneInformation tz;
    const TTimeZoneId id = GetTimeZoneInformation(tz);
    const int shift = id == tzStandard ? tz.StandardBias : id == tzDaylight ? tz.DaylightBias : 0;
    // The encoder's clock keeps UTC, so the computer's is shown in UTC too.
    const TSystemTime now = UtcNow();
    lbRTC_LD->setText(DateText(now));
    lbRTC_LT->setText(TimeText(now));
    lbRTC_LO->setText(BiasText(tz.Bias));
    lbRTC_LDST->setText(BiasText(shift));
}

void TClockPanel::rbCTSyncCompClick(QObject* Sender)
{
    if (Sender != rbCTSyncComp && Sender != rbCTSyncMan)
        return;
    const bool manual = Sender == rbCTSyncMan;
    for (QWidget* w : {static_cast<QWidget*>(dtpDate), static_cast<QWidget*>(dtpTime),
             static_cast<QWidget*>(ednxTimeOffset), static_cast<QWidget*>(lbTimeOffset)})
        w->setEnabled(manual);
}

void TClockPanel::SetPickers(const TSystemTime& T)
{
    const QDate d(T.wYear, T.wMonth, T.wDay);
    if (d.isValid())
        dtpDate->setDate(d);
    const QTime t(T.wHour, T.wMinute, T.wSecond);
    if (t.isValid()) {
        dtpTime->setTime(t);
        FPickerSeconds = T.wSecond;
    }
}

void TClockPanel::Populate(const TBRDSDataValidator& R)
{
    lbRTC_DD->setText(DateText(R.RTC));
    lbRTC_DT->setText(TimeText(R.RTC));
    SetPickers(R.RTC);
    lbRTC_DO->setText(QString::fromStdString(FormatOffset(R.Offset)));
    ednxTimeOffset->setValue(R.Offset / 60.0);
    if (R.FirmwareLevel() < 103) {
        lbDST->setEnabled(false);
        cbDST->setEnabled(false);
        lbRTC_DDST->setText(QStringLiteral("N/A"));
    } else if (R.DST < cbDST->count()) {
        cbDST->setCurrentIndex(R.DST);
    }
}

void TClockPanel::Collect(TBRDSDataValidator& R) const
{
    const QDate d = dtpDate->date();
    R.RTC.wYear = static_cast<std::uint16_t>(d.year());
    R.RTC.wMonth = static_cast<std::uint16_t>(d.month());
    R.RTC.wDay = static_cast<std::uint16_t>(d.day());
    const QTime t = dtpTime->time();
    R.RTC.wHour = static_cast<std::uint16_t>(t.hour());
    R.RTC.wMinute = static_cast<std::uint16_t>(t.minute());
    R.RTC.wSecond = static_cast<std::uint16_t>(FPickerSeconds);
    R.Offset = static_cast<std::int32_t>(std::lround(ednxTimeOffset->value() * 60));
    R.RTCManual = rbCTSyncMan->isChecked();
    if (cbDST->currentIndex() >= 0)
        R.DST = static_cast<std::uint8_t>(cbDST->currentIndex());
}

void TClockPanel::Clear()
{
    const std::int64_t now = UtcNowMs();
    SetPickers(UtcFromMs(now + std::int64_t(LocalOffsetMinutes(now)) * 60000));
    for (QLabel* l : {lbRTC_DD, lbRTC_DT, lbRTC_DO, lbRTC_DDST})
        l->clear();
}

void TClockPanel::SetLabel(TDialogueLabel L, const QString& Text)
{
    switch (L) {
    case TDialogueLabel::lbRTC_DD:
        lbRTC_DD->setText(Text);
        break;
    case TDialogueLabel::lbRTC_DT:
        lbRTC_DT->setText(Text);
        break;
    case TDialogueLabel::lbRTC_DO:
        lbRTC_DO->setText(Text);
        break;
    case TDialogueLabel::lbRTC_DDST:
        lbRTC_DDST->setText(Text);
        break;
    case TDialogueLabel::lbPilot:
        break; // not a label of this group
    }
}

void TClockPanel::TakeComputerClock()
{
    const std::int64_t now = UtcNowMs();
    SetPickers(UtcFromMs(now));
    ednxTimeOffset->setValue(LocalOffsetMinutes(now) / 60.0);
}

void TClockPanel::SelectManualSynchronization()
{
    rbCTSyncMan->setChecked(true);
    rbCTSyncCompClick(rbCTSyncMan);
}
