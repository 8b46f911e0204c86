// The editor of the main window without an encoder: key filters, the PI and
// call-letter coupling, the texts handed to the radio display's scroller,
// the firmware gate and populate/collect round trips.
#include "main_form_fixture.h"

#include "rds/common.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <gtest/gtest.h>

namespace {

// A record with a value other than the default in every field the editor shows.
TBRDSDataValidator FullRecord()
{
    TBRDSDataValidator R;
    R.PI = 0xC201;
    R.PS = "RADIO 1\xE9";
    R.PTY = 17;
    R.TA = 1;
    R.TP = 1;
    R.TATime = 42;
    R.MS = 1;
    R.DIMS = 1;
    R.DIAH = 1;
    R.DICO = 1;
    R.DIDS = 1;
    R.Mode = 1;
    R.RT = "Radiotext with 8-bit \xC4 and more";
    R.DRTS = 4;
    R.DPS = "Dynamic text";
    R.DPSS = 7;
    R.DPSParse = 9;
    R.AF = {0, 95, 204, 1, 0, 0, 0, 0};
    R.Phase = 3;
    R.CT = 1;
    R.RTC = {2026, 3, 0, 14, 9, 41, 27, 0};
    R.Offset = -330;
    R.FW = "01.03";
    R.DST = 2;
    R.Sync = 2;
    return R;
}

void ExpectSameSettings(const TBRDSDataValidator& A, const TBRDSDataValidator& B)
{
    EXPECT_EQ(A.PI, B.PI);
    EXPECT_EQ(A.PS, B.PS);
    EXPECT_EQ(A.PTY, B.PTY);
    EXPECT_EQ(A.TA, B.TA);
    EXPECT_EQ(A.TP, B.TP);
    EXPECT_EQ(A.TATime, B.TATime);
    EXPECT_EQ(A.MS, B.MS);
    EXPECT_EQ(A.DI(), B.DI());
    EXPECT_EQ(A.Mode, B.Mode);
    EXPECT_EQ(A.RT, B.RT);
    EXPECT_EQ(A.DRTS, B.DRTS);
    EXPECT_EQ(A.DPS, B.DPS);
    EXPECT_EQ(A.DPSS, B.DPSS);
    EXPECT_EQ(A.DPSParse, B.DPSParse);
    EXPECT_EQ(A.AF, B.AF);
    EXPECT_EQ(A.Phase, B.Phase);
    EXPECT_EQ(A.CT, B.CT);
    EXPECT_EQ(A.RTC.wYear, B.RTC.wYear);
    EXPECT_EQ(A.RTC.wMonth, B.RTC.wMonth);
    EXPECT_EQ(A.RTC.wDay, B.RTC.wDay);
    EXPECT_EQ(A.RTC.wHour, B.RTC.wHour);
    EXPECT_EQ(A.RTC.wMinute, B.RTC.wMinute);
    EXPECT_EQ(A.RTC.wSecond, B.RTC.wSecond);
    EXPECT_EQ(A.Offset, B.Offset);
    EXPECT_EQ(A.DST, B.DST);
    EXPECT_EQ(A.Sync, B.Sync);
}

} // namespace

TEST(MainFormEditor, PopulateThenCollectGivesTheRecordBack)
{
    TWindow W;
    TTestForm& F = W.Start();
    const TBRDSDataValidator In = FullRecord();
    F.PopulateEditor(In);
    EXPECT_EQ(F.edPI_B->text(), "C201");
    EXPECT_EQ(F.edCall_B->text(), QString::fromStdString(PIToCallLetters(0xC201)));
    EXPECT_EQ(F.cbPTYRBDS_B->currentIndex(), 17);
    EXPECT_EQ(F.lbFW->text(), "FW: 01.03");
    EXPECT_EQ(F.lbSynchro->text(), "Synchro: External");
    EXPECT_EQ(F.edPhase->text(), QString::fromUtf8("0.3 \u00B0"));

    TBRDSDataValidator Out;
    F.CollectEditor(Out);
    ExpectSameSettings(In, Out);
    EXPECT_TRUE(Out.RTCManual);
    // Device identity is shown, never collected.
    EXPECT_TRUE(Out.FW.empty());

    // Every phase survives the trip through the spin box's decimal value.
    TBRDSDataValidator R = In;
    for (int Phase = 0; Phase <= 3599; ++Phase) {
        R.Phase = Phase;
        F.PopulateEditor(R);
        F.CollectEditor(Out);
        ASSERT_EQ(Out.Phase, Phase);
    }
}

TEST(MainFormEditor, OldFirmwareLeavesSynchroAndDSTAsTheyWereDisabled)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    F.cbSynchro->setCurrentIndex(1);
    TBRDSDataValidator R = FullRecord();
    R.FW = "01.02";
    R.Sync = 2;
    R.DST = 3;
    const int DSTBefore = F.ClockPanel->cbDST->currentIndex();
    F.PopulateEditor(R);
    EXPECT_EQ(F.cbSynchro->currentIndex(), 1);
    EXPECT_EQ(F.ClockPanel->cbDST->currentIndex(), DSTBefore);
    EXPECT_FALSE(F.gbSynchro->isEnabled());
    EXPECT_FALSE(F.cbSynchro->isEnabled());
    EXPECT_FALSE(F.ClockPanel->cbDST->isEnabled());
    EXPECT_EQ(F.lbSynchro->text(), "");
    TBRDSDataValidator Out;
    F.CollectEditor(Out);
    EXPECT_EQ(Out.Sync, 1);
    EXPECT_EQ(Out.DST, DSTBefore);
}

TEST(MainFormEditor, KeyFiltersOfPIAndCallLetters)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    struct Case {
        QLineEdit* Box;
        const char* Start;
        const char* Keys;
        const char* Shown;
    };
    const Case Cases[] = {
        {F.edPI_B, "", "G", ""},
        {F.edPI_B, "", "a", "A"},
        {F.edPI_B, "", "1f-z", "1F"},
        {F.edPI_B, "", "C2019", "C201"}, // length limit
        {F.edCall_B, "", "k2!_", "K2"},
    };
    for (const Case& C : Cases) {
        C.Box->setText(QString::fromLatin1(C.Start));
        TypeKeys(C.Box, QString::fromLatin1(C.Keys));
        EXPECT_EQ(C.Box->text(), QString::fromLatin1(C.Shown)) << C.Keys;
    }
    // The paste shortcut is a control character: refused.
    QGuiApplication::clipboard()->setText(QStringLiteral("ABCD"));
    F.edPI_B->setText(QStringLiteral("12"));
    KeyClick(F.edPI_B, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    EXPECT_EQ(F.edPI_B->text(), "12");
}

namespace {

// Pastes Clip into Box through its context menu, as the user would.
void PasteFromMenu(QLineEdit* Box, const QString& Clip)
{
    QGuiApplication::clipboard()->setText(Clip);
    QContextMenuEvent Menu(QContextMenuEvent::Mouse, QPoint(5, 5), Box->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(Box, &Menu);
    auto* Popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(Popup, nullptr);
    QAction* Paste = nullptr;
    for (QAction* A : Popup->actions())
        if (A->objectName() == QLatin1String("edit-paste"))
            Paste = A;
    ASSERT_NE(Paste, nullptr);
    Paste->trigger();
    Popup->close();
}

} // namespace

TEST(MainFormEditor, PIAndCallLetterBoxesEditWithoutErrorBoxes)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    // Emptying "----" key by key: a text of dashes is an empty box, no error.
    F.ClearEditor();
    F.edPI_B->end(false);
    for (int i = 0; i < 4; ++i)
        KeyClick(F.edPI_B, Qt::Key_Backspace);
    EXPECT_EQ(F.edPI_B->text(), "");
    // Typing into "----" replaces the dashes.
    F.ClearEditor();
    TypeKeys(F.edPI_B, QStringLiteral("c201"));
    EXPECT_EQ(F.edPI_B->text(), "C201");
    EXPECT_EQ(F.edCall_B->text(), QString::fromStdString(PIToCallLetters(0xC201)));

    // Pasting keeps hexadecimal digits (PI) or letters (call letters) only.
    struct Case {
        QLineEdit* Box;
        const char* Before;
        const char* Clip;
        const char* After;
    };
    const Case Cases[] = {
        {F.edPI_B, "----", "c2-0 1x!", "C201"},
        {F.edPI_B, "AB", " cd-12", "ABCD"}, // at the caret, within the length limit
        {F.edPI_B, "12", "xyz", "12"},
        {F.edCall_B, "----", "w-a b1c", "WABC"},
    };
    for (const Case& C : Cases) {
        C.Box->setText(QString::fromLatin1(C.Before));
        C.Box->end(false);
        PasteFromMenu(C.Box, QString::fromLatin1(C.Clip));
        EXPECT_EQ(C.Box->text(), QString::fromLatin1(C.After)) << C.Clip;
    }
    EXPECT_EQ(F.edPI_B->text(), QString::asprintf("%.4X", CallLettersToPI("WABC")));
    EXPECT_TRUE(F.Messages.empty()) << F.Messages[0].toStdString();
}

TEST(MainFormEditor, CallLettersTypedInLowerCaseGiveThePI)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    const std::uint16_t PI = CallLettersToPI("WABC");
    ASSERT_NE(PI, 0);
    F.edCall_B->clear();
    F.edCall_B->setFocus();
    TypeKeys(F.edCall_B, QStringLiteral("wabc"));
    EXPECT_EQ(F.edCall_B->text(), "WABC");
    EXPECT_EQ(F.edPI_B->text(), QString::asprintf("%.4X", PI));
    EXPECT_EQ(F.edCall_B->cursorPosition(), 4);

    // A letter typed in the middle: the PI converts back to the same letters,
    // which are not written again, so the caret stays after the new letter.
    F.edCall_B->setText(QStringLiteral("WAC"));
    F.edCall_B->setCursorPosition(2);
    TypeKeys(F.edCall_B, QStringLiteral("b"));
    EXPECT_EQ(F.edCall_B->text(), "WABC");
    EXPECT_EQ(F.edCall_B->cursorPosition(), 3);

    // Letters that are no call letters give no PI.
    F.edCall_B->clear();
    TypeKeys(F.edCall_B, QStringLiteral("x1"));
    EXPECT_EQ(F.edPI_B->text(), "----");

    // A PI typed converts to call letters.
    F.edPI_B->clear();
    TypeKeys(F.edPI_B, QString::asprintf("%.4x", PI));
    EXPECT_EQ(F.edCall_B->text(), "WABC");
}

TEST(MainFormEditor, ScrollerGetsPSOrDynamicPSByTheSpeed)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    F.edDPS_B->setText(QStringLiteral("DYNAMIC TEXT"));
    F.cbDPSParse_B->setCurrentIndex(4);
    emit F.cbDPSParse_B->activated(4);

    // "0 - OFF": the PS with parse mode 0, twice a second; editing the
    // dynamic text still hands it over, with parse mode 0.
    F.edPS_B->setText(QStringLiteral("MY PS"));
    EXPECT_EQ(F.StrScr->Str(), "MY PS");
    EXPECT_EQ(F.StrScr->Parse(), 0);
    EXPECT_EQ(F.DPSTimer->interval(), 500);
    F.edDPS_B->setText(QStringLiteral("OTHER TEXT"));
    EXPECT_EQ(F.StrScr->Str(), "OTHER TEXT");
    EXPECT_EQ(F.StrScr->Parse(), 0);

    struct Case {
        int Speed;
        int Interval;
    };
    for (const Case C : {Case {1, 2700}, Case {3, 2100}, Case {9, 300}}) {
        F.cbDPSOn_B->setCurrentIndex(C.Speed);
        emit F.cbDPSOn_B->activated(C.Speed);
        EXPECT_EQ(F.StrScr->Str(), "OTHER TEXT");
        EXPECT_EQ(F.StrScr->Parse(), 4);
        EXPECT_EQ(F.DPSTimer->interval(), C.Interval);
    }
    // Back to "0 - OFF" through the RT speed list, which runs the same handler.
    F.cbDPSOn_B->setCurrentIndex(0);
    emit F.cbRTSpeed->activated(2);
    EXPECT_EQ(F.StrScr->Str(), "MY PS");
    EXPECT_EQ(F.DPSTimer->interval(), 500);
}

TEST(MainFormEditor, ProgrammeTypeListsFollowEachOther)
{
    TWindow W;
    TTestForm& F = W.Start();
    ASSERT_EQ(F.cbPTY_B->count(), 32);
    ASSERT_EQ(F.cbPTYRBDS_B->count(), 32);
    F.cbPTY_B->setCurrentIndex(5);
    emit F.cbPTY_B->activated(5);
    EXPECT_EQ(F.cbPTYRBDS_B->currentIndex(), 5);
    F.cbPTYRBDS_B->setCurrentIndex(9);
    emit F.cbPTYRBDS_B->activated(9);
    EXPECT_EQ(F.cbPTY_B->currentIndex(), 9);
}

TEST(MainFormEditor, ClearAndEnable)
{
    TWindow W;
    TTestForm& F = W.Start();
    // Disabled from start-up, device information excepted.
    EXPECT_FALSE(F.gbPI_B->isEnabled());
    EXPECT_FALSE(F.edRT_B->isEnabled());
    EXPECT_TRUE(F.gbDeviceInfo->isEnabled());
    F.SetEditorEnabled(true);
    for (QWidget* C : std::initializer_list<QWidget*> {F.edPI_B, F.cbSynchro, F.ClockPanel->cbDST, F.edPhase})
        EXPECT_TRUE(C->isEnabled());

    F.PopulateEditor(FullRecord());
    F.edPhase->setValue(12.5);
    F.ClearEditor();
    EXPECT_EQ(F.edPI_B->text(), "----");
    EXPECT_EQ(F.edCall_B->text(), "----");
    EXPECT_EQ(F.edPS_B->text(), "");
    EXPECT_EQ(F.cbPTY_B->currentIndex(), 0);
    EXPECT_EQ(F.cbSynchro->currentIndex(), 0);
    EXPECT_EQ(F.lbFW->text(), "");
    EXPECT_EQ(F.ednxTATime_B->value(), 0);
    EXPECT_DOUBLE_EQ(F.edPhase->value(), 12.5); // the phase keeps its value
    TBRDSDataValidator Out;
    F.CollectEditor(Out);
    EXPECT_EQ(Out.PI, 0); // "----" reads as 0
    EXPECT_EQ(Out.AF, (std::array<std::uint8_t, 8> {}));
}
