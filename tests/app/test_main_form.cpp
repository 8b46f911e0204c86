// The main window end to end: start-up and clean-up with the configuration
// file, the port list, the status panel, and a session with the simulated
// encoder over a real pseudo-terminal.
#ifndef KVXC_HELP_PAGE
#error "KVXC_HELP_PAGE must name the help page the build writes"
#endif
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "main_form_fixture.h"
#include "support/dialogue_probe.h"
#include "support/hostile_settings_files.h"

#include "app/settings_form.h"
#include "app/signal_closer.h"
#include "support/kvxsim_process.h"
#include "support/zone_scope.h"
#include "ui/kit/help_window.h"
#include "ui/kit/overlay.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace {

std::string ReadAll(const std::string& Path)
{
    std::ifstream F(Path, std::ios::binary);
    std::stringstream S;
    S << F.rdbuf();
    return S.str();
}

// The colour of the status panel's inside, right of its text.
QColor StatusFill(TMainForm& F)
{
    F.StatusBar1->repaint();
    const QRect R = F.StatusBar1->PanelRect(2);
    return F.StatusBar1->grab().toImage().pixelColor(R.right() - 5, R.center().y());
}

} // namespace

TEST(MainForm, WindowDefinition)
{
    TWindow W;
    TTestForm& F = W.Start();
    EXPECT_EQ(F.windowTitle(), "Korvane Ardent RDS/RBDS Encoders Manager - TRELL Broadcast Ltd.");
    EXPECT_EQ(F.StatusBar1->VersionText.left(5), "Ver: ");
    // Menus in order, with their separators.
    QStringList Items;
    for (QAction* M : F.MainMenu->actions()) {
        Items << M->text();
        for (QAction* A : M->menu()->actions())
            Items << (A->isSeparator() ? QStringLiteral("-") : A->text());
    }
    EXPECT_EQ(Items,
        QStringList({"&File", "&Open", "-", "&Save", "S&ave As...", "-", "S&ites...", "-", "&Exit", "&Device",
            "&Connect", "&Settings", "-", "S&ave Changes", "&Revert Changes", "-", "&Factory Defaults", "-",
            "&Live Text...", "&Help", "&Help Contents", "&About"}));
    // Before the first status: "Idle" in black on aqua.
    EXPECT_EQ(F.StatusBar1->Info().Text, "Idle");
    EXPECT_EQ(StatusFill(F), QColor(0, 255, 255));
    // Nothing connected: the file and device commands are off, Connect is on.
    F.UpdateActions();
    EXPECT_FALSE(F._ac_FileOpen->isEnabled());
    EXPECT_FALSE(F._ac_DeviceSave->isEnabled());
    EXPECT_FALSE(F._ac_DeviceDefaults->isEnabled());
    EXPECT_TRUE(F._ac_DeviceConnect->isEnabled());
    EXPECT_EQ(F._ac_DeviceConnect->statusTip(), "Connect []");
    // The hint of what is under the mouse goes to the first panel.
    QStatusTipEvent Tip(F.btnSave->statusTip());
    QCoreApplication::sendEvent(F.btnSave, &Tip);
    EXPECT_EQ(F.StatusBar1->Hint, "Save Changes");
    // Closing while disconnected asks nothing.
    EXPECT_TRUE(F.close());
    EXPECT_TRUE(F.Messages.empty());
}

// The help page as the build writes it, with no program on the PATH that
// could open a link: help needs none.
TEST(MainForm, EveryHelpMarkerOpensTheHelpWindowOnItsGroupsSection)
{
    TWindow W;
    TTestForm& F = W.Start();
    F.HelpFile = QStringLiteral(KVXC_HELP_PAGE);
    QTemporaryDir Empty;
    const QByteArray Path = qgetenv("PATH");
    qputenv("PATH", Empty.path().toLocal8Bit());
    auto Top = [&F] {
        QCoreApplication::processEvents();
        THelpWindow* H = F.HelpWindow();
        return H && H->isVisible() ? H->Browser()->cursorForPosition(QPoint(2, 2)).block().text() : QString();
    };

    int Markers = 0;
    for (TClickImage* Marker : F.findChildren<TClickImage*>()) {
        const int Context = GetHelpContext(Marker);
        if (Context <= 0)
            continue;
        ++Markers;
        const TGroupBox* Group = nullptr;
        for (const TGroupBox* G : F.findChildren<TGroupBox*>())
            if (G->HelpContext() == Context)
                Group = G;
        ASSERT_NE(Group, nullptr) << Context;
        F._ac_HelpExecute(Marker);
        EXPECT_EQ(Top(), Group->title()) << "help context " << Context;
    }
    EXPECT_EQ(Markers, 14);

    // Help Contents opens at the top; F1 on the section of the focused control.
    F._ac_Help->trigger();
    EXPECT_TRUE(Top().startsWith("Korvane Ardent RDS/RBDS Encoders Manager ")) << Top().toStdString();
    F.HelpWindow()->close(); // back in the main window, editing
    F.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&F));
    F.SetEditorEnabled(true);
    F.cbTP_B->setFocus();
    QTest::keyClick(F.cbTP_B, Qt::Key_F1);
    EXPECT_EQ(Top(), "TA / TP");
    qputenv("PATH", Path);
    EXPECT_TRUE(F.Messages.empty());
}

TEST(MainForm, MaximisedStartKeepsThePlaceReadAtStart)
{
    TWindow W;
    TConfigData C = DefConfigData;
    C.APP_X = 17;
    C.APP_Y = 23;
    C.APP_Maximized = true;
    W.WriteConfig(C);
    TTestForm& F = W.Start();
    EXPECT_TRUE(F.isMaximized());
    W.Close();
    const TConfigData After = W.ReadConfig();
    EXPECT_TRUE(After.APP_Maximized);
    EXPECT_EQ(After.APP_X, 17);
    EXPECT_EQ(After.APP_Y, 23);
}

TEST(MainForm, PortList)
{
    TWindow W;
    W.Tty.AddUsb("ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R", "A1", "usb-FTDI_FT232R-if00-port0");
    TConfigData C = DefConfigData;
    C.CONN_PORT = "/dev/serial/by-id/typed";
    W.WriteConfig(C);
    TTestForm& F = W.Start();
    ASSERT_EQ(F.cbCOMS->count(), 2);
    EXPECT_EQ(F.cbCOMS->itemText(0), "N/A");
    EXPECT_EQ(F.cbCOMS->itemText(1), "ttyUSB0");
    // A configured port that is not listed is shown as typed, and survives a re-read.
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/serial/by-id/typed");
    F.btnRefreshCOM->click();
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/serial/by-id/typed");

    // Choosing "N/A" stores it at once.
    F.cbCOMS->setCurrentIndex(0);
    emit F.cbCOMS->activated(0);
    EXPECT_EQ(W.ReadConfig().CONN_PORT, "N/A");

    // Typing stores every change at once too.
    F.cbCOMS->lineEdit()->clear();
    TypeKeys(F.cbCOMS->lineEdit(), QStringLiteral("/dev/pts/9"));
    EXPECT_EQ(W.ReadConfig().CONN_PORT, "/dev/pts/9");
    F.btnRefreshCOM->click();
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/pts/9");
    F.UpdateActions();
    EXPECT_EQ(F._ac_DeviceConnect->statusTip(), "Connect [/dev/pts/9]");
}

// File > Sites: a site of a site list picked, its port in the port box as if
// typed there; a list the fleet would refuse is named and changes nothing.
TEST(MainForm, FileSitesPutsThePickedSitesPortInThePortBox)
{
    TWindow W;
    TTestForm& F = W.Start();
    QTemporaryDir Dir;
    const auto Write = [&](const QString& Name, const QByteArray& Text) {
        QFile File(Dir.filePath(Name));
        EXPECT_TRUE(File.open(QIODevice::WriteOnly));
        File.write(Text);
        return File.fileName();
    };
    Write(QStringLiteral("golden.kvx"), "PI=C201\r\nPS=GOLDEN\r\n");
    F.SiteListName = Write(QStringLiteral("sites.ini"),
        "[defaults]\nprofile = golden.kvx\n[north]\nport = tcp://10.1.2.3:4001\n[south]\nport = /dev/pts/7\n");
    F.UpdateActions();
    EXPECT_TRUE(F._ac_FileSites->isEnabled()); // nothing connected: the port may change
    F.SitePicked = 1;
    F._ac_FileSites->trigger();
    EXPECT_EQ(F.SitesOffered, QStringList({"north  (tcp://10.1.2.3:4001)", "south  (/dev/pts/7)"}));
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/pts/7");
    EXPECT_EQ(W.ReadConfig().CONN_PORT, "/dev/pts/7");
    F.UpdateActions();
    EXPECT_EQ(F._ac_DeviceConnect->statusTip(), "Connect [/dev/pts/7]");

    // Cancelled at either step: nothing changes.
    F.SitePicked = -1;
    F._ac_FileSites->trigger();
    F.SiteListName.clear();
    F._ac_FileSites->trigger();
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/pts/7");

    // A hostile list: its findings, and the port stays.
    F.SitePicked = 0;
    F.SiteListName = Write(QStringLiteral("bad.ini"),
        "[defaults]\nprofile = golden.kvx\n[north]\nport = ttyUSB0\n[south]\nport = /dev/ttyUSB0\ncolour = red\n");
    F.SitesOffered.clear();
    F._ac_FileSites->trigger();
    EXPECT_TRUE(F.SitesOffered.isEmpty());
    ASSERT_EQ(F.Messages.size(), 1u);
    EXPECT_TRUE(F.Messages[0].startsWith("The site list cannot be used:\n")) << F.Messages[0].toStdString();
    EXPECT_TRUE(F.Messages[0].contains("bad.ini:6: port /dev/ttyUSB0 is also site north's (line 4)"));
    EXPECT_TRUE(F.Messages[0].contains("bad.ini:7: unknown key colour in [south]"));
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/pts/7");
}

TEST(MainForm, SettingsDialogOkStoresAndSelectsThePort)
{
    TWindow W;
    W.Tty.AddUsb("ttyUSB3", "cdc_acm", "2341", "0043", "Maker", "Board", "S1", "");
    TTestForm& F = W.Start();
    for (const int Result : {mrCancel, mrOk}) {
        // The dialog is modal: it is answered from the event loop it runs.
        QTimer::singleShot(0, [Result] {
            auto* D = qobject_cast<TSettingsForm*>(QApplication::activeModalWidget());
            ASSERT_NE(D, nullptr);
            D->cbCOMS->setCurrentIndex(D->cbCOMS->findText(QStringLiteral("ttyUSB3")));
            D->SetModalResult(Result);
        });
        F._ac_Settings->trigger();
        const bool Stored = Result == mrOk;
        EXPECT_EQ(W.ReadConfig().CONN_PORT == "ttyUSB3", Stored);
        EXPECT_EQ(F.cbCOMS->currentText() == "ttyUSB3", Stored);
    }
}

TEST(MainForm, PortGivenForTheRunIsNotWrittenUnlessChosen)
{
    TWindow W;
    TConfigData C = DefConfigData;
    C.CONN_PORT = "ttyS7";
    W.WriteConfig(C);
    TStartupOptions O;
    O.Port = "/dev/pts/77";
    TTestForm& F = W.Start(O);
    EXPECT_EQ(F.cbCOMS->currentText(), "/dev/pts/77");
    W.Close();
    EXPECT_EQ(W.ReadConfig().CONN_PORT, "ttyS7");
}

TEST(MainForm, StatusPanelFlashesUntilTheNextStatus)
{
    TWindow W;
    TTestForm& F = W.Start();
    TDialogueProbe::Status(*F.Dialogue, stConnecting);
    EXPECT_EQ(F.StatusBar1->Info().Text, ": Connecting");
    EXPECT_TRUE(F.StatusBar1->FlashTimer()->isActive());
    EXPECT_EQ(F.StatusBar1->FlashTimer()->interval(), 500);
    EXPECT_EQ(StatusFill(F), QColor(255, 0, 0));
    F.StatusBar1->FlashStep();
    EXPECT_EQ(StatusFill(F), QColor(255, 255, 0));
    F.StatusBar1->FlashStep();
    EXPECT_EQ(StatusFill(F), QColor(255, 0, 0));
    F.StatusBar1->FlashStep();
    TDialogueProbe::Status(*F.Dialogue, stIdle);
    EXPECT_FALSE(F.StatusBar1->FlashTimer()->isActive());
    EXPECT_FALSE(F.StatusBar1->Info().Inverse);
    EXPECT_EQ(StatusFill(F), QColor(0, 0, 255));
}

namespace {

// A window connected to a simulated encoder whose read has finished.
struct TConnected : TWindow {
    TKvxsim Sim;

    bool Connect(const std::vector<std::string>& SimArgs = {}, TStartupOptions O = {})
    {
        if (!Sim.Start(SimArgs))
            return false;
        O.Port = Sim.Path();
        Start(O);
        if (!O.Connect)
            F->_ac_DeviceConnect->trigger();
        return WaitRead();
    }
    bool WaitRead()
    {
        const bool Read = Until([&] {
            return F->Dialogue->LastScriptEnded() == scRead || F->Dialogue->Failure() != dfNone;
        }) && F->Dialogue->LastScriptEnded() == scRead;
        F->UpdateActions(); // the idle-time pass the event loop would run
        return Read;
    }
    bool WaitWritten()
    {
        return Until([&] { return F->Dialogue->LastScriptEnded() == scWrite || F->Dialogue->Failure() != dfNone; })
            && F->Dialogue->LastScriptEnded() == scWrite;
    }
    bool WaitDisconnected()
    {
        return Until([&] { return !F->Dialogue->Connected() && F->Dialogue->ConnectTag() == 0; });
    }
    std::vector<std::string> LogFrom(std::size_t N) const
    {
        const auto L = Sim.Log();
        return N < L.size() ? std::vector<std::string>(L.begin() + static_cast<long>(N), L.end())
                            : std::vector<std::string> {};
    }
    ~TConnected() { Close(); }
};

} // namespace

TEST(MainFormSession, ConnectReadsTheEncoderIntoTheEditor)
{
    TConnected S;
    ASSERT_TRUE(S.Connect({"--serial", "SN-4711"}));
    TTestForm& F = *S.F;
    EXPECT_EQ(F.edPI_B->text(), "FFFF");
    EXPECT_EQ(F.edPS_B->text(), "RDS");
    EXPECT_EQ(F.lbSer->text(), "Serial Number: SN-4711");
    EXPECT_TRUE(F.lbFW->text().startsWith("FW: 01.03"));
    EXPECT_TRUE(F.lbPilot->text().startsWith("Pilot: "));
    EXPECT_EQ(F.lbSynchro->text(), "Synchro: Auto");
    for (QWidget* G : std::initializer_list<QWidget*> {F.gbPI_B, F.gbDPS_B, F.gbSynchro, F.edRT_B, F.gbRTC})
        EXPECT_TRUE(G->isEnabled());
    EXPECT_EQ(F.StatusBar1->Info().Text, QString::fromStdString(S.Sim.Path()) + ": Connected");
    EXPECT_EQ(StatusFill(F), QColor(0, 128, 0));
    EXPECT_FALSE(F.StatusBar1->FlashTimer()->isActive());
    F.UpdateActions();
    EXPECT_EQ(F._ac_DeviceConnect->text(), "&Disconnect");
    EXPECT_EQ(F.btnConnect->text(), "Disconnect");
    EXPECT_TRUE(F._ac_DeviceConnect->isEnabled());
    EXPECT_TRUE(F._ac_FileOpen->isEnabled());
    EXPECT_TRUE(F._ac_DeviceDefaults->isEnabled());
    // Nothing edited: nothing to save or revert, and closing asks nothing.
    EXPECT_FALSE(F._ac_DeviceSave->isEnabled());
    EXPECT_FALSE(F._ac_DeviceRevert->isEnabled());
    EXPECT_TRUE(F.QuerySaveChanges());
    EXPECT_TRUE(F.Messages.empty());
    // The radio display steps through the PS while connected.
    F.DPSTimerTimer();
    EXPECT_NE(F.StrScr->LastScrollStr().find("RDS"), std::string::npos);
}

TEST(MainFormSession, SaveChangesSendsExactlyTheEditsAndRevertUndoesThem)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    F.edPS_B->setText(QStringLiteral("EDITED"));
    RunIdle(); // the actions are updated when the event loop goes idle
    EXPECT_TRUE(F.btnRevert->isEnabled());
    F.btnRevert->click();
    EXPECT_EQ(F.edPS_B->text(), "RDS");
    F.UpdateActions();
    EXPECT_FALSE(F.btnSave->isEnabled());

    const std::size_t Before = S.Sim.Log().size();
    F.edPS_B->setText(QStringLiteral("NEW PS"));
    F.edPI_B->setText(QStringLiteral("C201"));
    F.UpdateActions();
    ASSERT_TRUE(F.btnSave->isEnabled());
    F.btnSave->click();
    ASSERT_TRUE(S.WaitWritten());
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"PI=C201", "PS=NEW PS"}));
    F.UpdateActions();
    EXPECT_FALSE(F._ac_DeviceSave->isEnabled());
    EXPECT_TRUE(F.ClockPanel->rbCTSyncMan->isChecked());
}

TEST(MainFormSession, MuteOrRefusingEncoderEndsTheScriptAndSaysWhatWasDone)
{
    struct Case {
        const char* What;
        std::vector<std::string> Sim;
        bool Write;
        const char* Running; // the status panel while the script waits
        const char* Message; // the message box, and the status panel's note
        const char* Details; // in the status panel's tool tip
    };
    const Case Cases[] = {
        {"read, mute", {"--mute", "PS?"}, false, ": Reading 5/33", "no reply to PS? within 2 s", ""},
        {"write, mute", {"--mute", "PS="}, true, ": Writing 2 of 3", "Save Failed! No reply to PS=NEW within 2 s.",
            "1 of 3 commands applied: PI=C201.\nNot sent (1): TEXT=new text."},
        {"write, refused", {"--refuse", "PS="}, true, ": Writing 2 of 3", "Save Failed! Negative Acknowledgement.",
            "The encoder refused PS=NEW (it answered NO).\nThe encoder was partly changed: 1 of 3 commands applied: "
            "PI=C201.\nNot sent (1): TEXT=new text."},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.What);
        TConnected S;
        TConfigData Config = DefConfigData;
        Config.CONN_REPLY_TIMEOUT = 2; // long enough for a loaded machine to answer the rest
        S.WriteConfig(Config);
        ASSERT_EQ(S.Connect(C.Sim), C.Write);
        TTestForm& F = *S.F;
        const QString Port = QString::fromStdString(S.Sim.Path());
        if (C.Write) {
            F.edPI_B->setText(QStringLiteral("C201"));
            F.edPS_B->setText(QStringLiteral("NEW"));
            F.edRT_B->setText(QStringLiteral("new text"));
            F.Steps.clear();
            F.UpdateActions();
            F._ac_DeviceSave->trigger();
        }
        ASSERT_TRUE(S.WaitDisconnected());
        // While the script waited: where it was, and nothing that would start
        // another script or change its port.
        const auto Waiting = std::find_if(F.Steps.begin(), F.Steps.end(),
            [&](const TTestForm::TStep& T) { return T.Status == Port + QString::fromLatin1(C.Running); });
        ASSERT_NE(Waiting, F.Steps.end());
        EXPECT_FALSE(Waiting->Save || Waiting->Revert || Waiting->Defaults || Waiting->Open || Waiting->Ports);
        // Given up: said in a message box, and kept beside the status.
        ASSERT_FALSE(F.Messages.empty());
        QString Box = QString::fromLatin1(C.Message);
        Box[0] = Box[0].toUpper(); // a message box begins with a capital
        EXPECT_TRUE(F.Messages.back().startsWith(Box)) << F.Messages.back().toStdString();
        EXPECT_TRUE(F.Messages.back().contains(QString::fromLatin1(C.Details))) << F.Messages.back().toStdString();
        EXPECT_TRUE(F.StatusBar1->Info().Text.endsWith(QStringLiteral(" - ") + QString::fromLatin1(C.Message)))
            << F.StatusBar1->Info().Text.toStdString();
        EXPECT_TRUE(F.StatusBar1->toolTip().contains(QString::fromLatin1(C.Details)))
            << F.StatusBar1->toolTip().toStdString();
        QStatusTipEvent Tip(F.btnSave->statusTip());
        QCoreApplication::sendEvent(F.btnSave, &Tip);
        EXPECT_TRUE(F.StatusBar1->Info().Text.contains(QString::fromLatin1(C.Message)));
        F.UpdateActions();
        EXPECT_EQ(F._ac_DeviceConnect->text(), "&Connect");
        if (!C.Write) {
            // Until the next connection.
            F._ac_DeviceConnect->trigger();
            ASSERT_TRUE(Until([&] { return F.StatusBar1->Info().Text.contains("Reading"); }));
            EXPECT_FALSE(F.StatusBar1->toolTip().contains(QString::fromLatin1(C.Message)));
        }
    }
}

TEST(MainFormSession, ConnectWithUnsavedEditsAsksFirst)
{
    // A write that failed half-way leaves the edits in the editor.
    TConnected S;
    ASSERT_TRUE(S.Connect({"--refuse", "TEXT="}));
    TTestForm& F = *S.F;
    F.edPS_B->setText(QStringLiteral("NEW PS"));
    F.edRT_B->setText(QStringLiteral("new text"));
    F.UpdateActions();
    F._ac_DeviceSave->trigger();
    ASSERT_TRUE(S.WaitDisconnected());
    F.Messages.clear();

    // Cancel: no connection, the edits stay.
    F.Answers = {mrCancel};
    F._ac_DeviceConnect->trigger();
    ASSERT_EQ(F.Messages, std::vector<QString> {"Save Changes?"});
    EXPECT_EQ(F.Dialogue->ConnectTag(), 0);
    EXPECT_EQ(F.edRT_B->text(), "new text");

    // Yes: once the encoder has been read, the edits come back and what still
    // differs is written (the PS went through the first time).
    F.Messages.clear();
    F.Answers = {mrYes};
    const std::size_t Before = S.Sim.Log().size();
    F._ac_DeviceConnect->trigger();
    ASSERT_TRUE(Until([&] { return S.Sim.Log().size() > Before && S.Sim.Log().back() == "TEXT=new text"; }));
    EXPECT_EQ(F.edPS_B->text(), "NEW PS");
    for (const std::string& L : S.LogFrom(Before))
        EXPECT_NE(L, "PS=NEW PS");
    ASSERT_TRUE(S.WaitDisconnected()); // refused again

    // No: the read replaces them.
    F.Messages.clear();
    F.Answers = {mrNo};
    F._ac_DeviceConnect->trigger();
    ASSERT_TRUE(S.WaitRead());
    EXPECT_EQ(F.Messages.size(), 1u);
    EXPECT_EQ(F.edRT_B->text(), "");
    EXPECT_EQ(F.edPS_B->text(), "NEW PS"); // what the encoder holds now
}

TEST(MainFormSession, SigtermKeepsTheConfigurationAndTheEditsForTheNextStart)
{
    for (const int Answer : {mrNo, mrYes}) {
        SCOPED_TRACE(Answer == mrYes ? "loaded" : "declined");
        TConnected S;
        ASSERT_TRUE(S.Connect());
        TTestForm* F = S.F.get();
        F->move(40, 30);
        F->edPS_B->setText(QStringLiteral("KEPT"));
        {
            TSignalCloser Closer([&](int) { F->CloseWithoutQuestions(); });
            ASSERT_TRUE(Closer.Installed());
            // The signal comes while a modal window is open: it is closed too.
            QTimer::singleShot(0, [] { ::raise(SIGTERM); });
            TBaseForm::ShowMessage(QStringLiteral("A question"), mtConfirmation, mbYes | mbNo, 0);
            ASSERT_TRUE(Until([&] { return !F->isVisible(); }));
        }
        EXPECT_TRUE(F->Messages.empty()); // closed without questions
        EXPECT_TRUE(F->RecoveryError().empty());
        S.Close();
        const TConfigData Config = S.ReadConfig();
        EXPECT_EQ(Config.APP_X, 40);
        EXPECT_EQ(Config.APP_Y, 30);
        const QString Kept = TMainForm::RecoveryFile();
        EXPECT_NE(ReadAll(Kept.toStdString()).find("PS=KEPT\r\n"), std::string::npos);

        // The next start offers the edits; the file goes either way.
        S.BeforePostInit = [Answer](TTestForm& Next) { Next.Answers = {Answer}; };
        TStartupOptions O;
        O.Port = S.Sim.Path();
        TTestForm& Next = S.Start(O);
        ASSERT_EQ(Next.Messages.size(), 1u);
        EXPECT_TRUE(Next.Messages[0].contains(Kept));
        EXPECT_FALSE(QFile::exists(Kept));
        EXPECT_EQ(Next.PendingEdits() != nullptr, Answer == mrYes);
        Next._ac_DeviceConnect->trigger();
        ASSERT_TRUE(S.WaitRead());
        RunIdle();
        EXPECT_EQ(Next.edPS_B->text(), Answer == mrYes ? "KEPT" : "RDS");
        EXPECT_EQ(Next._ac_DeviceSave->isEnabled(), Answer == mrYes); // shown, not yet written
        EXPECT_EQ(Next.StatusBar1->Info().Text.endsWith(" - kept changes restored"), Answer == mrYes);
    }
}

TEST(MainFormSession, FactoryDefaultsNamesTheBackupInTheStatusPanel)
{
    TConnected S;
    ASSERT_TRUE(S.Connect({"--serial", "KV-0042"}));
    TTestForm& F = *S.F;
    F.Answers = {mrYes};
    F._ac_DeviceDefaults->trigger();
    ASSERT_TRUE(S.WaitRead());
    const QString Backup = QString::fromStdString(F.Dialogue->LastBackup());
    ASSERT_TRUE(QFileInfo(Backup).fileName().startsWith("KV-0042-")) << Backup.toStdString();
    EXPECT_TRUE(QFile::exists(Backup));
    EXPECT_TRUE(F.StatusBar1->Info().Text.endsWith(
        QStringLiteral(": Connected - settings before the reset saved in ") + QFileInfo(Backup).fileName()))
        << F.StatusBar1->Info().Text.toStdString();
    EXPECT_TRUE(F.StatusBar1->toolTip().contains(Backup)) << F.StatusBar1->toolTip().toStdString();
}

TEST(MainFormSession, ConnectedAndIdleTheWindowCollectsAndRepaintsNothing)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    RunIdle();
    // Paint events of the editor's group boxes and of the help markers over them.
    struct TPaints : QObject {
        int Count = 0;
        bool eventFilter(QObject* O, QEvent* E) override
        {
            if (E->type() == QEvent::Paint && (qobject_cast<TGroupBox*>(O) || O->inherits("TOverlayPanel")))
                ++Count;
            return false;
        }
    } Paints;
    qApp->installEventFilter(&Paints);
    F.Collects = 0;
    // A clock refresh and a tick of the computer's clock, served by the
    // window's own event loop with its idle passes.
    const std::uint64_t Packets = F.Dialogue->PacketCount();
    const QString Time = F.ClockPanel->lbRTC_LT->text();
    ASSERT_TRUE(UntilInEventLoop([&] {
        return F.Dialogue->PacketCount() >= Packets + 5 && F.Dialogue->LastScriptEnded() == scClockRefresh
            && F.ClockPanel->lbRTC_LT->text() != Time;
    }));
    RunIdle();
    qApp->removeEventFilter(&Paints);
    EXPECT_EQ(F.Collects, 0);
    EXPECT_EQ(Paints.Count, 0);
    // An edit is decided at the next idle pass, once.
    F.edPS_B->setText(QStringLiteral("EDITED"));
    RunIdle();
    EXPECT_EQ(F.Collects, 1);
    EXPECT_TRUE(F._ac_DeviceSave->isEnabled());
}

TEST(MainFormSession, DeviceMenuAccessKeysDisconnectAndConnect)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    QMenu* Device = nullptr;
    for (QAction* M : F.MainMenu->actions())
        if (M->text() == "&Device")
            Device = M->menu();
    ASSERT_NE(Device, nullptr);
    // Alt+D opens the menu; the key underlined in the caption the connect
    // state gave the command runs it.
    auto Press = [&](int Key, const char* Text) {
        Device->popup(F.mapToGlobal(QPoint(0, 0)));
        KeyClick(Device, Key, Qt::NoModifier, QString::fromLatin1(Text));
        Device->close();
    };
    Press(Qt::Key_D, "d");
    ASSERT_TRUE(S.WaitDisconnected());
    F.UpdateActions();
    Press(Qt::Key_C, "c");
    EXPECT_TRUE(S.WaitRead());
}

TEST(MainFormSession, SavePressedDuringTheClockRefreshFollowsIt)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    F.edPS_B->setText(QStringLiteral("AFTER"));
    F.UpdateActions();
    F.Dialogue->ClockRefreshTick();
    ASSERT_EQ(F.Dialogue->Progress().Script, scClockRefresh);
    F._ac_DeviceSave->trigger(); // the automaton is busy: the save waits for it
    ASSERT_TRUE(S.WaitWritten());
    EXPECT_EQ(S.Sim.Log().back(), "PS=AFTER");
}

TEST(MainFormSession, QuarterHourOffsetsAreSentExactly)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    const std::pair<const char*, const char*> Cases[]
        = {{"5.75", "OFFSET=+05:45"}, {"-3.25", "OFFSET=-03:15"}, {"12.75", "OFFSET=+12:45"}};
    for (const auto& [Typed, Sent] : Cases) {
        SCOPED_TRACE(Typed);
        const std::size_t Before = S.Sim.Log().size();
        TypeIntoSpinBox(F.ClockPanel->ednxTimeOffset, QString::fromLatin1(Typed));
        F.UpdateActions();
        ASSERT_TRUE(F._ac_DeviceSave->isEnabled());
        F._ac_DeviceSave->trigger();
        ASSERT_TRUE(S.WaitWritten());
        EXPECT_EQ(S.LogFrom(Before), std::vector<std::string> {Sent});
    }
}

TEST(MainFormSession, SynchronisingSaveLeavesEditorDeviceCopyAndBackupWithTheComputersClock)
{
    TZoneScope Zone("Asia/Kathmandu"); // +05:45, no daylight time
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    // An offset typed by hand, then the computer's clock chosen instead.
    F.ClockPanel->ednxTimeOffset->setValue(3.5);
    F.ClockPanel->rbCTSyncComp->click();
    const std::size_t Before = S.Sim.Log().size();
    F.UpdateActions();
    F._ac_DeviceSave->trigger();
    ASSERT_TRUE(S.WaitWritten());
    const std::vector<std::string> Sent = S.LogFrom(Before);
    ASSERT_EQ(Sent.size(), 3u);
    EXPECT_EQ(Sent[2], "OFFSET=+05:45");
    EXPECT_EQ(F.Dialogue->DeviceCopy().Offset, 345);
    EXPECT_DOUBLE_EQ(F.ClockPanel->ednxTimeOffset->value(), 5.75);
    EXPECT_TRUE(F.ClockPanel->rbCTSyncMan->isChecked());
    F.UpdateActions();
    EXPECT_FALSE(F._ac_DeviceSave->isEnabled()); // the editor and the encoder agree

    // A factory reset's backup records what the encoder held.
    F.Answers = {mrYes};
    F._ac_DeviceDefaults->trigger();
    ASSERT_FALSE(F.Dialogue->LastBackup().empty());
    EXPECT_NE(ReadAll(F.Dialogue->LastBackup()).find("OFFSET=+05:45\r\n"), std::string::npos);
    ASSERT_TRUE(S.WaitRead());
}

TEST(MainFormSession, RefusedCommandDisconnectsWithAMessage)
{
    // Refused at the third of four commands: what was applied and what was not sent.
    TConnected S;
    ASSERT_TRUE(S.Connect({"--refuse", "TA="}));
    TTestForm& F = *S.F;
    const std::size_t Before = S.Sim.Log().size();
    F.edPI_B->setText(QStringLiteral("C201"));
    F.edPS_B->setText(QStringLiteral("NOPE"));
    F.cbTA_B->setCurrentIndex(1);
    F.cbTP_B->setCurrentIndex(1);
    F.UpdateActions();
    F._ac_DeviceSave->trigger();
    ASSERT_TRUE(S.WaitDisconnected());
    EXPECT_EQ(S.LogFrom(Before), (std::vector<std::string> {"PI=C201", "PS=NOPE", "TA=1"}));
    ASSERT_EQ(F.Messages.size(), 1u);
    EXPECT_EQ(F.Messages[0],
        "Save Failed! Negative Acknowledgement.\nThe encoder refused TA=1 (it answered NO).\n"
        "The encoder was partly changed: 2 of 4 commands applied: PI=C201, PS=NOPE.\nNot sent (1): TP=1.");
    EXPECT_FALSE(F.gbPS_B->isEnabled());
    F.UpdateActions();
    EXPECT_EQ(F._ac_DeviceConnect->text(), "&Connect");
}

TEST(MainFormSession, OpenRefusesHostileFilesAndWhatIsNotAFileAtOnce)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    const std::size_t Before = S.Sim.Log().size();
    for (const THostileSettingsFile& C : HostileSettingsFiles()) {
        SCOPED_TRACE(C.Name);
        F.OpenName = QString::fromStdString(S.Sim.WriteFile("in.kvx", C.Text));
        F.Messages.clear();
        const int Calls = S.Presenter.Calls;
        F._ac_FileOpen->trigger();
        if (*C.Key) {
            // The pre-flight window lists the finding with its line.
            ASSERT_EQ(S.Presenter.Calls, Calls + 1);
            ASSERT_EQ(S.Presenter.Last.size(), 1u);
            EXPECT_EQ(S.Presenter.Last[0].Key, C.Key);
            EXPECT_EQ(S.Presenter.Last[0].Description.rfind("Line " + std::to_string(C.Line) + ": ", 0), 0u);
            EXPECT_NE(S.Presenter.Last[0].Description.find(C.Reason), std::string::npos)
                << S.Presenter.Last[0].Description;
            EXPECT_TRUE(F.Messages.empty());
        } else {
            ASSERT_EQ(F.Messages.size(), 1u);
            EXPECT_TRUE(F.Messages[0].contains(QString::fromLatin1(C.Reason))) << F.Messages[0].toStdString();
        }
        // Nothing was loaded: the editor shows the encoder's settings, and the
        // window has no file that a Save would overwrite.
        EXPECT_EQ(F.edPS_B->text(), "RDS");
        EXPECT_EQ(F.edPI_B->text(), "FFFF");
        EXPECT_TRUE(F.FileName.isEmpty());
        EXPECT_EQ(F.windowTitle(), F.ORGCaption);
    }

    // A FIFO nobody writes to, a folder and a device are refused at once.
    const std::string Fifo = S.Sim.Dir() + "/fifo.kvx";
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    for (const std::string& Path : {Fifo, S.Sim.Dir(), std::string("/dev/zero")}) {
        SCOPED_TRACE(Path);
        F.Messages.clear();
        F.OpenName = QString::fromStdString(Path);
        F._ac_FileOpen->trigger();
        ASSERT_EQ(F.Messages.size(), 1u);
        EXPECT_TRUE(F.Messages[0].contains(QStringLiteral("not a settings file"))) << F.Messages[0].toStdString();
        EXPECT_TRUE(F.FileName.isEmpty());
    }
    F.UpdateActions();
    EXPECT_FALSE(F._ac_DeviceSave->isEnabled());
    for (const std::string& L : S.LogFrom(Before))
        EXPECT_EQ(L.find('='), std::string::npos) << L; // only clock-refresh queries went out
}

TEST(MainFormSession, TheEditorMarksWhatThe8BitCodePageCannotHold)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    const std::size_t Before = S.Sim.Log().size();
    F.edPS_B->setText(QStringLiteral("5 \u20AC"));
    EXPECT_TRUE(F.edPS_B->toolTip().contains(QStringLiteral("U+20AC"))) << F.edPS_B->toolTip().toStdString();
    EXPECT_FALSE(F.edPS_B->styleSheet().isEmpty());
    F.edRT_B->setText(QStringLiteral("Dvo\u0159\u00E1k"));
    EXPECT_TRUE(F.edRT_B->toolTip().contains(QStringLiteral("U+0159")));

    // Saving names the characters; nothing is sent.
    F.UpdateActions();
    S.Presenter.Answer = true; // even a presenter that lets everything pass
    F._ac_DeviceSave->trigger();
    ASSERT_GE(S.Presenter.Calls, 1);
    ASSERT_EQ(S.Presenter.Last.size(), 2u);
    EXPECT_EQ(S.Presenter.Last[0].Key, "PS");
    EXPECT_EQ(S.Presenter.Last[0].Description, "holds U+20AC, a character the 8-bit code page cannot hold");
    EXPECT_EQ(S.Presenter.Last[1].Key, "TEXT");

    // A text the code page can hold loses its mark.
    F.edPS_B->setText(QStringLiteral("CAF\u00C9"));
    EXPECT_TRUE(F.edPS_B->toolTip().isEmpty());
    EXPECT_TRUE(F.edPS_B->styleSheet().isEmpty());
    for (const std::string& L : S.LogFrom(Before))
        EXPECT_EQ(L.find('='), std::string::npos) << L;
}

TEST(MainFormSession, UnpluggedEncoderDisablesTheEditorAndResetsTheTitle)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    F.SaveName = QString::fromStdString(S.Sim.Dir() + "/station.kvx");
    F._ac_FileSaveAs->trigger();
    EXPECT_EQ(F.windowTitle(), F.ORGCaption + " - [station.kvx]");
    S.Sim.Stop();
    ASSERT_TRUE(S.WaitDisconnected());
    EXPECT_FALSE(F.gbPI_B->isEnabled());
    EXPECT_FALSE(F.edPS_B->isEnabled());
    EXPECT_TRUE(F.gbDeviceInfo->isEnabled());
    EXPECT_EQ(F.edPS_B->text(), "RDS"); // the values stay
    // The radio display no longer steps.
    F.DPSTimerTimer();
    const std::string Frame = F.StrScr->LastScrollStr();
    F.edPS_B->setText(QStringLiteral("OTHER"));
    F.DPSTimerTimer();
    EXPECT_EQ(F.StrScr->LastScrollStr(), Frame);
    EXPECT_EQ(F.windowTitle(), F.ORGCaption);
    EXPECT_TRUE(F.FileName.isEmpty());
    F.UpdateActions();
    EXPECT_EQ(F._ac_DeviceConnect->text(), "&Connect");
    EXPECT_FALSE(F._ac_FileOpen->isEnabled());
    // Beside the status word: what happened and what to do.
    EXPECT_TRUE(F.StatusBar1->toolTip().contains("went away while connected")) << F.StatusBar1->toolTip().toStdString();
}

TEST(MainFormSession, PortThatCannotBeOpenedSaysWhyBesideTheStatus)
{
    TWindow W;
    TStartupOptions O;
    O.Port = "/dev/kvx-no-such-port";
    TTestForm& F = W.Start(O);
    F._ac_DeviceConnect->trigger();
    // Refused, then disconnected: the reason stays beside the status.
    ASSERT_TRUE(Until([&] {
        return F.Dialogue->ConnectTag() == 0 && !F.StatusBar1->Info().Text.contains("Connecting");
    })) << F.StatusBar1->Info().Text.toStdString();
    EXPECT_TRUE(F.StatusBar1->toolTip().contains("does not exist")) << F.StatusBar1->toolTip().toStdString();
    EXPECT_TRUE(F.StatusBar1->Info().Text.contains(" - /dev/kvx-no-such-port does not exist"))
        << F.StatusBar1->Info().Text.toStdString();
    // The hint of the control under the mouse takes nothing of it away.
    QStatusTipEvent Tip(F.btnSave->statusTip());
    QCoreApplication::sendEvent(F.btnSave, &Tip);
    EXPECT_TRUE(F.StatusBar1->Info().Text.contains("does not exist"));
}

TEST(MainFormSession, FactoryDefaultsResetTheTitleAndReadAgain)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    F.SaveName = QString::fromStdString(S.Sim.Dir() + "/station.kvx");
    F._ac_FileSaveAs->trigger();
    F.edPS_B->setText(QStringLiteral("EDITED"));
    F.Answers = {mrNo};
    F._ac_DeviceDefaults->trigger();
    EXPECT_EQ(F.edPS_B->text(), "EDITED"); // not confirmed: nothing happens
    EXPECT_EQ(F.windowTitle(), F.ORGCaption + " - [station.kvx]");

    const std::size_t Before = S.Sim.Log().size();
    F.Answers = {mrYes};
    F._ac_DeviceDefaults->trigger();
    EXPECT_EQ(F.windowTitle(), F.ORGCaption);
    EXPECT_TRUE(F.FileName.isEmpty());
    ASSERT_TRUE(S.WaitRead());
    EXPECT_EQ(S.LogFrom(Before).at(0), "INIT");
    EXPECT_EQ(F.edPS_B->text(), "RDS");
    EXPECT_TRUE(F.gbPS_B->isEnabled());
}

TEST(MainFormSession, FactoryDefaultsRefusedOrUnansweredSaySo)
{
    struct {
        std::vector<std::string> Sim;
        const char* Message;
    } Cases[] = {
        {{"--refuse", "INIT"}, "The encoder refused INIT: it was not reset"},
        {{"--mute", "INIT"}, "No reply to INIT within 0.3 s: the encoder may not have been reset"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Message);
        TConnected S;
        ASSERT_TRUE(S.Connect(C.Sim));
        TTestForm& F = *S.F;
        F.Dialogue->SetReplyTimeout(300);
        F.Answers = {mrYes};
        F._ac_DeviceDefaults->trigger();
        ASSERT_TRUE(S.WaitDisconnected());
        ASSERT_EQ(F.Messages.size(), 2u); // the question, then the failure
        EXPECT_EQ(F.Messages[1], C.Message);
        // The old settings are not shown as factory ones: the editor stays off.
        EXPECT_FALSE(F.gbPS_B->isEnabled());
        EXPECT_FALSE(F.Dialogue->DeviceCopy().Ready());
    }
}

TEST(MainFormSession, SaveAndOpenASettingsFile)
{
    TConnected S;
    ASSERT_TRUE(S.Connect());
    TTestForm& F = *S.F;
    const std::string Path = S.Sim.Dir() + "/station.kvx";
    F.edPS_B->setText(QStringLiteral("FILE PS"));
    F.SaveName = QString::fromStdString(Path);
    F._ac_FileSave->trigger(); // no file yet: acts as Save As
    EXPECT_EQ(F.FileName, F.SaveName);
    EXPECT_NE(ReadAll(Path).find("PS=FILE PS\r\n"), std::string::npos);

    // Opening puts the file into the editor and leaves the encoder alone.
    const std::size_t Before = S.Sim.Log().size();
    const std::string Other = S.Sim.WriteFile("other.kvx", "PI=C201\r\nPS=OTHER\r\nTEXT=from a file\r\n");
    F.OpenName = QString::fromStdString(Other);
    F._ac_FileOpen->trigger();
    EXPECT_EQ(F.windowTitle(), F.ORGCaption + " - [other.kvx]");
    EXPECT_EQ(F.edPS_B->text(), "OTHER");
    EXPECT_EQ(F.edRT_B->text(), "from a file");
    EXPECT_EQ(F.edPI_B->text(), "C201");
    EXPECT_EQ(F.Dialogue->DeviceCopy().PS, "RDS");
    F.UpdateActions();
    EXPECT_TRUE(F._ac_DeviceSave->isEnabled());
    // The keys the hand-written file lacks are named.
    ASSERT_EQ(F.Messages.size(), 1u);
    EXPECT_TRUE(F.Messages[0].startsWith("The settings file has no line for PTY, TA, TATIME,"))
        << F.Messages[0].toStdString();
    F.Messages.clear();

    // A file that cannot be read: the file layer's reason in a message box,
    // and the window keeps the file it had, so Save does not overwrite the
    // unread one.
    F.OpenName = QString::fromStdString(S.Sim.Dir() + "/missing.kvx");
    F._ac_FileOpen->trigger();
    ASSERT_EQ(F.Messages.size(), 1u);
    EXPECT_FALSE(F.Messages[0].isEmpty());
    EXPECT_EQ(F.edPS_B->text(), "OTHER");
    EXPECT_EQ(F.FileName, QString::fromStdString(Other));
    EXPECT_EQ(F.windowTitle(), F.ORGCaption + " - [other.kvx]");

    // Save with PI 0: validation refuses it and nothing is written.
    F.edPI_B->setText(QStringLiteral("0000"));
    S.Presenter.Answer = false;
    F._ac_FileSave->trigger();
    EXPECT_GE(S.Presenter.Calls, 1);
    EXPECT_EQ(ReadAll(Path).find("PI=0000"), std::string::npos);
    for (const std::string& L : S.LogFrom(Before))
        EXPECT_EQ(L.find('='), std::string::npos) << L; // only clock-refresh queries went out
}

TEST(MainFormSession, SettingsFileOfTheCommandLineOpensAfterTheRead)
{
    TConnected S;
    ASSERT_TRUE(S.Sim.Start({}));
    const std::string File = S.Sim.WriteFile("station.kvx",
        "PI=C201\r\nPS=MY RADIO\r\nPTY=0\r\nTA=0\r\nTATIME=0\r\nTP=0\r\nMS=0\r\nDI=0\r\nMODE=0\r\n"
        "TEXT=from the command line\r\nDRTS=0\r\nDPSS=0\r\nPARSE=0\r\nAF1=0\r\nAF2=0\r\nAF3=0\r\nAF4=0\r\n"
        "AF5=0\r\nAF6=0\r\nAF7=0\r\nPHASE=0\r\nCT=0\r\nOFFSET=+00:00\r\nDST=0\r\nSYNC=0\r\n");
    TStartupOptions O;
    O.Port = S.Sim.Path();
    O.Connect = true;
    O.File = File;
    TTestForm& F = S.Start(O);
    EXPECT_EQ(F.windowTitle(), F.ORGCaption);
    EXPECT_EQ(F.StartupFile(), QString::fromStdString(File));
    ASSERT_TRUE(UntilInEventLoop([&] { return F.StartupFile().isEmpty(); }));

    // Opened as File > Open opens a file: its name in the title, its values in
    // the editor, the encoder as it was.
    EXPECT_EQ(F.Dialogue->LastScriptEnded(), scRead);
    EXPECT_EQ(F.FileName, QString::fromStdString(File));
    EXPECT_TRUE(F.windowTitle().endsWith(" - [station.kvx]")) << F.windowTitle().toStdString();
    EXPECT_EQ(F.edPS_B->text(), "MY RADIO");
    EXPECT_EQ(F.edRT_B->text(), "from the command line");
    EXPECT_EQ(F.edPI_B->text(), "C201");
    EXPECT_EQ(F.Dialogue->DeviceCopy().PS, "RDS");
    EXPECT_TRUE(F.Messages.empty());
    F.UpdateActions();
    EXPECT_TRUE(F._ac_DeviceSave->isEnabled());
}

TEST(MainFormSession, SettingsFileOfTheCommandLineThatCannotBeReadIsReportedAtOnce)
{
    TWindow W;
    TStartupOptions O;
    O.File = W.Conf.filePath(QStringLiteral("missing.kvx")).toStdString();
    TTestForm& F = W.Start(O);
    ASSERT_EQ(F.Messages.size(), 1u);
    EXPECT_EQ(F.Messages[0], "Cannot open file \"" + QString::fromStdString(O.File) + "\": No such file or directory");
    EXPECT_TRUE(F.StartupFile().isEmpty());
}

TEST(MainFormSession, CloseQueryAnswers)
{
    struct Case {
        int Answer;
        bool Closes;
        const char* PSAfter;
        bool Writes;
    };
    for (const Case C :
        {Case {mrYes, false, "EDIT", true}, Case {mrNo, true, "RDS", false}, Case {mrCancel, false, "EDIT", false}}) {
        TConnected S;
        ASSERT_TRUE(S.Connect());
        TTestForm& F = *S.F;
        F.edPS_B->setText(QStringLiteral("EDIT"));
        F.Answers.push_back(C.Answer);
        EXPECT_EQ(F.close(), C.Closes) << C.Answer;
        ASSERT_EQ(F.Messages.size(), 1u);
        EXPECT_EQ(F.Messages[0], "Save Changes?");
        EXPECT_EQ(F.edPS_B->text(), C.PSAfter);
        if (C.Writes) {
            ASSERT_TRUE(S.WaitWritten());
            EXPECT_EQ(S.Sim.Log().back(), "PS=EDIT");
        } else
            EXPECT_FALSE(TDialogueProbe::Loader(*F.Dialogue).Active());
    }
}

TEST(MainFormSession, ConnectAtStartWithATranscript)
{
    TConnected S;
    QTemporaryDir T;
    TStartupOptions O;
    O.Connect = true;
    O.TranscriptFile = T.filePath(QStringLiteral("t.log")).toStdString();
    ASSERT_TRUE(S.Sim.Start({}));
    O.Port = S.Sim.Path();
    TTestForm& F = S.Start(O);
    // Worker hand-overs reach the window through its own event loop.
    ASSERT_TRUE(UntilInEventLoop([&] { return F.Dialogue->LastScriptEnded() == scRead; }));
    const std::string Text = ReadAll(O.TranscriptFile);
    EXPECT_NE(Text.find("> PI?\\r\\n"), std::string::npos);
    EXPECT_NE(Text.find("< \\r\\n\"RDS\"\\r\\nOK\\r\\n"), std::string::npos);
}
