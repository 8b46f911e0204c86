#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

// Every picture the windows load by name is compiled in with its size; the
// glyph sheet and the radio picture have tests of their own.
TEST(Pictures, AreCompiledInWithTheirSizes)
{
    const struct {
        const char* name;
        int w, h;
    } pictures[] = {
        {":/PNG_8X5", 320, 110},
        {":/PNG_RADIO1", 492, 153},
        {":/IL1", 704, 16},
        {":/IL_EDIT10", 30, 10},
        {":/PNG_REFRESH", 64, 16},
        {":/ICON_16", 16, 16},
        {":/ICON_32", 32, 32},
        {":/ICON_48", 48, 48},
        {":/ICON_64", 64, 64},
        {":/ICON_128", 128, 128},
        {":/ICON_256", 256, 256},
    };
    for (const auto& pic : pictures) {
        const QImage img(QString::fromLatin1(pic.name));
        EXPECT_EQ(img.size(), QSize(pic.w, pic.h)) << pic.name;
    }
    const QImage logo(QStringLiteral(":/PNG_LOGO"));
    EXPECT_FALSE(logo.isNull());
    EXPECT_LE(logo.width(), 234);
    EXPECT_LE(logo.height(), 50);

    QFile svg(QStringLiteral(":/ICON_SVG"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    EXPECT_TRUE(text.contains("<svg") && text.contains("viewBox=\"0 0 256 256\"") && text.contains("</svg>"));
}

// Each button picture of the window's list and of the refresh button has its
// four states drawn; no state is left blank.
TEST(Pictures, ButtonStatesAreDrawn)
{
    for (const char* name : {":/IL1", ":/PNG_REFRESH", ":/IL_EDIT10"}) {
        const QImage img = QImage(QString::fromLatin1(name)).convertToFormat(QImage::Format_ARGB32);
        const int side = img.height();
        for (int i = 0; i < img.width() / side; ++i) {
            int opaque = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    opaque += qAlpha(img.pixel(side * i + x, y)) > 128;
            EXPECT_GT(opaque, side * side / 8) << name << " picture " << i;
        }
    }
}
