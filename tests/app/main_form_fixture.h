#pragma once
// The main window under test: message boxes and file dialogs answered from
// scripts, the configuration in a temporary folder, the port enumeration over
// an empty fixture tree, findings of a validation accepted without a window.

#include "app/main_form.h"
#include "platform/thread.h"
#include "support/tty_tree.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <deque>
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
// build fails instead of hanging).
template <typename Pred>
bool Until(Pred P, int Seconds = 10)
{
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
    while (!P()) {
        if (std::chrono::steady_clock::now() > End)
            return P();
        QCoreApplication::processEvents();
        TThread::CheckSynchronize(5);
    }
    return true;
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

    TWindow() { qputenv("KVX_CONFIG_DIR", Conf.path().toLocal8Bit()); }
    ~TWindow()
    {
        Close();
        SetAlertPresenter(nullptr);
        qunsetenv("KVX_CONFIG_DIR");
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
