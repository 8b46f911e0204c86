#include <QImage>
#include <gtest/gtest.h>

#include <string>

#include "ui/main/custom_font.h"

namespace {

constexpr QRgb kNone = 0x000000u;
constexpr QRgb kFill = 0xFFFFFFu;

QImage Sheet()
{
    return QImage(QStringLiteral(":/PNG_8X5"));
}

TCustomFont SheetFont()
{
    return TCustomFont(6, 14, Sheet(), kNone, kFill);
}

QImage Canvas(QRgb fill = 0xFF204060u)
{
    QImage img(420, 40, QImage::Format_ARGB32);
    img.fill(fill);
    return img;
}

// The x positions of columns holding at least one pixel of colour c.
std::string InkColumns(const QImage& img, QRgb c)
{
    std::string cols(static_cast<std::size_t>(img.width()), '.');
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == c)
                cols[static_cast<std::size_t>(x)] = '#';
    return cols;
}

} // namespace

TEST(GlyphSheet, FollowsItsFormat)
{
    const QImage sheet = Sheet();
    ASSERT_EQ(sheet.size(), QSize(320, 110));
    EXPECT_FALSE(sheet.hasAlphaChannel());
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x) {
            const QRgb p = sheet.pixel(x, y) & 0xFFFFFFu;
            const int cx = x % 16, cy = y % 22;
            if (cx >= 14 || cy >= 20) {
                ASSERT_EQ(p, 0xFF00FFu) << "separator at " << x << "," << y;
                continue;
            }
            ASSERT_TRUE(p == 0 || p == 0xFFFFFFu) << "cell pixel at " << x << "," << y;
            // Ink only on the dots, and each dot whole: 2 x 2 pixels on a 3-pixel pitch.
            if (cx % 3 == 2 || cy % 3 == 2) {
                ASSERT_EQ(p, 0u) << "ink between dots at " << x << "," << y;
            } else {
                const int dx = x - cx % 3, dy = y - cy % 3;
                ASSERT_EQ(p, sheet.pixel(dx, dy) & 0xFFFFFFu) << "broken dot at " << x << "," << y;
            }
        }
    // Codes 33-126 carry ink, 127-132 are empty.
    for (int code = 33; code <= 132; ++code) {
        const int r = (code - 33) / 20, k = (code - 33) % 20;
        bool ink = false;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 14; ++x)
                ink = ink || (sheet.pixel(16 * k + x, 22 * r + y) & 0xFFFFFFu) != 0;
        EXPECT_EQ(ink, code <= 126) << "code " << code;
    }
}

TEST(CustomFont, CutsTheSheetIntoTheSpaceAndOneGlyphPerCell)
{
    const TCustomFont font = SheetFont();
    ASSERT_EQ(font.Count(), 101);
    const TCustomGlyph* space = font.GetGlyph(0);
    EXPECT_EQ(space->Char(), 32);
    EXPECT_EQ(space->Width(), 14);
    EXPECT_EQ(space->Height(), 0);
    EXPECT_TRUE(space->Bitmap().isNull());
    for (int i = 1; i < font.Count(); ++i) {
        const TCustomGlyph* g = font.GetGlyph(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(g->Char(), 32 + i);
        EXPECT_EQ(g->Width(), 14);
        EXPECT_EQ(g->Height(), 20);
        EXPECT_EQ(g->Color(), 0xFFFFFFFFu);
        if (g->Char() <= 126) {
            // The ink box lies in the glyph's own cell.
            EXPECT_EQ(g->X() - g->MarginLeft(), 16 * ((i - 1) % 20));
            EXPECT_EQ(g->Y() - g->MarginTop(), 22 * ((i - 1) / 20));
            EXPECT_EQ(g->Bitmap().size(), QSize(g->InkWidth(), g->InkHeight()));
        } else {
            EXPECT_TRUE(g->Bitmap().isNull());
        }
    }
    EXPECT_EQ(font.GetGlyph(-1), nullptr);
    EXPECT_EQ(font.GetGlyph(101), nullptr);
}

TEST(CustomFont, InkBoxesAndMargins)
{
    const TCustomFont font = SheetFont();
    struct Case {
        char c;
        int w, h, l, r, t, b;
    } cases[] = {
        {'!', 2, 20, 6, 6, 0, 0},
        {'~', 14, 14, 0, 0, 3, 3}, // the right arrow
        {'-', 14, 2, 0, 0, 9, 9},
        {'.', 5, 5, 3, 6, 15, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.c);
        const TCustomGlyph* g = font.FindGlyph(static_cast<std::uint8_t>(c.c));
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->Char(), static_cast<std::uint8_t>(c.c));
        EXPECT_EQ(g->InkWidth(), c.w);
        EXPECT_EQ(g->InkHeight(), c.h);
        EXPECT_EQ(g->MarginLeft(), c.l);
        EXPECT_EQ(g->MarginRight(), c.r);
        EXPECT_EQ(g->MarginTop(), c.t);
        EXPECT_EQ(g->MarginBottom(), c.b);
    }
    // The glyph's own bitmap: opaque white on the dots, fully transparent between.
    const QImage& bang = font.FindGlyph('!')->Bitmap();
    EXPECT_EQ(bang.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bang.pixel(1, 2), 0x00000000u);
    EXPECT_EQ(bang.pixel(1, 15), 0x00000000u); // the gap above the point
    EXPECT_EQ(bang.pixel(0, 19), 0xFFFFFFFFu);
}

TEST(CustomFont, BytesWithoutAGlyphFallBackToTheSpace)
{
    const TCustomFont font = SheetFont();
    for (const int c : {0, 10, 31, 32, 133, 200, 255})
        EXPECT_EQ(font.FindGlyph(static_cast<std::uint8_t>(c)), font.GetGlyph(0)) << c;
    EXPECT_EQ(font.FindGlyph('A')->Char(), 'A');

    // A font without a sheet still has its space, so every text draws blank.
    const TCustomFont empty(6, 14, QImage(), kNone, kFill);
    EXPECT_EQ(empty.Count(), 1);
    EXPECT_EQ(empty.FindGlyph('A'), empty.GetGlyph(0));
    QImage canvas = Canvas();
    const QImage before = canvas;
    empty.DrawString(0, 0, canvas, "ABC", 0xFFFFFFFFu);
    EXPECT_EQ(canvas, before);
}

// Every character advances 14 + 6 pixels; blanks, unknown bytes and the empty
// codes 127-132 advance the same without ink.
TEST(CustomFont, DrawStringPlacesEachCellTwentyPixelsOn)
{
    const TCustomFont font = SheetFont();
    QImage canvas = Canvas();
    font.DrawString(5, 10, canvas, "HHHHHHHH", 0xFFFFFFFFu);
    const std::string cols = InkColumns(canvas, 0xFFFFFFFFu);
    for (int i = 0; i < 8; ++i) {
        const int x = 5 + 20 * i;
        SCOPED_TRACE(i);
        // "H" has ink in every dot column: the cell is x .. x + 13.
        EXPECT_EQ(cols.substr(static_cast<std::size_t>(x), 14), "##.##.##.##.##") << cols;
        EXPECT_EQ(cols.substr(static_cast<std::size_t>(x + 14), 6), "......");
    }
    EXPECT_EQ(cols.find('#', 5 + 160), std::string::npos);

    QImage reference = Canvas();
    font.DrawString(5, 10, reference, "H H", 0xFFFFFFFFu);
    for (const std::string& blank :
        {std::string("\xC8"), std::string("\x7F"), std::string("\x84"), std::string(1, '\0'), std::string("\n")}) {
        QImage img = Canvas();
        font.DrawString(5, 10, img, "H" + blank + "H", 0xFFFFFFFFu);
        EXPECT_EQ(img, reference) << int(static_cast<unsigned char>(blank[0]));
    }
}

TEST(CustomFont, DrawStringBlendsTheColourOverTheDestination)
{
    const TCustomFont font = SheetFont();
    QImage canvas = Canvas(0x00000000u); // fully transparent
    canvas.setPixel(6, 1, 0x80112233u);  // under an ink dot of "!"
    const QImage before = canvas;
    font.DrawString(0, 0, canvas, "", 0xFF00FF00u);
    EXPECT_EQ(canvas, before) << "an empty text draws nothing";

    font.DrawString(0, 0, canvas, "!", 0x80FF0000u);
    // Ink replaces the destination by the colour, fully opaque; the colour's own
    // alpha plays no part, the glyph's alpha does.
    EXPECT_EQ(canvas.pixel(6, 0), 0xFFFF0000u);
    EXPECT_EQ(canvas.pixel(6, 1), 0xFFFF0000u);
    EXPECT_EQ(canvas.pixel(7, 19), 0xFFFF0000u);
    EXPECT_EQ(canvas.pixel(6, 2), 0x00000000u) << "between dots the destination stays";
    EXPECT_EQ(canvas.pixel(8, 0), 0x00000000u);
    // The colour is applied while drawing; the glyph keeps its white bitmap.
    EXPECT_EQ(font.FindGlyph('!')->Bitmap().pixel(0, 0), 0xFFFFFFFFu);
    font.DrawString(0, 0, canvas, "!", 0xFF0000FFu);
    EXPECT_EQ(canvas.pixel(6, 0), 0xFF0000FFu);

    // Text running over the edges is clipped to the destination.
    QImage small(10, 10, QImage::Format_ARGB32);
    small.fill(0xFF000000u);
    font.DrawString(-6, -3, small, "!!", 0xFFFFFFFFu);
    EXPECT_EQ(small.pixel(0, 0), 0xFFFFFFFFu); // row 1 of the first "!"
    EXPECT_EQ(InkColumns(small, 0xFFFFFFFFu), "##........");
}

// A hand-made sheet with its own colours: two full bands (cells of different
// widths), a cell without a separator on its right and a band without a
// separator row below, neither of which is cut.
TEST(CustomFont, CutsBandByBandAtSeparators)
{
    const QRgb none = 0xFF0000FFu, fill = 0xFFFFFF00u, sep = 0xFF808080u;
    QImage sheet(12, 13, QImage::Format_ARGB32);
    sheet.fill(none);
    auto row = [&](int y) {
        for (int x = 0; x < sheet.width(); ++x)
            sheet.setPixel(x, y, sep);
    };
    auto col = [&](int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            sheet.setPixel(x, y, sep);
    };
    // Band 0: rows 0-3, cells x 0-2 and 4-8 (x 9-11 has no separator after it).
    col(3, 0, 3);
    col(9, 0, 3);
    col(10, 0, 3);
    row(4);
    row(5);
    // Band 1: rows 6-9, one cell x 0-4.
    col(5, 6, 9);
    row(10);
    // Rows 11-12: a band with no separator row below.
    col(2, 11, 12);
    // Ink: one pixel in cell 33, none in cell 34, a box in cell 35.
    sheet.setPixel(1, 2, fill);
    sheet.setPixel(1, 7, fill);
    sheet.setPixel(3, 8, 0xFFFFFF00u & 0x00FFFFFFu); // alpha ignored: still ink
    sheet.setPixel(8, 11, fill);

    const TCustomFont font(2, 5, sheet, none & 0xFFFFFFu, fill & 0xFFFFFFu);
    ASSERT_EQ(font.Count(), 4);
    struct Expect {
        int code, width, height, inkW, inkH, l, t, r, b;
    } expect[] = {
        {32, 5, 0, 0, 0, 0, 0, 5, 0},
        {33, 3, 4, 1, 1, 1, 2, 1, 1},
        {34, 5, 4, 0, 0, 0, 0, 5, 4},
        {35, 5, 4, 3, 2, 1, 1, 1, 1},
    };
    for (int i = 0; i < 4; ++i) {
        const TCustomGlyph* g = font.GetGlyph(i);
        const Expect& e = expect[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(g->Char(), e.code);
        EXPECT_EQ(g->Width(), e.width);
        EXPECT_EQ(g->Height(), e.height);
        EXPECT_EQ(g->InkWidth(), e.inkW);
        EXPECT_EQ(g->InkHeight(), e.inkH);
        EXPECT_EQ(g->MarginLeft(), e.l);
        EXPECT_EQ(g->MarginTop(), e.t);
        EXPECT_EQ(g->MarginRight(), e.r);
        EXPECT_EQ(g->MarginBottom(), e.b);
    }
    // The space advances WidthOfSpace; every character adds SpaceBetweenChars.
    QImage canvas(30, 6, QImage::Format_ARGB32);
    canvas.fill(0xFF000000u);
    font.DrawString(0, 0, canvas, " !", 0xFFFFFFFFu);
    EXPECT_EQ(InkColumns(canvas, 0xFFFFFFFFu).find('#'), 5u + 2u + 1u);
}

// Sheets the cutting must not turn into bogus glyphs: one that starts with a
// separator row (a band without rows), and one with more cells than there are
// codes after 32.
TEST(CustomFont, DegenerateSheetsGiveNoEmptyOrWrappedGlyphs)
{
    const QRgb sep = 0xFFFF00FFu;
    QImage top(8, 5, QImage::Format_ARGB32);
    top.fill(0xFF000000u);
    for (int x = 0; x < 8; ++x) {
        top.setPixel(x, 0, sep);
        top.setPixel(x, 4, sep);
    }
    for (int y = 1; y < 4; ++y)
        top.setPixel(3, y, sep);
    const TCustomFont font(0, 3, top, kNone, kFill);
    ASSERT_EQ(font.Count(), 2);
    EXPECT_EQ(font.GetGlyph(1)->Char(), 33);
    EXPECT_EQ(font.GetGlyph(1)->Width(), 3);
    EXPECT_EQ(font.GetGlyph(1)->Height(), 3);

    QImage wide(2 * 240, 3, QImage::Format_ARGB32);
    wide.fill(0xFF000000u);
    for (int x = 1; x < wide.width(); x += 2)
        wide.setPixel(x, 0, sep);
    for (int x = 0; x < wide.width(); ++x)
        wide.setPixel(x, 2, sep);
    const TCustomFont many(0, 3, wide, kNone, kFill);
    ASSERT_EQ(many.Count(), 1 + (255 - 33 + 1));
    EXPECT_EQ(many.GetGlyph(many.Count() - 1)->Char(), 255);
    EXPECT_EQ(many.FindGlyph(33), many.GetGlyph(1));
}
