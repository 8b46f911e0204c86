// Pre-flight window: blocking, confirming and informing alerts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QTimer>

#include "rds/data_validator.h"
#include "ui/kit/fonts.h"
#include "ui/rds/preflight_form.h"

namespace {

TAlertArray Alerts(std::initializer_list<TAlertType> Types)
{
    TAlertArray a;
    int n = 0;
    for (TAlertType t : Types) {
        ++n;
        AddAlert(a, t, "Issue " + std::to_string(n), "Description " + std::to_string(n));
    }
    return a;
}

// Runs the window modally and presses Save once its loop runs.
bool SaveThrough(TPreflightForm& Form, const TAlertArray& A)
{
    QTimer::singleShot(0, &Form, [&Form] { Form.btnSave->click(); });
    // Should Save do nothing, Cancel ends the loop so the test cannot hang.
    QTimer::singleShot(5000, &Form, [&Form] { Form.Button2->click(); });
    return Form.Execute(A);
}

} // namespace

TEST(PreflightForm, ListsAlertsAndShowsTheSelectedDescription)
{
    TPreflightForm f;
    EXPECT_EQ(f.windowTitle(), "Preflight");
    f.Load(Alerts({altInfo, altCancel, altInfo}));
    ASSERT_EQ(f.lvAlerts->topLevelItemCount(), 3);
    EXPECT_EQ(f.lvAlerts->topLevelItem(1)->text(1), "Issue 2");
    EXPECT_EQ(f.lvAlerts->topLevelItem(1)->text(0), "");
    EXPECT_FALSE(f.lvAlerts->topLevelItem(1)->icon(0).isNull());
    EXPECT_EQ(f.memDescr->toPlainText(), "Description 1"); // first row selected
    EXPECT_FALSE(f.btnSave->isEnabled());
    f.lvAlerts->setCurrentItem(f.lvAlerts->topLevelItem(1));
    EXPECT_EQ(f.memDescr->toPlainText(), "Description 2");
    f.lvAlerts->setCurrentItem(f.lvAlerts->topLevelItem(2));
    EXPECT_FALSE(f.btnSave->isEnabled());

    // Loading again starts afresh; an empty list leaves Save on.
    f.Load({});
    EXPECT_EQ(f.lvAlerts->topLevelItemCount(), 0);
    EXPECT_TRUE(f.memDescr->toPlainText().isEmpty());
    EXPECT_TRUE(f.btnSave->isEnabled());
}

TEST(PreflightForm, SaveAsksEachConfirmationUntilOneIsRefused)
{
    struct TCase {
        const char* Name;
        TAlertArray Alerts;
        std::vector<bool> Answers;
        bool Result;
        std::vector<QString> Asked;
    };
    const TCase cases[] = {
        {"only info", Alerts({altInfo, altInfo}), {}, true, {}},
        {"first refused", Alerts({altInfo, altConfirm, altConfirm}), {false}, false, {"Description 2\r\nContinue?"}},
        {"both accepted", Alerts({altConfirm, altInfo, altConfirm}), {true, true}, true,
            {"Description 1\r\nContinue?", "Description 3\r\nContinue?"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPreflightForm f;
        std::vector<QString> asked;
        f.OnConfirm = [&](const QString& Q) {
            asked.push_back(Q);
            return asked.size() <= c.Answers.size() && c.Answers[asked.size() - 1];
        };
        EXPECT_EQ(SaveThrough(f, c.Alerts), c.Result);
        EXPECT_EQ(asked, c.Asked);
    }
}

TEST(PreflightForm, InstalledPresenterShowsTheWindow)
{
    InstallPreflightPresenter();
    ASSERT_NE(GetAlertPresenter(), nullptr);
    QString shownTitle;
    int rows = -1;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TPreflightForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        shownTitle = form->windowTitle();
        rows = form->lvAlerts->topLevelItemCount();
        form->Button2->click();
    });
    // A window that did not show up as expected still ends the modal loop.
    QTimer::singleShot(5000, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    EXPECT_FALSE(GetAlertPresenter()->PresentAlerts(Alerts({altInfo, altConfirm})));
    EXPECT_EQ(shownTitle, "Preflight");
    EXPECT_EQ(rows, 2);
    SetAlertPresenter(nullptr);
}

TEST(PreflightForm, ConfirmationUsesTheProgramsMessageBox)
{
    TPreflightForm f;
    QString title, text, family;
    // Answers No in the first message box that comes up over the window.
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch.stop();
        title = box->windowTitle();
        text = box->text();
        family = box->font().family();
        box->button(QMessageBox::No)->click();
    });
    watch.start();
    EXPECT_FALSE(SaveThrough(f, Alerts({altConfirm})));
    EXPECT_EQ(title, "Confirm");
    EXPECT_EQ(text, "Description 1\nContinue?");
    EXPECT_EQ(family, WindowFont().family());
}

TEST(PreflightForm, FixedWindowWithFullWidthRows)
{
    TPreflightForm f;
    f.Load(Alerts({altInfo, altConfirm}));
    f.show();
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));
    // The selected row's highlight reaches the list's right edge.
    const QRect name = f.lvAlerts->visualItemRect(f.lvAlerts->topLevelItem(0));
    EXPECT_EQ(name.left(), 0);
    EXPECT_GE(name.right(), f.lvAlerts->viewport()->width() - 1);
    EXPECT_GE(f.lvAlerts->columnWidth(1), 300);
    EXPECT_EQ(f.lvAlerts->columnWidth(0), 22);
}
