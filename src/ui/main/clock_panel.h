#pragma once
// The "Real Time Clock" group: the encoder's clock beside the computer's
// (in UTC, refreshed every second), and the controls that set the encoder's
// clock from the computer's or by hand, with the offset and the DST rule.
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QObject>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>

#include "dialogue/dialogue_view.h"
#include "rds/data_validator.h"

class TGroupBox;

// The time offset in hours, in quarter hours from -15.5 to +15.5: a typed
// value and the arrows land on a quarter hour, a value set from code (the
// encoder's offset in whole minutes) is kept as it is. Shows one decimal where
// that says it all ("5.5 hours"), two otherwise ("5.75 hours").
class TOffsetSpinBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit TOffsetSpinBox(QWidget* Parent);
    static constexpr double Step = 0.25;
    static double Snapped(double Hours);
    void stepBy(int Steps) override;
    QString textFromValue(double Value) const override;
    double valueFromText(const QString& Text) const override;
};

class TClockPanel : public QObject {
    Q_OBJECT
public:
    explicit TClockPanel(TGroupBox* gbRTC);

    TGroupBox* GroupBox1;  // "Device Date and Time"
    TGroupBox* GroupBox15; // "Local Date and Time"
    QLabel* lbRTC_DD;
    QLabel* lbRTC_DT;
    QLabel* lbRTC_DO;
    QLabel* lbRTC_DDST;
    QLabel* lbRTC_LD;
    QLabel* lbRTC_LT;
    QLabel* lbRTC_LO;
    QLabel* lbRTC_LDST;
    QRadioButton* rbCTSyncComp;
    QRadioButton* rbCTSyncMan;
    QDateEdit* dtpDate;
    QTimeEdit* dtpTime;
    TOffsetSpinBox* ednxTimeOffset;
    QLabel* lbTimeOffset;
    QLabel* lbDST;
    QComboBox* cbDST;
    QTimer* TimerCT;

    // Refreshes the computer's date, time, zone offset and daylight shift.
    void TimerCTTimer();
    // Either radio button: the pickers and the offset follow "Manual".
    void rbCTSyncCompClick(QObject* Sender);

    void Populate(const TBRDSDataValidator& R);
    void Collect(TBRDSDataValidator& R) const;
    // Pickers to the current local date and time, device labels emptied.
    void Clear();
    // The device labels the read and refresh scripts fill.
    void SetLabel(TDialogueLabel L, const QString& Text);
    void SelectManualSynchronization();
    // The pickers and the offset take the computer's clock: the UTC date and
    // time and the zone's offset, as a synchronising save sends them.
    void TakeComputerClock();

    // "dd-mmm-yyyy" and "hh:nn:ss" of a system time (empty for an invalid date).
    static QString DateText(const TSystemTime& T);
    static QString TimeText(const TSystemTime& T);

private:
    void SetPickers(const TSystemTime& T);

    // The time picker shows hours and minutes; it keeps the seconds it was given.
    int FPickerSeconds = 0;
};
