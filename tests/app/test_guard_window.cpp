// The single-instance guard with the real main window: a second copy of the
// program started while the first one has a modal window open.
#ifndef KVXC_PATH
#error "KVXC_PATH must name the program file the tests run"
#endif

#include "main_form_fixture.h"

#include "app/single_instance.h"
#include "support/child_process.h"
#include "support/qt_wait.h"
#include "ui/rds/preflight_form.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct TSecondCopy {
    int Code = -3;
    QByteArray Err;
};

// Runs a second copy of the program in the same session. This process, the
// first copy, keeps serving its event loop meanwhile, inside whatever modal
// window is open.
TSecondCopy RunSecondCopy(const QString& Runtime)
{
    TChildProcess P;
    if (!P.Start(KVXC_PATH, {}, {"XDG_RUNTIME_DIR=" + Runtime.toStdString()}))
        return {};
    if (!WaitFor([&] { return !P.Running(); }, 30000))
        return {};
    return {P.ExitCode(), QByteArray::fromStdString(P.Err())};
}

} // namespace

TEST(GuardWithWindow, SecondCopyWhileAModalWindowIsOpenRaisesTheFirstAfterItCloses)
{
    QTemporaryDir Runtime;
    const QByteArray OldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    {
        TWindow W;
        TTestForm& F = W.Start();
        ASSERT_TRUE(IsFirstInstance());

        TAlertArray Findings;
        TAlert Finding;
        Finding.Name = "A finding";
        Finding.Description = "Its description";
        Findings.push_back(Finding);
        const std::pair<const char*, std::function<void()>> Modals[] = {
            {"settings", [&] { F._ac_Settings->trigger(); }},
            {"pre-flight window",
                [&] {
                    TPreflightForm P(&F);
                    P.Execute(Findings);
                }},
            {"message box",
                [] { TBaseForm::ShowMessage(QStringLiteral("A question"), mtConfirmation, mbYes | mbNo, 0); }},
        };
        for (const auto& [Name, Open] : Modals) {
            SCOPED_TRACE(Name);
            F.showMinimized();
            ASSERT_TRUE(WaitFor([&] { return F.isMinimized(); }));
            const int Before = RestoreRequestsReceived();
            QWidget* Modal = nullptr;
            TSecondCopy Second;
            bool RaisedWhileModal = true;
            QTimer::singleShot(0, [&] {
                Modal = QApplication::activeModalWidget();
                Second = RunSecondCopy(Runtime.path());
                // The request arrives and is served while the modal window stays.
                WaitFor([&] { return RestoreRequestsReceived() > Before; });
                WaitFor([] { return false; }, 200);
                RaisedWhileModal = !F.isMinimized();
                if (QWidget* M = QApplication::activeModalWidget())
                    M->close();
            });
            Open();
            ASSERT_NE(Modal, nullptr);
            EXPECT_EQ(Second.Code, 0);
            EXPECT_TRUE(Second.Err.contains("already runs in this session")) << Second.Err.toStdString();
            EXPECT_TRUE(Second.Err.contains("asked to come to the front")) << Second.Err.toStdString();
            EXPECT_EQ(RestoreRequestsReceived(), Before + 1);
            EXPECT_FALSE(RaisedWhileModal);
            // Once the modal window has closed, the first copy comes forward.
            EXPECT_TRUE(WaitFor([&] { return !F.isMinimized() && F.isVisible(); }));
            EXPECT_FALSE(F.RaisePending());
        }
        FinalizeSingleInstance();
    }
    qputenv("XDG_RUNTIME_DIR", OldRuntime);
}
