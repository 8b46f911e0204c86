#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "ui/kit/base_form.h"
#include "ui/kit/foreground.h"
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
