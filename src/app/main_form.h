#pragma once
// The program's main window: the settings editor of one encoder, the commands
// that connect to it, read, write and revert its settings, the settings file,
// the port choice, and the status bar. The encoder scripts live in
// TEncoderDialogue; this window is its view.

#include "app/config.h"
#include "app/startup_options.h"
#include "dialogue/dialogue_view.h"
#include "dialogue/encoder_dialogue.h"
#include "dialogue/status_colours.h"
#include "dialogue/transcript.h"
#include "rds/string_scroller.h"
#include "ui/kit/base_form_main.h"
#include "ui/kit/overlay.h"
#include "ui/main/status_bar.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

class TAFPanel;
class TClockPanel;
class TLiveTextForm;
struct TLiveSent;
class TGroupBox;
class TMainForm;
class THelpManager;
class TPictureButton;
class TRadioDisplay;

// A line edit with a key filter: a typed character that Accept refuses is
// dropped with a beep (control characters included, so clipboard shortcuts do
// nothing); accepted characters and every text set otherwise show in upper case.
// A text of dashes only ("----") stands for an empty box: the first accepted
// character typed replaces it. Paste from the context menu keeps only the
// characters PasteAccept takes; dropped text is refused.
class TFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    TFilterEdit(std::function<bool(QChar)> Accept, std::function<bool(QChar)> PasteAccept, QWidget* Parent);
    std::function<void()> OnKeyUp;
    // Empty, or dashes only.
    static bool ShowsNothing(const QString& Text);
    // Inserts the clipboard's text, filtered, at the caret (over the whole
    // text when the box shows nothing).
    void PasteFiltered();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    std::function<bool(QChar)> FAccept;
    std::function<bool(QChar)> FPasteAccept;
};

// One group of the settings editor: its caption, its place in the window's
// client area (the menu included), its help context (0: none), the window's
// field that holds it, and what fills it.
struct TEditorGroup {
    const char* Caption;
    QRect Bounds;
    int HelpContext;
    TGroupBox* TMainForm::*Box;
    void (TMainForm::*Build)(TGroupBox* Group);
};

// Serves the worker threads' hand-overs on the main thread. It is woken by
// name through the event loop, so the queued call is made and freed inside Qt;
// a functor queued from a worker would be allocated on that thread and freed
// on this one, through synchronisation the race checker cannot see.
class TSynchronizeServer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void Serve();
};

class TMainForm : public TBaseFormMain, public IDialogueView {
    Q_OBJECT
public:
    explicit TMainForm(const TStartupOptions& Options, QWidget* Parent = nullptr);
    ~TMainForm() override;

    void Init() override;
    void PostInit() override;
    void CleanUp() override;

    // The settings editor's groups, in the order they are made.
    static std::span<const TEditorGroup> EditorGroups();

    // The editor and the rest of what the encoder scripts do to the window.
    void ClearEditor() override;
    void SetEditorEnabled(bool Enabled) override;
    void PopulateEditor(const TBRDSDataValidator& Record) override;
    void CollectEditor(TBRDSDataValidator& Record) override;
    void SetLabel(TDialogueLabel Label, const std::string& Text) override;
    void ShowStatus(const std::string& Text, std::uint32_t Fore, std::uint32_t Back, bool Flash) override;
    void ShowError(const std::string& Msg) override;
    TQuestionAnswer AskYesNoCancel(const std::string& Msg) override;
    void ResetTitle() override;
    void SelectManualSynchronization() override;
    void ProcessMessages() override;
    // "Reading 12/33", "Writing 3 of 7", "Resetting" in the status panel; at
    // a script's end the actions are decided again and a failure is kept in
    // the status panel and its tool tip until the next connection.
    void ScriptProgress(const TScriptProgress& Progress) override;

    // Life cycle and close query.
    void FormCreate();
    bool FormCloseQuery();
    bool QuerySaveChanges();
    // Closes the window through its normal path without asking anything (the
    // program was told to end: SIGTERM, SIGINT, SIGHUP). Open modal windows
    // are closed first; unsaved edits go to the recovery file.
    void CloseWithoutQuestions();
    // Where unsaved edits are kept when the program ends without asking:
    // "unsaved-changes.kvx" in StateFolder(). The next start offers to load it.
    static QString RecoveryFile();
    // Why the unsaved edits could not be kept (empty when they were, or when
    // there were none).
    const std::string& RecoveryError() const { return FRecoveryError; }
    // The editor holds edits a connection's read would replace: it differs from
    // the settings last read from the encoder (the clock's synchronisation
    // mode, which no read changes, aside), or holds kept edits not yet shown.
    bool HasUnsavedEdits();
    // Edits waiting for the next read of the encoder (kept by Connect's
    // question or loaded from the recovery file); nullptr when none.
    const TBRDSDataValidator* PendingEdits() const { return FPendingEdits.get(); }
    // The actions need deciding again (an edit, a populate, a status, a
    // script's end); the next idle pass does it.
    void MarkActionsDirty() { FActionsDirty = true; }
    // The Live Text page (nullptr until Device > Live Text first opened it).
    TLiveTextForm* LiveTextForm() const { return FLiveText; }
    // The bridge put a text on air: the status bar shows it, and an editor
    // field that showed what the encoder held before follows the encoder.
    void LiveTextSent(const TLiveSent& Sent);

    // Editor handlers.
    void edPI_BChange();
    void edCall_BKeyUp();
    void cbPTY_BChange();
    void cbPTYRBDS_BChange();
    void edPS_BChange();
    void edDPS_BChange();
    void cbDPSOn_BChange();
    void cbDPSParse_BChange();
    static bool edPI_BKeyPress(QChar Key);
    static bool edCall_BKeyPress(QChar Key);
    // What a paste keeps in the call-letter box: letters.
    static bool edCall_BPasteChar(QChar Key);

    // Timers.
    void DPSTimerTimer();
    void TimerRefreshTimer();

    // Port list.
    void RefreshPorts();
    void SelectConfiguredPort();
    void cbCOMSChange();
    void btnRefreshCOMClick();

    // Actions.
    void _ac_FileOpenExecute();
    void _ac_FileSaveExecute();
    void _ac_FileSaveAsExecute();
    // File > Sites: a site list opened and one of its sites picked; its port
    // goes to the port box, as if typed there. Nothing else is done.
    void _ac_FileSitesExecute();
    void _ac_ExitExecute();
    void _ac_SettingsExecute();
    void _ac_DeviceConnectExecute();
    void _ac_DeviceSaveExecute();
    void _ac_DeviceRevertExecute();
    void _ac_DeviceDefaultsExecute();
    // Device > Live Text: opens the page of the now-playing bridge.
    void _ac_DeviceLiveTextExecute();
    void _ac_FileOpenUpdate();
    void _ac_DeviceConnectUpdate();
    void _ac_DeviceSaveUpdate();
    void _ac_DeviceRevertUpdate();
    void _ac_DeviceDefaultsUpdate();
    // One update pass over every action (run when the event loop goes idle).
    void UpdateActions();

    // File > Open once the file is chosen: the title names it, the editor
    // holds its values; a file that cannot be read is reported and leaves both.
    void OpenFile(const QString& Path);
    // The settings file; a failure is reported in a message box.
    bool OpenSettingsFile(const QString& Path);
    // The settings file of the command line that waits for the encoder's
    // read; empty when there is none (any more).
    const QString& StartupFile() const { return FStartupFile; }
    void SaveSettingsFile(const QString& Path);

    // The record alert handler every record of the window gets.
    int RecordAlert(TDataValidator* Sender, const std::string& Msg, int DlgType, int Buttons);
    void AddHelpImage(QWidget* AControl, TClickImage*& Img);

    // The program's message box, and the file dialogs (an empty name: cancelled).
    virtual int Message(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);
    virtual QString AskOpenFileName();
    virtual QString AskSaveFileName();
    // The site list to open (empty: cancelled), and the site to pick from
    // Sites ("NAME  (PORT)" each): its index, or -1 when none was picked.
    virtual QString AskSiteListName();
    virtual int AskSite(const QStringList& Sites);

    // Roots of the port enumeration (tests point them at a fixture tree).
    std::string SysRoot = "/sys/class/tty";
    std::string DevRoot = "/dev";

    // Fields.
    TStartupOptions Options;
    TConfigData Config {};
    std::unique_ptr<TDMI> DMI;
    std::unique_ptr<THelpManager> HelpMan;
    TStringScroller* StrScr = nullptr;
    std::unique_ptr<TEncoderDialogue> Dialogue;
    QString FileName;
    QString ORGCaption;
    std::unique_ptr<TOverlayManager> OverlayMan;
    TImageList il1;
    TImageList il8x8;
    TTranscript Transcript;

    // Menu, actions, tool panel, status bar, timers.
    QMenuBar* MainMenu = nullptr;
    QAction* _ac_FileOpen = nullptr;
    QAction* _ac_FileSites = nullptr;
    QAction* _ac_FileSave = nullptr;
    QAction* _ac_FileSaveAs = nullptr;
    QAction* _ac_Exit = nullptr;
    QAction* _ac_Help = nullptr;
    QAction* _ac_About = nullptr;
    QAction* _ac_Settings = nullptr;
    QAction* _ac_DeviceConnect = nullptr;
    QAction* _ac_DeviceSave = nullptr;
    QAction* _ac_DeviceRevert = nullptr;
    QAction* _ac_DeviceDefaults = nullptr;
    QAction* _ac_DeviceLiveText = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* btnSettings = nullptr;
    QPushButton* btnAbout = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnRevert = nullptr;
    QComboBox* cbCOMS = nullptr;
    TPictureButton* btnRefreshCOM = nullptr;
    QPushButton* btnConnect = nullptr;
    TStatusBar* StatusBar1 = nullptr;
    QTimer* DPSTimer = nullptr;
    QTimer* TimerRefresh = nullptr;

    // Editor groups and controls.
    TGroupBox* gbPI_B = nullptr;
    TFilterEdit* edPI_B = nullptr;
    TFilterEdit* edCall_B = nullptr;
    TGroupBox* gbPTY_B = nullptr;
    QComboBox* cbPTY_B = nullptr;
    QComboBox* cbPTYRBDS_B = nullptr;
    TGroupBox* gbPS_B = nullptr;
    QLineEdit* edPS_B = nullptr;
    TGroupBox* gbTATP_B = nullptr;
    QComboBox* cbTA_B = nullptr;
    QSpinBox* ednxTATime_B = nullptr;
    QComboBox* cbTP_B = nullptr;
    TGroupBox* gbMS_B = nullptr;
    QComboBox* cbMS_B = nullptr;
    TGroupBox* gbDI_B = nullptr;
    QComboBox* cbDIMS_B = nullptr;
    QComboBox* cbDIAH_B = nullptr;
    QComboBox* cbDICO_B = nullptr;
    QComboBox* cbDIDS_B = nullptr;
    TGroupBox* gbEncoderMode = nullptr;
    QComboBox* cbEncoderMode = nullptr;
    TGroupBox* gbRT_B = nullptr;
    QLineEdit* edRT_B = nullptr;
    TGroupBox* gbDPS_B = nullptr;
    QComboBox* cbDPSOn_B = nullptr;
    QComboBox* cbDPSParse_B = nullptr;
    QLineEdit* edDPS_B = nullptr;
    TRadioDisplay* pb32radio = nullptr;
    TGroupBox* gbDeviceInfo = nullptr;
    QLabel* lbHW = nullptr;
    QLabel* lbFW = nullptr;
    QLabel* lbSer = nullptr;
    QLabel* lbPilot = nullptr;
    QLabel* lbSynchro = nullptr;
    TGroupBox* gbRTC = nullptr;
    TClockPanel* ClockPanel = nullptr;
    TGroupBox* gbAF = nullptr;
    TAFPanel* AFPanel = nullptr;
    TGroupBox* gbCT = nullptr;
    QComboBox* cbCT = nullptr;
    TGroupBox* gbRTSpeed = nullptr;
    QComboBox* cbRTSpeed = nullptr;
    TGroupBox* gbPhase = nullptr;
    QDoubleSpinBox* edPhase = nullptr;
    TGroupBox* gbSynchro = nullptr;
    QComboBox* cbSynchro = nullptr;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void CreateEditor();
    void BuildPIGroup(TGroupBox* G);
    void BuildPTYGroup(TGroupBox* G);
    void BuildPSGroup(TGroupBox* G);
    void BuildTATPGroup(TGroupBox* G);
    void BuildMSGroup(TGroupBox* G);
    void BuildDIGroup(TGroupBox* G);
    void BuildEncoderModeGroup(TGroupBox* G);
    void BuildRTGroup(TGroupBox* G);
    void BuildDPSGroup(TGroupBox* G);
    void BuildDeviceInfoGroup(TGroupBox* G);
    void BuildRTCGroup(TGroupBox* G);
    void BuildAFGroup(TGroupBox* G);
    void BuildCTGroup(TGroupBox* G);
    void BuildRTSpeedGroup(TGroupBox* G);
    void BuildPhaseGroup(TGroupBox* G);
    void BuildSynchroGroup(TGroupBox* G);
    void CreateActions();
    void CreateToolPanel();
    void SetCaptionFileName(const QString& Path);
    // Opens the command line's settings file once a read has completed and
    // no script runs; checked whenever the event loop goes idle.
    void WatchForStartupFile();
    void OpenStartupFileWhenRead();
    // Writes the configuration; a port given for this run alone is kept out
    // of the file unless the user chose a port in the window.
    void WriteConfig();
    // Places the menu, the editor area, the tool panel and the status bar in
    // the window's current size.
    void PlaceAreas();
    // The window's normal size: the design size, or less on a screen (at the
    // current scale) that cannot hold it; the editor area scrolls then. Also
    // keeps the window on its screen.
    void FitToScreen();
    // The tool panel's controls at their design places, or, on a window
    // narrower than the design, without the logo and closed up.
    void ArrangeToolPanel(int Width);
    // A record with the window's alert, populate and collect handlers.
    TBRDSDataValidator* NewRecord();
    void PopulateHandler(TDataValidator* Sender);
    void CollectHandler(TDataValidator* Sender);
    // The idle pass: the actions are decided only when something changed.
    void IdlePass();
    // Every edit in the editor marks the actions for deciding again.
    void WatchEditorEdits();
    // Takes those connections back, so that the editor's controls, freed
    // after this window's own destructor has run, call nothing of it.
    void StopWatchingEditorEdits();
    // The status panel's text and tool tip from the status, the running
    // script, the notes (kept until the next connection) and why the port
    // cannot be had.
    void RenderStatus();
    // Runs once the script that just ended has returned: a save that waited
    // for the clock refresh, and edits waiting for a read.
    void ScriptEnded();
    void ApplyPendingEdits();
    // Offers the recovery file of the last run, when there is one.
    void OfferRecovery();
    // Writes the unsaved edits to the recovery file; false (and the reason in
    // FRecoveryError) when that failed.
    bool KeepUnsavedEdits();

    std::string FFilePort;
    bool FPortChosen = false;
    std::string FTranscriptError;
    QMetaObject::Connection FIdleLink;
    QString FStartupFile;
    QMetaObject::Connection FStartupFileLink;
    // The editor groups sit on a page that scrolls when the window is smaller
    // than the design; the tool panel scrolls sideways when even its compact
    // arrangement does not fit.
    QScrollArea* FEditorArea = nullptr;
    QWidget* FEditorPage = nullptr;
    QScrollArea* FPanelArea = nullptr;
    std::vector<std::pair<QWidget*, QRect>> FPanelDesign;
    QSize FFitSize;

    bool FActionsDirty = true;
    TScriptProgress FProgress;
    TLiveTextForm* FLiveText = nullptr;
    // A read has filled the editor from the encoder since it was last cleared.
    bool FHaveDeviceCopy = false;
    std::unique_ptr<TBRDSDataValidator> FPendingEdits;
    bool FPendingWrite = false;      // written once put back (Connect's "Save Changes?" Yes)
    bool FPendingKeepsClock = false; // the user set the clock pickers: they are not the encoder's
    bool FSaveAfterRefresh = false;  // Save Changes was pressed while the clock refresh ran
    bool FCloseWithoutQuestions = false;
    std::string FRecoveryError;
};
