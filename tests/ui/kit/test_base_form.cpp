#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "ui/kit/base_form_main.h"
#include "ui/kit/foreground.h"
#include "ui/kit/help_window.h"
#include "ui/kit/overlay.h"
#include "ui/kit/progress_form.h"
#include "ui/kit/splash.h"

namespace {

// Runs Action on the first modal window that shows up (polled, so it also
// catches a window opened by a nested event loop).
void OnModal(std::function<void(QWidget*)> Action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, Action = std::move(Action)] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            Action(w);
        }
    });
    timer->start();
}

QAbstractButton* ButtonOf(QWidget* box, QMessageBox::StandardButton b)
{
    return qobject_cast<QMessageBox*>(box)->button(b);
}

QStringList Log;

// A help page long enough to scroll: a title, three sections (two of them with
// a help context's anchor) and links inside and out of the page.
QString WriteHelpPage(const QTemporaryDir& Dir)
{
    QString html = QStringLiteral("<html><body><h1>Top</h1><p><a href=\"#ctx1\">to one</a></p>");
    const char* const Sections[][2]
        = {{"one", "<a name=\"ctx1\"></a>One"}, {"two", "<a name=\"ctx6\"></a>Two"}, {"three", "Three"}};
    for (const auto& S : Sections) {
        html += QStringLiteral("<h2 id=\"%1\">%2</h2>").arg(QLatin1String(S[0]), QLatin1String(S[1]));
        for (int i = 0; i < 60; ++i)
            html += QStringLiteral("<p>%1 paragraph %2</p>").arg(QLatin1String(S[0])).arg(i);
    }
    html += QStringLiteral("</body></html>");
    QString path = Dir.filePath(QStringLiteral("kvxc.html"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(html.toUtf8()) < 0)
        return QString();
    return path;
}

// The text of the block at the top of the help window's view.
std::string TopBlock(const THelpWindow& W)
{
    QCoreApplication::processEvents();
    return W.Browser()->cursorForPosition(QPoint(2, 2)).block().text().toStdString();
}

class TLevel1 : public TBaseForm {
public:
    using TBaseForm::TBaseForm;
    void Init() override
    {
        TBaseForm::Init();
        Log << "Init1";
    }
    void PostInit() override
    {
        TBaseForm::PostInit();
        Log << "PostInit1";
    }
    void CleanUp() override
    {
        TBaseForm::CleanUp();
        Log << "CleanUp1";
    }
};

class TLevel2 : public TLevel1 {
public:
    using TLevel1::TLevel1;
    void Init() override
    {
        TLevel1::Init();
        Log << "Init2";
    }
    void PostInit() override
    {
        TLevel1::PostInit();
        Log << "PostInit2";
    }
    void CleanUp() override
    {
        TLevel1::CleanUp();
        Log << "CleanUp2";
    }
};

class TMain : public TBaseFormMain {
public:
    using TBaseFormMain::TBaseFormMain;
    QString HelpFileName() const override { return HelpFile; }
    QString HelpFile = QStringLiteral("/nonexistent/kvxc.chm");
};

} // namespace

TEST(BaseForm, LifeCycleHooksRunInOrderAndCleanUpOnce)
{
    Log.clear();
    auto* f = new TLevel2;
    f->Init();
    f->show();
    f->PostInit();
    f->Free();
    EXPECT_EQ(Log, (QStringList {"Init1", "Init2", "PostInit1", "PostInit2", "CleanUp1", "CleanUp2"}));

    // deleteLater reaches the descendant's CleanUp too, once.
    Log.clear();
    QPointer<TLevel2> g = new TLevel2;
    g->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(g.isNull());
    EXPECT_EQ(Log, (QStringList {"CleanUp1", "CleanUp2"}));
}

TEST(BaseForm, ShowMessageReturnsTheButtonPressed)
{
    const struct {
        TMsgDlgButtons buttons;
        QMessageBox::StandardButton press;
        int result;
    } cases[] = {
        {mbOK, QMessageBox::Ok, mrOk},
        {mbYes | mbNo, QMessageBox::No, mrNo},
        {mbYes | mbNo | mbCancel, QMessageBox::Yes, mrYes},
        {mbAbort | mbRetry | mbIgnore, QMessageBox::Retry, mrRetry},
        {mbOK | mbCancel, QMessageBox::Cancel, mrCancel},
    };
    for (const auto& c : cases) {
        QString text;
        OnModal([&](QWidget* box) {
            text = qobject_cast<QMessageBox*>(box)->text();
            ButtonOf(box, c.press)->click();
        });
        EXPECT_EQ(TBaseForm::ShowMessage("Invalid COM Port!", mtError, c.buttons, 0), c.result);
        EXPECT_EQ(text, "Invalid COM Port!");
    }

    // The default button has the focus first: Enter presses it.
    OnModal([](QWidget* box) {
        EXPECT_EQ(qobject_cast<QMessageBox*>(box)->defaultButton(), ButtonOf(box, QMessageBox::No));
        ButtonOf(box, QMessageBox::No)->click();
    });
    EXPECT_EQ(TBaseForm::ShowMessage("Continue?", mtConfirmation, mbYes | mbNo, 0, mbNo), mrNo);
}

TEST(BaseForm, ShowModalReturnsTheResultSetAndShowUpWaitsForModalWindows)
{
    TBaseForm other;
    TBaseForm f;
    auto* ok = new QPushButton("OK", &f);
    f.SetButtonModalResult(ok, mrOk);
    OnModal([&](QWidget* w) {
        EXPECT_EQ(w, &f);
        other.ShowUp(); // a modal window is open: nothing happens
        EXPECT_FALSE(other.isVisible());
        ok->click();
    });
    EXPECT_EQ(f.ShowModal(), mrOk);
    EXPECT_FALSE(f.isVisible());

    OnModal([](QWidget* w) { w->close(); });
    EXPECT_EQ(f.ShowModal(), mrCancel);

    other.ShowUp();
    EXPECT_TRUE(other.isVisible());
}

TEST(BaseForm, TypeChangeTakesTheFirstPatternOfTheSelectedFilter)
{
    const QString filter = "Text files|*.txt|Settings files|*.kvx;*.bak|All files|*.*";
    const struct {
        int index;
        QString typed;
        QString expected;
    } cases[] = {
        {2, "station.txt", "station.kvx"}, {2, "station", "station.kvx"}, {1, "station.kvx", "station.txt"},
        {2, "my.dir/station", "my.dir/station.kvx"}, {9, "station.txt", "station.txt"}, // no such filter: unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(TBaseForm::TypeChange(filter, c.index, c.typed), c.expected) << c.typed.toStdString();
}

TEST(BaseForm, IndependentWindowHasNoParentButDiesWithItsOwner)
{
    auto* owner = new QWidget;
    QPointer<TBaseForm> f = TBaseForm::CreateIndependent(owner);
    EXPECT_TRUE(f->Independent());
    EXPECT_EQ(f->parentWidget(), nullptr);
    delete owner;
    EXPECT_TRUE(f.isNull());
}

TEST(BaseFormMain, AboutBoxIsBuiltOnceAndStacksItsLinesFromTheBottom)
{
    TMain m;
    m.CreateAbout();
    TSplash* about = m.About();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->size(), QSize(450, 330));
    const int children = about->children().size();
    m.CreateAbout();
    EXPECT_EQ(m.About(), about);
    EXPECT_EQ(about->children().size(), children);

    QList<QLabel*> labels;
    for (QObject* o : about->children())
        if (auto* l = qobject_cast<QLabel*>(o))
            labels << l;
    ASSERT_EQ(labels.size(), 7);
    EXPECT_TRUE(labels[0]->text().startsWith("Software Version: "));
    EXPECT_EQ(labels[1]->text(), "E-mail:");
    EXPECT_EQ(labels[3]->text(), "Web:");

    // Lines from the bottom up: version, e-mail, web, telephone, address.
    const int lines[] = {0, 1, 3, 5, 6};
    EXPECT_EQ(labels[0]->geometry().bottom() + 1, 330 - 15);
    for (int i = 1; i < 5; ++i) {
        QLabel* above = labels[lines[i]];
        QLabel* below = labels[lines[i - 1]];
        EXPECT_EQ(above->x(), 15);
        EXPECT_EQ(above->geometry().bottom() + 1, below->y() - 5) << above->text().toStdString();
    }
    // Links sit 5 px after their captions, on the same line, in aqua.
    for (int link : {2, 4}) {
        EXPECT_EQ(labels[link]->y(), labels[link - 1]->y());
        EXPECT_EQ(labels[link]->x(), labels[link - 1]->geometry().right() + 1 + 5);
        EXPECT_EQ(labels[link]->palette().color(QPalette::WindowText), QColor(0, 255, 255));
        EXPECT_TRUE(labels[link]->font().underline());
    }
    EXPECT_EQ(labels[0]->palette().color(QPalette::WindowText), QColor(Qt::white));

    auto* ok = about->findChild<QPushButton*>();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->geometry().right() + 1, 450 - 15);
    EXPECT_EQ(ok->geometry().bottom() + 1, 330 - 15);
}

TEST(BaseFormMain, AboutClosesWithOkAndMissingHelpFileIsReported)
{
    TMain m;
    OnModal([](QWidget* w) { w->findChild<QPushButton*>()->click(); });
    m._ac_AboutExecute(nullptr);
    EXPECT_FALSE(m.About()->isVisible());

    QString text;
    OnModal([&](QWidget* box) {
        text = qobject_cast<QMessageBox*>(box)->text();
        ButtonOf(box, QMessageBox::Ok)->click();
    });
    m._ac_HelpExecute(nullptr);
    EXPECT_EQ(text, "Unable to locate Help file!");
}

TEST(HelpWindow, FollowsAnchorsAndLocalLinksItselfAndSendsTheRestToTheLauncher)
{
    QTemporaryDir dir;
    const QString page = WriteHelpPage(dir);
    ASSERT_FALSE(page.isEmpty());
    THelpWindow w;
    QList<QUrl> launched;
    w.OnExternalLink = [&](const QUrl& Url) {
        launched << Url;
        return true;
    };
    w.show();

    const struct {
        const char* Anchor;
        const char* Top;
    } Cases[] = {{"ctx6", "Two"}, {"ctx1", "One"}, {"", "Top"}, {"ctx6", "Two"}, {"ctx99", "Top"}, {"three", "Three"}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Anchor);
        ASSERT_TRUE(w.ShowPage(page, QString::fromLatin1(C.Anchor)));
        EXPECT_EQ(TopBlock(w), C.Top);
    }

    // A link inside the page moves this window; one that leaves it goes to
    // the launcher and moves nothing.
    emit w.Browser()->anchorClicked(QUrl(QStringLiteral("#ctx1")));
    EXPECT_EQ(TopBlock(w), "One");
    emit w.Browser()->anchorClicked(QUrl(QStringLiteral("https://kvxc.example.org/help")));
    EXPECT_EQ(TopBlock(w), "One");
    EXPECT_EQ(launched, QList<QUrl> {QUrl(QStringLiteral("https://kvxc.example.org/help"))});

    EXPECT_FALSE(w.ShowPage(dir.filePath(QStringLiteral("missing.html")), QString()));
    EXPECT_EQ(w.File(), page);
}

TEST(HelpWindow, ALinkNoProgramCanOpenIsReported)
{
    // No launcher anywhere: an empty PATH and no browser named.
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path().toLocal8Bit());
    for (const char* name : {"BROWSER", "DEFAULT_BROWSER"})
        qunsetenv(name);
    QString text;
    OnModal([&](QWidget* box) {
        text = qobject_cast<QMessageBox*>(box)->text();
        ButtonOf(box, QMessageBox::Ok)->click();
    });
    const bool opened = OpenExternalUrl(QUrl(QStringLiteral("https://kvxc.example.org/")));
    qputenv("PATH", path);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(text.startsWith("Unable to open https://kvxc.example.org/!\n")) << text.toStdString();
}

TEST(BaseFormMain, HelpOpensItsOwnWindowOnTheSectionOfTheControlsContext)
{
    QTemporaryDir dir;
    TMain m;
    m.HelpFile = WriteHelpPage(dir);
    auto* group = new QWidget(&m);
    SetHelpContext(group, 6);
    auto* edit = new QLineEdit(group);
    auto* plain = new QLineEdit(&m);
    m.show();
    QApplication::setActiveWindow(&m);

    // The menu's Help (no context), a control inside a group with a context,
    // and F1 with the focus there or on a control without one.
    m._ac_HelpExecute(nullptr);
    ASSERT_NE(m.HelpWindow(), nullptr);
    EXPECT_TRUE(m.HelpWindow()->isVisible());
    EXPECT_EQ(TopBlock(*m.HelpWindow()), "Top");
    m._ac_HelpExecute(edit);
    EXPECT_EQ(TopBlock(*m.HelpWindow()), "Two");

    auto* f1 = m.findChild<QShortcut*>();
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1->key(), QKeySequence(Qt::Key_F1));
    for (auto [Focus, Top] : {std::pair<QWidget*, const char*> {edit, "Two"}, {plain, "Top"}, {edit, "Two"}}) {
        QApplication::setActiveWindow(&m);
        Focus->setFocus();
        emit f1->activated();
        EXPECT_EQ(TopBlock(*m.HelpWindow()), Top);
    }
    EXPECT_EQ(m.findChildren<THelpWindow*>().size(), 1);
}

TEST(BaseFormMain, OwnsTheSharedProgressWindowAndTheRestoreAction)
{
    EXPECT_EQ(ProgressForm(), nullptr);
    auto* m = new TMain;
    EXPECT_NE(ProgressForm(), nullptr);
    EXPECT_FALSE(ProgressForm()->isVisible());
    EXPECT_EQ(RestoreRequestWindow, m);

    // The restore action brings a minimised main window back.
    m->show();
    m->showMinimized();
    ASSERT_TRUE(RestoreRequestHandler);
    RestoreRequestHandler();
    EXPECT_FALSE(m->isMinimized());
    EXPECT_TRUE(m->isVisible());

    m->Free();
    EXPECT_EQ(ProgressForm(), nullptr);
    EXPECT_FALSE(RestoreRequestHandler);
}

TEST(BaseFormMain, ToolTipsShowAfterTheHintPause)
{
    auto* m = new TMain;
    auto* label = new QLabel(QStringLiteral("Hint"), m);
    EXPECT_EQ(label->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, label), TBaseFormMain::HintPause);
    EXPECT_EQ(TBaseFormMain::HintPause, 250);
    QStyle* wrapped = QApplication::style();
    m->Free();
    // A later main window keeps the style as it is: no proxy over a proxy.
    m = new TMain;
    EXPECT_EQ(QApplication::style(), wrapped);
    m->Free();
}
