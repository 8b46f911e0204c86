#include "ui/kit/base_form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
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
#include <QShortcut>
#include <QStyleOption>
#include <QTimer>
#include <QToolTip>
#include <QWindowStateChangeEvent>

#include "ui/kit/about_box.h"
#include "ui/kit/fonts.h"
#include "ui/kit/foreground.h"
#include "ui/kit/help_file.h"
#include "ui/kit/help_window.h"
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
} // namespace

TProgressFormEx* ProgressForm()
{
    return GProgressForm;
}

namespace {

// The application's style with the main window's hint pause (a tool tip
// shows once the mouse has rested this long on a control), and drop-down lists
// that keep to their number of visible rows and have a narrow arrow button.
class THintPauseStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(
        StyleHint Hint, const QStyleOption* Option, const QWidget* Widget, QStyleHintReturn* ReturnData) const override
    {
        if (Hint == SH_ToolTip_WakeUpDelay)
            return TBaseFormMain::HintPause;
        // Drop-down lists open below the box and show as many rows as they
        // are given (a long list scrolls), not every item over the screen.
        if (Hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(Hint, Option, Widget, ReturnData);
    }
    // A drop-down list's arrow button is kept narrow, so that the lists'
    // fixed widths hold their longest item in the window's font.
    QRect subControlRect(
        ComplexControl Control, const QStyleOptionComplex* Option, SubControl Sub, const QWidget* Widget) const override
    {
        QRect R = QProxyStyle::subControlRect(Control, Option, Sub, Widget);
        if (Control != CC_ComboBox || (Sub != SC_ComboBoxArrow && Sub != SC_ComboBoxEditField))
            return R;
        const int Gain
            = QProxyStyle::subControlRect(Control, Option, SC_ComboBoxArrow, Widget).width() - ComboArrowWidth;
        if (Gain <= 0)
            return R;
        const bool Rtl = Option->direction == Qt::RightToLeft;
        if (Sub == SC_ComboBoxArrow)
            return Rtl ? R.adjusted(0, 0, -Gain, 0) : R.adjusted(Gain, 0, 0, 0);
        return Rtl ? R.adjusted(-Gain, 0, 0, 0) : R.adjusted(0, 0, Gain, 0);
    }
    static constexpr int ComboArrowWidth = 15;
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

    // The single-instance guard's restore action: bring this window forward,
    // or, while a modal window is open, once the last one has closed (raising
    // the main window over its own modal dialog would hide the dialog behind a
    // window that takes no input).
    RestoreRequestWindow = this;
    RestoreRequestHandler = [] {
        if (auto* main = qobject_cast<TBaseFormMain*>(RestoreRequestWindow.data())) {
            main->FRaisePending = true;
            main->RaiseWhenNoModal();
        }
    };

    // F1: help on the control that has the focus.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] { _ac_HelpExecute(QApplication::focusWidget()); });

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

void TBaseFormMain::RaiseWhenNoModal()
{
    if (!FRaisePending || QApplication::activeModalWidget())
        return;
    FRaisePending = false;
    ForceForegroundWindow(window());
}

bool TBaseFormMain::eventFilter(QObject* Watched, QEvent* e)
{
    // A modal window closing may be the one a restore request waits for.
    if (FRaisePending && e->type() == QEvent::Hide && Watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(Watched);
        if (w->isWindow() && w->windowModality() != Qt::NonModal)
            QTimer::singleShot(0, this, &TBaseFormMain::RaiseWhenNoModal);
    }
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
    if (Watched->property(AboutFlagsProperty).isValid() && Watched->property("kvxLink").toBool()) {
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

void TBaseFormMain::_ac_HelpExecute(QObject* Sender)
{
    ShowHelp(HelpContextOf(Sender));
}

bool TBaseFormMain::ShowHelp(int HelpContext)
{
    const QString file = HelpFileName();
    if (file.isEmpty() || !QFileInfo(file).isFile()) {
        ShowMessage(QStringLiteral("Unable to locate Help file") + QStringLiteral("!"), mtError, mbOK, 0);
        return false;
    }
    if (!FHelpWindow)
        FHelpWindow = new THelpWindow(this); // a window of its own, freed with this one
    if (!FHelpWindow->ShowPage(file, HelpContext > 0 ? HelpContextAnchor(HelpContext) : QString())) {
        ShowMessage(QStringLiteral("Unable to read Help file ") + file + QStringLiteral("!"), mtError, mbOK, 0);
        return false;
    }
    FHelpWindow->show();
    FHelpWindow->raise();
    FHelpWindow->activateWindow();
    return true;
}
