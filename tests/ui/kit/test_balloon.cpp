// Balloon window: layout, placement with the screen-edge flips, window shape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <functional>

#include "support/qt_wait.h"
#include "ui/kit/balloon.h"

namespace {

QSize ScreenSize()
{
    return QGuiApplication::primaryScreen()->geometry().size();
}

// A balloon without title around one control of the given size; with the
// default margins it measures (w + 20) x (h + 35).
struct TBalloonFixture {
    TBalloon B;
    QWidget* Content = new QWidget;
    explicit TBalloonFixture(QSize ContentSize)
    {
        Content->setFixedSize(ContentSize);
        B.Adopt(Content);
    }
    // Screen point of the arrow tip after the last update.
    QPoint Tip() const
    {
        const int x0 = B.ArrowPos().H == blnRight ? B.ArrowDisposition() : B.width() - B.ArrowDisposition();
        const int y0 = B.ArrowPos().V == blnBottom ? 0 : B.height();
        return B.pos() + QPoint(x0, y0);
    }
};

} // namespace

TEST(Balloon, DefaultsAndGeometryExample)
{
    TBalloonFixture f({300, 115});
    TBalloon& b = f.B;
    EXPECT_EQ(b.AlignH(), blnCenter);
    EXPECT_EQ(b.AlignV(), blnTop);
    EXPECT_EQ(b.ArrowPos(), (TBalloonArrowPosHV {blnLeft, blnBottom}));
    EXPECT_EQ(b.Padding(), 10);
    EXPECT_EQ(b.Rounding(), 5);
    EXPECT_EQ(b.ArrowHeight(), 15);
    EXPECT_TRUE(b.HideNoFocus());
    EXPECT_EQ(b.Duration(), 0);
    EXPECT_FALSE(b.isVisible());

    ASSERT_GE(ScreenSize().width(), 520);
    ASSERT_GE(ScreenSize().height(), 410);
    b.SetAlignV(blnMiddle);
    b.SetControlPosX(500);
    b.SetControlPosY(400);
    EXPECT_EQ(b.geometry(), QRect(195, 250, 320, 150));
    EXPECT_EQ(b.ArrowPos(), (TBalloonArrowPosHV {blnCenter, blnMiddle}));
    // Empty caption: the control sits Padding from the top, no title shows.
    EXPECT_EQ(f.Content->pos(), QPoint(10, 10));
    EXPECT_TRUE(b.TitleLabel()->isHidden());
    EXPECT_TRUE(b.IconImage()->isHidden());

    // Body (0,0)-(320,136) and the triangle (305,135), (290,135), (305,150).
    const QRegion& s = b.Shape();
    EXPECT_TRUE(s.contains(QPoint(160, 135)));
    EXPECT_FALSE(s.contains(QPoint(160, 136)));
    EXPECT_TRUE(s.contains(QPoint(304, 148))); // beside the tip
    EXPECT_TRUE(s.contains(QPoint(300, 140)));
    EXPECT_FALSE(s.contains(QPoint(292, 145))); // outside the slanted side
    EXPECT_FALSE(s.contains(QPoint(306, 140)));
    EXPECT_FALSE(s.contains(QPoint(0, 0))); // rounded corner
    EXPECT_EQ(f.Tip(), QPoint(500, 400));

    // Writing the same point again does not reposition.
    b.move(0, 0);
    b.SetControlPosX(500);
    EXPECT_EQ(b.pos(), QPoint(0, 0));
    // Writing ArrowPos repositions; its value is replaced by the computed one.
    b.SetArrowPos({blnRight, blnBottom});
    EXPECT_EQ(b.pos(), QPoint(195, 250));
    EXPECT_EQ(b.ArrowPos(), (TBalloonArrowPosHV {blnCenter, blnMiddle}));
}

TEST(Balloon, FlipsAtTheScreenEdges)
{
    const QSize S = ScreenSize();
    struct TCase {
        const char* Name;
        TBalloonAlignH H;
        TBalloonAlignV V;
        QPoint Point;
        int ContentWidth;
        TBalloonArrowPosHV Want;
    };
    const TCase cases[] = {
        {"left edge", blnCenter, blnMiddle, {10, 300}, 300, {blnRight, blnMiddle}},
        {"top edge", blnCenter, blnMiddle, {500, 50}, 300, {blnCenter, blnBottom}},
        {"right edge", blnRight, blnMiddle, {S.width() - 10, 300}, 300, {blnLeft, blnMiddle}},
        {"bottom edge", blnCenter, blnBottom, {500, S.height() - 10}, 300, {blnCenter, blnTop}},
        {"top-left corner", blnCenter, blnTop, {5, 5}, 100, {blnRight, blnBottom}},
        {"wider than the screen", blnRight, blnMiddle, {400, 300}, S.width() + 100, {blnLeft, blnMiddle}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TBalloonFixture f({c.ContentWidth, 115});
        f.B.SetAlignH(c.H);
        f.B.SetAlignV(c.V);
        f.B.SetControlPosX(c.Point.x());
        f.B.SetControlPosY(c.Point.y());
        EXPECT_EQ(f.B.ArrowPos(), c.Want);
        EXPECT_EQ(f.Tip(), c.Point);
        // Opening below moves the content down by the arrow's height.
        EXPECT_EQ(f.Content->y(), c.Want.V == blnBottom ? 25 : 10);
        const int tipRow = c.Want.V == blnBottom ? 3 : f.B.height() - 3;
        const int tipCol = c.Want.H == blnRight ? f.B.ArrowDisposition() + 1 : f.B.width() - f.B.ArrowDisposition() - 1;
        EXPECT_TRUE(f.B.Shape().contains(QPoint(tipCol, tipRow)));
    }
}

TEST(Balloon, TitleIconAndAdoptedControlsStack)
{
    TBalloon b;
    b.SetCaption("Help");
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::magenta);
    icon.setPixel(8, 8, qRgb(0, 0, 255));
    b.LoadIcon(icon);
    auto* first = new QWidget;
    first->setFixedSize(200, 40);
    auto* second = new QWidget;
    second->setFixedSize(50, 20);
    b.Adopt(first);
    b.Adopt(second);
    b.SetControlPosX(600);
    b.SetControlPosY(500);
    const QLabel* t = b.TitleLabel();
    EXPECT_TRUE(b.TitleLabel()->isVisibleTo(&b));
    EXPECT_EQ(t->text(), "Help");
    EXPECT_EQ(t->x(), 5 + 10 + 16);
    EXPECT_EQ(b.IconImage()->pos(), QPoint(10, 10));
    const int titleBottom = 10 + (16 - t->height()) / 2 + t->height();
    EXPECT_EQ(first->pos(), QPoint(10, titleBottom + 10));
    EXPECT_EQ(second->pos(), QPoint(10, titleBottom + 10 + 40 + 5));
    EXPECT_EQ(b.width(), 2 * 10 + std::max(200, t->width() + 5 + 16));
    // 10 below the last control whatever the padding, then the arrow.
    EXPECT_EQ(b.height(), second->y() + 20 + 10 + 15);
    // The icon's background colour (its bottom-left pixel) is see-through.
    const QImage shown = b.IconImage()->pixmap().toImage();
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(shown.pixel(8, 8)), 255);
    // A missing resource leaves the icon as it was.
    b.LoadIcon(QString("NO_SUCH_PICTURE"));
    EXPECT_EQ(b.IconImage()->pixmap().toImage().pixel(8, 8), shown.pixel(8, 8));
}

TEST(Balloon, HidesOnClickAndAfterItsDuration)
{
    TBalloonFixture f({100, 30});
    f.B.SetControlPosX(400);
    f.B.SetControlPosY(300);
    f.B.show();
    ASSERT_TRUE(f.B.isVisible());
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 20), QPointF(3, 20), f.B.mapToGlobal(QPointF(3, 20)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f.B, &press);
    EXPECT_FALSE(f.B.isVisible());

    f.B.SetDuration(50);
    f.B.show();
    EXPECT_TRUE(f.B.HideTimer().isActive());
    EXPECT_TRUE(WaitFor([&] { return !f.B.isVisible(); }));
    EXPECT_FALSE(f.B.HideTimer().isActive());

    // Without a duration the timer never runs.
    f.B.SetDuration(0);
    f.B.show();
    EXPECT_FALSE(f.B.HideTimer().isActive());

    // Losing activation hides it only while HideNoFocus is on.
    ASSERT_FALSE(f.B.isActiveWindow());
    f.B.SetHideNoFocus(false);
    QEvent deactivate(QEvent::ActivationChange);
    QApplication::sendEvent(&f.B, &deactivate);
    EXPECT_TRUE(f.B.isVisible());
    f.B.SetHideNoFocus(true);
    QApplication::sendEvent(&f.B, &deactivate);
    EXPECT_FALSE(f.B.isVisible());
}
