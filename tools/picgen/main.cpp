// Draws the program's pictures with QPainter and writes them as PNG files into
// the folder given on the command line:
//   about.png        450 x 330 about and splash picture: banner above, free space below
//   help.png         16 x 16 help icon of the help balloon
//   il8x8.png        the main window's 8 x 8 image list as one horizontal sheet
//                    (0 grey disc, 1 blue disc with a white question mark)
//   alert_icons.png  three 16 x 16 icons indexed by alert type (info, cancel, confirm)
//   font8x5.png      320 x 110 glyph sheet of the radio display: 5 bands of 20 cells
//                    of 14 x 20, 2-pixel magenta separators, 5 x 7 dots of 2 x 2
//                    pixels on a 3-pixel pitch, codes 33-132 (RGB, three colours)
//   radio1.png       492 x 153 car-radio front panel, magenta outside its rounded
//                    corners, dark display window around x 200-365, y 60-90
//   logo.png         232 x 48 maker's logo of the tool panel
//   il1.png          704 x 16: the window's 44 button pictures, four states each
//                    (normal, disabled, pressed, hot)
//   il_edit10.png    30 x 10: blue up arrow, blue down arrow, red cross
//   refresh.png      64 x 16: the settings dialog's refresh picture, four states
//   icon_N.png       the program icon, N = 16, 32, 48, 64, 128, 256
//   icon.svg         the program icon, scalable
//   kvx_file_N.png   the settings file's icon (a page with the program's mark),
//                    N = 16, 32, 48, 64, 128
//   kvx_file.svg     the settings file's icon, scalable
#include <QConicalGradient>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

#include "dot_face.h"

namespace {

QFont SansFont(int pixelSize, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QImage NewImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

// A disc with an optional glyph centred on it, filling the square (x, y, size).
void DrawDisc(
    QPainter& p, const QRectF& r, const QColor& fill, const QColor& edge, const QString& glyph, int glyphPixels)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() * 0.7);
    g.setColorAt(0, fill.lighter(140));
    g.setColorAt(1, fill);
    p.setBrush(g);
    p.setPen(QPen(edge, r.width() >= 12 ? 1.0 : 0.6));
    p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    if (!glyph.isEmpty()) {
        p.setPen(Qt::white);
        p.setFont(SansFont(glyphPixels, true));
        p.drawText(r, Qt::AlignCenter, glyph);
    }
}

QImage DrawAbout()
{
    const int W = 450, H = 330, banner = 190;
    QImage img(W, H, QImage::Format_ARGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    // Lower part: a dark, even background that carries white text lines.
    QLinearGradient low(0, banner, 0, H);
    low.setColorAt(0, QColor(0x14, 0x22, 0x3a));
    low.setColorAt(1, QColor(0x0a, 0x12, 0x22));
    p.fillRect(0, 0, W, H, low);

    // Banner: a blue gradient with radio waves rising from a mast.
    QLinearGradient top(0, 0, 0, banner);
    top.setColorAt(0, QColor(0x2d, 0x6c, 0xc0));
    top.setColorAt(1, QColor(0x12, 0x35, 0x6b));
    p.fillRect(0, 0, W, banner, top);

    const QPointF mast(385, 118);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 4; ++i) {
        QColor c(255, 255, 255, 200 - i * 35);
        p.setPen(QPen(c, 3));
        const double r = 14.0 * i;
        p.drawArc(QRectF(mast.x() - r, mast.y() - r, 2 * r, 2 * r), 30 * 16, 120 * 16);
    }
    p.setPen(QPen(QColor(235, 240, 250), 3));
    p.drawLine(mast, QPointF(mast.x() - 18, mast.y() + 52));
    p.drawLine(mast, QPointF(mast.x() + 18, mast.y() + 52));
    p.drawLine(QPointF(mast.x() - 9, mast.y() + 26), QPointF(mast.x() + 9, mast.y() + 26));
    p.setBrush(QColor(255, 210, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(mast, 5, 5);

    // Name and maker.
    p.setPen(Qt::white);
    p.setFont(SansFont(30, true));
    p.drawText(QRectF(22, 22, 330, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Korvane Ardent"));
    p.setFont(SansFont(17, false));
    p.drawText(QRectF(22, 64, 340, 26), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("RDS/RBDS Encoders Manager"));
    p.setPen(QColor(0xd8, 0xe4, 0xf6));
    p.setFont(SansFont(13, true));
    p.drawText(QRectF(22, 142, 330, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TRELL Broadcast Ltd."));

    // A thin rule between banner and text space.
    p.setPen(QPen(QColor(255, 200, 70), 2));
    p.drawLine(0, banner, W, banner);
    p.end();
    return img;
}

QImage DrawHelp()
{
    QImage img = NewImage(16, 16);
    QPainter p(&img);
    DrawDisc(p, QRectF(0, 0, 16, 16), QColor(0x1f, 0x5f, 0xc8), QColor(0x10, 0x30, 0x70), QStringLiteral("?"), 12);
    return img;
}

QImage DrawImageList8()
{
    QImage img = NewImage(16, 8);
    QPainter p(&img);
    DrawDisc(p, QRectF(0, 0, 8, 8), QColor(0x90, 0x90, 0x90), QColor(0x50, 0x50, 0x50), QString(), 0);
    DrawDisc(p, QRectF(8, 0, 8, 8), QColor(0x1f, 0x5f, 0xd8), QColor(0x10, 0x30, 0x80), QString(), 0);
    // At 8 pixels a font glyph is unreadable: the question mark is drawn pixel by pixel.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const int ox = 8;
    p.drawRect(ox + 3, 1, 2, 1); // top of the hook
    p.drawRect(ox + 2, 2, 1, 1);
    p.drawRect(ox + 5, 2, 1, 1);
    p.drawRect(ox + 4, 3, 1, 1);
    p.drawRect(ox + 3, 4, 1, 1); // stem
    p.drawRect(ox + 3, 6, 1, 1); // dot
    return img;
}

QImage DrawAlertIcons()
{
    QImage img = NewImage(48, 16);
    QPainter p(&img);
    // 0 information: blue disc with "i".
    DrawDisc(p, QRectF(0, 0, 16, 16), QColor(0x1f, 0x5f, 0xc8), QColor(0x10, 0x30, 0x70), QStringLiteral("i"), 12);
    // 1 cancel: red disc with a white cross.
    DrawDisc(p, QRectF(16, 0, 16, 16), QColor(0xc8, 0x1e, 0x1e), QColor(0x70, 0x10, 0x10), QString(), 0);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(21, 5), QPointF(27, 11));
    p.drawLine(QPointF(27, 5), QPointF(21, 11));
    // 2 confirm: amber triangle with "!".
    QPainterPath tri;
    tri.moveTo(40, 1);
    tri.lineTo(47, 15);
    tri.lineTo(33, 15);
    tri.closeSubpath();
    p.setPen(QPen(QColor(0x80, 0x5a, 0x00), 1));
    p.setBrush(QColor(0xf5, 0xb8, 0x1c));
    p.drawPath(tri);
    p.setPen(Qt::black);
    p.setFont(SansFont(11, true));
    p.drawText(QRectF(32, 4, 16, 12), Qt::AlignCenter, QStringLiteral("!"));
    return img;
}

// ---- shared palette of the program's own pictures ----
const QColor kBlue(0x2d, 0x6c, 0xc0);
const QColor kNavy(0x12, 0x35, 0x6b);
const QColor kAmber(0xff, 0xc8, 0x46);
const QColor kGreen(0x2e, 0x9e, 0x4f);
const QColor kRed(0xd1, 0x34, 0x38);
const QColor kSlate(0x5f, 0x6b, 0x7a);
const QRgb kMagenta = qRgb(255, 0, 255);

// ---- glyph sheet ----

QImage DrawGlyphSheet()
{
    const int W = 320, H = 110, cellW = 14, cellH = 20, pitch = 3, dot = 2;
    QImage img(W, H, QImage::Format_RGB32);
    img.fill(kMagenta);
    for (int r = 0; r < 5; ++r) {
        for (int k = 0; k < 20; ++k) {
            const int cx = 16 * k, cy = 22 * r, code = 33 + 20 * r + k;
            for (int y = 0; y < cellH; ++y)
                for (int x = 0; x < cellW; ++x)
                    img.setPixel(cx + x, cy + y, qRgb(0, 0, 0));
            if (code > 126)
                continue; // 127-132 stay empty
            const auto& rows = kDotFace[code - 33];
            for (int j = 0; j < 7; ++j)
                for (int i = 0; i < 5; ++i) {
                    if (!(rows[j] & (0x10 >> i)))
                        continue;
                    for (int dy = 0; dy < dot; ++dy)
                        for (int dx = 0; dx < dot; ++dx)
                            img.setPixel(cx + pitch * i + dx, cy + pitch * j + dy, qRgb(255, 255, 255));
                }
        }
    }
    return img;
}

// ---- radio front panel ----

// Replaces every pixel outside the drawn shape by magenta, the picture's
// transparent colour, and makes the rest opaque over white: the hard edge
// keeps the transparent colour exact, the blend keeps the rounded edge smooth
// on the white page the picture is shown on.
QImage KeyOutMagenta(const QImage& drawn)
{
    QImage img(drawn.size(), QImage::Format_RGB32);
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb p = drawn.pixel(x, y);
            const int a = qAlpha(p);
            if (a < 96) {
                img.setPixel(x, y, kMagenta);
                continue;
            }
            auto over = [a](int c) { return (c * a + 255 * (255 - a)) / 255; };
            QRgb q = qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p)));
            if (q == kMagenta)
                q = qRgb(254, 0, 254);
            img.setPixel(x, y, q);
        }
    return img;
}

void DrawKnob(QPainter& p, const QPointF& c, double r)
{
    // Outer ring, a knurled skirt, then the cap with its pointer.
    QRadialGradient ring(c, r);
    ring.setColorAt(0.80, QColor(0x0c, 0x0d, 0x10));
    ring.setColorAt(1.00, QColor(0x3a, 0x3f, 0x48));
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(c, r, r);
    const double skirt = r * 0.84;
    QConicalGradient knurl(c, 0);
    for (int i = 0; i <= 36; ++i)
        knurl.setColorAt(i / 36.0, i % 2 ? QColor(0x2a, 0x2e, 0x35) : QColor(0x4a, 0x50, 0x5a));
    p.setBrush(knurl);
    p.drawEllipse(c, skirt, skirt);
    const double cap = r * 0.70;
    QLinearGradient capFill(c.x() - cap, c.y() - cap, c.x() + cap, c.y() + cap);
    capFill.setColorAt(0, QColor(0x6b, 0x72, 0x7e));
    capFill.setColorAt(1, QColor(0x2c, 0x31, 0x38));
    p.setBrush(capFill);
    p.setPen(QPen(QColor(0x1a, 0x1c, 0x20), 1));
    p.drawEllipse(c, cap, cap);
    const double a = -2.2; // pointer at about ten o'clock
    p.setPen(QPen(kAmber, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * cap * 0.35, c + QPointF(std::cos(a), std::sin(a)) * cap * 0.85);
}

void DrawPanelButton(QPainter& p, const QRectF& r, const QString& text, int pixels)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0x4a, 0x50, 0x5a));
    g.setColorAt(1, QColor(0x30, 0x34, 0x3b));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x12, 0x14, 0x17), 1));
    p.drawRoundedRect(r, 3, 3);
    p.setPen(QColor(0xd6, 0xdb, 0xe2));
    p.setFont(SansFont(pixels, true));
    p.drawText(r, Qt::AlignCenter, text);
}

QImage DrawRadio()
{
    const int W = 492, H = 153;
    QImage drawn = NewImage(W, H);
    QPainter p(&drawn);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    // Body: a dark, slightly bevelled slab. The display box shows 152 rows, so
    // the slab ends above the picture's last row, which stays transparent.
    const QRectF body(0.5, 0.5, W - 1, H - 2);
    QLinearGradient face(0, 0, 0, H - 1);
    face.setColorAt(0, QColor(0x3a, 0x3f, 0x47));
    face.setColorAt(0.5, QColor(0x24, 0x28, 0x2e));
    face.setColorAt(1, QColor(0x16, 0x18, 0x1c));
    p.setBrush(face);
    p.setPen(QPen(QColor(0x0b, 0x0c, 0x0e), 1));
    p.drawRoundedRect(body, 18, 18);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawRoundedRect(body.adjusted(2, 2, -2, -2), 16, 16);

    // Knobs: volume on the left, tuning on the right.
    DrawKnob(p, QPointF(78, 78), 50);
    DrawKnob(p, QPointF(428, 78), 42);
    p.setPen(QColor(0x9a, 0xa3, 0xb0));
    p.setFont(SansFont(9, true));
    p.drawText(QRectF(28, 132, 100, 14), Qt::AlignCenter, QStringLiteral("VOL"));
    p.drawText(QRectF(378, 132, 100, 14), Qt::AlignCenter, QStringLiteral("TUNE"));

    // Side buttons between the volume knob and the display.
    DrawPanelButton(p, QRectF(142, 48, 42, 18), QStringLiteral("BAND"), 9);
    DrawPanelButton(p, QRectF(142, 72, 42, 18), QStringLiteral("AF"), 9);
    DrawPanelButton(p, QRectF(142, 96, 42, 18), QStringLiteral("TA"), 9);

    // Display window: bezel, then a deep blue-black glass.
    const QRectF bezel(193, 52, 180, 46);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x0a, 0x0b, 0x0d));
    p.drawRoundedRect(bezel, 6, 6);
    const QRectF glass = bezel.adjusted(3, 3, -3, -3);
    QLinearGradient lcd(glass.topLeft(), glass.bottomLeft());
    lcd.setColorAt(0, QColor(0x10, 0x1c, 0x2c));
    lcd.setColorAt(1, QColor(0x06, 0x0c, 0x16));
    p.setBrush(lcd);
    p.drawRoundedRect(glass, 4, 4);

    // Indicators above the display.
    p.setFont(SansFont(9, true));
    p.setPen(kAmber);
    p.drawText(QRectF(196, 34, 40, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("FM1"));
    p.setPen(QColor(0x5c, 0xb8, 0xff));
    p.drawText(QRectF(236, 34, 40, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("RDS"));
    p.setPen(QColor(0x6a, 0x72, 0x7e));
    p.drawText(QRectF(276, 34, 30, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TP"));
    p.drawText(QRectF(300, 34, 30, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TA"));
    p.setPen(QColor(0x9a, 0xa3, 0xb0));
    p.setFont(SansFont(10, true));
    p.drawText(QRectF(283, 14, 90, 16), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("ARDENT"));

    // Six preset buttons under the display.
    for (int i = 0; i < 6; ++i)
        DrawPanelButton(p, QRectF(193 + i * 31, 108, 25, 20), QString::number(i + 1), 10);
    p.end();
    return KeyOutMagenta(drawn);
}

// ---- logo ----

// The maker's mark: a mast sending waves, white on a blue rounded square, in a
// square of side s at (x, y).
void DrawMark(QPainter& p, double x, double y, double s)
{
    p.save();
    p.translate(x, y);
    p.scale(s / 256.0, s / 256.0);
    QLinearGradient bg(0, 0, 0, 256);
    bg.setColorAt(0, kBlue);
    bg.setColorAt(1, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 52, 52);
    // Mast: an A-frame with a cross bar.
    p.setPen(QPen(Qt::white, 18, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(128, 108), QPointF(88, 212));
    p.drawLine(QPointF(128, 108), QPointF(168, 212));
    p.drawLine(QPointF(106, 166), QPointF(150, 166));
    // Waves on either side of the tip.
    for (int i = 1; i <= 2; ++i) {
        const double r = 34.0 * i + 6;
        const QRectF arc(128 - r, 96 - r, 2 * r, 2 * r);
        p.drawArc(arc, 30 * 16, 120 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(128, 96), 20, 20);
    p.restore();
}

QImage DrawLogo()
{
    const int W = 232, H = 48;
    QImage img(W, H, QImage::Format_ARGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    QLinearGradient bg(0, 0, 0, H);
    bg.setColorAt(0, QColor(0xfb, 0xfc, 0xfe));
    bg.setColorAt(1, QColor(0xe8, 0xee, 0xf6));
    p.fillRect(img.rect(), bg);
    DrawMark(p, 6, 4, 40);
    p.setPen(kNavy);
    QFont name = SansFont(25, true);
    name.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(name);
    p.drawText(QRectF(54, 3, 170, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TRELL"));
    QFont sub = SansFont(10, true);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
    p.setFont(sub);
    p.setPen(kSlate);
    p.drawText(QRectF(55, 30, 170, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("BROADCAST LTD."));
    p.setPen(QPen(kAmber, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(160, 17), QPointF(222, 17));
    p.end();
    return img;
}

// ---- 16 x 16 button pictures ----

enum TButtonRole {
    brSettings,
    brSave,
    brRevert,
    brConnect,
    brDisconnect,
    brAbout,
    brExit,
    brHelp,
    brRefresh,
    brAdd,
    brClear
};

QPainterPath Gear(const QPointF& c, double outer, double inner, double hole, int teeth)
{
    QPainterPath path;
    const double step = 2 * M_PI / teeth;
    for (int i = 0; i < teeth; ++i) {
        const double a = i * step;
        const double pts[][2]
            = {{a - step * 0.18, outer}, {a + step * 0.18, outer}, {a + step * 0.32, inner}, {a + step * 0.68, inner}};
        for (int k = 0; k < 4; ++k) {
            const QPointF q = c + QPointF(std::cos(pts[k][0]), std::sin(pts[k][0])) * pts[k][1];
            if (i == 0 && k == 0)
                path.moveTo(q);
            else
                path.lineTo(q);
        }
    }
    path.closeSubpath();
    QPainterPath h;
    h.addEllipse(c, hole, hole);
    return path.subtracted(h);
}

// A circular arrow of radius r around c from angle a0 sweeping span degrees
// (counter-clockwise positive), with its head at the end.
void CircularArrow(QPainter& p, const QPointF& c, double r, double a0, double span, const QColor& col, double width)
{
    p.setPen(QPen(col, width, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), int(a0 * 16), int(span * 16));
    const double end = (a0 + span) * M_PI / 180;
    const QPointF tip = c + QPointF(std::cos(end), -std::sin(end)) * r;
    const double dir = span > 0 ? 1 : -1;
    // The tangent of travel at the end point.
    const QPointF t(-std::sin(end) * dir, -std::cos(end) * dir);
    const QPointF n(std::cos(end), -std::sin(end));
    const double hs = width * 1.8;
    QPainterPath head;
    head.moveTo(tip + t * hs);
    head.lineTo(tip - n * hs);
    head.lineTo(tip + n * hs);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawPath(head);
}

// One half of a connector: the plug (left, with two prongs) or the socket
// (right), each with its cable; dx moves the half sideways.
void DrawPlug(QPainter& p, double dx, const QColor& col, bool left)
{
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    if (left) {
        p.drawRect(QRectF(0, 7, 3 + dx, 2));
        p.drawRoundedRect(QRectF(2 + dx, 3, 6, 10), 1.5, 1.5);
        p.setBrush(col.darker(135));
        p.drawRect(QRectF(8 + dx, 4.5, 2.5, 2));
        p.drawRect(QRectF(8 + dx, 9.5, 2.5, 2));
    } else {
        p.drawRoundedRect(QRectF(9 + dx, 3, 5, 10), 1.5, 1.5);
        p.drawRect(QRectF(13.5 + dx, 7, 2.5 - dx, 2));
    }
}

QImage DrawButtonRole(TButtonRole role)
{
    QImage img = NewImage(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    switch (role) {
    case brSettings:
        p.setPen(QPen(kSlate.darker(140), 0.8));
        p.setBrush(kSlate);
        p.drawPath(Gear(QPointF(8, 8), 7.4, 5.4, 2.3, 8));
        break;
    case brSave:
        p.setPen(QPen(kNavy, 1));
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 2, 8, 5));
        p.setBrush(QColor(0xd6, 0xe2, 0xf3));
        p.drawRect(QRectF(4.5, 10, 7, 4.5));
        p.setBrush(kNavy);
        p.drawRect(QRectF(9, 3, 2, 3));
        break;
    case brRevert:
        CircularArrow(p, QPointF(8, 8.5), 5, -60, 250, QColor(0xe0, 0x7b, 0x1a), 2.2);
        break;
    case brConnect:
        DrawPlug(p, 1, kGreen, true);
        DrawPlug(p, 0, kGreen, false);
        // The seam where plug and socket meet.
        p.fillRect(QRectF(9, 3.5, 1, 9), kGreen.lighter(160));
        break;
    case brDisconnect:
        DrawPlug(p, -2, kRed, true);
        DrawPlug(p, 1, kRed, false);
        // A small spark in the gap.
        p.setPen(QPen(kAmber.darker(115), 1.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 0.8), QPointF(9, 2.2));
        p.drawLine(QPointF(9, 13.8), QPointF(9, 15.2));
        break;
    case brAbout:
        DrawDisc(p, QRectF(0, 0, 16, 16), kBlue, kNavy, QStringLiteral("i"), 12);
        break;
    case brExit: {
        p.setPen(QPen(kSlate.darker(130), 1));
        p.setBrush(QColor(0xe8, 0xec, 0xf1));
        p.drawRect(QRectF(1.5, 1.5, 8, 13));
        p.setPen(Qt::NoPen);
        p.setBrush(kSlate);
        QPolygonF door;
        door << QPointF(2, 2) << QPointF(7, 3.5) << QPointF(7, 15.5) << QPointF(2, 14);
        p.drawPolygon(door);
        p.setPen(QPen(kRed, 2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(8, 8), QPointF(12.5, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        QPolygonF head;
        head << QPointF(16, 8) << QPointF(12, 4.5) << QPointF(12, 11.5);
        p.drawPolygon(head);
        break;
    }
    case brHelp:
        DrawDisc(p, QRectF(0, 0, 16, 16), kBlue, kNavy, QStringLiteral("?"), 12);
        break;
    case brRefresh:
        CircularArrow(p, QPointF(8, 8), 5, 120, 120, kBlue, 2);
        CircularArrow(p, QPointF(8, 8), 5, 300, 120, kBlue, 2);
        break;
    case brAdd:
        DrawDisc(p, QRectF(0, 0, 16, 16), kGreen, kGreen.darker(170), QString(), 0);
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(8, 4), QPointF(8, 12));
        p.drawLine(QPointF(4, 8), QPointF(12, 8));
        break;
    case brClear:
        DrawDisc(p, QRectF(0, 0, 16, 16), kRed, kRed.darker(170), QString(), 0);
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
        break;
    }
    p.end();
    return img;
}

// The four states of a button picture, left to right: normal, disabled
// (grey and faint), pressed (darker), hot (lighter).
QImage ButtonStates(const QImage& normal)
{
    const int s = normal.width();
    QImage strip = NewImage(4 * s, normal.height());
    for (int y = 0; y < normal.height(); ++y)
        for (int x = 0; x < s; ++x) {
            const QColor c = QColor::fromRgba(normal.pixel(x, y));
            strip.setPixel(x, y, c.rgba());
            const int grey = qGray(c.rgb());
            const int light = 120 + grey / 2;
            strip.setPixel(s + x, y, qRgba(light, light, light, c.alpha() * 55 / 100));
            QColor pressed = c.darker(125);
            pressed.setAlpha(c.alpha());
            strip.setPixel(2 * s + x, y, pressed.rgba());
            QColor hot = c.lighter(118);
            hot.setAlpha(c.alpha());
            strip.setPixel(3 * s + x, y, hot.rgba());
        }
    return strip;
}

QImage DrawImageList1()
{
    // Each role's four states, in the window's order; Exit and Help Contents
    // use only their first index but carry all four states as well.
    const TButtonRole roles[]
        = {brSettings, brSave, brRevert, brConnect, brDisconnect, brAbout, brExit, brHelp, brRefresh, brAdd, brClear};
    QImage img = NewImage(16 * 44, 16);
    QPainter p(&img);
    int x = 0;
    for (const TButtonRole role : roles) {
        p.drawImage(x, 0, ButtonStates(DrawButtonRole(role)));
        x += 64;
    }
    p.end();
    return img;
}

QImage DrawRefreshButton()
{
    return ButtonStates(DrawButtonRole(brRefresh));
}

// ---- 10 x 10 edit-button pictures ----

QImage DrawEditButtons()
{
    QImage img = NewImage(30, 10);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    QPolygonF up;
    up << QPointF(5, 0.5) << QPointF(9.5, 5.5) << QPointF(6.6, 5.5) << QPointF(6.6, 9.5) << QPointF(3.4, 9.5)
       << QPointF(3.4, 5.5) << QPointF(0.5, 5.5);
    p.drawPolygon(up);
    QPolygonF down;
    for (const QPointF& q : up)
        down << QPointF(10 + q.x(), 10 - q.y());
    p.drawPolygon(down);
    p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(21, 1), QPointF(29, 9));
    p.drawLine(QPointF(29, 1), QPointF(21, 9));
    p.end();
    return img;
}

// ---- program icon ----

// The mark fills the icon; below 32 pixels it loses the inner wave and the
// cross bar, which would only blur.
QImage DrawIcon(int size)
{
    QImage img = NewImage(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (size >= 32) {
        DrawMark(p, 0, 0, size);
    } else {
        p.scale(size / 16.0, size / 16.0);
        QLinearGradient bg(0, 0, 0, 16);
        bg.setColorAt(0, kBlue);
        bg.setColorAt(1, kNavy);
        p.setPen(Qt::NoPen);
        p.setBrush(bg);
        p.drawRoundedRect(QRectF(0, 0, 16, 16), 3.5, 3.5);
        p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(8, 7.5), QPointF(5, 13.5));
        p.drawLine(QPointF(8, 7.5), QPointF(11, 13.5));
        p.setBrush(Qt::NoBrush);
        const QRectF arc(3.2, 2.2, 9.6, 9.6);
        p.drawArc(arc, 35 * 16, 45 * 16);
        p.drawArc(arc, 100 * 16, 45 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(kAmber);
        p.drawEllipse(QPointF(8, 7), 1.7, 1.7);
    }
    p.end();
    return img;
}

// The same mark as DrawMark, as SVG elements on the same 256-unit grid.
QString MarkSvg()
{
    auto arc = [](double r, double fromDeg, double toDeg) {
        // Angles counter-clockwise from three o'clock, y down, centre (128, 96).
        const double a0 = fromDeg * M_PI / 180, a1 = toDeg * M_PI / 180;
        return QStringLiteral("M %1 %2 A %3 %3 0 0 0 %4 %5")
            .arg(128 + r * std::cos(a0), 0, 'f', 2)
            .arg(96 - r * std::sin(a0), 0, 'f', 2)
            .arg(r, 0, 'f', 2)
            .arg(128 + r * std::cos(a1), 0, 'f', 2)
            .arg(96 - r * std::sin(a1), 0, 'f', 2);
    };
    QString waves;
    for (int i = 1; i <= 2; ++i) {
        const double r = 34.0 * i + 6;
        waves += QStringLiteral("    <path d=\"%1\"/>\n").arg(arc(r, 30, 150));
    }
    return QStringLiteral(
        "  <defs>\n"
        "    <linearGradient id=\"bg\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"256\" gradientUnits=\"userSpaceOnUse\">\n"
        "      <stop offset=\"0\" stop-color=\"%1\"/>\n"
        "      <stop offset=\"1\" stop-color=\"%2\"/>\n"
        "    </linearGradient>\n"
        "  </defs>\n"
        "  <rect x=\"8\" y=\"8\" width=\"240\" height=\"240\" rx=\"52\" ry=\"52\" fill=\"url(#bg)\"/>\n"
        "  <g fill=\"none\" stroke=\"#ffffff\" stroke-width=\"18\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">\n"
        "    <path d=\"M 88 212 L 128 108 L 168 212\"/>\n"
        "    <path d=\"M 106 166 L 150 166\"/>\n"
        "%3"
        "  </g>\n"
        "  <circle cx=\"128\" cy=\"96\" r=\"20\" fill=\"%4\"/>\n")
        .arg(kBlue.name(), kNavy.name(), waves, kAmber.name());
}

QString SvgDocument(const QString& Body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                          "viewBox=\"0 0 256 256\">\n")
        + Body + QStringLiteral("</svg>\n");
}

// ---- settings file icon ----

// A page with a folded corner, three lines of text and the program's mark,
// on the 256-unit grid. Below 32 pixels only the page, one line and a blue
// block remain.
const QColor kPageEdge(0x7a, 0x86, 0x96);
const QColor kPageLine(0xa8, 0xb2, 0xbf);
constexpr double kPageLeft = 40, kPageTop = 8, kPageRight = 216, kPageBottom = 248, kFold = 56;

QPainterPath PagePath()
{
    QPainterPath page;
    page.moveTo(kPageLeft, kPageTop);
    page.lineTo(kPageRight - kFold, kPageTop);
    page.lineTo(kPageRight, kPageTop + kFold);
    page.lineTo(kPageRight, kPageBottom);
    page.lineTo(kPageLeft, kPageBottom);
    page.closeSubpath();
    return page;
}

QImage DrawFileIcon(int size)
{
    QImage img = NewImage(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 256.0, size / 256.0);
    const double edge = size >= 32 ? 8 : 16; // about one pixel at every size
    p.setPen(QPen(kPageEdge, edge, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::white);
    p.drawPath(PagePath());
    QPainterPath fold;
    fold.moveTo(kPageRight - kFold, kPageTop);
    fold.lineTo(kPageRight - kFold, kPageTop + kFold);
    fold.lineTo(kPageRight, kPageTop + kFold);
    p.setBrush(QColor(0xdd, 0xe3, 0xea));
    p.drawPath(fold);
    p.setPen(QPen(kPageLine, size >= 32 ? 12 : 24, Qt::SolidLine, Qt::RoundCap));
    if (size >= 32) {
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(72, 48 + 24 * i), QPointF(i == 0 ? 136 : 184, 48 + 24 * i));
        DrawMark(p, 72, 128, 112);
    } else {
        p.drawLine(QPointF(76, 56), QPointF(136, 56));
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(72, 120, 112, 104), 24, 24);
    }
    p.end();
    return img;
}

QString FileIconSvg()
{
    QString lines;
    for (int i = 0; i < 3; ++i)
        lines += QStringLiteral("    <path d=\"M 72 %1 L %2 %1\"/>\n").arg(48 + 24 * i).arg(i == 0 ? 136 : 184);
    return QStringLiteral(
               "  <path d=\"M %1 %2 L %3 %2 L %4 %5 L %4 %6 L %1 %6 Z\" fill=\"#ffffff\" stroke=\"%7\" "
               "stroke-width=\"8\" stroke-linejoin=\"miter\"/>\n"
               "  <path d=\"M %3 %2 L %3 %5 L %4 %5 Z\" fill=\"#dde3ea\" stroke=\"%7\" stroke-width=\"8\"/>\n"
               "  <g fill=\"none\" stroke=\"%8\" stroke-width=\"12\" stroke-linecap=\"round\">\n"
               "%9"
               "  </g>\n")
               .arg(kPageLeft)
               .arg(kPageTop)
               .arg(kPageRight - kFold)
               .arg(kPageRight)
               .arg(kPageTop + kFold)
               .arg(kPageBottom)
               .arg(kPageEdge.name(), kPageLine.name(), lines)
        + QStringLiteral("  <g transform=\"translate(72 128) scale(0.4375)\">\n") + MarkSvg()
        + QStringLiteral("  </g>\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: picgen <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "picgen: cannot create %s\n", argv[1]);
        return 1;
    }
    const struct {
        const char* name;
        QImage image;
    } pictures[] = {
        {"about.png", DrawAbout()},
        {"help.png", DrawHelp()},
        {"il8x8.png", DrawImageList8()},
        {"alert_icons.png", DrawAlertIcons()},
        {"font8x5.png", DrawGlyphSheet()},
        {"radio1.png", DrawRadio()},
        {"logo.png", DrawLogo()},
        {"il1.png", DrawImageList1()},
        {"il_edit10.png", DrawEditButtons()},
        {"refresh.png", DrawRefreshButton()},
        {"icon_16.png", DrawIcon(16)},
        {"icon_32.png", DrawIcon(32)},
        {"icon_48.png", DrawIcon(48)},
        {"icon_64.png", DrawIcon(64)},
        {"icon_128.png", DrawIcon(128)},
        {"icon_256.png", DrawIcon(256)},
        {"kvx_file_16.png", DrawFileIcon(16)},
        {"kvx_file_32.png", DrawFileIcon(32)},
        {"kvx_file_48.png", DrawFileIcon(48)},
        {"kvx_file_64.png", DrawFileIcon(64)},
        {"kvx_file_128.png", DrawFileIcon(128)},
    };
    for (const auto& pic : pictures) {
        const QString path = out.filePath(QString::fromLatin1(pic.name));
        if (!pic.image.save(path, "PNG")) {
            std::fprintf(stderr, "picgen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const struct {
        const char* name;
        QString text;
    } drawings[] = {
        {"icon.svg", SvgDocument(MarkSvg())},
        {"kvx_file.svg", SvgDocument(FileIconSvg())},
    };
    for (const auto& drawing : drawings) {
        QFile svg(out.filePath(QString::fromLatin1(drawing.name)));
        if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(drawing.text.toUtf8()) < 0) {
            std::fprintf(stderr, "picgen: cannot write %s\n", qPrintable(svg.fileName()));
            return 1;
        }
    }
    return 0;
}
