// The main window: creation, life cycle and the dialogue's view.
#include "app/main_form.h"

#include "app/live_text_form.h"

#include "app/settings_form.h"
#include "platform/log.h"
#include "platform/thread.h"
#include "platform/version.h"
#include "rds/common.h"
#include "rds/settings_file.h"
#include "ui/kit/fonts.h"
#include "ui/kit/help_manager.h"
#include "ui/main/af_panel.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"
#include "ui/main/radio_display.h"
#include "ui/rds/preflight_form.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include <utility>

namespace {

constexpr int ClientWidth = 873;
constexpr int ClientHeight = 584;
constexpr int MinClientWidth = 620;
constexpr int MinClientHeight = 524;
constexpr int MenuHeight = 27;
constexpr int PanelHeight = 59;
constexpr int StatusHeight = 25;
constexpr int EditorHeight = ClientHeight - MenuHeight - PanelHeight - StatusHeight;
// The tool panel without the logo: the controls right of it close up by this.
constexpr int LogoRight = 464;
constexpr int LogoShift = 240;
constexpr int CompactPanelWidth = 759 + 110 + 4 - LogoShift;

} // namespace

TMainForm::TMainForm(const TStartupOptions& AOptions, QWidget* Parent) : TBaseFormMain(Parent), Options(AOptions)
{
    // Worker hand-overs are served by the event loop.
    TThread::SetMainThread();
    if (QCoreApplication* App = QCoreApplication::instance()) {
        // One server for the application's lifetime, made on this thread.
        auto* Server = App->findChild<TSynchronizeServer*>();
        if (!Server)
            Server = new TSynchronizeServer(App);
        TThread::SetWakeMainThread([Server] { QMetaObject::invokeMethod(Server, "Serve", Qt::QueuedConnection); });
    }

    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    resize(ClientWidth, ClientHeight);
    setMaximumSize(ClientWidth, ClientHeight);
    move(0, 0);

    il1.Sheet = QImage(QStringLiteral(":/IL1"));
    il1.Width = il1.Height = 16;
    il8x8.Sheet = QImage(QStringLiteral(":/IL8X8"));
    il8x8.Width = il8x8.Height = 8;

    CreateActions();
    CreateEditor();
    CreateToolPanel();

    // The editor groups are placed in the window's client coordinates; on
    // their page, which starts below the menu, they keep those places.
    FEditorPage = new QWidget;
    FEditorPage->setObjectName(QStringLiteral("EditorPage"));
    FEditorPage->setFixedSize(ClientWidth, EditorHeight);
    for (TGroupBox* G : findChildren<TGroupBox*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QPoint At = G->pos() - QPoint(0, MenuHeight);
        G->setParent(FEditorPage);
        G->move(At);
    }
    FEditorArea = new QScrollArea(this);
    FEditorArea->setObjectName(QStringLiteral("EditorArea"));
    FEditorArea->setFrameShape(QFrame::NoFrame);
    FEditorArea->setBackgroundRole(QPalette::Window);
    FEditorArea->setWidget(FEditorPage);
    FPanelArea = new QScrollArea(this);
    FPanelArea->setObjectName(QStringLiteral("PanelArea"));
    FPanelArea->setFrameShape(QFrame::NoFrame);
    FPanelArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (QWidget* C : Panel1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        FPanelDesign.emplace_back(C, C->geometry());
    FPanelArea->setWidget(Panel1);
    MainMenu->raise();
    WatchEditorEdits();

    StatusBar1 = new TStatusBar(this);
    FFitSize = QSize(ClientWidth, ClientHeight);
    PlaceAreas();

    DPSTimer = new QTimer(this);
    DPSTimer->setInterval(1000);
    connect(DPSTimer, &QTimer::timeout, this, &TMainForm::DPSTimerTimer);
    DPSTimer->start();
    TimerRefresh = new QTimer(this);
    TimerRefresh->setInterval(2000);
    connect(TimerRefresh, &QTimer::timeout, this, &TMainForm::TimerRefreshTimer);
    TimerRefresh->start();

    FormCreate();
}

TMainForm::~TMainForm()
{
    RunCleanUp();
    StopWatchingEditorEdits();
    TThread::SetWakeMainThread(nullptr);
}

void TSynchronizeServer::Serve()
{
    TThread::CheckSynchronize(0);
}

void TMainForm::FormCreate()
{
    QString Caption = QStringLiteral("Korvane Ardent RDS/RBDS Encoders Manager");
    Caption = Caption + QStringLiteral(" - ") + QStringLiteral("TRELL Broadcast Ltd.");
    setWindowTitle(Caption);
    // No application display name: Qt would add it to every window title it
    // does not end, so the title with a file's name would carry the caption twice.
    ORGCaption = Caption;
    // The program icon on this window and on every other one.
    const QIcon Icon = ProgramIcon();
    setWindowIcon(Icon);
    QApplication::setWindowIcon(Icon);
    FileName.clear();

    StatusBar1->VersionText = QStringLiteral("Ver: ") + QString::fromStdString(GetVersionString("%d.%d.%d.%d"));

    // The maker's logo, centred in a framed picture of the image's size.
    QImage Logo(QStringLiteral(":/PNG_LOGO"));
    QPixmap Pic(Image1->size());
    Pic.fill(Qt::transparent);
    {
        QPainter P(&Pic);
        P.drawImage((Pic.width() - Logo.width()) / 2, (Pic.height() - Logo.height()) / 2, Logo);
        P.setPen(Qt::black);
        P.drawRect(1, 1, Pic.width() - 3, Pic.height() - 3);
    }
    Image1->setPixmap(Pic);
    // The logo is a link to the maker's web site, handled by the base window.
    Image1->setProperty("kvxAboutFlags", 0);
    Image1->setProperty("kvxLink", true);
    Image1->installEventFilter(this);

    StrScr = new TStringScroller();
    pb32radio->Scroller(StrScr);
    OverlayMan = std::make_unique<TOverlayManager>();

    setMinimumSize(MinClientWidth, MinClientHeight);
}

void TMainForm::Init()
{
    TBaseFormMain::Init();
    StatusBar1->SetInitialStatus(QStringLiteral("Idle"), InitialStatusColours.Fore, InitialStatusColours.Back);

    std::vector<std::string> Names;
    FillPTYList(Names, false, false);
    cbPTY_B->clear();
    for (const auto& N : Names)
        cbPTY_B->addItem(QString::fromLatin1(N.c_str()));
    FillPTYList(Names, true, false);
    cbPTYRBDS_B->clear();
    for (const auto& N : Names)
        cbPTYRBDS_B->addItem(QString::fromLatin1(N.c_str()));
    cbPTY_B->setCurrentIndex(0);
    cbPTYRBDS_B->setCurrentIndex(0);

    InstallPreflightPresenter();
    Dialogue = std::make_unique<TEncoderDialogue>(*this);
    if (!Options.TranscriptFile.empty()) {
        if (Transcript.Open(Options.TranscriptFile, FTranscriptError))
            Dialogue->SetTranscript(&Transcript);
    }

    ClearEditor();
    SetEditorEnabled(false);
}

void TMainForm::PostInit()
{
    TBaseFormMain::PostInit();

    DMI = std::make_unique<TDMI>();
    DMI->ReadConfig(Config);
    FFilePort = Config.CONN_PORT;
    if (!Options.Port.empty())
        Config.CONN_PORT = CutConfigPort(Options.Port);

    if (Config.APP_Maximized) {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        showMaximized();
    } else
        move(Config.APP_X, Config.APP_Y);

    // The window fits the screen it is on, at the scale it is shown with.
    FitToScreen();
    if (QWindow* Handle = windowHandle())
        connect(Handle, &QWindow::screenChanged, this, [this](QScreen* S) {
            if (S)
                connect(S, &QScreen::availableGeometryChanged, this, &TMainForm::FitToScreen, Qt::UniqueConnection);
            FitToScreen();
        });
    if (QScreen* S = screen())
        connect(S, &QScreen::availableGeometryChanged, this, &TMainForm::FitToScreen, Qt::UniqueConnection);

    HelpMan = std::make_unique<THelpManager>(this);
    HelpMan->OnAddImage = [this](QWidget* C, TClickImage*& Img) { AddHelpImage(C, Img); };
    HelpMan->Link();
    HelpMan->LoadFromResource();

    SetEditorEnabled(false);
    SelectConfiguredPort();

    Dialogue->SetReplyTimeout(std::int64_t(Config.CONN_REPLY_TIMEOUT) * 1000);

    // Actions are brought up to date when the event loop goes idle after
    // something that can change them.
    if (QAbstractEventDispatcher* D = QAbstractEventDispatcher::instance())
        FIdleLink = connect(D, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::IdlePass);
    UpdateActions();

    if (!FTranscriptError.empty())
        Message(QStringLiteral("Transcript: ") + QString::fromStdString(FTranscriptError), mtError, mbOK);
    OfferRecovery();

    // A settings file from the command line (a file manager's "open with")
    // opens after the read, as File > Open would; one that cannot be read is
    // reported now rather than after connecting.
    if (!Options.File.empty()) {
        const QString Path = QFile::decodeName(QByteArray::fromStdString(Options.File));
        QFile F(Path);
        if (!F.open(QIODevice::ReadOnly))
            Message(
                QStringLiteral("Cannot open file \"") + Path + QStringLiteral("\": ") + F.errorString(), mtError, mbOK);
        else {
            FStartupFile = Path;
            StatusBar1->Hint = QFileInfo(Path).fileName() + QStringLiteral(" opens once the encoder has been read.");
            WatchForStartupFile();
        }
    }
    if (Options.Connect)
        _ac_DeviceConnectExecute();
}

void TMainForm::WatchForStartupFile()
{
    if (QAbstractEventDispatcher* D = QAbstractEventDispatcher::instance())
        FStartupFileLink
            = connect(D, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::OpenStartupFileWhenRead);
}

void TMainForm::OpenStartupFileWhenRead()
{
    // A read has completed (the device copy is ready) and no script has
    // started since the last one ended.
    if (FStartupFile.isEmpty() || !Dialogue || !Dialogue->Connected() || !Dialogue->DeviceCopy().Ready()
        || Dialogue->LastScriptEnded() == scNone)
        return;
    disconnect(FStartupFileLink);
    // Not from inside the idle notification: opening may show a message box.
    QTimer::singleShot(0, this, [this] {
        if (!Dialogue || !Dialogue->Connected()) {
            WatchForStartupFile(); // disconnected meanwhile: the next read opens it
            return;
        }
        const QString Path = std::exchange(FStartupFile, QString());
        StatusBar1->Hint.clear();
        OpenFile(Path);
        if (FileName == Path)
            StatusBar1->Hint
                = QFileInfo(Path).fileName() + QStringLiteral(" opened: Save Changes writes it to the encoder.");
        StatusBar1->update();
    });
}

void TMainForm::CleanUp()
{
    TBaseFormMain::CleanUp();
    disconnect(FIdleLink);
    disconnect(FStartupFileLink);
    DPSTimer->stop();
    TimerRefresh->stop();
    StatusBar1->FlashTimer()->stop();

    if (DMI) {
        if (isMaximized())
            Config.APP_Maximized = true;
        else {
            Config.APP_X = x();
            Config.APP_Y = y();
            Config.APP_Maximized = false;
        }
        WriteConfig();
    }

    // The Live Text page's inputs close and its bridge goes before the
    // dialogue it writes through.
    if (FLiveText) {
        FLiveText->Free();
        FLiveText = nullptr;
    }
    // The dialogue stops the loader thread and waits for it before the device
    // and the device copy go.
    Dialogue.reset();
    HelpMan.reset();
    OverlayMan.reset();
    pb32radio->Scroller(nullptr);
    TStringScroller* S = StrScr;
    StrScr = nullptr;
    delete S;
    Transcript.Close();
}

void TMainForm::WriteConfig()
{
    if (!DMI)
        return;
    if (!FPortChosen && !Options.Port.empty()) {
        TConfigData C = Config;
        C.CONN_PORT = FFilePort;
        DMI->WriteConfig(C);
    } else
        DMI->WriteConfig(Config);
}

bool TMainForm::FormCloseQuery()
{
    if (FCloseWithoutQuestions) {
        KeepUnsavedEdits();
        return true;
    }
    if (!Dialogue || !Dialogue->Connected())
        return true;
    return QuerySaveChanges();
}

void TMainForm::CloseWithoutQuestions()
{
    FCloseWithoutQuestions = true;
    // A modal window runs its own event loop: it is closed first (answered as
    // cancelled), and the window once the code that opened it has returned.
    for (int i = 0; i < 16; ++i) {
        QWidget* Modal = QApplication::activeModalWidget();
        if (!Modal || Modal == this)
            break;
        Modal->close();
        if (QApplication::activeModalWidget() == Modal)
            Modal->hide(); // a box that ignores close (no escape button)
    }
    QTimer::singleShot(0, this, [this] {
        if (!close())
            kvx::log::Warn("the window did not close when the program was told to end");
    });
}

QString TMainForm::RecoveryFile()
{
    return QString::fromStdString(StateFolder()) + QStringLiteral("/unsaved-changes.kvx");
}

bool TMainForm::HasUnsavedEdits()
{
    if (FPendingEdits)
        return true;
    if (!Dialogue || !FHaveDeviceCopy)
        return false;
    std::unique_ptr<TBRDSDataValidator> R(NewRecord());
    R->Collect();
    // Compared as a manual clock: the synchronisation mode is no edit.
    R->RTCManual = true;
    return Dialogue->DeviceCopy().isDifferent(R.get(), nullptr);
}

bool TMainForm::KeepUnsavedEdits()
{
    std::unique_ptr<TBRDSDataValidator> R;
    if (FPendingEdits)
        R = std::move(FPendingEdits);
    else if (HasUnsavedEdits()) {
        R.reset(NewRecord());
        R->Collect();
    } else
        return true;
    const std::string Folder = StateFolder(true);
    const std::string Path = RecoveryFile().toStdString();
    std::string Error;
    if (Folder.empty())
        Error = "the folder " + StateFolder() + " cannot be created";
    else if (::SaveSettingsFile(*R, Path, Error)) {
        std::fprintf(stderr, "kvxc: the unsaved changes in the editor were kept in %s\n", Path.c_str());
        return true;
    }
    FRecoveryError = "the unsaved changes in the editor could not be kept in " + Path + ": " + Error;
    std::fprintf(stderr, "kvxc: %s\n", FRecoveryError.c_str());
    return false;
}

void TMainForm::OfferRecovery()
{
    const QString Path = RecoveryFile();
    if (!QFileInfo::exists(Path))
        return;
    const int Answer = Message(QStringLiteral("When the program last ended, the editor held changes that had not been "
                                              "saved. They were kept in\n")
            + Path
            + QStringLiteral("\n\nLoad them? They go into the editor once the encoder has been read. The file is "
                             "deleted either way."),
        mtConfirmation, mbYes | mbNo);
    if (Answer != mrYes && Answer != mrNo)
        return; // neither loaded nor declined: the file stays for the next start
    if (Answer == mrYes) {
        std::unique_ptr<TBRDSDataValidator> R(NewRecord());
        std::string Error;
        if (!LoadSettingsFile(Path.toStdString(), *R, Error)) {
            Message(QStringLiteral("The kept changes could not be read: ") + QString::fromStdString(Error)
                    + QStringLiteral("\nThe file stays where it is: ") + Path,
                mtError, mbOK);
            return;
        }
        FPendingEdits = std::move(R);
        FPendingWrite = false;
        FPendingKeepsClock = false;
        StatusBar1->SetNote(snPending,
            QStringLiteral("kept changes wait for the next read\nThe changes kept when the program last ended go "
                           "into the editor once the encoder has been read."));
        RenderStatus();
    }
    if (!QFile::remove(Path))
        Message(QStringLiteral("The file of kept changes could not be deleted: ") + Path, mtWarning, mbOK);
}

void TMainForm::ScriptProgress(const TScriptProgress& Progress)
{
    if (FLiveText)
        FLiveText->ScriptProgress(Progress);
    const TDialogueScript Was = FProgress.Script;
    FProgress = Progress;
    if (Progress.Script == scNone && Was != scNone && Dialogue) {
        if (Dialogue->Failure() != dfNone)
            StatusBar1->SetNote(snFailure, QString::fromLatin1(Dialogue->FailureText().c_str()));
        else if (Was == scRead && Dialogue->LastScriptEnded() == scRead)
            FHaveDeviceCopy = true;
        // The dialogue is inside its own handler: what follows runs after it.
        QTimer::singleShot(0, this, &TMainForm::ScriptEnded);
    }
    RenderStatus();
    // The clock refresh, every two seconds, changes no action (unless it
    // failed, and then the status that follows decides them again).
    if (Progress.Script != scClockRefresh && Was != scClockRefresh)
        MarkActionsDirty();
}

void TMainForm::ScriptEnded()
{
    if (!Dialogue || FProgress.Script != scNone)
        return;
    if (FSaveAfterRefresh) {
        FSaveAfterRefresh = false;
        if (Dialogue->Connected())
            _ac_DeviceSaveExecute();
        return;
    }
    if (FPendingEdits && FHaveDeviceCopy && Dialogue->DeviceCopy().Ready())
        ApplyPendingEdits();
}

void TMainForm::ApplyPendingEdits()
{
    std::unique_ptr<TBRDSDataValidator> R = std::move(FPendingEdits);
    const TBRDSDataValidator& D = Dialogue->DeviceCopy();
    // The encoder just read is the one the edits go to; its clock is the
    // clock's value unless the user had set the pickers.
    R->FW = D.FW;
    R->HW = D.HW;
    R->Serial = D.Serial;
    if (!FPendingKeepsClock)
        R->RTC = D.RTC;
    R->Populate();
    StatusBar1->SetNote(snPending, QString());
    if (FPendingWrite) {
        FPendingWrite = false;
        Dialogue->SaveChanges();
    } else
        StatusBar1->SetNote(snPending,
            QStringLiteral("kept changes restored\nThe changes kept when the program last ended are in the editor; "
                           "Save Changes writes them to the encoder."));
    RenderStatus();
    MarkActionsDirty();
}

void TMainForm::IdlePass()
{
    if (FActionsDirty)
        UpdateActions();
}

void TMainForm::WatchEditorEdits()
{
    for (QWidget* W : FEditorPage->findChildren<QWidget*>()) {
        if (auto* E = qobject_cast<QLineEdit*>(W))
            connect(E, &QLineEdit::textChanged, this, &TMainForm::MarkActionsDirty);
        else if (auto* C = qobject_cast<QComboBox*>(W))
            connect(C, &QComboBox::currentIndexChanged, this, &TMainForm::MarkActionsDirty);
        else if (auto* B = qobject_cast<QAbstractButton*>(W))
            connect(B, &QAbstractButton::toggled, this, &TMainForm::MarkActionsDirty);
        else if (auto* S = qobject_cast<QAbstractSpinBox*>(W))
            connect(S, &QAbstractSpinBox::editingFinished, this, &TMainForm::MarkActionsDirty);
        else if (auto* V = qobject_cast<QAbstractItemView*>(W)) {
            if (QAbstractItemModel* M = V->model()) {
                connect(M, &QAbstractItemModel::dataChanged, this, &TMainForm::MarkActionsDirty);
                connect(M, &QAbstractItemModel::rowsInserted, this, &TMainForm::MarkActionsDirty);
                connect(M, &QAbstractItemModel::rowsRemoved, this, &TMainForm::MarkActionsDirty);
                connect(M, &QAbstractItemModel::rowsMoved, this, &TMainForm::MarkActionsDirty);
                connect(M, &QAbstractItemModel::layoutChanged, this, &TMainForm::MarkActionsDirty);
                connect(M, &QAbstractItemModel::modelReset, this, &TMainForm::MarkActionsDirty);
            }
        }
    }
    // Spin boxes and pickers change their value without finishing an edit too
    // (arrows, wheel, code).
    for (QSpinBox* S : FEditorPage->findChildren<QSpinBox*>())
        connect(S, &QSpinBox::valueChanged, this, &TMainForm::MarkActionsDirty);
    for (QDoubleSpinBox* S : FEditorPage->findChildren<QDoubleSpinBox*>())
        connect(S, &QDoubleSpinBox::valueChanged, this, &TMainForm::MarkActionsDirty);
    for (QDateTimeEdit* S : FEditorPage->findChildren<QDateTimeEdit*>())
        connect(S, &QDateTimeEdit::dateTimeChanged, this, &TMainForm::MarkActionsDirty);
}

void TMainForm::StopWatchingEditorEdits()
{
    if (!FEditorPage)
        return;
    for (QWidget* W : FEditorPage->findChildren<QWidget*>()) {
        disconnect(W, nullptr, this, nullptr);
        if (auto* V = qobject_cast<QAbstractItemView*>(W); V && V->model())
            disconnect(V->model(), nullptr, this, nullptr);
    }
}

bool TMainForm::QuerySaveChanges()
{
    return Dialogue->QuerySaveChanges();
}

void TMainForm::SetLabel(TDialogueLabel Label, const std::string& Text)
{
    const QString T = QString::fromLatin1(Text.c_str());
    if (Label == TDialogueLabel::lbPilot)
        lbPilot->setText(T);
    else
        ClockPanel->SetLabel(Label, T);
}

void TMainForm::ShowError(const std::string& Msg)
{
    QString Text = QString::fromLatin1(Msg.c_str()).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // A message box begins with a capital ("no reply to PS? ..." reads as a sentence).
    if (!Text.isEmpty())
        Text[0] = Text[0].toUpper();
    Message(Text, mtError, mbOK);
}

TQuestionAnswer TMainForm::AskYesNoCancel(const std::string& Msg)
{
    const int R = Message(QString::fromLatin1(Msg.c_str()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
        mtConfirmation, mbYes | mbNo | mbCancel);
    return R == mrYes ? qaYes : R == mrNo ? qaNo : qaCancel;
}

void TMainForm::ResetTitle()
{
    FileName.clear();
    setWindowTitle(ORGCaption);
}

void TMainForm::SelectManualSynchronization()
{
    // Called once a save has started. A synchronising save sends the
    // computer's date, time and offset, and the device copy takes the editor's
    // values when the write ends: so the editor takes the computer's clock
    // first, or the device copy (and a later backup) would keep the old manual
    // offset while the encoder holds the computer's.
    if (ClockPanel->rbCTSyncComp->isChecked())
        ClockPanel->TakeComputerClock();
    ClockPanel->SelectManualSynchronization();
}

void TMainForm::ProcessMessages()
{
    QCoreApplication::processEvents();
}

int TMainForm::Message(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)
{
    return ShowMessage(Msg, DlgType, Buttons, 0);
}

int TMainForm::RecordAlert(TDataValidator*, const std::string& Msg, int DlgType, int Buttons)
{
    return Message(
        QString::fromLatin1(Msg.c_str()), static_cast<TMsgDlgType>(DlgType), static_cast<TMsgDlgButtons>(Buttons));
}

void TMainForm::AddHelpImage(QWidget* AControl, TClickImage*& Img)
{
    TOverlayPanel* P = OverlayMan->FindPanel(AControl);
    if (!P)
        P = OverlayMan->AddPanel(AControl);
    POverlayImageInfo I = P->AddImage(2, il8x8, 1, nullptr, nullptr, nullptr);
    Img = I ? I->Img : nullptr;
}

TBRDSDataValidator* TMainForm::NewRecord()
{
    auto* R = new TBRDSDataValidator(
        nullptr, TDVNotifyEvent(this, &TMainForm::PopulateHandler), TDVNotifyEvent(this, &TMainForm::CollectHandler));
    R->OnAlert = [this](TDataValidator* S, const std::string& M, int T, int B) { return RecordAlert(S, M, T, B); };
    return R;
}

void TMainForm::PopulateHandler(TDataValidator* Sender)
{
    if (auto* R = dynamic_cast<TBRDSDataValidator*>(Sender))
        PopulateEditor(*R);
}

void TMainForm::CollectHandler(TDataValidator* Sender)
{
    if (auto* R = dynamic_cast<TBRDSDataValidator*>(Sender))
        CollectEditor(*R);
}

bool TMainForm::event(QEvent* e)
{
    if (e->type() == QEvent::StatusTip) {
        StatusBar1->Hint = static_cast<QStatusTipEvent*>(e)->tip();
        StatusBar1->update(StatusBar1->PanelRect(0));
        return true;
    }
    return TBaseFormMain::event(e);
}

void TMainForm::closeEvent(QCloseEvent* e)
{
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    TBaseFormMain::closeEvent(e);
}

void TMainForm::changeEvent(QEvent* e)
{
    TBaseFormMain::changeEvent(e);
    // Only the program maximises the window; back in the normal state it has
    // its fixed size again.
    if (e->type() == QEvent::WindowStateChange && !isMaximized() && !isMinimized() && !isFullScreen())
        setMaximumSize(FFitSize);
}

void TMainForm::resizeEvent(QResizeEvent* e)
{
    TBaseFormMain::resizeEvent(e);
    PlaceAreas();
}

void TMainForm::FitToScreen()
{
    const QScreen* S = screen();
    if (!S)
        return;
    const QRect Avail = S->availableGeometry();
    const QSize Frame = frameGeometry().size() - geometry().size();
    FFitSize = QSize(std::clamp(Avail.width() - Frame.width(), 1, ClientWidth),
        std::clamp(Avail.height() - Frame.height(), 1, ClientHeight));
    setMinimumSize(std::min(MinClientWidth, FFitSize.width()), std::min(MinClientHeight, FFitSize.height()));
    if (isMaximized() || isFullScreen())
        return;
    setMaximumSize(FFitSize);
    resize(FFitSize);
    // A place remembered from a larger screen or scale would leave the window
    // partly off this one.
    const QRect F = frameGeometry();
    const int X = std::clamp(F.left(), Avail.left(), std::max(Avail.left(), Avail.right() + 1 - F.width()));
    const int Y = std::clamp(F.top(), Avail.top(), std::max(Avail.top(), Avail.bottom() + 1 - F.height()));
    if (X != F.left() || Y != F.top())
        move(X, Y);
}

void TMainForm::ArrangeToolPanel(int Width)
{
    const bool Compact = Width < ClientWidth;
    for (const auto& [C, Design] : FPanelDesign) {
        if (C == Image1) {
            C->setVisible(!Compact);
            continue;
        }
        C->move(Compact && Design.x() >= LogoRight ? Design.x() - LogoShift : Design.x(), Design.y());
    }
    Panel1->resize(Compact ? std::max(Width, CompactPanelWidth) : Width, PanelHeight);
}

void TMainForm::PlaceAreas()
{
    const int w = width();
    const int h = height();
    MainMenu->setGeometry(0, 0, w, MenuHeight);
    StatusBar1->setGeometry(0, h - StatusHeight, w, StatusHeight);
    ArrangeToolPanel(w);
    const int Panel = PanelHeight + (Panel1->width() > w ? FPanelArea->horizontalScrollBar()->sizeHint().height() : 0);
    FPanelArea->setGeometry(0, h - StatusHeight - Panel, w, Panel);
    FEditorArea->setGeometry(0, MenuHeight, w, std::max(0, h - MenuHeight - StatusHeight - Panel));
}
