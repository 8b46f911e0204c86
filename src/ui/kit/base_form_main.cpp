#include "ui/kit/base_form_main.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QStyleOption>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include "platform/version.h"
#include "ui/kit/foreground.h"
#include "ui/kit/help_file.h"
#include "ui/kit/help_window.h"
#include "ui/kit/progress_form.h"
#include "ui/kit/splash.h"

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

const QString TBaseFormMain::MakerEmail = QStringLiteral("support@trell-broadcast.example");
const QString TBaseFormMain::MakerWeb = QStringLiteral("https://www.trell-broadcast.example/");
const QString TBaseFormMain::MakerPhone = QStringLiteral("Tel.: +00 100 555 0100    Fax: +00 100 555 0199");
const QString TBaseFormMain::MakerAddress
    = QStringLiteral("TRELL Broadcast Ltd., 1 Transmitter Way, Exampleton EX1 0RD");

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
        l->setProperty(AboutFlagsProperty, flags);
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
    ArrangeAboutItems(*FAbout, font(), Items);
}

void TBaseFormMain::LabelWebClick(QObject*)
{
    OpenExternalUrl(QUrl(MakerWeb));
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
