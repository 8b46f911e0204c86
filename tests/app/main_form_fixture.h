#pragma once
// The main window under test: message boxes and file dialogs answered from
// scripts, the configuration in a temporary folder, the port enumeration over
// an empty fixture tree, findings of a validation accepted without a window.

#include "app/main_form.h"
#include "platform/serve_until.h"
#include "platform/thread.h"
#include "support/tty_tree.h"

#include <QAbstractSpinBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable test failures.
inline void PrintTo(const QString& S, std::ostream* Os)
{
    *Os << '"' << S.toStdString() << '"';
}

class TTestForm : public TMainForm {
public:
    using TMainForm::TMainForm;

    std::vector<QString> Messages;
    std::deque<int> Answers; // modal results of the next message boxes; mrCancel when empty
    QString OpenName;
    QString SaveName;
    QString HelpFile; // empty: where the program looks for it

    QString HelpFileName() const override { return HelpFile.isEmpty() ? TMainForm::HelpFileName() : HelpFile; }

    int Message(const QString& Msg, TMsgDlgType, TMsgDlgButtons) override
    {
        Messages.push_back(Msg);
        if (Answers.empty())
            return mrCancel;
        const int A = Answers.front();
        Answers.pop_front();
        return A;
    }
    QString AskOpenFileName() override { return OpenName; }
    QString AskSaveFileName() override { return SaveName; }
    // File > Sites: the list chosen, the sites offered and the one picked.
    QString SiteListName;
    QStringList SitesOffered;
    int SitePicked = -1;
    QString AskSiteListName() override { return SiteListName; }
    int AskSite(const QStringList& Sites) override
    {
        SitesOffered = Sites;
        return SitePicked;
    }

    // What the window showed and allowed at every step of a script (the
    // actions decided there and then, as the next idle pass would).
    struct TStep {
        QString Status;
        bool Save, Revert, Defaults, Open, Ports;
    };
    std::vector<TStep> Steps;
    // Times the editor was collected into a record.
    int Collects = 0;
    void CollectEditor(TBRDSDataValidator& R) override
    {
        ++Collects;
        TMainForm::CollectEditor(R);
    }
    void ScriptProgress(const TScriptProgress& P) override
    {
        TMainForm::ScriptProgress(P);
        if (P.Script == scNone || P.Script == scClockRefresh)
            return;
        UpdateActions();
        Steps.push_back({StatusBar1->Info().Text, _ac_DeviceSave->isEnabled(), _ac_DeviceRevert->isEnabled(),
            _ac_DeviceDefaults->isEnabled(), _ac_FileOpen->isEnabled(), cbCOMS->isEnabled()});
    }
};

// Accepts every set of findings and counts the calls.
struct TCountingPresenter : TAlertPresenter {
    int Calls = 0;
    bool Answer = true;
    TAlertArray Last;
    bool PresentAlerts(const TAlertArray& Alerts) override
    {
        ++Calls;
        Last = Alerts;
        return Answer;
    }
};

// Serves events and worker hand-overs until Pred holds (bounded, so a broken
// build fails instead of hanging). The window's own events wake nobody: the
// sleeps between looks are short.
template <typename Pred>
bool Until(Pred P, int Seconds = 10)
{
    return ServeUntil(
        [&] {
            QCoreApplication::processEvents();
            return P();
        },
        DeadlineIn(std::int64_t(Seconds) * 1000), 5);
}

// A key pressed and released on W, as typing sends it.
inline void KeyClick(QWidget* W, int Key, Qt::KeyboardModifiers Mods = Qt::NoModifier, const QString& Text = {})
{
    QKeyEvent Press(QEvent::KeyPress, Key, Mods, Text);
    QCoreApplication::sendEvent(W, &Press);
    QKeyEvent Release(QEvent::KeyRelease, Key, Mods, Text);
    QCoreApplication::sendEvent(W, &Release);
}

// Types Text into W character by character.
inline void TypeKeys(QWidget* W, const QString& Text)
{
    for (QChar C : Text) {
        const int Key = C.isLetter() ? Qt::Key_A + (C.toUpper().unicode() - u'A') : C.unicode();
        KeyClick(W, Key, Qt::NoModifier, QString(C));
    }
}

// Replaces the text of a spin box by typing Text and pressing Enter.
inline void TypeIntoSpinBox(QAbstractSpinBox* Box, const QString& Text)
{
    Box->selectAll();
    for (QChar C : Text) {
        QKeyEvent Press(QEvent::KeyPress, 0, Qt::NoModifier, QString(C));
        QCoreApplication::sendEvent(Box, &Press);
    }
    QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(Box, &Enter);
}

// Runs the event loop alone (no direct serving of hand-overs) until Pred holds.
template <typename Pred>
bool UntilInEventLoop(Pred P, int Seconds = 10)
{
    QEventLoop L;
    QTimer Check;
    QObject::connect(&Check, &QTimer::timeout, &L, [&] {
        if (P())
            L.quit();
    });
    Check.start(10);
    QTimer::singleShot(Seconds * 1000, &L, &QEventLoop::quit);
    L.exec();
    return P();
}

// Lets the event loop run and go idle once, as between two user actions.
inline void RunIdle()
{
    QEventLoop L;
    QTimer::singleShot(20, &L, &QEventLoop::quit);
    L.exec();
}

struct TWindow {
    QTemporaryDir Conf;
    TTtyTree Tty;
    TCountingPresenter Presenter;
    std::unique_ptr<TTestForm> F;
    // Runs between show and PostInit (to answer questions PostInit asks).
    std::function<void(TTestForm&)> BeforePostInit;

    // The configuration and the program's state (the recovery file) live in
    // the test's own folder.
    TWindow()
    {
        qputenv("KVX_CONFIG_DIR", Conf.path().toLocal8Bit());
        qputenv("XDG_STATE_HOME", (Conf.path() + QStringLiteral("/state")).toLocal8Bit());
    }
    ~TWindow()
    {
        Close();
        SetAlertPresenter(nullptr);
        qunsetenv("KVX_CONFIG_DIR");
        qunsetenv("XDG_STATE_HOME");
    }

    // Creation, Init, show, PostInit: the program's start-up order.
    TTestForm& Start(const TStartupOptions& Options = {})
    {
        F = std::make_unique<TTestForm>(Options);
        F->SysRoot = Tty.Sys;
        F->DevRoot = Tty.Dev;
        F->Init();
        SetAlertPresenter(&Presenter);
        F->show();
        if (BeforePostInit)
            BeforePostInit(*F);
        F->PostInit();
        return *F;
    }
    // Destroys the window (its clean-up writes the configuration).
    void Close()
    {
        F.reset();
        TThread::CheckSynchronize(0);
    }
    TConfigData ReadConfig() const
    {
        TConfigData C {};
        TDMI().ReadConfig(C);
        return C;
    }
    void WriteConfig(const TConfigData& C) const { TDMI().WriteConfig(C); }
};
