// The window's group box: frame line through the caption's middle, a gap
// where the caption sits, a greyed caption when disabled, and help markers
// that sit on the frame line.
#include <gtest/gtest.h>

#include <QImage>

#include "ui/kit/fonts.h"
#include "ui/kit/overlay.h"
#include "ui/main/group_box.h"

namespace {

struct TBoxFixture {
    QWidget Window;
    TGroupBox* Box;
    explicit TBoxFixture(const QString& Caption)
    {
        Window.setFont(WindowFont());
        Window.resize(300, 200);
        Box = new TGroupBox(Caption, &Window);
        Box->setGeometry(10, 10, 176, 120);
        Window.show();
    }
    QImage Paint() const { return Box->grab().toImage(); }
};

// The first row from the top where column X differs from the box's inside.
int FrameRowAt(const QImage& Img, int X)
{
    const QRgb inside = Img.pixel(X, Img.height() / 2);
    for (int y = 0; y < Img.height() / 2; ++y)
        if (Img.pixel(X, y) != inside)
            return y;
    return -1;
}

int DarkestIn(const QImage& Img, const QRect& R)
{
    int darkest = 255;
    for (int y = R.top(); y <= R.bottom(); ++y)
        for (int x = R.left(); x <= R.right(); ++x)
            darkest = std::min(darkest, qGray(Img.pixel(x, y)));
    return darkest;
}

} // namespace

TEST(GroupBox, FrameRunsThroughTheCaptionsMiddleAndBreaksForIt)
{
    // A caption of spaces draws no ink: whatever is drawn in its rectangle
    // would be frame.
    TBoxFixture f(QStringLiteral("            "));
    const QRect caption = f.Box->CaptionRect();
    EXPECT_EQ(caption.left(), 8);
    EXPECT_EQ(caption.top(), 0);
    EXPECT_EQ(caption.height(), f.Box->fontMetrics().height());
    EXPECT_EQ(f.Box->FrameLine(), caption.height() / 2);

    const QImage img = f.Paint();
    EXPECT_EQ(FrameRowAt(img, img.width() - 30), f.Box->FrameLine());
    int framedUnderCaption = 0;
    for (int x = caption.left(); x <= caption.right(); ++x)
        framedUnderCaption += FrameRowAt(img, x) >= 0;
    EXPECT_EQ(framedUnderCaption, 0);

    f.Box->setLayoutDirection(Qt::RightToLeft);
    EXPECT_EQ(f.Box->CaptionRect().right(), f.Box->width() - 8 - 1);
}

TEST(GroupBox, DisabledCaptionIsGreyed)
{
    TBoxFixture f(QStringLiteral("MMMM"));
    const QRect caption = f.Box->CaptionRect();
    const int enabled = DarkestIn(f.Paint(), caption);
    f.Box->SetEnabled(false);
    const int disabled = DarkestIn(f.Paint(), caption);
    EXPECT_LT(enabled, 60);
    EXPECT_GE(disabled, qGray(f.Box->palette().color(QPalette::Active, QPalette::Dark).rgb()) - 8);
    EXPECT_GT(disabled, enabled + 60);
}

TEST(GroupBox, HelpMarkerSitsOnTheFrameLine)
{
    TBoxFixture f(QStringLiteral("Alternative Frequencies"));
    // The help manager reads the context through the property system.
    SetHelpContext(f.Box, 8);
    EXPECT_EQ(f.Box->HelpContext(), 8);
    EXPECT_EQ(GetHelpContext(f.Box), 8);

    TImageList markers;
    markers.Sheet = QImage(16, 8, QImage::Format_ARGB32);
    markers.Sheet.fill(Qt::blue);
    markers.Width = markers.Height = 8;
    TOverlayManager m;
    POverlayImageInfo info = m.AddPanel(f.Box)->AddImage(2, markers, 1, nullptr, nullptr, nullptr);
    // 13 px from the right, centred on the frame line (y 3 with the 8 pt face).
    EXPECT_EQ(info->Img->pos(), QPoint(176 - 13, f.Box->FrameLine() - 3));
    const int frameRow = FrameRowAt(f.Paint(), f.Box->width() - 9);
    EXPECT_GE(frameRow, info->Img->y());
    EXPECT_LE(frameRow, info->Img->y() + 7);
}
