// Draws the program's pictures with QPainter and writes them as PNG files into
// the folder given on the command line:
//   about.png        450 x 330 about and splash picture: banner above, free space below
//   help.png         16 x 16 help icon of the help balloon
//   il8x8.png        the main window's 8 x 8 image list as one horizontal sheet
//                    (0 grey disc, 1 blue disc with a white question mark)
//   alert_icons.png  three 16 x 16 icons indexed by alert type (info, cancel, confirm)
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

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
void DrawDisc(QPainter& p, const QRectF& r, const QColor& fill, const QColor& edge, const QString& glyph,
              int glyphPixels)
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
    p.drawText(QRectF(22, 64, 340, 26), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("RDS/RBDS Encoders Manager"));
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
    p.drawRect(ox + 3, 1, 2, 1);  // top of the hook
    p.drawRect(ox + 2, 2, 1, 1);
    p.drawRect(ox + 5, 2, 1, 1);
    p.drawRect(ox + 4, 3, 1, 1);
    p.drawRect(ox + 3, 4, 1, 1);  // stem
    p.drawRect(ox + 3, 6, 1, 1);  // dot
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
    };
    for (const auto& pic : pictures) {
        const QString path = out.filePath(QString::fromLatin1(pic.name));
        if (!pic.image.save(path, "PNG")) {
            std::fprintf(stderr, "picgen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
