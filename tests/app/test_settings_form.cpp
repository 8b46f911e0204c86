#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/settings_form.h"
#include "support/tty_tree.h"

namespace {

const char* const ById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// Three ports: a USB adapter with a stable link, a USB modem and a UART.
class SettingsForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tree.AddUsb("ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI", ById);
        Tree.AddUsb("ttyACM0", "cdc_acm", "2341", "0043", "Arduino", "Uno", "7563", "");
        Tree.AddUart("ttyS0");
    }

    // What the main window does: populate, show the page of tag 0, run the
    // dialog modally and take the result over on OK. Steps run inside the
    // dialog's modal loop.
    int EditSettings(TConfigData& Config, const std::function<void(TSettingsForm&)>& Steps)
    {
        auto* form = new TSettingsForm(nullptr, Tree.Sys, Tree.Dev);
        form->PopulateSettings(&Config);
        form->SetPage(0);
        QTimer::singleShot(0, form, [&] { Steps(*form); });
        const int result = form->ShowModal();
        if (result == mrOk)
            form->CollectSettings(&Config);
        form->Free();
        return result;
    }

    static QStringList Items(const QComboBox* Box)
    {
        QStringList items;
        for (int i = 0; i < Box->count(); ++i)
            items << Box->itemText(i);
        return items;
    }

    TTtyTree Tree;
};

void Choose(TSettingsForm& F, const char* Port)
{
    const int i = F.cbCOMS->findText(QString::fromLatin1(Port));
    ASSERT_GT(i, 0) << Port;
    F.cbCOMS->setCurrentIndex(i);
}

TEST_F(SettingsForm, LaidOutAsDesigned)
{
    TSettingsForm f(nullptr, Tree.Sys, Tree.Dev);
    EXPECT_EQ(f.windowTitle(), "Settings");
    EXPECT_EQ(f.size(), QSize(510, 300));
    EXPECT_EQ(f.minimumSize(), f.maximumSize()); // not resizable
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(f.font().families().value(0), "Tahoma");
    EXPECT_EQ(f.font().pointSize(), 8);

    EXPECT_EQ(f.tvMain->geometry(), QRect(0, 0, 150, 300));
    EXPECT_EQ(f.tvMain->indentation(), 19);
    EXPECT_EQ(f.tvMain->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(f.tvMain->rootIsDecorated());
    ASSERT_EQ(f.tvMain->topLevelItemCount(), 1);
    EXPECT_EQ(f.tvMain->topLevelItem(0)->text(0), "Device");
    EXPECT_EQ(f.pcSettings->geometry(), QRect(156, 4, 348, 256));
    EXPECT_EQ(f.pcSettings->Caption(0), "Device");
    EXPECT_EQ(f.TabSheet1->Tag, 0);

    EXPECT_EQ(f.Label1->text(), "Port");
    EXPECT_EQ(f.Label1->pos(), QPoint(12, 15));
    EXPECT_EQ(f.cbCOMS->geometry(), QRect(38, 12, 206, 21));
    EXPECT_FALSE(f.cbCOMS->isEditable());
    EXPECT_EQ(f.btnRefreshCOM->geometry(), QRect(250, 12, 23, 22));

    struct Button {
        QPushButton* B;
        const char* Text;
        QRect Bounds;
    };
    for (const Button& b :
        {Button {f.btnOK(), "OK", QRect(251, 267, 75, 25)}, Button {f.btnDefault(), "Default", QRect(334, 267, 85, 25)},
            Button {f.btnCancel(), "Cancel", QRect(427, 267, 75, 25)}}) {
        EXPECT_EQ(b.B->text(), b.Text);
        EXPECT_EQ(b.B->geometry(), b.Bounds) << b.Text;
    }

    // Tab order: tree, the page's controls, OK, Default, Cancel.
    const std::vector<QWidget*> wanted
        = {f.tvMain, f.cbCOMS, f.btnRefreshCOM, f.edReplyTimeout, f.btnOK(), f.btnDefault(), f.btnCancel()};
    std::vector<QWidget*> order;
    QWidget* w = f.tvMain;
    do {
        if (std::find(wanted.begin(), wanted.end(), w) != wanted.end())
            order.push_back(w);
        w = w->nextInFocusChain();
    } while (w != f.tvMain && order.size() < wanted.size());
    EXPECT_EQ(order, wanted);
}

TEST_F(SettingsForm, OpenChooseDefaultRefreshAndClose)
{
    const TConfigData used = {100, 50, 1024, 700, true, "ttyUSB0"};
    const std::string link = Tree.Dev + "/serial/by-id/" + ById;
    struct Case {
        const char* What;
        TConfigData Start;
        std::function<void(TSettingsForm&)> Steps;
        int Result;
        TConfigData Expected;
    };
    const Case cases[] = {
        {"first run: OK keeps the defaults", DefConfigData, [](TSettingsForm& f) { f.btnOK()->click(); }, mrOk,
            DefConfigData},
        {"OK keeps the whole record", used, [](TSettingsForm& f) { f.btnOK()->click(); }, mrOk, used},
        {"Default then OK clears port and position only", used,
            [](TSettingsForm& f) {
                f.btnDefault()->click();
                EXPECT_EQ(f.ModalResult(), mrNone); // Default does not close the dialog
                f.btnOK()->click();
            },
            mrOk, {0, 0, 1024, 700, true, ""}},
        {"Default then Cancel changes nothing", used,
            [](TSettingsForm& f) {
                f.btnDefault()->click();
                f.btnCancel()->click();
            },
            mrCancel, used},
        {"Escape cancels", used,
            [](TSettingsForm& f) {
                Choose(f, "ttyS0");
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&f, &esc);
            },
            mrCancel, used},
        {"closing the window cancels", used, [](TSettingsForm& f) { f.close(); }, mrCancel, used},
        {"choose then OK", DefConfigData,
            [](TSettingsForm& f) {
                Choose(f, "ttyS0");
                f.btnOK()->click();
            },
            mrOk, {0, 0, 800, 600, false, "ttyS0"}},
        {"choose, refresh, OK stores no port", used,
            [](TSettingsForm& f) {
                Choose(f, "ttyACM0");
                f.btnRefreshCOM->click();
                f.btnOK()->click();
            },
            mrOk, {100, 50, 1024, 700, true, ""}},
        {"N/A means no port", {0, 0, 800, 600, false, "N/A"}, [](TSettingsForm& f) { f.btnOK()->click(); }, mrOk,
            DefConfigData},
        {"a typed link is kept as typed", {0, 0, 800, 600, false, link}, [](TSettingsForm& f) { f.btnOK()->click(); },
            mrOk, {0, 0, 800, 600, false, link}},
        {"a port now absent is kept", {0, 0, 800, 600, false, "ttyUSB9"}, [](TSettingsForm& f) { f.btnOK()->click(); },
            mrOk, {0, 0, 800, 600, false, "ttyUSB9"}},
        {"the reply time-out: 0 waits without end", used,
            [](TSettingsForm& f) {
                EXPECT_EQ(f.edReplyTimeout->text(), "5 s");
                f.edReplyTimeout->setValue(0);
                EXPECT_EQ(f.edReplyTimeout->text(), "wait without end");
                f.btnOK()->click();
            },
            mrOk, {100, 50, 1024, 700, true, "ttyUSB0", 0}},
        {"Default puts the reply time-out back", {0, 0, 800, 600, false, "", 30},
            [](TSettingsForm& f) {
                EXPECT_EQ(f.edReplyTimeout->value(), 30);
                f.btnDefault()->click();
                f.btnOK()->click();
            },
            mrOk, DefConfigData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TConfigData config = c.Start;
        EXPECT_EQ(EditSettings(config, c.Steps), c.Result);
        EXPECT_EQ(config, c.Expected);
    }
}

TEST_F(SettingsForm, PortListWithToolTipsAndAKeptPort)
{
    TSettingsForm f(nullptr, Tree.Sys, Tree.Dev);
    EXPECT_EQ(Items(f.cbCOMS), (QStringList {"N/A", "ttyACM0", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(f.cbCOMS->currentIndex(), 0);

    const QString usb = f.cbCOMS->itemData(3, Qt::ToolTipRole).toString();
    EXPECT_TRUE(usb.contains("Maker: FTDI\nProduct: FT232R USB UART\nSerial number: A50285BI")) << usb.toStdString();
    EXPECT_TRUE(usb.endsWith(QString::fromStdString(Tree.Dev + "/serial/by-id/" + ById))) << usb.toStdString();
    EXPECT_TRUE(f.cbCOMS->itemData(2, Qt::ToolTipRole).toString().contains("Driver: serial8250"));

    // The closed list shows the chosen port's facts.
    f.cbCOMS->setCurrentIndex(3);
    EXPECT_EQ(f.cbCOMS->toolTip(), usb);

    // A configured port that is not present is listed after the ports, chosen,
    // and survives a refresh, which chooses "N/A".
    TConfigData config = DefConfigData;
    config.CONN_PORT = "ttyUSB9";
    f.PopulateSettings(&config);
    EXPECT_EQ(f.cbCOMS->currentText(), "ttyUSB9");
    EXPECT_TRUE(f.cbCOMS->toolTip().endsWith("Not present"));
    Tree.AddUsb("ttyUSB1", "pl2303", "067b", "2303", "Prolific", "USB-Serial", "", "");
    f.btnRefreshCOM->click();
    EXPECT_EQ(Items(f.cbCOMS), (QStringList {"N/A", "ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1", "ttyUSB9"}));
    EXPECT_EQ(f.cbCOMS->currentIndex(), 0);
    EXPECT_EQ(f.cbCOMS->toolTip(), "");
}

TEST_F(SettingsForm, RefreshPictureShowsItsFourStates)
{
    // No picture compiled in: a plain button that still works.
    TSettingsForm f(nullptr, Tree.Sys, Tree.Dev);
    if (!QFile::exists(":/PNG_REFRESH")) {
        EXPECT_TRUE(f.btnRefreshCOM->Pictures().isNull());
    }

    QTemporaryDir tmp;
    QImage strip(64, 16, QImage::Format_ARGB32);
    const QColor colours[4] = {Qt::red, Qt::gray, Qt::blue, Qt::green};
    {
        QPainter p(&strip);
        for (int i = 0; i < 4; ++i)
            p.fillRect(i * 16, 0, 16, 16, colours[i]);
    }
    const QString file = tmp.filePath("refresh.png");
    ASSERT_TRUE(strip.save(file));
    TPictureButton b;
    b.resize(23, 22);
    b.LoadPictures(file);
    auto drawn = [&b] { return b.grab().toImage().pixelColor(11, 11); };

    EXPECT_EQ(b.PictureIndex(), 0);
    EXPECT_EQ(drawn(), colours[0]);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&b, &enter);
    EXPECT_EQ(drawn(), colours[3]);
    b.setDown(true);
    EXPECT_EQ(drawn(), colours[2]);
    b.setEnabled(false);
    EXPECT_EQ(drawn(), colours[1]);
    b.setEnabled(true);
    b.setDown(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&b, &leave);
    EXPECT_EQ(drawn(), colours[0]);

    b.LoadPictures(":/NO_SUCH_PICTURE");
    EXPECT_TRUE(b.Pictures().isNull());
}

} // namespace
