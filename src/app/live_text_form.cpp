#include "app/live_text_form.h"

#include "app/settings_form.h"
#include "dialogue/encoder_dialogue.h"

#include <QGroupBox>
#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* Section = "LiveText";

std::string Utf8(const QString& S)
{
    return S.toStdString();
}

QString FromUtf8(const std::string& S)
{
    return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size()));
}

std::string Number(double V)
{
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%g", V);
    return Buf;
}

QLabel* Caption(const QString& Text, QWidget* Parent, int X, int Y)
{
    auto* L = new QLabel(Text, Parent);
    L->move(X, Y + 3);
    L->adjustSize();
    return L;
}

QLineEdit* NewEdit(QWidget* Parent, int X, int Y, int W, const char* Name, const QString& Hint)
{
    auto* E = new QLineEdit(Parent);
    E->setObjectName(QString::fromLatin1(Name));
    E->setGeometry(X, Y, W, 21);
    E->setToolTip(Hint);
    E->setStatusTip(Hint);
    return E;
}

QDoubleSpinBox* NewSpin(QWidget* Parent, int X, int Y, const char* Name, double Max, double Value)
{
    auto* S = new QDoubleSpinBox(Parent);
    S->setObjectName(QString::fromLatin1(Name));
    S->setGeometry(X, Y, 90, 21);
    S->setRange(0.1, Max);
    S->setDecimals(1);
    S->setValue(Value);
    return S;
}

} // namespace

TLiveTextForm::TLiveTextForm(TEncoderDialogue& Dialogue, QWidget* AOwner) : TBaseForm(AOwner), FDialogue(Dialogue)
{
    setObjectName(QStringLiteral("LiveTextForm"));
    setWindowTitle(QStringLiteral("Live Text"));
    setFixedSize(440, 486);
    const QIcon Icon = ProgramIcon();
    if (!Icon.isNull())
        setWindowIcon(Icon);

    cbOn = new QCheckBox(QStringLiteral("Put the playout system's now-playing text on air"), this);
    cbOn->setObjectName(QStringLiteral("cbOn"));
    cbOn->setGeometry(12, 10, 416, 20);

    CreateInputsGroup();
    CreateTextGroup();
    CreateEncoderGroup();

    lbListening = new QLabel(QStringLiteral("Off"), this);
    lbListening->setObjectName(QStringLiteral("lbListening"));
    lbListening->setGeometry(12, 434, 416, 16);
    lbLastSent = new QLabel(this);
    lbLastSent->setObjectName(QStringLiteral("lbLastSent"));
    lbLastSent->setGeometry(12, 450, 330, 16);
    lbError = new QLabel(this);
    lbError->setObjectName(QStringLiteral("lbError"));
    lbError->setGeometry(12, 466, 330, 16);
    lbError->setStyleSheet(QStringLiteral("color: #b00000"));
    btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setGeometry(352, 454, 80, 25);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    SetCancelButton(btnClose);

    FServiceTimer = new QTimer(this);
    FServiceTimer->setSingleShot(true);
    connect(FServiceTimer, &QTimer::timeout, this, &TLiveTextForm::ServiceTimerTimer);
    connect(cbOn, &QCheckBox::clicked, this, &TLiveTextForm::cbOnClick);
}

void TLiveTextForm::CreateInputsGroup()
{
    auto* gbInputs
        = new QGroupBox(QStringLiteral("Inputs (an address and port, or a port on this machine only)"), this);
    gbInputs->setGeometry(8, 36, 424, 128);
    Caption(QStringLiteral("HTTP"), gbInputs, 10, 22);
    edHttp = NewEdit(gbInputs, 80, 22, 120, "edHttp", QStringLiteral("GET /?artist=A&title=T, /?text=T; GET /status"));
    Caption(QStringLiteral("TCP"), gbInputs, 220, 22);
    edTcp = NewEdit(gbInputs, 294, 22, 120, "edTcp", QStringLiteral("One update a line: a text, or KEY=value"));
    Caption(QStringLiteral("UDP"), gbInputs, 10, 50);
    edUdp = NewEdit(gbInputs, 80, 50, 120, "edUdp", QStringLiteral("One datagram is one line"));
    Caption(QStringLiteral("File"), gbInputs, 10, 78);
    edFile = NewEdit(gbInputs, 80, 78, 334, "edFile", QStringLiteral("The file's first line, whenever it changes"));
    auto* Example = new QLabel(QStringLiteral("Examples: 8080, 0.0.0.0:8080, [::1]:5000"), gbInputs);
    Example->setGeometry(80, 102, 334, 18);
    Example->setEnabled(false);
}

void TLiveTextForm::CreateTextGroup()
{
    auto* gbText = new QGroupBox(QStringLiteral("Text"), this);
    gbText->setGeometry(8, 170, 424, 152);
    Caption(QStringLiteral("Template"), gbText, 10, 22);
    edTemplate = NewEdit(gbText, 80, 22, 334, "edTemplate", QStringLiteral("{artist}, {title}, {text}"));
    edTemplate->setText(QString::fromLatin1(DefaultLiveTemplate));
    Caption(QStringLiteral("Skip if"), gbText, 10, 50);
    edSkipIf = new QPlainTextEdit(gbText);
    edSkipIf->setObjectName(QStringLiteral("edSkipIf"));
    edSkipIf->setGeometry(80, 50, 334, 38);
    edSkipIf->setToolTip(QStringLiteral("One FIELD~REGEX a line, for example title~^(ADV|JINGLE)"));
    Caption(QStringLiteral("Target"), gbText, 10, 94);
    cbTarget = new QComboBox(gbText);
    cbTarget->setObjectName(QStringLiteral("cbTarget"));
    cbTarget->setGeometry(80, 94, 200, 21);
    cbTarget->addItems(
        {QStringLiteral("RadioText"), QStringLiteral("Dynamic PS"), QStringLiteral("RadioText and dynamic PS")});
    Caption(QStringLiteral("Idle text"), gbText, 10, 122);
    edIdleText = NewEdit(gbText, 80, 122, 200, "edIdleText", QStringLiteral("Sent when no update came for a while"));
    Caption(QStringLiteral("after"), gbText, 290, 122);
    ednxIdleAfter = new QSpinBox(gbText);
    ednxIdleAfter->setObjectName(QStringLiteral("ednxIdleAfter"));
    ednxIdleAfter->setGeometry(324, 122, 90, 21);
    ednxIdleAfter->setRange(1, 86400);
    ednxIdleAfter->setValue(static_cast<int>(DefaultIdleAfter));
    ednxIdleAfter->setSuffix(QStringLiteral(" s"));
}

void TLiveTextForm::CreateEncoderGroup()
{
    auto* gbEncoder = new QGroupBox(QStringLiteral("Encoder and access"), this);
    gbEncoder->setGeometry(8, 328, 424, 102);
    Caption(QStringLiteral("At most one write every"), gbEncoder, 10, 22);
    ednxMinInterval = NewSpin(gbEncoder, 160, 22, "ednxMinInterval", 86400, 15);
    ednxMinInterval->setSuffix(QStringLiteral(" s"));
    Caption(QStringLiteral("Token"), gbEncoder, 10, 50);
    edToken
        = NewEdit(gbEncoder, 80, 50, 130, "edToken", QStringLiteral("HTTP: token=...; TCP: a first line TOKEN=..."));
    edToken->setEchoMode(QLineEdit::Password);
    Caption(QStringLiteral("Requests/s"), gbEncoder, 226, 50);
    ednxMaxRate = NewSpin(gbEncoder, 324, 50, "ednxMaxRate", 100000, 10);
    Caption(QStringLiteral("Allow"), gbEncoder, 10, 76);
    edAllow = NewEdit(gbEncoder, 80, 76, 334, "edAllow",
        QStringLiteral("Sources taken, ADDRESS/PREFIX (UDP takes this machine only without)"));
}

TLiveTextForm::~TLiveTextForm()
{
    RunCleanUp();
}

void TLiveTextForm::CleanUp()
{
    TBaseForm::CleanUp();
    SwitchOff();
}

std::vector<std::string> TLiveTextForm::Arguments() const
{
    std::vector<std::string> A;
    const auto Add = [&](const char* Name, const std::string& Value) {
        if (Value.empty())
            return;
        A.push_back(std::string("--") + Name);
        A.push_back(Value);
    };
    Add("http", Utf8(edHttp->text().trimmed()));
    Add("tcp", Utf8(edTcp->text().trimmed()));
    Add("udp", Utf8(edUdp->text().trimmed()));
    Add("file", Utf8(edFile->text().trimmed()));
    Add("template", Utf8(edTemplate->text()));
    for (const QString& Rule : edSkipIf->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        Add("skip-if", Utf8(Rule.trimmed()));
    static const char* const Targets[] = {"rt", "dps", "both"};
    Add("target", Targets[std::max(0, cbTarget->currentIndex())]);
    if (!edIdleText->text().isEmpty()) {
        Add("idle-text", Utf8(edIdleText->text()));
        Add("idle-after", std::to_string(ednxIdleAfter->value()));
    }
    Add("min-interval", Number(ednxMinInterval->value()));
    Add("token", Utf8(edToken->text()));
    for (const QString& P : edAllow->text().split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts))
        Add("allow", Utf8(P));
    Add("max-rate", Number(ednxMaxRate->value()));
    return A;
}

void TLiveTextForm::LoadFields(const TIniFile& Ini)
{
    const auto Text = [&](const char* Key, QLineEdit* E) {
        if (Ini.ValueExists(Section, Key))
            E->setText(FromUtf8(Ini.ReadString(Section, Key, "")));
    };
    Text("Http", edHttp);
    Text("Tcp", edTcp);
    Text("Udp", edUdp);
    Text("File", edFile);
    Text("Template", edTemplate);
    Text("IdleText", edIdleText);
    Text("Allow", edAllow);
    QStringList Rules;
    for (int i = 1; i <= Ini.ReadInteger(Section, "SkipIfCount", 0); ++i)
        Rules << FromUtf8(Ini.ReadString(Section, "SkipIf" + std::to_string(i), ""));
    edSkipIf->setPlainText(Rules.join(QLatin1Char('\n')));
    cbTarget->setCurrentIndex(std::clamp(Ini.ReadInteger(Section, "Target", 0), 0, 2));
    ednxIdleAfter->setValue(Ini.ReadInteger(Section, "IdleAfter", static_cast<int>(DefaultIdleAfter)));
    ednxMinInterval->setValue(std::atof(Ini.ReadString(Section, "MinInterval", "15").c_str()));
    ednxMaxRate->setValue(std::atof(Ini.ReadString(Section, "MaxRate", "10").c_str()));
}

void TLiveTextForm::SaveFields(TIniFile& Ini) const
{
    // The token stays out of the file: the configuration is readable by others.
    Ini.EraseSection(Section);
    Ini.WriteString(Section, "Http", Utf8(edHttp->text()));
    Ini.WriteString(Section, "Tcp", Utf8(edTcp->text()));
    Ini.WriteString(Section, "Udp", Utf8(edUdp->text()));
    Ini.WriteString(Section, "File", Utf8(edFile->text()));
    Ini.WriteString(Section, "Template", Utf8(edTemplate->text()));
    const QStringList Rules = edSkipIf->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    Ini.WriteInteger(Section, "SkipIfCount", static_cast<std::int32_t>(Rules.size()));
    for (int i = 0; i < Rules.size(); ++i)
        Ini.WriteString(Section, "SkipIf" + std::to_string(i + 1), Utf8(Rules[i]));
    Ini.WriteInteger(Section, "Target", cbTarget->currentIndex());
    Ini.WriteString(Section, "IdleText", Utf8(edIdleText->text()));
    Ini.WriteInteger(Section, "IdleAfter", ednxIdleAfter->value());
    Ini.WriteString(Section, "MinInterval", Number(ednxMinInterval->value()));
    Ini.WriteString(Section, "Allow", Utf8(edAllow->text()));
    Ini.WriteString(Section, "MaxRate", Number(ednxMaxRate->value()));
}

void TLiveTextForm::ShowError(const QString& Text)
{
    lbError->setText(Text);
    lbError->setToolTip(Text);
}

void TLiveTextForm::SetFieldsEnabled(bool Enabled)
{
    for (QWidget* W : std::initializer_list<QWidget*> {edHttp, edTcp, edUdp, edFile, edTemplate, edSkipIf, cbTarget,
             edIdleText, ednxIdleAfter, ednxMinInterval, edToken, edAllow, ednxMaxRate})
        W->setEnabled(Enabled);
}

bool TLiveTextForm::SwitchOn()
{
    if (FBridge)
        return true;
    std::vector<std::string> Args = {"--port", Port.empty() ? std::string("(none)") : Port};
    const std::vector<std::string> Fields = Arguments();
    Args.insert(Args.end(), Fields.begin(), Fields.end());
    TLiveOptions O;
    std::optional<std::string> Error = ParseLiveOptions(Args, O);
    if (!Error) {
        FInbox = std::make_shared<TLiveInbox>(O);
        Error = FInputs.Open(O, FInbox);
    }
    if (Error) {
        FInbox.reset();
        const QSignalBlocker Block(cbOn);
        cbOn->setChecked(false);
        ShowError(FromUtf8(*Error));
        return false;
    }
    FOptions = O;
    FBridge = std::make_unique<TLiveBridge>(FDialogue, FOptions, FInbox);
    FBridge->OnSent = [this](const TLiveSent& S) {
        ShowLastSent();
        if (OnSent)
            OnSent(S);
    };
    FInbox->SetReceiver([this](TLiveAccepted& A) {
        FBridge->Take(A);
        ServiceSoon();
    });
    QStringList Where;
    for (const std::string& A : FInputs.Addresses())
        Where << FromUtf8(A);
    lbListening->setText(QStringLiteral("Listening: ") + Where.join(QStringLiteral(", ")));
    lbListening->setToolTip(lbListening->text());
    QStringList Warnings;
    for (const std::string& W : LiveExposureWarnings(O))
        Warnings << FromUtf8(W);
    ShowError(Warnings.join(QLatin1Char('\n')));
    SetFieldsEnabled(false);
    const QSignalBlocker Block(cbOn);
    cbOn->setChecked(true);
    ServiceSoon();
    return true;
}

void TLiveTextForm::SwitchOff()
{
    FServiceTimer->stop();
    FInputs.Stop();
    FBridge.reset();
    FInbox.reset();
    SetFieldsEnabled(true);
    const QSignalBlocker Block(cbOn);
    cbOn->setChecked(false);
    lbListening->setText(QStringLiteral("Off"));
    lbListening->setToolTip(QString());
}

void TLiveTextForm::cbOnClick(bool Checked)
{
    if (Checked)
        SwitchOn();
    else
        SwitchOff();
}

void TLiveTextForm::ScriptProgress(const TScriptProgress& Progress)
{
    if (!FBridge)
        return;
    FBridge->ScriptProgress(Progress);
    if (Progress.Script == scNone)
        ServiceSoon();
}

void TLiveTextForm::StatusChanged()
{
    if (FBridge)
        ServiceSoon();
}

void TLiveTextForm::ServiceSoon()
{
    FServiceTimer->start(0);
}

void TLiveTextForm::ServiceTimerTimer()
{
    if (!FBridge)
        return;
    const std::int64_t Due = FBridge->Service();
    ShowLastSent();
    if (Due >= 0)
        FServiceTimer->start(static_cast<int>(std::min<std::int64_t>(Due, INT_MAX)));
}

void TLiveTextForm::ShowLastSent()
{
    if (!FBridge)
        return;
    const std::string& At = FBridge->SentAt();
    if (!At.empty())
        lbLastSent->setText(
            QStringLiteral("Last sent %1: %2").arg(FromUtf8(At.substr(11, 8)), FromUtf8(FBridge->SentText())));
    const QString Failed = FromUtf8(FBridge->LastError());
    if (!Failed.isEmpty())
        ShowError(QStringLiteral("The last write failed: ") + Failed);
}
