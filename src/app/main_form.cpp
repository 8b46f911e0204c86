// The main window: creation, life cycle and the dialogue's view.
#include "app/main_form.h"

#include "app/settings_form.h"
#include "platform/thread.h"
#include "platform/version.h"
#include "rds/common.h"
#include "rds/ui/preflight_form.h"
#include "ui/kit/fonts.h"
#include "ui/kit/help_manager.h"
#include "ui/main/af_panel.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"
#include "ui/main/radio_display.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QWindow>

#include <algorithm>

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

QColor ToolkitColour(std::uint32_t Value)
{
    return QColor(
        static_cast<int>(Value & 0xFF), static_cast<int>((Value >> 8) & 0xFF), static_cast<int>((Value >> 16) & 0xFF));
}

TStatusBar::TStatusBar(QWidget* Parent) : QWidget(Parent)
{
    setObjectName(QStringLiteral("StatusBar1"));
}

int TStatusBar::StatusRoom() const
{
    QFont Bold = font();
    Bold.setBold(true);
    return QFontMetrics(Bold).horizontalAdvance(QStringLiteral("ttyUSB0: Disconnected from Device")) + 12;
}

QRect TStatusBar::PanelRect(int Panel) const
{
    const int h = height();
    const int Hint = std::clamp(width() - VersionWidth - 4 - StatusRoom(), 0, HintWidth);
    switch (Panel) {
    case 0:
        return QRect(0, 0, Hint, h);
    case 1:
        return QRect(Hint + 2, 0, VersionWidth, h);
    default: {
        const int x = Hint + 2 + VersionWidth + 2;
        return QRect(x, 0, std::max(50, width() - x), h);
    }
    }
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect hint = PanelRect(0);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(hint.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(hint.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, Hint);
    for (int i = 1; i <= 2; ++i) {
        p.save();
        if (OnDrawPanel)
            OnDrawPanel(p, i, PanelRect(i));
        p.restore();
    }
}

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

    StatusBar1 = new TStatusBar(this);
    StatusBar1->OnDrawPanel = [this](QPainter& P, int Panel, const QRect& R) { StatusBar1DrawPanel(P, Panel, R); };
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
    StatusTimer = new QTimer(this);
    StatusTimer->setInterval(500);
    connect(StatusTimer, &QTimer::timeout, this, &TMainForm::StatusTimerTimer);

    FormCreate();
}

TMainForm::~TMainForm()
{
    RunCleanUp();
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
    // The caption is the title as it is: no application display name is set,
    // which the window system would append to every title (twice over here).
    setWindowTitle(Caption);
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
    StatusBarInfo = {QStringLiteral("Idle"), InitialStatusColours.Fore, InitialStatusColours.Back, false, false};

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
    Dialogue->BRDSDV->OnAlert
        = [this](TDataValidator* S, const std::string& M, int T, int B) { return RecordAlert(S, M, T, B); };
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

    // Actions are brought up to date whenever the event loop goes idle.
    if (QAbstractEventDispatcher* D = QAbstractEventDispatcher::instance())
        FIdleLink = connect(D, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::UpdateActions);
    UpdateActions();

    if (!FTranscriptError.empty())
        Message(QStringLiteral("Transcript: ") + QString::fromStdString(FTranscriptError), mtError, mbOK);
    if (Options.Connect)
        _ac_DeviceConnectExecute();
}

void TMainForm::CleanUp()
{
    TBaseFormMain::CleanUp();
    disconnect(FIdleLink);
    DPSTimer->stop();
    TimerRefresh->stop();
    StatusTimer->stop();

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

void TMainForm::_ac_AboutExecute(QObject* Sender)
{
    TBaseFormMain::_ac_AboutExecute(Sender);
}

void TMainForm::_ac_HelpExecute(QObject* Sender)
{
    TBaseFormMain::_ac_HelpExecute(Sender);
}

bool TMainForm::FormCloseQuery()
{
    if (!Dialogue || !Dialogue->Connected())
        return true;
    return QuerySaveChanges();
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
    Message(QString::fromLatin1(Msg.c_str()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), mtError, mbOK);
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
