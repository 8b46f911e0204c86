#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <gtest/gtest.h>

#include <functional>

#include "support/qt_wait.h"
#include "ui/kit/splash.h"

namespace {

QImage Picture(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::darkBlue);
    return img;
}

} // namespace

TEST(Splash, DefaultsAndPictureSize)
{
    TSplash s;
    EXPECT_EQ(s.Y(), -1);
    EXPECT_EQ(s.Color(), QColor(Qt::white));
    EXPECT_TRUE(s.Text().isEmpty());
    EXPECT_FALSE(s.ProgressVisible());
    EXPECT_FALSE(s.isVisible());

    s.CreateSplash(Picture(450, 330));
    EXPECT_EQ(s.size(), QSize(450, 330));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(s.pos(), QPoint((screen.width() - 450) / 2, (screen.height() - 330) / 2));

    // A picture larger than the screen stays centred on the screen's middle.
    s.CreateSplash(Picture(screen.width() + 200, screen.height() + 100));
    EXPECT_EQ(s.pos(), QPoint(-100, -50));
}

TEST(Splash, ProgressWrapsAtOneHundred)
{
    TSplash s;
    const int expected[] = {30, 60, 90, 0};
    for (int want : expected) {
        s.DoProgress(30);
        EXPECT_EQ(s.Progress(), want);
        EXPECT_TRUE(s.ProgressVisible());
    }
    s.StopProgress();
    EXPECT_FALSE(s.ProgressVisible());
    EXPECT_EQ(s.Progress(), 0);
}

TEST(Splash, SameTextRequestsNoRepaint)
{
    TSplash s;
    s.SetText("Starting...");
    const int n = s.RepaintRequests();
    s.SetText("Starting...");
    EXPECT_EQ(s.RepaintRequests(), n);
    s.SetText("Loading...");
    EXPECT_EQ(s.RepaintRequests(), n + 1);
}

TEST(Splash, PaintsTextAndProgressLineOnlyWithText)
{
    TSplash s;
    s.CreateSplash(Picture(300, 100));
    s.SetY(20);
    s.DoProgress(99);
    const QColor back = QColor(Qt::darkBlue);
    auto hasWhite = [](const QImage& img, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == QColor(Qt::white))
                    return true;
        return false;
    };
    // No text: neither text nor line.
    QImage img = s.grab().toImage();
    EXPECT_FALSE(hasWhite(img, 0, img.height()));
    EXPECT_EQ(img.pixelColor(0, 0), back);

    // A long text gets a one-pixel line under it, 5 px below the text.
    s.SetText(QString(40, QChar('W')));
    img = s.grab().toImage();
    EXPECT_TRUE(hasWhite(img, 20, 40));
    int lineRows = 0;
    for (int y = 21; y < img.height(); ++y) {
        int run = 0;
        for (int x = 0; x < img.width(); ++x)
            run = img.pixelColor(x, y) == QColor(Qt::white) ? run + 1 : run;
        if (run > 150)
            ++lineRows; // only the progress line is that long and solid
    }
    EXPECT_EQ(lineRows, 1);
}

TEST(Splash, DelayedHideRestartsOnASecondCall)
{
    TSplash s;
    s.CreateSplash(Picture(50, 50));
    s.ShowSplash();
    ASSERT_TRUE(s.isVisible());

    s.HideSplash(60000);
    EXPECT_TRUE(s.HidePending());
    EXPECT_TRUE(s.isVisible());
    // A second call replaces the long delay by a short one.
    s.HideSplash(10);
    EXPECT_TRUE(WaitFor([&] { return !s.isVisible(); }));
    EXPECT_FALSE(s.HidePending());

    s.ShowSplash();
    s.HideSplash(0);
    EXPECT_FALSE(s.isVisible());
}

TEST(Pictures, CompiledInWithTheirSizes)
{
    const struct {
        const char* name;
        QSize size;
    } pictures[] = {
        {":/PNG_ABOUT", {450, 330}},
        {":/HELP", {16, 16}},
        {":/IL8X8", {16, 8}},
        {":/ALERT_ICONS", {48, 16}},
    };
    for (const auto& p : pictures) {
        const QImage img(QString::fromLatin1(p.name));
        EXPECT_EQ(img.size(), p.size) << p.name;
    }
    // Marker 1 of the 8 x 8 sheet is a blue disc: its middle is blue, its
    // corner transparent.
    const QImage sheet(QStringLiteral(":/IL8X8"));
    const QColor mid = sheet.pixelColor(8 + 1, 4);
    EXPECT_GT(mid.blue(), mid.red() + 60);
    EXPECT_EQ(sheet.pixelColor(8, 0).alpha(), 0);
}
