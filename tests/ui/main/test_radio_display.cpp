#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <gtest/gtest.h>

#include <string>

#include "rds/string_scroller.h"
#include "ui/main/radio_display.h"

namespace {

// The display window of the radio picture, where the text goes.
const QRect kWindow(200, 60, 166, 31);

bool IsWhite(QRgb p)
{
    return p == 0xFFFFFFFFu;
}

// Which of the eight character cells at (205 + 20 i, 65) hold white ink, as
// '#' (ink) or '.' (none); '!' marks white ink outside every cell.
std::string InkedCells(const QImage& buf)
{
    std::string cells(8, '.');
    for (int y = kWindow.top(); y <= kWindow.bottom(); ++y)
        for (int x = kWindow.left(); x <= kWindow.right(); ++x) {
            if (!IsWhite(buf.pixel(x, y)))
                continue;
            const int i = (x - TRadioDisplay::kTextX) / 20, off = (x - TRadioDisplay::kTextX) % 20;
            const bool inCell = x >= TRadioDisplay::kTextX && i < 8 && off < 14 && y >= TRadioDisplay::kTextY
                && y < TRadioDisplay::kTextY + 20;
            if (!inCell)
                return "!";
            cells[static_cast<std::size_t>(i)] = '#';
        }
    return cells;
}

void PumpEvents()
{
    QDeadlineTimer deadline(200);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(RadioPicture, HasTransparentCornersAndADarkDisplayWindow)
{
    const QImage radio(QStringLiteral(":/PNG_RADIO1"));
    ASSERT_EQ(radio.size(), QSize(492, 153));
    for (const QPoint corner : {QPoint(0, 0), QPoint(491, 0), QPoint(0, 152), QPoint(491, 152)})
        EXPECT_EQ(radio.pixel(corner) & 0xFFFFFFu, 0xFF00FFu) << corner.x() << "," << corner.y();
    for (int y = kWindow.top(); y <= kWindow.bottom(); ++y)
        for (int x = kWindow.left(); x <= kWindow.right(); ++x)
            ASSERT_LT(qGray(radio.pixel(x, y)), 48) << x << "," << y;
}

TEST(RadioDisplay, PaintsThePictureOnWhiteWithMagentaLeftOut)
{
    TRadioDisplay display;
    EXPECT_EQ(display.size(), QSize(492, 152));
    EXPECT_EQ(display.Font().Count(), 101);
    display.pb32radioPaintBuffer();
    const QImage& buf = display.Buffer();
    ASSERT_EQ(buf.size(), QSize(492, 152));
    EXPECT_EQ(buf.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(buf.pixel(491, 151), 0xFFFFFFFFu);
    for (int y = 0; y < buf.height(); ++y)
        for (int x = 0; x < buf.width(); ++x) {
            const QRgb p = buf.pixel(x, y);
            ASSERT_EQ(qAlpha(p), 255);
            ASSERT_NE(p & 0xFFFFFFu, 0xFF00FFu) << x << "," << y;
        }
    // No scroller, and a scroller before its first frame: the picture alone.
    EXPECT_EQ(InkedCells(buf), "........");
    TStringScroller scroller;
    scroller.Str("WELCOME");
    display.Scroller(&scroller);
    display.pb32radioPaintBuffer();
    EXPECT_EQ(display.Buffer(), buf);
}

TEST(RadioDisplay, TimerStepsOnlyWithAScrollerWhileConnected)
{
    TRadioDisplay display;
    EXPECT_FALSE(display.DPSTimerTimer(true)) << "a tick without a scroller does nothing";

    TStringScroller scroller;
    scroller.Parse(1);
    scroller.Str("AB CDEFGHIJ");
    display.Scroller(&scroller);
    EXPECT_FALSE(display.DPSTimerTimer(false));
    EXPECT_EQ(scroller.LastScrollStr(), "");

    EXPECT_TRUE(display.DPSTimerTimer(true));
    EXPECT_EQ(scroller.LastScrollStr(), "AB CDEFG");
    display.pb32radioPaintBuffer();
    EXPECT_EQ(InkedCells(display.Buffer()), "##.#####");
    const QImage shown = display.Buffer();

    // Disconnected: edits reach the scroller but the display keeps its frame.
    scroller.Str("X");
    EXPECT_FALSE(display.DPSTimerTimer(false));
    display.pb32radioPaintBuffer();
    EXPECT_EQ(display.Buffer(), shown);

    EXPECT_TRUE(display.DPSTimerTimer(true));
    display.pb32radioPaintBuffer();
    EXPECT_EQ(InkedCells(display.Buffer()), "#.......");

    // The scroller is let go before it is freed: the picture alone again.
    display.Scroller(nullptr);
    EXPECT_FALSE(display.DPSTimerTimer(true));
    display.pb32radioPaintBuffer();
    EXPECT_EQ(InkedCells(display.Buffer()), "........");
}

// Shows the display on the screen and steps it through a few frames; with
// KVX_SCREENSHOT_DIR set the frames are saved there to be looked at.
TEST(RadioDisplay, ShowsItsFramesOnScreen)
{
    TRadioDisplay display;
    TStringScroller scroller;
    display.Scroller(&scroller);
    display.show();
    const QString dir = qEnvironmentVariable("KVX_SCREENSHOT_DIR");
    struct Step {
        const char* name;
        int parse;
        const char* text;
        int ticks;
        const char* cells; // the cells that show white ink
    } steps[] = {
        {"radio_ps", 0, "RADIO 1", 1, "#####.#."},
        {"radio_dps1", 0, "NEWS AT NINE ON THE HOUR", 1, "####.##."},
        {"radio_dps2", 0, "NEWS AT NINE ON THE HOUR", 1, "####.##."},
        {"radio_dps3", 9, "BROADCASTING ~ 87.6", 2, "########"},
        {"radio_chars", 1, "a-z {0} @#$%&*?!", 1, "###.###."},
    };
    for (const Step& s : steps) {
        scroller.Parse(static_cast<std::uint8_t>(s.parse));
        scroller.Str(s.text);
        for (int i = 0; i < s.ticks; ++i)
            display.DPSTimerTimer(true);
        PumpEvents();
        const QImage shot = display.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(InkedCells(shot), s.cells) << s.name;
        if (dir.isEmpty())
            continue;
        // On a real display, what the screen shows; offscreen, the widget's own rendering.
        const bool onScreen = QGuiApplication::platformName() != QStringLiteral("offscreen");
        const QImage seen = onScreen ? display.screen()->grabWindow(display.winId()).toImage() : shot;
        seen.save(QDir(dir).filePath(QString::fromLatin1(s.name) + QStringLiteral(".png")));
    }
}
