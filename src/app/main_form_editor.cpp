// The main window's settings editor: its groups and controls, copying a
// record into them and back, clearing and enabling them, and the couplings
// between controls (PI and call letters, the two programme-type lists, the
// texts handed to the radio display's scroller).
#include "app/main_form.h"

#include "rds/common.h"
#include "rds/field_table.h"
#include "ui/kit/control_walk.h"
#include "ui/kit/fonts.h"
#include "ui/kit/overlay.h"
#include "ui/main/af_panel.h"
#include "ui/main/clock_panel.h"
#include "ui/main/group_box.h"
#include "ui/main/radio_display.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include <cmath>
#include <utility>

namespace {

const char* const Ruler = ".......|.......|.......|.......|.......|.......|.......|.......|";

QLabel* NewLabel(const QString& Text, QWidget* Parent, int X, int Y)
{
    auto* L = new QLabel(Text, Parent);
    L->move(X, Y);
    L->adjustSize();
    return L;
}

QComboBox* NewList(QWidget* Parent, const QStringList& Items, int X, int Y, int W, int Visible = 8)
{
    auto* C = new QComboBox(Parent);
    C->addItems(Items);
    C->setCurrentIndex(0);
    C->setMaxVisibleItems(Visible);
    C->setGeometry(X, Y, W, 22);
    return C;
}

// A 64-character text row: the ruler at RulerY, "Text" and the box under it.
QLineEdit* NewRulerText(QWidget* Parent, int RulerY)
{
    const QFont Mono = MonoFont();
    QLabel* R = NewLabel(QString::fromLatin1(Ruler), Parent, 42, RulerY);
    R->setFont(Mono);
    R->adjustSize();
    NewLabel(QStringLiteral("Text"), Parent, 8, RulerY + 20);
    auto* E = new QLineEdit(Parent);
    E->setFont(Mono);
    E->setMaxLength(64);
    E->setGeometry(39, RulerY + 16, 460, 22);
    return E;
}

const QStringList Speeds {QStringLiteral("0 - OFF"), QStringLiteral("1 - Slow"), QStringLiteral("2"),
    QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
    QStringLiteral("8"), QStringLiteral("9 - Fast")};

std::string Latin1(const QString& Text)
{
    return Text.toLatin1().toStdString();
}

QString FromLatin1(const std::string& Text)
{
    return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
}

// The first character of Text that the 8-bit code page cannot hold (0: none).
char32_t Unencodable(const QString& Text)
{
    for (const char32_t C : Text.toUcs4())
        if (C > 0xFF)
            return C;
    return 0;
}

// Marks a text edit that holds a character the 8-bit code page cannot hold:
// it would not reach the encoder as typed.
void MarkUnencodable(QLineEdit* Edit)
{
    const char32_t C = Unencodable(Edit->text());
    const QString Tip = C ? QStringLiteral("\"%1\" (U+%2) cannot be sent: the 8-bit code page cannot hold it")
                                .arg(QString::fromUcs4(&C, 1), QString::asprintf("%.4X", static_cast<unsigned>(C)))
                          : QString();
    if (Edit->toolTip() == Tip)
        return;
    Edit->setStyleSheet(C ? QStringLiteral("QLineEdit { background: #ffd8d8; }") : QString());
    Edit->setToolTip(Tip);
}

// Sets an edit's text unless it already holds it, so that the caret stays.
void SetTextIfDifferent(QLineEdit* Edit, const QString& Text)
{
    if (Edit->text() != Text)
        Edit->setText(Text);
}

} // namespace

TFilterEdit::TFilterEdit(std::function<bool(QChar)> Accept, std::function<bool(QChar)> PasteAccept, QWidget* Parent)
    : QLineEdit(Parent), FAccept(std::move(Accept)), FPasteAccept(std::move(PasteAccept))
{
    setAcceptDrops(false);
    connect(this, &QLineEdit::textChanged, this, [this](const QString& T) {
        const QString U = T.toUpper();
        if (U != T) {
            const int Pos = cursorPosition();
            setText(U);
            setCursorPosition(Pos);
        }
    });
}

void TFilterEdit::keyPressEvent(QKeyEvent* e)
{
    // Clipboard and undo shortcuts are control characters: refused like any
    // other character the filter does not take.
    static const QKeySequence::StandardKey Refused[] = {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Copy,
        QKeySequence::Undo, QKeySequence::Redo, QKeySequence::SelectAll};
    for (QKeySequence::StandardKey K : Refused)
        if (e->matches(K)) {
            QApplication::beep();
            return;
        }
    const QString T = e->text();
    if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete || T.isEmpty()) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    const QChar C = T.at(0);
    if (C.unicode() >= 32 && FAccept && FAccept(C)) {
        if (ShowsNothing(text()))
            selectAll();
        insert(T.left(1).toUpper());
    } else
        QApplication::beep();
}

bool TFilterEdit::ShowsNothing(const QString& Text)
{
    for (QChar C : Text)
        if (C != QLatin1Char('-'))
            return false;
    return true;
}

void TFilterEdit::PasteFiltered()
{
    if (isReadOnly())
        return;
    QString Kept;
    for (QChar C : QGuiApplication::clipboard()->text())
        if (FPasteAccept && FPasteAccept(C))
            Kept += C.toUpper();
    if (ShowsNothing(text()))
        selectAll();
    insert(Kept);
    // A paste is the user's edit, as a typed key is.
    if (OnKeyUp)
        OnKeyUp();
}

void TFilterEdit::contextMenuEvent(QContextMenuEvent* e)
{
    // The usual edit menu, with Paste going through the filter. Its shortcuts
    // are not shown: the key filter refuses them.
    auto* Menu = new QMenu(this);
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool Editable = !isReadOnly();
    const bool Selected = hasSelectedText();
    auto Add = [Menu](const QString& Caption, bool Enabled, auto Slot) {
        QAction* A = Menu->addAction(Caption, Slot);
        A->setEnabled(Enabled);
        return A;
    };
    Add(QStringLiteral("&Undo"), Editable && isUndoAvailable(), [this] { undo(); });
    Add(QStringLiteral("&Redo"), Editable && isRedoAvailable(), [this] { redo(); });
    Menu->addSeparator();
    Add(QStringLiteral("Cu&t"), Editable && Selected, [this] { cut(); });
    Add(QStringLiteral("&Copy"), Selected, [this] { copy(); });
    Add(QStringLiteral("&Paste"), Editable && !QGuiApplication::clipboard()->text().isEmpty(), [this] {
        PasteFiltered();
    })->setObjectName(QStringLiteral("edit-paste"));
    Add(QStringLiteral("Delete"), Editable && Selected, [this] { del(); });
    Menu->addSeparator();
    Add(QStringLiteral("Select All"), !text().isEmpty(), [this] { selectAll(); });
    Menu->popup(e->globalPos());
}

void TFilterEdit::keyReleaseEvent(QKeyEvent* e)
{
    QLineEdit::keyReleaseEvent(e);
    if (OnKeyUp)
        OnKeyUp();
}

bool TMainForm::edPI_BKeyPress(QChar Key)
{
    const char16_t C = Key.unicode();
    return (C >= u'0' && C <= u'9') || (C >= u'A' && C <= u'F') || (C >= u'a' && C <= u'f');
}

bool TMainForm::edCall_BKeyPress(QChar Key)
{
    const char16_t C = Key.unicode();
    return (C >= u'0' && C <= u'9') || (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z');
}

bool TMainForm::edCall_BPasteChar(QChar Key)
{
    const char16_t C = Key.unicode();
    return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z');
}

std::span<const TEditorGroup> TMainForm::EditorGroups()
{
    // In the order they are made (the order focus moves in).
    static const TEditorGroup Groups[] = {
        {"PI", {8, 31, 159, 46}, 1, &TMainForm::gbPI_B, &TMainForm::BuildPIGroup},
        {"PTY", {173, 31, 342, 46}, 2, &TMainForm::gbPTY_B, &TMainForm::BuildPTYGroup},
        {"PS", {8, 83, 84, 46}, 3, &TMainForm::gbPS_B, &TMainForm::BuildPSGroup},
        {"TA / TP", {95, 83, 327, 46}, 6, &TMainForm::gbTATP_B, &TMainForm::BuildTATPGroup},
        {"MS", {428, 83, 87, 46}, 9, &TMainForm::gbMS_B, &TMainForm::BuildMSGroup},
        {"DI", {8, 135, 389, 46}, 7, &TMainForm::gbDI_B, &TMainForm::BuildDIGroup},
        {"Encoder Mode", {403, 135, 112, 46}, 0, &TMainForm::gbEncoderMode, &TMainForm::BuildEncoderModeGroup},
        {"RT", {8, 187, 507, 60}, 5, &TMainForm::gbRT_B, &TMainForm::BuildRTGroup},
        {"Dynamic PS", {8, 253, 507, 244}, 10, &TMainForm::gbDPS_B, &TMainForm::BuildDPSGroup},
        {"Device Info", {521, 31, 344, 76}, 0, &TMainForm::gbDeviceInfo, &TMainForm::BuildDeviceInfoGroup},
        {"Real Time Clock", {521, 113, 162, 384}, 105, &TMainForm::gbRTC, &TMainForm::BuildRTCGroup},
        {"Alternative Frequencies", {689, 113, 176, 201}, 8, &TMainForm::gbAF, &TMainForm::BuildAFGroup},
        {"CT", {689, 350, 85, 46}, 104, &TMainForm::gbCT, &TMainForm::BuildCTGroup},
        {"RT Speed", {780, 349, 85, 47}, 106, &TMainForm::gbRTSpeed, &TMainForm::BuildRTSpeedGroup},
        {"RDS Phase", {689, 402, 110, 44}, 102, &TMainForm::gbPhase, &TMainForm::BuildPhaseGroup},
        {"Synchro Source", {689, 452, 110, 46}, 107, &TMainForm::gbSynchro, &TMainForm::BuildSynchroGroup},
    };
    return Groups;
}

void TMainForm::CreateEditor()
{
    for (const TEditorGroup& E : EditorGroups()) {
        auto* G = new TGroupBox(QString::fromLatin1(E.Caption), this);
        G->setGeometry(E.Bounds);
        this->*E.Box = G;
        (this->*E.Build)(G);
        if (E.HelpContext)
            SetHelpContext(G, E.HelpContext);
    }

    edCall_B->OnKeyUp = [this] { edCall_BKeyUp(); };
    connect(edPI_B, &QLineEdit::textChanged, this, &TMainForm::edPI_BChange);
    connect(cbPTY_B, &QComboBox::activated, this, &TMainForm::cbPTY_BChange);
    connect(cbPTYRBDS_B, &QComboBox::activated, this, &TMainForm::cbPTYRBDS_BChange);
    connect(edPS_B, &QLineEdit::textChanged, this, &TMainForm::edPS_BChange);
    connect(edDPS_B, &QLineEdit::textChanged, this, &TMainForm::edDPS_BChange);
    for (QLineEdit* E : {edPS_B, edRT_B, edDPS_B})
        connect(E, &QLineEdit::textChanged, this, [E] { MarkUnencodable(E); });
    connect(cbDPSOn_B, &QComboBox::activated, this, &TMainForm::cbDPSOn_BChange);
    connect(cbRTSpeed, &QComboBox::activated, this, &TMainForm::cbDPSOn_BChange);
    connect(cbDPSParse_B, &QComboBox::activated, this, &TMainForm::cbDPSParse_BChange);
}

void TMainForm::BuildPIGroup(TGroupBox* G)
{
    const QFont Mono = MonoFont();
    NewLabel(QStringLiteral("PI"), G, 8, 20);
    edPI_B = new TFilterEdit(&TMainForm::edPI_BKeyPress, &TMainForm::edPI_BKeyPress, G);
    edPI_B->setFont(Mono);
    edPI_B->setMaxLength(4);
    edPI_B->setGeometry(24, 16, 42, 22);
    edPI_B->setText(QStringLiteral("FFFF"));
    QLabel* Call = NewLabel(QStringLiteral("CALL"), G, 76, 20);
    Call->setFont(Mono);
    Call->adjustSize();
    edCall_B = new TFilterEdit(&TMainForm::edCall_BKeyPress, &TMainForm::edCall_BPasteChar, G);
    edCall_B->setFont(Mono);
    edCall_B->setMaxLength(6);
    edCall_B->setGeometry(110, 16, 42, 22);
    edCall_B->setText(QStringLiteral("----"));
}

void TMainForm::BuildPTYGroup(TGroupBox* G)
{
    NewLabel(QStringLiteral("RDS"), G, 8, 20);
    cbPTY_B = NewList(G, {}, 34, 16, 136, 15);
    NewLabel(QStringLiteral("RBDS"), G, 176, 20);
    cbPTYRBDS_B = NewList(G, {}, 210, 16, 124, 15);
}

void TMainForm::BuildPSGroup(TGroupBox* G)
{
    edPS_B = new QLineEdit(G);
    edPS_B->setFont(MonoFont());
    edPS_B->setMaxLength(8);
    edPS_B->setGeometry(8, 16, 69, 22);
}

void TMainForm::BuildTATPGroup(TGroupBox* G)
{
    NewLabel(QStringLiteral("TA"), G, 8, 20);
    cbTA_B = NewList(G, {QStringLiteral("OFF"), QStringLiteral("ON")}, 24, 16, 52);
    NewLabel(QStringLiteral("TA Timeout"), G, 84, 20);
    ednxTATime_B = new QSpinBox(G);
    ednxTATime_B->setRange(0, 255);
    ednxTATime_B->setSingleStep(1);
    ednxTATime_B->setAlignment(Qt::AlignRight);
    ednxTATime_B->setGeometry(142, 16, 56, 22);
    NewLabel(QStringLiteral("min."), G, 202, 20);
    NewLabel(QStringLiteral("TP"), G, 246, 20);
    cbTP_B = NewList(G, {QStringLiteral("OFF"), QStringLiteral("ON")}, 264, 16, 55);
}

void TMainForm::BuildMSGroup(TGroupBox* G)
{
    cbMS_B = NewList(G, {QStringLiteral("SPEECH"), QStringLiteral("MUSIC")}, 8, 16, 71);
}

void TMainForm::BuildDIGroup(TGroupBox* G)
{
    // Each list as wide as its longest item needs in the window's font.
    cbDIMS_B = NewList(G, {QStringLiteral("Mono"), QStringLiteral("Stereo")}, 8, 16, 58);
    cbDIAH_B = NewList(G, {QStringLiteral("No Artificial Head"), QStringLiteral("Artificial Head")}, 68, 16, 109);
    cbDICO_B = NewList(G, {QStringLiteral("Not Compressed"), QStringLiteral("Compressed")}, 179, 16, 107);
    cbDIDS_B = NewList(G, {QStringLiteral("Static PTY"), QStringLiteral("Dynamic PTY")}, 288, 16, 93);
}

void TMainForm::BuildEncoderModeGroup(TGroupBox* G)
{
    cbEncoderMode = NewList(G, {QStringLiteral("Loop-Through"), QStringLiteral("Sidechain")}, 8, 16, 96);
}

void TMainForm::BuildRTGroup(TGroupBox* G)
{
    edRT_B = NewRulerText(G, 14);
}

void TMainForm::BuildDPSGroup(TGroupBox* G)
{
    NewLabel(QStringLiteral("Speed"), G, 8, 20);
    cbDPSOn_B = NewList(G, Speeds, 42, 16, 90);
    NewLabel(QStringLiteral("Parse"), G, 146, 20);
    cbDPSParse_B = NewList(G,
        {QStringLiteral("0 - words centered"), QStringLiteral("1 char"), QStringLiteral("2 chars"),
            QStringLiteral("3 chars"), QStringLiteral("4 chars"), QStringLiteral("5 chars"), QStringLiteral("6 chars"),
            QStringLiteral("7 chars"), QStringLiteral("8 chars"), QStringLiteral("9 - words left justified")},
        178, 16, 150, 10);
    edDPS_B = NewRulerText(G, 41);
    pb32radio = new TRadioDisplay(G);
    pb32radio->setGeometry(8, 85, TRadioDisplay::kWidth, TRadioDisplay::kHeight);
}

void TMainForm::BuildDeviceInfoGroup(TGroupBox* G)
{
    auto InfoLabel = [G](int X, int Y, bool Right) {
        auto* L = new QLabel(G);
        // Right-aligned labels keep their right edge at 337.
        L->setGeometry(Right ? 337 - 200 : X, Y, 200, 15);
        L->setAlignment((Right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        return L;
    };
    lbHW = InfoLabel(8, 16, false);
    lbFW = InfoLabel(8, 35, false);
    lbSer = InfoLabel(0, 16, true);
    lbPilot = InfoLabel(8, 54, false);
    lbPilot->setFixedWidth(329);
    lbSynchro = InfoLabel(0, 54, true);
    lbSynchro->raise();
}

void TMainForm::BuildRTCGroup(TGroupBox* G)
{
    ClockPanel = new TClockPanel(G);
}

void TMainForm::BuildAFGroup(TGroupBox* G)
{
    AFPanel = new TAFPanel(G);
}

void TMainForm::BuildCTGroup(TGroupBox* G)
{
    cbCT = NewList(G, {QStringLiteral("OFF"), QStringLiteral("ON")}, 8, 16, 69);
}

void TMainForm::BuildRTSpeedGroup(TGroupBox* G)
{
    cbRTSpeed = NewList(G, Speeds, 8, 16, 69, 10);
}

void TMainForm::BuildSynchroGroup(TGroupBox* G)
{
    cbSynchro = NewList(G, {QStringLiteral("Auto"), QStringLiteral("Internal"), QStringLiteral("External")}, 8, 16, 94);
}

void TMainForm::BuildPhaseGroup(TGroupBox* G)
{
    edPhase = new QDoubleSpinBox(G);
    edPhase->setRange(0.0, 359.9);
    edPhase->setSingleStep(0.1);
    edPhase->setDecimals(1);
    edPhase->setSuffix(QStringLiteral(" \u00B0"));
    edPhase->setAlignment(Qt::AlignRight);
    edPhase->setGeometry(8, 16, 94, 22);
}

void TMainForm::PopulateEditor(const TBRDSDataValidator& R)
{
    lbHW->setText(QStringLiteral("HW: ") + FromLatin1(R.HW));
    lbFW->setText(QStringLiteral("FW: ") + FromLatin1(R.FW));
    lbSer->setText(QStringLiteral("Serial Number: ") + FromLatin1(R.Serial));

    edPI_B->setText(QString::asprintf("%.4X", static_cast<unsigned>(R.PI)));
    edPS_B->setText(FromLatin1(R.PS));

    cbPTY_B->setCurrentIndex(R.PTY);
    cbPTYRBDS_B->setCurrentIndex(R.PTY);
    cbTA_B->setCurrentIndex(R.TA);
    ednxTATime_B->setValue(R.TATime);
    cbTP_B->setCurrentIndex(R.TP);
    cbMS_B->setCurrentIndex(R.MS);
    cbDIMS_B->setCurrentIndex(R.DIMS);
    cbDIAH_B->setCurrentIndex(R.DIAH);
    cbDICO_B->setCurrentIndex(R.DICO);
    cbDIDS_B->setCurrentIndex(R.DIDS);
    cbEncoderMode->setCurrentIndex(R.Mode);

    edRT_B->setText(FromLatin1(R.RT));
    edDPS_B->setText(FromLatin1(R.DPS));

    // Setting a list's item from code raises no change: run the handlers.
    cbDPSOn_B->setCurrentIndex(R.DPSS);
    cbDPSOn_BChange();
    cbDPSParse_B->setCurrentIndex(R.DPSParse);
    cbDPSParse_BChange();

    AFPanel->Populate(R);

    edPhase->setValue(R.Phase / 10.0);
    cbCT->setCurrentIndex(R.CT);

    ClockPanel->Populate(R);

    cbRTSpeed->setCurrentIndex(R.DRTS);

    if (R.FirmwareLevel() < FirmwareLevelDST) {
        SetControlsEnabled(gbSynchro, false, true);
        ClockPanel->SetLabel(TDialogueLabel::lbRTC_DDST, QStringLiteral("N/A"));
    } else {
        cbSynchro->setCurrentIndex(R.Sync);
        lbSynchro->setText(QStringLiteral("Synchro: ") + cbSynchro->currentText());
    }
}

void TMainForm::CollectEditor(TBRDSDataValidator& R)
{
    bool Ok = false;
    const unsigned PI = edPI_B->text().toUInt(&Ok, 16);
    R.PI = Ok ? static_cast<std::uint16_t>(PI) : 0;
    R.PS = Latin1(edPS_B->text());
    // A character the 8-bit code page cannot hold is a finding, never a silent "?".
    R.SourceFindings.clear();
    for (const auto& [Key, Edit] : {std::pair {"PS", edPS_B}, std::pair {"TEXT", edRT_B}, std::pair {"DPS", edDPS_B}})
        if (const char32_t C = Unencodable(Edit->text()))
            AddFieldAlert(R.SourceFindings, *FindFieldByKey(Key), Latin1(Edit->text()), UnencodableReason(C));

    R.PTY = static_cast<std::uint8_t>(cbPTY_B->currentIndex());
    R.TA = static_cast<std::uint8_t>(cbTA_B->currentIndex());
    R.TP = static_cast<std::uint8_t>(cbTP_B->currentIndex());
    R.TATime = ednxTATime_B->value();
    R.MS = static_cast<std::uint8_t>(cbMS_B->currentIndex());
    R.DIMS = static_cast<std::uint8_t>(cbDIMS_B->currentIndex());
    R.DIAH = static_cast<std::uint8_t>(cbDIAH_B->currentIndex());
    R.DICO = static_cast<std::uint8_t>(cbDICO_B->currentIndex());
    R.DIDS = static_cast<std::uint8_t>(cbDIDS_B->currentIndex());
    R.Mode = static_cast<std::uint8_t>(cbEncoderMode->currentIndex());

    R.RT = Latin1(edRT_B->text());
    R.DPS = Latin1(edDPS_B->text());
    R.DPSS = static_cast<std::uint8_t>(cbDPSOn_B->currentIndex());
    R.DPSParse = static_cast<std::uint8_t>(cbDPSParse_B->currentIndex());

    AFPanel->Collect(R);

    R.Phase = static_cast<std::int32_t>(std::lround(edPhase->value() * 10));
    R.CT = static_cast<std::uint8_t>(cbCT->currentIndex());

    ClockPanel->Collect(R);

    R.DRTS = static_cast<std::uint8_t>(cbRTSpeed->currentIndex());
    R.Sync = static_cast<std::uint8_t>(cbSynchro->currentIndex());
}

void TMainForm::ClearEditor()
{
    // What the editor shows is no longer the last read's.
    FHaveDeviceCopy = false;
    MarkActionsDirty();
    edPI_B->setText(QStringLiteral("----"));
    edCall_B->setText(QStringLiteral("----"));
    edPS_B->clear();
    edDPS_B->clear();
    edRT_B->clear();
    for (QComboBox* C : {cbDIMS_B, cbDIAH_B, cbDICO_B, cbDIDS_B, cbTA_B, cbTP_B, cbMS_B, cbPTY_B, cbPTYRBDS_B, cbCT,
             cbRTSpeed, cbDPSParse_B, cbDPSOn_B, cbEncoderMode, cbSynchro})
        C->setCurrentIndex(0);
    ednxTATime_B->setValue(0);
    for (QLabel* L : {lbHW, lbFW, lbSer, lbPilot, lbSynchro})
        L->clear();
    ClockPanel->Clear();
    AFPanel->Clear();
}

void TMainForm::SetEditorEnabled(bool Enabled)
{
    MarkActionsDirty();
    for (TGroupBox* G : {gbPI_B, gbPTY_B, gbPS_B, gbTATP_B, gbMS_B, gbDI_B, gbRT_B, gbDPS_B, gbAF, gbEncoderMode, gbCT,
             gbPhase, gbRTC, gbRTSpeed, gbSynchro})
        SetControlsEnabled(G, Enabled, true);
}

void TMainForm::edPI_BChange()
{
    // A box being emptied or edited is no error: the call letters follow
    // once it holds a hexadecimal number, and collect reads anything else as 0.
    const QString T = edPI_B->text();
    if (TFilterEdit::ShowsNothing(T))
        return;
    bool Ok = false;
    const unsigned PI = T.toUInt(&Ok, 16);
    if (!Ok)
        return;
    SetTextIfDifferent(edCall_B, FromLatin1(PIToCallLetters(static_cast<std::uint16_t>(PI))));
}

void TMainForm::edCall_BKeyUp()
{
    const QString T = edCall_B->text();
    if (T.isEmpty())
        return;
    const std::uint16_t PI = CallLettersToPI(Latin1(T));
    SetTextIfDifferent(edPI_B, PI ? QString::asprintf("%.4X", static_cast<unsigned>(PI)) : QStringLiteral("----"));
}

void TMainForm::cbPTY_BChange()
{
    cbPTYRBDS_B->setCurrentIndex(cbPTY_B->currentIndex());
}

void TMainForm::cbPTYRBDS_BChange()
{
    cbPTY_B->setCurrentIndex(cbPTYRBDS_B->currentIndex());
}

void TMainForm::edPS_BChange()
{
    cbDPSOn_BChange();
}

void TMainForm::edDPS_BChange()
{
    if (StrScr)
        StrScr->Str(Latin1(edDPS_B->text()));
}

void TMainForm::cbDPSOn_BChange()
{
    if (!StrScr)
        return;
    const int i = cbDPSOn_B->currentIndex();
    if (i > 0) {
        DPSTimer->setInterval(3000 - 300 * i);
        StrScr->Str(Latin1(edDPS_B->text()));
        StrScr->Parse(static_cast<std::uint8_t>(cbDPSParse_B->currentIndex()));
    } else {
        StrScr->Str(Latin1(edPS_B->text()));
        StrScr->Parse(0);
        DPSTimer->setInterval(500);
    }
}

void TMainForm::cbDPSParse_BChange()
{
    if (StrScr && cbDPSOn_B->currentIndex() >= 1)
        StrScr->Parse(static_cast<std::uint8_t>(cbDPSParse_B->currentIndex()));
}
