// The main window on the screen it gets: every control can be reached on a
// screen smaller than the window's design size (offscreen: 800 pixels wide;
// under Xvfb: 1280 x 1024 at the scale factor the test is run with), the lists show
// their longest item and the programme-type lists 15 rows, and the titles the
// window system shows are the program's own. With KVX_SCREENSHOTS set to a
// folder, the screen is saved there as a picture.
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "main_form_fixture.h"

#include "app/settings_form.h"
#include "support/kvxsim_process.h"
#include "ui/main/af_panel.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"
#include "ui/main/radio_display.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>
#include <QStyleOptionComboBox>
#include <gtest/gtest.h>

namespace {

// Saves the whole screen as NAME-scale.png in $KVX_SCREENSHOTS, when set.
void Screenshot(const QString& Name)
{
    const QString Folder = qEnvironmentVariable("KVX_SCREENSHOTS");
    if (Folder.isEmpty())
        return;
    QDir().mkpath(Folder);
    RunIdle();
    QScreen* S = QGuiApplication::primaryScreen();
    const QString Scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    S->grabWindow(0).save(Folder + QLatin1Char('/') + Name + QLatin1Char('-') + Scale + QStringLiteral(".png"));
}

// Whether W can be seen whole on the screen once the window has scrolled it
// into view (when it sits in a scrolling area).
::testing::AssertionResult Reachable(QWidget* W)
{
    for (QWidget* P = W->parentWidget(); P; P = P->parentWidget()) {
        if (auto* Area = qobject_cast<QScrollArea*>(P)) {
            Area->ensureWidgetVisible(W, 0, 0);
            break;
        }
    }
    RunIdle();
    const QRect Seen = W->visibleRegion().boundingRect();
    const QRect OnScreen(W->mapToGlobal(QPoint(0, 0)), W->size());
    const QRect Screen = W->screen()->availableGeometry();
    if (W->isVisible() && Seen == W->rect() && Screen.contains(OnScreen))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << W->objectName().toStdString() << " " << W->metaObject()->className()
                                         << ": seen " << Seen.width() << "x" << Seen.height() << " of " << W->width()
                                         << "x" << W->height() << ", at " << OnScreen.x() << "," << OnScreen.y()
                                         << " on a screen of " << Screen.width() << "x" << Screen.height();
}

// The title the window system shows for W (on X11; elsewhere the window's own).
QString WindowSystemTitle(QWidget* W)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return W->windowTitle();
    QProcess P;
    P.start(
        QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(W->winId()), QStringLiteral("_NET_WM_NAME")});
    if (!P.waitForFinished(10000))
        return {};
    // _NET_WM_NAME(UTF8_STRING) = "title"
    const QString Out = QString::fromUtf8(P.readAllStandardOutput()).trimmed();
    const int Quote = Out.indexOf(QLatin1Char('"'));
    return Quote < 0 ? QString() : Out.mid(Quote + 1, Out.size() - Quote - 2);
}

} // namespace

TEST(Screen, EveryControlCanBeReached)
{
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    TStartupOptions O;
    O.Port = Sim.Path();
    O.Connect = true;
    TWindow W;
    TTestForm& F = W.Start(O);
    ASSERT_TRUE(Until([&] { return F.Dialogue->LastScriptEnded() == scRead; }));
    RunIdle();
    Screenshot(QStringLiteral("window"));
    const QRect Screen = F.screen()->availableGeometry();
    EXPECT_TRUE(Screen.contains(F.frameGeometry())) << F.frameGeometry().width() << "x" << F.frameGeometry().height()
                                                    << " on " << Screen.width() << "x" << Screen.height();

    std::vector<QWidget*> Controls {F.MainMenu, F.StatusBar1, F.btnConnect, F.btnSave, F.btnRevert, F.cbCOMS,
        F.btnSettings, F.edPI_B, F.cbPTYRBDS_B, F.edRT_B, F.edDPS_B, F.cbDIDS_B, F.pb32radio, F.lbSer,
        F.ClockPanel->cbDST, F.ClockPanel->ednxTimeOffset, F.AFPanel->btnAddAF_B, F.AFPanel->btnClearAF_B, F.cbSynchro,
        F.cbRTSpeed, F.edPhase};
    for (QWidget* C : Controls)
        EXPECT_TRUE(Reachable(C));
    // A screen that holds the design size shows the design, at its places.
    const QSize Frame = F.frameGeometry().size() - F.size();
    if (Screen.width() >= 873 + Frame.width() && Screen.height() >= 584 + Frame.height()) {
        EXPECT_EQ(F.size(), QSize(873, 584));
        auto InWindow = [&](QWidget* C) { return QRect(C->mapTo(&F, QPoint(0, 0)), C->size()); };
        EXPECT_EQ(InWindow(F.Panel1), QRect(0, 500, 873, 59));
        EXPECT_EQ(InWindow(F.btnConnect), QRect(759, 504, 110, 25));
        // Every editor group where the window's table of groups puts it.
        for (const TEditorGroup& G : TMainForm::EditorGroups())
            EXPECT_EQ(InWindow(F.*G.Box), G.Bounds) << G.Caption;
        EXPECT_EQ(InWindow(F.StatusBar1), QRect(0, 559, 873, 25));
        EXPECT_TRUE(F.Image1->isVisible());
    }
    // The status panel has room for a status word beside the port.
    EXPECT_GE(F.StatusBar1->PanelRect(2).width(),
        QFontMetrics(F.StatusBar1->font()).horizontalAdvance(QStringLiteral("ttyUSB0: Disconnected from Device")));
    Screenshot(QStringLiteral("scrolled"));
}

TEST(Screen, TitlesAreTheProgramsOwn)
{
    TWindow W;
    TTestForm& F = W.Start();
    const QString Caption = QStringLiteral("Korvane Ardent RDS/RBDS Encoders Manager - TRELL Broadcast Ltd.");
    RunIdle();
    EXPECT_FALSE(F.windowIcon().isNull());
    EXPECT_EQ(WindowSystemTitle(&F), Caption);
    F.FileName = QStringLiteral("/tmp/station.kvx");
    F.setWindowTitle(F.ORGCaption + QStringLiteral(" - [station.kvx]"));
    RunIdle();
    EXPECT_EQ(WindowSystemTitle(&F), Caption + QStringLiteral(" - [station.kvx]"));
    // A dialog has its own caption, and the program's icon.
    QString DialogTitle;
    bool DialogIcon = false;
    QTimer::singleShot(0, [&] {
        QWidget* D = QApplication::activeModalWidget();
        ASSERT_NE(D, nullptr);
        RunIdle();
        Screenshot(QStringLiteral("settings"));
        DialogTitle = WindowSystemTitle(D);
        DialogIcon = !D->windowIcon().isNull();
        D->close();
    });
    F._ac_Settings->trigger();
    EXPECT_EQ(DialogTitle, "Settings");
    EXPECT_TRUE(DialogIcon);
}

TEST(Screen, ListsShowTheirLongestItem)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    RunIdle();
    for (QComboBox* C : F.findChildren<QComboBox*>()) {
        if (!C->isVisible())
            continue;
        QStyleOptionComboBox Opt;
        Opt.initFrom(C);
        Opt.editable = C->isEditable();
        const QRect Field = C->style()->subControlRect(QStyle::CC_ComboBox, &Opt, QStyle::SC_ComboBoxEditField, C);
        int Longest = 0;
        QString Item;
        for (int i = 0; i < C->count(); ++i) {
            const int w = C->fontMetrics().horizontalAdvance(C->itemText(i));
            if (w > Longest) {
                Longest = w;
                Item = C->itemText(i);
            }
        }
        // The style writes the item one pixel inside the field on each side.
        EXPECT_GE(Field.width() - 2, Longest) << Item.toStdString() << " in " << C->width();
    }
}

TEST(Screen, ProgrammeTypeListsDropDownFifteenRows)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.SetEditorEnabled(true);
    for (QComboBox* C : {F.cbPTY_B, F.cbPTYRBDS_B}) {
        C->showPopup();
        RunIdle();
        QAbstractItemView* V = C->view();
        int Whole = 0;
        for (int i = 0; i < C->count(); ++i)
            if (V->viewport()->rect().contains(V->visualRect(C->model()->index(i, 0))))
                ++Whole;
        EXPECT_EQ(Whole, 15);
        Screenshot(QStringLiteral("pty-list"));
        C->hidePopup();
    }
}
