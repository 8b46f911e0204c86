// The main window's commands: actions, menu, tool panel, port list, the
// status it shows, and timers.
#include "app/main_form.h"

#include "_conn/serial_connection.h"
#include "app/live_text_form.h"
#include "app/settings_form.h"
#include "live/live_bridge.h"
#include "ui/main/clock_panel.h"
#include "ui/main/radio_display.h"

#include <QFileInfo>

namespace {

// Pictures of the image list (each button picture has four states after it).
constexpr int picSettings = 0;
constexpr int picSave = 4;
constexpr int picRevert = 8;
constexpr int picConnect = 12;
constexpr int picDisconnect = 16;
constexpr int picAbout = 20;
constexpr int picExit = 24;
constexpr int picHelp = 28;

QFont MenuFont()
{
    QFont F;
    F.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Liberation Sans"), QStringLiteral("sans-serif")});
    F.setPointSize(9);
    return F;
}

} // namespace

// The picture of an action or button in its four states: normal, disabled,
// pressed and hot.
static QIcon StateIcon(const TImageList& List, int Index)
{
    QIcon I;
    I.addPixmap(QPixmap::fromImage(List.Picture(Index)), QIcon::Normal);
    I.addPixmap(QPixmap::fromImage(List.Picture(Index + 1)), QIcon::Disabled);
    I.addPixmap(QPixmap::fromImage(List.Picture(Index + 2)), QIcon::Selected);
    I.addPixmap(QPixmap::fromImage(List.Picture(Index + 3)), QIcon::Active);
    return I;
}

void TMainForm::CreateActions()
{
    auto Action = [this](const QString& Name, const QString& Category, const QString& Caption, const QString& Hint,
                      int Picture) {
        auto* A = new QAction(Caption, this);
        A->setObjectName(Name);
        A->setProperty("Category", Category);
        A->setStatusTip(Hint);
        A->setToolTip(Hint.isEmpty() ? QString(Caption).remove(QLatin1Char('&')) : Hint);
        A->setProperty("ImageIndex", Picture);
        if (Picture >= 0)
            A->setIcon(StateIcon(il1, Picture));
        return A;
    };
    const QString File = QStringLiteral("File");
    const QString Help = QStringLiteral("Help");
    const QString Device = QStringLiteral("Device");
    _ac_FileOpen = Action(
        QStringLiteral("_ac_FileOpen"), File, QStringLiteral("&Open"), QStringLiteral("Read RDS Data From File"), -1);
    _ac_FileSave = Action(
        QStringLiteral("_ac_FileSave"), File, QStringLiteral("&Save"), QStringLiteral("Save RDS Data to File"), -1);
    _ac_FileSaveAs = Action(QStringLiteral("_ac_FileSaveAs"), File, QStringLiteral("S&ave As..."),
        QStringLiteral("Save RDS Data to File"), -1);
    _ac_FileSites = Action(QStringLiteral("_ac_FileSites"), File, QStringLiteral("S&ites..."),
        QStringLiteral("Pick the Port of a Site from a Site List"), -1);
    _ac_Exit
        = Action(QStringLiteral("_ac_Exit"), File, QStringLiteral("&Exit"), QStringLiteral("Exit Program"), picExit);
    _ac_Help = Action(QStringLiteral("_ac_Help"), Help, QStringLiteral("&Help Contents"), QString(), picHelp);
    _ac_About = Action(QStringLiteral("_ac_About"), Help, QStringLiteral("&About"), QStringLiteral("About"), picAbout);
    _ac_Settings = Action(
        QStringLiteral("_ac_Settings"), Device, QStringLiteral("&Settings"), QStringLiteral("Settings"), picSettings);
    _ac_DeviceConnect = Action(QStringLiteral("_ac_DeviceConnect"), Device, QStringLiteral("&Connect"),
        QStringLiteral("Connect Device"), picConnect);
    _ac_DeviceSave = Action(QStringLiteral("_ac_DeviceSave"), Device, QStringLiteral("S&ave Changes"),
        QStringLiteral("Save Changes"), picSave);
    _ac_DeviceRevert = Action(QStringLiteral("_ac_DeviceRevert"), Device, QStringLiteral("&Revert Changes"),
        QStringLiteral("Revert Changes"), picRevert);
    _ac_DeviceDefaults = Action(QStringLiteral("_ac_DeviceDefaults"), Device, QStringLiteral("&Factory Defaults"),
        QStringLiteral("Restore Factory Defaults"), -1);
    _ac_DeviceLiveText = Action(QStringLiteral("_ac_DeviceLiveText"), Device, QStringLiteral("&Live Text..."),
        QStringLiteral("RadioText from the playout system"), -1);

    connect(_ac_FileOpen, &QAction::triggered, this, &TMainForm::_ac_FileOpenExecute);
    connect(_ac_FileSave, &QAction::triggered, this, &TMainForm::_ac_FileSaveExecute);
    connect(_ac_FileSaveAs, &QAction::triggered, this, &TMainForm::_ac_FileSaveAsExecute);
    connect(_ac_FileSites, &QAction::triggered, this, &TMainForm::_ac_FileSitesExecute);
    connect(_ac_Exit, &QAction::triggered, this, &TMainForm::_ac_ExitExecute);
    connect(_ac_Help, &QAction::triggered, this, [this] { _ac_HelpExecute(_ac_Help); });
    connect(_ac_About, &QAction::triggered, this, [this] { _ac_AboutExecute(_ac_About); });
    connect(_ac_Settings, &QAction::triggered, this, &TMainForm::_ac_SettingsExecute);
    connect(_ac_DeviceConnect, &QAction::triggered, this, &TMainForm::_ac_DeviceConnectExecute);
    connect(_ac_DeviceSave, &QAction::triggered, this, &TMainForm::_ac_DeviceSaveExecute);
    connect(_ac_DeviceRevert, &QAction::triggered, this, &TMainForm::_ac_DeviceRevertExecute);
    connect(_ac_DeviceDefaults, &QAction::triggered, this, &TMainForm::_ac_DeviceDefaultsExecute);
    connect(_ac_DeviceLiveText, &QAction::triggered, this, &TMainForm::_ac_DeviceLiveTextExecute);

    MainMenu = new QMenuBar(this);
    MainMenu->setNativeMenuBar(false);
    MainMenu->setFont(MenuFont());
    QMenu* F = MainMenu->addMenu(QStringLiteral("&File"));
    F->addAction(_ac_FileOpen);
    F->addSeparator();
    F->addAction(_ac_FileSave);
    F->addAction(_ac_FileSaveAs);
    F->addSeparator();
    F->addAction(_ac_FileSites);
    F->addSeparator();
    F->addAction(_ac_Exit);
    QMenu* D = MainMenu->addMenu(QStringLiteral("&Device"));
    D->addAction(_ac_DeviceConnect);
    D->addAction(_ac_Settings);
    D->addSeparator();
    D->addAction(_ac_DeviceSave);
    D->addAction(_ac_DeviceRevert);
    D->addSeparator();
    D->addAction(_ac_DeviceDefaults);
    D->addSeparator();
    D->addAction(_ac_DeviceLiveText);
    QMenu* H = MainMenu->addMenu(QStringLiteral("&Help"));
    H->addAction(_ac_Help);
    H->addAction(_ac_About);
    for (QMenu* M : {F, D, H})
        M->setFont(MenuFont());
}

void TMainForm::CreateToolPanel()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette Pal = Panel1->palette();
    Pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0)); // silver
    Panel1->setPalette(Pal);

    // A button that runs an action, with the action's caption, hint and
    // picture; its enabled state follows the action.
    auto ActionButton = [this](QAction* A, int X, int Y, int W) {
        auto* B = new QPushButton(Panel1);
        B->setGeometry(X, Y, W, 25);
        B->setIconSize(QSize(16, 16));
        auto Sync = [B, A] {
            B->setText(QString(A->text()).remove(QLatin1Char('&')));
            B->setIcon(A->icon());
            B->setStatusTip(A->statusTip());
            B->setToolTip(A->toolTip());
            B->setEnabled(A->isEnabled());
        };
        Sync();
        connect(A, &QAction::changed, B, Sync);
        connect(B, &QPushButton::clicked, A, &QAction::trigger);
        return B;
    };
    btnSettings = ActionButton(_ac_Settings, 4, 4, 110);
    btnAbout = ActionButton(_ac_About, 4, 31, 110);
    Button1 = ActionButton(_ac_Exit, 120, 31, 98);
    Image1 = new QLabel(Panel1);
    Image1->setGeometry(224, 5, 234, 50);
    btnSave = ActionButton(_ac_DeviceSave, 464, 4, 110);
    btnRevert = ActionButton(_ac_DeviceRevert, 464, 31, 110);

    cbCOMS = new QComboBox(Panel1);
    cbCOMS->setEditable(true);
    cbCOMS->setInsertPolicy(QComboBox::NoInsert);
    cbCOMS->setGeometry(580, 6, 142, 21);
    connect(cbCOMS, &QComboBox::activated, this, &TMainForm::cbCOMSChange);
    connect(cbCOMS->lineEdit(), &QLineEdit::textEdited, this, &TMainForm::cbCOMSChange);

    btnRefreshCOM = new TPictureButton(Panel1);
    btnRefreshCOM->LoadPictures(QStringLiteral(":/PNG_REFRESH"));
    btnRefreshCOM->setGeometry(728, 4, 25, 25);
    connect(btnRefreshCOM, &QAbstractButton::clicked, this, &TMainForm::btnRefreshCOMClick);

    btnConnect = ActionButton(_ac_DeviceConnect, 759, 4, 110);
}

namespace {

// A script the user started (or a connection did) runs: the commands that
// would start another, or change what it works on, wait. The clock refresh
// runs by itself every two seconds and holds nothing up.
bool UserScriptRuns(const TScriptProgress& P)
{
    return P.Script != scNone && P.Script != scClockRefresh;
}

} // namespace

void TMainForm::UpdateActions()
{
    FActionsDirty = false;
    const bool Free = !UserScriptRuns(FProgress);
    cbCOMS->setEnabled(Free);
    btnRefreshCOM->setEnabled(Free);
    // It changes the port box.
    _ac_FileSites->setEnabled(Free);
    _ac_FileOpenUpdate();
    _ac_DeviceConnectUpdate();
    _ac_DeviceSaveUpdate();
    _ac_DeviceRevertUpdate();
    _ac_DeviceDefaultsUpdate();
}

void TMainForm::_ac_FileOpenUpdate()
{
    const bool On = Dialogue && Dialogue->Connected();
    _ac_FileOpen->setEnabled(On && !UserScriptRuns(FProgress));
    for (QAction* A : {_ac_FileSave, _ac_FileSaveAs})
        A->setEnabled(On);
}

void TMainForm::_ac_DeviceConnectUpdate()
{
    if (!Dialogue)
        return;
    QAction* A = _ac_DeviceConnect;
    const bool Connected = Dialogue->ConnectTag() != 0;
    // The captions keep their access key: Alt+D, C connects and disconnects.
    const QString Caption = Connected ? QStringLiteral("&Disconnect") : QStringLiteral("&Connect");
    const QString Hint = Connected
        ? QStringLiteral("Disconnect")
        : QStringLiteral("Connect [") + QString::fromLatin1(Config.CONN_PORT.c_str()) + QStringLiteral("]");
    const int Picture = Connected ? picDisconnect : picConnect;
    if (A->property("ImageIndex").toInt() != Picture) {
        A->setProperty("ImageIndex", Picture);
        A->setIcon(StateIcon(il1, Picture));
    }
    if (A->text() != Caption)
        A->setText(Caption);
    if (A->statusTip() != Hint) {
        A->setStatusTip(Hint);
        A->setToolTip(Hint);
    }
    A->setEnabled(Dialogue->ConnectEnabled());
}

void TMainForm::_ac_DeviceSaveUpdate()
{
    _ac_DeviceSave->setEnabled(Dialogue && !UserScriptRuns(FProgress) && Dialogue->EditorDiffers());
}

void TMainForm::_ac_DeviceRevertUpdate()
{
    _ac_DeviceRevert->setEnabled(_ac_DeviceSave->isEnabled());
}

void TMainForm::_ac_DeviceDefaultsUpdate()
{
    _ac_DeviceDefaults->setEnabled(Dialogue && Dialogue->Connected() && !UserScriptRuns(FProgress));
}

void TMainForm::_ac_ExitExecute()
{
    close();
}

void TMainForm::_ac_SettingsExecute()
{
    auto* F = new TSettingsForm(this, SysRoot, DevRoot);
    F->PopulateSettings(&Config);
    F->SetPage(0);
    if (F->ShowModal() == mrOk) {
        F->CollectSettings(&Config);
        FPortChosen = true;
        WriteConfig();
        SelectConfiguredPort();
        if (Dialogue)
            Dialogue->SetReplyTimeout(std::int64_t(Config.CONN_REPLY_TIMEOUT) * 1000);
        MarkActionsDirty();
    }
    F->Free();
}

void TMainForm::_ac_DeviceConnectExecute()
{
    if (!Dialogue)
        return;
    // A connection's read replaces what the editor holds: edits not yet
    // written are asked about first. Yes keeps them and writes them once the
    // encoder has been read; Cancel connects nothing.
    if (Dialogue->ConnectTag() == 0 && !FPendingEdits && HasUnsavedEdits()) {
        switch (AskYesNoCancel("Save Changes?")) {
        case qaCancel:
            return;
        case qaYes: {
            FPendingEdits.reset(NewRecord());
            FPendingEdits->Collect();
            const TSystemTime& A = FPendingEdits->RTC;
            const TSystemTime& B = Dialogue->DeviceCopy().RTC;
            FPendingKeepsClock = A.wYear != B.wYear || A.wMonth != B.wMonth || A.wDay != B.wDay || A.wHour != B.wHour
                || A.wMinute != B.wMinute || A.wSecond != B.wSecond;
            FPendingWrite = true;
            break;
        }
        case qaNo:
            break;
        }
    }
    Dialogue->DeviceConnectExecute(Config.CONN_PORT);
    UpdateActions();
}

void TMainForm::_ac_DeviceSaveExecute()
{
    // The clock refresh holds the automaton for a moment: the save follows it
    // instead of being dropped.
    if (FProgress.Script == scClockRefresh) {
        FSaveAfterRefresh = true;
        return;
    }
    Dialogue->SaveChanges();
    MarkActionsDirty();
}

void TMainForm::_ac_DeviceRevertExecute()
{
    Dialogue->RevertChanges();
}

void TMainForm::_ac_DeviceDefaultsExecute()
{
    if (!Dialogue->FactoryDefaults())
        return;
    // Where the encoder's settings before the reset went, until the next
    // connection.
    const QString Path = QString::fromStdString(Dialogue->LastBackup());
    StatusBar1->SetNote(snBackup,
        QStringLiteral("settings before the reset saved in ") + QFileInfo(Path).fileName()
            + QStringLiteral("\nThe encoder's settings before the factory reset were saved in\n") + Path
            + QStringLiteral("\nOpen that file and press Save Changes to put them back on the encoder."));
    RenderStatus();
}

void TMainForm::_ac_DeviceLiveTextExecute()
{
    if (!Dialogue)
        return;
    if (!FLiveText) {
        FLiveText = new TLiveTextForm(*Dialogue, this);
        if (DMI) {
            const TIniFile Ini(DMI->FileName());
            FLiveText->LoadFields(Ini);
        }
        FLiveText->OnSent = [this](const TLiveSent& S) { LiveTextSent(S); };
        // Fields that switched the bridge on are kept for the next run.
        connect(FLiveText->cbOn, &QCheckBox::toggled, this, [this](bool On) {
            if (On && DMI) {
                TIniFile Ini(DMI->FileName());
                FLiveText->SaveFields(Ini);
            }
        });
    }
    FLiveText->Port = Config.CONN_PORT;
    FLiveText->ShowUp();
}

void TMainForm::LiveTextSent(const TLiveSent& Sent)
{
    const QString Text = QString::fromUtf8(Sent.Text.c_str());
    StatusBar1->SetNote(snLive,
        QStringLiteral("live: ") + Text + QStringLiteral("\nLive Text put on air at ")
            + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(": ") + Text);
    // What the editor showed of the encoder follows it, so that the live
    // text is no edit of the user's (and Save Changes does not take it back).
    if (FHaveDeviceCopy) {
        std::unique_ptr<TBRDSDataValidator> R(NewRecord());
        R->Collect();
        if (Sent.Rt && R->RT == Sent.OldRt)
            edRT_B->setText(QString::fromLatin1(Sent.NewRt.c_str()));
        if (Sent.Dps && R->DPS == Sent.OldDps)
            edDPS_B->setText(QString::fromLatin1(Sent.NewDps.c_str()));
    }
    RenderStatus();
    MarkActionsDirty();
}

namespace {

// Selects the list's item of that name, or shows the name as typed.
void ShowPort(QComboBox* List, const QString& Port)
{
    const int i = List->findText(Port, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (i >= 0)
        List->setCurrentIndex(i);
    else {
        List->setCurrentIndex(-1);
        List->setEditText(Port);
    }
}

} // namespace

void TMainForm::RefreshPorts()
{
    const TStringDynArray Names = TConnCOM::EnumerateDevices(false, SysRoot, DevRoot);
    const QString Remembered = cbCOMS->currentText();
    const QSignalBlocker Block(cbCOMS);
    cbCOMS->clear();
    cbCOMS->addItem(QStringLiteral("N/A"));
    for (const std::string& N : Names)
        cbCOMS->addItem(QString::fromLatin1(N.c_str()));
    ShowPort(cbCOMS, Remembered);
}

void TMainForm::SelectConfiguredPort()
{
    RefreshPorts();
    const QString Port = QString::fromLatin1(Config.CONN_PORT.c_str());
    const QSignalBlocker Block(cbCOMS);
    ShowPort(cbCOMS, Port);
}

void TMainForm::cbCOMSChange()
{
    Config.CONN_PORT = CutConfigPort(cbCOMS->currentText().toLatin1().toStdString());
    FPortChosen = true;
    WriteConfig();
    MarkActionsDirty(); // Connect's hint names the port
}

void TMainForm::btnRefreshCOMClick()
{
    RefreshPorts();
}

void TMainForm::ShowStatus(const std::string& Text, std::uint32_t Fore, std::uint32_t Back, bool Flash)
{
    // A new connection starts with a clean slate: what the last one left
    // (its failure, a reset's backup) has been seen by then.
    if (Dialogue && Dialogue->LastStatus() == stConnecting) {
        StatusBar1->SetNote(snFailure, QString());
        StatusBar1->SetNote(snBackup, QString());
    }
    StatusBar1->ShowStatus(QString::fromLatin1(Text.c_str()), Fore, Back, Flash);
    if (FLiveText)
        FLiveText->StatusChanged();
    RenderStatus();
    MarkActionsDirty();
}

void TMainForm::RenderStatus()
{
    // Why the port cannot be had (permissions, another program holding it, no
    // such port, the adapter pulled out) and the fix.
    QString Problem;
    if (Dialogue && !Dialogue->Connected())
        Problem = QString::fromLocal8Bit(Dialogue->ConnectionProblem().c_str());
    const QString Port = Dialogue ? QString::fromLatin1(Dialogue->Port().c_str()) : QString();
    StatusBar1->Render(Port, FProgress, Problem);
}

void TMainForm::DPSTimerTimer()
{
    if (StrScr && Dialogue)
        pb32radio->DPSTimerTimer(Dialogue->Connected());
}

void TMainForm::TimerRefreshTimer()
{
    if (Dialogue)
        Dialogue->ClockRefreshTick();
}
