#include "ui/kit/base_form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>
#include <QUrl>
#include <QWindowStateChangeEvent>

#include "rds/common.h"
#include "ui/kit/fonts.h"
#include "ui/kit/foreground.h"
#include "ui/kit/help_file.h"
#include "ui/kit/progress_form.h"
#include "ui/kit/splash.h"

// ---------------------------------------------------------------- TBaseForm

TBaseForm::TBaseForm(QWidget* AOwner) : QWidget(AOwner, Qt::Window)
{
    setFont(WindowFont());
}

TBaseForm::~TBaseForm()
{
    // Descendants' parts are gone by now: only the base hook can run here.
    if (!FCleanedUp) {
        FCleanedUp = true;
        TBaseForm::CleanUp();
    }
    if (FModalLoop)
        FModalLoop->quit();
}

void TBaseForm::MakeIndependent(QWidget* AOwner)
{
    FIndependent = true;
    if (AOwner)
        connect(AOwner, &QObject::destroyed, this, &TBaseForm::Free);
}

void TBaseForm::RunCleanUp()
{
    if (FCleanedUp)
        return;
    FCleanedUp = true;
    CleanUp();
}

void TBaseForm::Free()
{
    RunCleanUp();
    delete this;
}

bool TBaseForm::event(QEvent* e)
{
    // deleteLater (and close with WA_DeleteOnClose) arrive here while the
    // whole object still exists, so the descendant's CleanUp can run.
    if (e->type() == QEvent::DeferredDelete)
        RunCleanUp();
    return QWidget::event(e);
}

void TBaseForm::SetModalResult(int Value)
{
    FModalResult = Value;
    if (Value != mrNone && FModalLoop)
        FModalLoop->quit();
}

int TBaseForm::ShowModal()
{
    if (FModalLoop)
        return mrNone; // already modal
    FModalResult = mrNone;
    const Qt::WindowModality oldModality = windowModality();
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide(); // modality takes effect on show
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    FModalLoop = &loop;
    QPointer<TBaseForm> self(this);
    if (FModalResult == mrNone)
        loop.exec(QEventLoop::DialogExec);
    if (!self)
        return mrCancel;
    FModalLoop = nullptr;
    hide();
    setWindowModality(oldModality);
    return FModalResult;
}

void TBaseForm::SetButtonModalResult(QAbstractButton* Button, int Result)
{
    connect(Button, &QAbstractButton::clicked, this, [this, Result] { SetModalResult(Result); });
}

void TBaseForm::closeEvent(QCloseEvent* e)
{
    if (FModalLoop && FModalResult == mrNone)
        SetModalResult(mrCancel);
    QWidget::closeEvent(e);
}

void TBaseForm::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && FDefaultButton && FDefaultButton->isEnabled()
        && FDefaultButton->isVisible()) {
        FDefaultButton->click();
        return;
    }
    if (e->key() == Qt::Key_Escape && FCancelButton && FCancelButton->isEnabled() && FCancelButton->isVisible()) {
        FCancelButton->click();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TBaseForm::ShowUp()
{
    if (QApplication::activeModalWidget())
        return;
    show();
    raise();
    activateWindow();
}

int ModalResultOf(TMsgDlgBtn Button)
{
    switch (Button) {
    case mbYes:
        return mrYes;
    case mbNo:
        return mrNo;
    case mbOK:
        return mrOk;
    case mbCancel:
        return mrCancel;
    case mbAbort:
        return mrAbort;
    case mbRetry:
        return mrRetry;
    case mbIgnore:
        return mrIgnore;
    case mbAll:
        return mrAll;
    case mbNoToAll:
        return mrNoToAll;
    case mbYesToAll:
        return mrYesToAll;
    case mbHelp:
        return mrHelp;
    case mbClose:
        return mrClose;
    }
    return mrNone;
}

namespace {

struct ButtonInfo {
    TMsgDlgBtn Btn;
    QMessageBox::StandardButton Std;
};

const ButtonInfo ButtonTable[] = {
    {mbYes, QMessageBox::Yes},
    {mbNo, QMessageBox::No},
    {mbOK, QMessageBox::Ok},
    {mbCancel, QMessageBox::Cancel},
    {mbAbort, QMessageBox::Abort},
    {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore},
    {mbAll, QMessageBox::YesToAll},
    {mbNoToAll, QMessageBox::NoToAll},
    {mbYesToAll, QMessageBox::YesToAll},
    {mbHelp, QMessageBox::Help},
    {mbClose, QMessageBox::Close},
};

QString DialogTitle(TMsgDlgType t)
{
    switch (t) {
    case mtWarning:
        return QStringLiteral("Warning");
    case mtError:
        return QStringLiteral("Error");
    case mtInformation:
        return QStringLiteral("Information");
    case mtConfirmation:
        return QStringLiteral("Confirm");
    case mtCustom:
        break;
    }
    return QCoreApplication::applicationName();
}

} // namespace

int TBaseForm::ShowMessage(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx)
{
    return ShowMessage(Msg, DlgType, Buttons, HelpCtx, TMsgDlgBtn(0));
}

int TBaseForm::ShowMessage(
    const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton)
{
    (void)HelpCtx; // message boxes have no help file behind them
    QMessageBox box;
    box.setFont(WindowFont());
    box.setWindowTitle(DialogTitle(DlgType));
    box.setText(Msg);
    switch (DlgType) {
    case mtWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case mtError:
        box.setIcon(QMessageBox::Critical);
        break;
    case mtInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case mtConfirmation:
        box.setIcon(QMessageBox::Question);
        break;
    case mtCustom:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    // Buttons are added one by one (not as standard-button flags) so that
    // "All" and "Yes to All" stay two buttons with their own results.
    QList<QPair<QAbstractButton*, int>> results;
    for (const ButtonInfo& b : ButtonTable) {
        if (!(Buttons & b.Btn))
            continue;
        QAbstractButton* btn = nullptr;
        if (b.Btn == mbAll)
            btn = box.addButton(QStringLiteral("&All"), QMessageBox::AcceptRole);
        else
            btn = box.addButton(b.Std);
        results.append({btn, ModalResultOf(b.Btn)});
        if (b.Btn == DefaultButton)
            box.setDefaultButton(qobject_cast<QPushButton*>(btn));
        if (b.Btn == mbCancel || (b.Btn == mbNo && !(Buttons & mbCancel))
            || (b.Btn == mbOK && !(Buttons & (mbCancel | mbNo))))
            box.setEscapeButton(btn);
    }
    if (results.isEmpty())
        results.append({box.addButton(QMessageBox::Ok), mrOk});
    box.adjustSize();
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect g = s->availableGeometry();
        box.move(g.center() - QPoint(box.width() / 2, box.height() / 2));
    }
    box.exec();
    QAbstractButton* pressed = box.clickedButton();
    for (const auto& r : results) {
        if (r.first == pressed)
            return r.second;
    }
    return mrCancel;
}

QString TBaseForm::TypeChange(const QString& Filter, int FilterIndex, const QString& FileName)
{
    const QStringList parts = Filter.split(QLatin1Char('|'));
    const int idx = 2 * FilterIndex - 1;
    if (idx < 0 || idx >= parts.size())
        return FileName;
    QString ext = parts[idx].section(QLatin1Char(';'), 0, 0);
    ext.remove(QLatin1Char('*'));
    // Replace the typed name's extension (the part after its last dot, when
    // that dot lies in the file name and not in a folder name).
    const int slash = std::max(FileName.lastIndexOf(QLatin1Char('/')), FileName.lastIndexOf(QLatin1Char('\\')));
    const int dot = FileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > slash ? FileName.left(dot) : FileName;
    return base + ext;
}

void TBaseForm::TypeChange(QFileDialog* Dialog)
{
    if (!Dialog)
        return;
    const QStringList filters = Dialog->nameFilters();
    const int index = filters.indexOf(Dialog->selectedNameFilter());
    if (index < 0)
        return;
    // Build the "name|patterns|..." form from Qt's "Name (patterns)" filters.
    QStringList flat;
    for (const QString& f : filters) {
        const int open = f.lastIndexOf(QLatin1Char('('));
        const int close = f.lastIndexOf(QLatin1Char(')'));
        QString pattern = open >= 0 && close > open ? f.mid(open + 1, close - open - 1) : f;
        pattern.replace(QLatin1Char(' '), QLatin1Char(';'));
        flat << f << pattern;
    }
    const QStringList typed = Dialog->selectedFiles();
    const QString name = typed.isEmpty() ? QString() : QFileInfo(typed.first()).fileName();
    if (name.isEmpty())
        return;
    Dialog->selectFile(TypeChange(flat.join(QLatin1Char('|')), index + 1, name));
}

// ------------------------------------------------------------ TBaseFormMain

namespace {
TProgressFormEx* GProgressForm = nullptr;
const char* const FlagsProperty = "kvxAboutFlags";
} // namespace

TProgressFormEx* ProgressForm()
{
    return GProgressForm;
}

namespace {

// The application's style with the main window's hint pause: a tool tip
// shows once the mouse has rested this long on a control.
class THintPauseStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(
        StyleHint Hint, const QStyleOption* Option, const QWidget* Widget, QStyleHintReturn* ReturnData) const override
    {
        if (Hint == SH_ToolTip_WakeUpDelay)
            return TBaseFormMain::HintPause;
        return QProxyStyle::styleHint(Hint, Option, Widget, ReturnData);
    }
};

} // namespace

void InstallHintPause()
{
    QStyle* current = QApplication::style();
    if (!current || dynamic_cast<THintPauseStyle*>(current))
        return;
    // The proxy takes the current style over, so the look stays as it is.
    QApplication::setStyle(new THintPauseStyle(current));
}

const QString TBaseFormMain::MakerEmail = QStringLiteral("support@trell-broadcast.example");
const QString TBaseFormMain::MakerWeb = QStringLiteral("https://www.trell-broadcast.example/");
const QString TBaseFormMain::MakerPhone = QStringLiteral("Tel.: +00 100 555 0100    Fax: +00 100 555 0199");
const QString TBaseFormMain::MakerAddress
    = QStringLiteral("TRELL Broadcast Ltd., 1 Transmitter Way, Exampleton EX1 0RD");

TBaseFormMain::TBaseFormMain(QWidget* AOwner) : TBaseForm(AOwner)
{
    // The shared progress window, owned by no one; freed in CleanUp.
    delete GProgressForm;
    GProgressForm = new TProgressFormEx(nullptr);
    GProgressForm->OnShow = [] {};
    GProgressForm->OnHide = [] {};

    // Minimise arrives through changeEvent; deactivation of the application:
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        FDeactivateLink = connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
            if (s == Qt::ApplicationInactive)
                AppDeactivate();
        });
    }

    // The single-instance guard's restore action: bring this window forward.
    RestoreRequestWindow = this;
    RestoreRequestHandler = [] {
        if (RestoreRequestWindow)
            ForceForegroundWindow(RestoreRequestWindow->window());
    };

    // Tool tips of the whole program pass AppShowHint first, after the hint pause.
    InstallHintPause();
    qApp->installEventFilter(this);
}

TBaseFormMain::~TBaseFormMain()
{
    RunCleanUp(); // a main window deleted directly still frees the progress window
    qApp->removeEventFilter(this);
    if (FHandCursor) {
        QApplication::restoreOverrideCursor();
        FHandCursor = false;
    }
    if (RestoreRequestWindow == this || !RestoreRequestWindow) {
        RestoreRequestHandler = nullptr;
        RestoreRequestWindow = nullptr;
    }
}

void TBaseFormMain::PostInit()
{
    TBaseForm::PostInit();
    ShowUp();
}

void TBaseFormMain::CleanUp()
{
    disconnect(FDeactivateLink);
    delete GProgressForm;
    GProgressForm = nullptr;
    TBaseForm::CleanUp();
}

void TBaseFormMain::changeEvent(QEvent* e)
{
    TBaseForm::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMinimized())
        AppMinimize();
}

bool TBaseFormMain::eventFilter(QObject* Watched, QEvent* e)
{
    if (e->type() == QEvent::ToolTip && Watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(Watched);
        auto* he = static_cast<QHelpEvent*>(e);
        QString hint = w->toolTip();
        if (hint.isEmpty())
            return false;
        bool canShow = true;
        const QString before = hint;
        AppShowHint(hint, canShow, he);
        if (!canShow) {
            QToolTip::hideText();
            return true;
        }
        if (hint != before) {
            QToolTip::showText(he->globalPos(), hint, w);
            return true;
        }
        return false;
    }
    if (Watched->property(FlagsProperty).isValid() && Watched->property("kvxLink").toBool()) {
        switch (e->type()) {
        case QEvent::MouseButtonRelease:
            LabelWebClick(Watched);
            return true;
        case QEvent::Enter:
            LabelMouseEnter(Watched);
            break;
        case QEvent::Leave:
            LabelMouseLeave(Watched);
            break;
        default:
            break;
        }
    }
    return TBaseForm::eventFilter(Watched, e);
}

QString TBaseFormMain::HelpFileName() const
{
    return FindHelpFile(QCoreApplication::applicationFilePath());
}

void TBaseFormMain::_ac_HelpExecute(QObject*)
{
    const QString file = HelpFileName();
    if (!file.isEmpty() && QFileInfo(file).isFile()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(file));
        return;
    }
    ShowMessage(QStringLiteral("Unable to locate Help file") + QStringLiteral("!"), mtError, mbOK, 0);
}

void TBaseFormMain::_ac_AboutExecute(QObject*)
{
    CreateAbout();
    FAbout->ShowModal();
}

void TBaseFormMain::CreateAbout()
{
    if (FAbout)
        return;
    const QImage picture(QStringLiteral(":/PNG_ABOUT"));
    FAbout = new TSplash(this);
    FAbout->CreateSplash(picture);
    BuildAbout();
}

void TBaseFormMain::BuildAbout()
{
    auto label = [this](const QString& text, unsigned flags, bool link) {
        auto* l = new QLabel(text, FAbout);
        l->setProperty(FlagsProperty, flags);
        if (link) {
            l->setProperty("kvxLink", true);
            QFont f = l->font();
            f.setUnderline(true);
            l->setFont(f);
            QPalette pal = l->palette();
            pal.setColor(QPalette::WindowText, QColor(0x00, 0xFF, 0xFF)); // aqua
            l->setPalette(pal);
            l->installEventFilter(this);
        }
        return TAboutItem {l, flags};
    };

    const QString version = QString::fromStdString(GetVersionString("%d.%d.%d.%d"));
    QList<TAboutItem> items;
    items << label(QStringLiteral("Software Version") + QStringLiteral(": ") + version, afNewLine, false);
    items << label(QStringLiteral("E-mail:"), afNewLine, false);
    items << label(MakerEmail, afOwnColor | afSameLine, true);
    items << label(QStringLiteral("Web:"), afNewLine, false);
    items << label(MakerWeb, afOwnColor | afSameLine, true);
    items << label(MakerPhone, afNewLine, false);
    items << label(MakerAddress, afNewLine, false);

    auto* ok = new QPushButton(QStringLiteral("OK"), FAbout);
    ok->setFont(font());
    ok->adjustSize();
    FAbout->SetDefaultButton(ok);
    FAbout->SetCancelButton(ok);
    FAbout->SetButtonModalResult(ok, mrOk);
    ok->move(FAbout->width() - ok->width() - 15, FAbout->height() - ok->height() - 15);
    items << TAboutItem {ok, afOwnAnchors | afNoPosition};

    ArrangeAbout(items);
}

void TBaseFormMain::ArrangeAbout(const QList<TAboutItem>& Items)
{
    int y = FAbout->height();
    int x = 15;
    for (int i = 0; i < Items.size(); ++i) {
        QWidget* c = Items[i].Control;
        const unsigned flags = Items[i].Flags;
        c->setParent(FAbout);
        if (auto* l = qobject_cast<QLabel*>(c)) {
            // The main window's face with the label's own style (underline).
            QFont f = font();
            f.setUnderline(l->font().underline());
            f.setBold(l->font().bold());
            f.setItalic(l->font().italic());
            l->setFont(f);
            QPalette pal = l->palette();
            if (!(flags & afOwnColor))
                pal.setColor(QPalette::WindowText, Qt::white);
            l->setPalette(pal);
            l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            l->setAutoFillBackground(false);
            l->setAttribute(Qt::WA_TranslucentBackground, true);
            l->adjustSize();
        }
        if (!(flags & afNoPosition)) {
            if (flags & afNewLine)
                c->move(15, y - c->height() - (i == 0 ? 15 : 5));
            else if (flags & afSameLine)
                c->move(x, y);
            y = c->y();
            x = c->x() + c->width() + 5;
        }
        c->show();
    }
}

void TBaseFormMain::LabelWebClick(QObject*)
{
    QDesktopServices::openUrl(QUrl(MakerWeb));
    if (FAbout)
        FAbout->SetModalResult(mrCancel);
}

void TBaseFormMain::LabelMouseEnter(QObject*)
{
    if (!FHandCursor) {
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
        FHandCursor = true;
    }
}

void TBaseFormMain::LabelMouseLeave(QObject*)
{
    if (FHandCursor) {
        QApplication::restoreOverrideCursor();
        FHandCursor = false;
    }
}
