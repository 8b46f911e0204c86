// Overlay markers: clicks outside a marker reach the covered control, clicks
// on it reach the marker; the ID 1 rule; arrangement from the right.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

#include "support/qt_wait.h"
#include "ui/kit/overlay.h"

namespace {

// Eight 8 x 8 pictures side by side.
TImageList MarkerList()
{
    TImageList l;
    l.Sheet = QImage(64, 8, QImage::Format_ARGB32);
    l.Sheet.fill(Qt::blue);
    l.Width = 8;
    l.Height = 8;
    return l;
}

// A press and release delivered to the window, which routes them to the
// widget under the point as it does for real mouse input.
void ClickAt(QWidget* Window, QPoint Pos)
{
    QWindow* w = Window->windowHandle();
    const QPointF global = Window->mapToGlobal(QPointF(Pos));
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(Pos), QPointF(Pos), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(
        QEvent::MouseButtonRelease, QPointF(Pos), QPointF(Pos), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Counts the mouse presses a widget receives.
class TPressCounter : public QObject {
public:
    int Presses = 0;
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::MouseButtonPress)
            ++Presses;
        return QObject::eventFilter(Watched, Event);
    }
};

// The first row, from the top, where a group box's painting differs from the
// window above it, in a column right of the caption: the frame's top line.
int PaintedFrameRow(QGroupBox* Box)
{
    const QImage img = Box->window()->grab(Box->geometry()).toImage();
    const int x = img.width() - 30;
    const QRgb above = img.pixel(x, 0);
    for (int y = 1; y < img.height() / 2; ++y)
        if (img.pixel(x, y) != above)
            return y;
    return -1;
}

struct TOverlayFixture {
    QWidget Window;
    QPushButton* Button = new QPushButton("Press", &Window);
    TImageList List = MarkerList();
    int ButtonClicks = 0;
    TOverlayFixture()
    {
        Window.resize(400, 300);
        Button->setGeometry(20, 30, 200, 100);
        QObject::connect(Button, &QPushButton::clicked, [this] { ++ButtonClicks; });
        Window.show();
    }
};

} // namespace

TEST(Overlay, ClicksFallThroughExceptOnMarkers)
{
    TOverlayFixture f;
    TOverlayManager m;
    int markerClicks = 0;
    QObject* sender = nullptr;
    TOverlayPanel* p = m.AddPanel(f.Button);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->parentWidget(), &f.Window);
    EXPECT_EQ(p->geometry(), f.Button->geometry());
    POverlayImageInfo info = p->AddImage(
        2, f.List, 1,
        [&](QObject* s) {
            ++markerClicks;
            sender = s;
        },
        nullptr, nullptr);
    EXPECT_EQ(info->Img->geometry(), QRect(200 - 13, 0, 8, 8));

    ClickAt(&f.Window, QPoint(100, 80)); // the button's middle, under the panel
    EXPECT_EQ(f.ButtonClicks, 1);
    EXPECT_EQ(markerClicks, 0);

    ClickAt(&f.Window, QPoint(20 + 200 - 13 + 4, 30 + 4)); // the marker
    EXPECT_EQ(markerClicks, 1);
    EXPECT_EQ(sender, info->Img);
    EXPECT_EQ(f.ButtonClicks, 1);

    // A visible image with ID 1 makes the whole panel catch clicks for it.
    int hitClicks = 0;
    POverlayImageInfo hit = p->AddImage(
        1, f.List, 0,
        [&](QObject* s) {
            ++hitClicks;
            sender = s;
        },
        nullptr, nullptr);
    ClickAt(&f.Window, QPoint(100, 80));
    EXPECT_EQ(hitClicks, 1);
    EXPECT_EQ(sender, hit->Img);
    EXPECT_EQ(f.ButtonClicks, 1);
    // Hidden again, the panel lets the mouse through.
    hit->Img->hide();
    ClickAt(&f.Window, QPoint(100, 80));
    EXPECT_EQ(f.ButtonClicks, 2);
    EXPECT_EQ(hitClicks, 1);
}

TEST(Overlay, EditsUnderAPanelGetTheirClicks)
{
    QWidget window;
    window.resize(300, 200);
    auto* box = new QGroupBox("PI", &window);
    box->setGeometry(10, 10, 200, 80);
    auto* edit = new QLineEdit(box);
    edit->setGeometry(10, 25, 180, 22);
    TPressCounter counter;
    edit->installEventFilter(&counter);
    window.show();
    TOverlayManager m;
    TImageList list = MarkerList();
    TOverlayPanel* p = m.AddPanel(box);
    POverlayImageInfo info = p->AddImage(2, list, 1, nullptr, nullptr, nullptr);
    // On a group box the marker sits on the frame line, 13 px from the right.
    EXPECT_EQ(info->Img->x(), 200 - 13);
    const int frameRow = PaintedFrameRow(box);
    ASSERT_GT(frameRow, 0);
    EXPECT_LE(info->Img->y(), frameRow);
    EXPECT_GE(info->Img->y() + info->Img->height() - 1, frameRow);
    EXPECT_LE(std::abs(info->Img->y() + 4 - frameRow), 1);
    ClickAt(&window, QPoint(10 + 10 + 50, 10 + 25 + 10));
    EXPECT_EQ(counter.Presses, 1);
    ClickAt(&window, QPoint(10 + 200 - 13 + 4, 10 + info->Img->y() + 4)); // on the marker
    EXPECT_EQ(counter.Presses, 1);
}

TEST(Overlay, ImagesLineUpFromTheRightAndPanelsAreReused)
{
    TOverlayFixture f;
    TOverlayManager m;
    TOverlayPanel* p = m.AddPanel(f.Button);
    POverlayImageInfo a = p->AddImage(2, f.List, 1, nullptr, nullptr, nullptr);
    POverlayImageInfo b = p->AddImage(3, f.List, 2, nullptr, nullptr, nullptr);
    EXPECT_EQ(a->Img->x(), 200 - 5 - 8);
    EXPECT_EQ(b->Img->x(), 200 - 5 - 8 - 2 - 8);
    // The same ID updates the record instead of adding one.
    EXPECT_EQ(p->AddImage(2, f.List, 3, nullptr, nullptr, nullptr), a);
    EXPECT_EQ(a->SrcIdx, 3);
    EXPECT_EQ(p->ImageCount(), 2);
    // Hidden images take no room at the next arrangement.
    a->Img->hide();
    p->ArrangeImages();
    EXPECT_EQ(b->Img->x(), 200 - 5 - 8);

    // A second AddPanel re-fits the same panel to the control's new bounds.
    f.Button->setGeometry(50, 60, 120, 40);
    EXPECT_EQ(p->geometry(), QRect(20, 30, 200, 100));
    EXPECT_EQ(m.AddPanel(f.Button), p);
    EXPECT_EQ(m.Count(), 1);
    EXPECT_EQ(p->geometry(), QRect(50, 60, 120, 40));
    EXPECT_EQ(m.GetPanel(0), p);
    EXPECT_EQ(m.GetPanel(1), nullptr);

    // The refresh re-enables panels and their images; its timer runs only
    // while there is something to re-enable.
    EXPECT_FALSE(m.RefreshRunning());
    p->SetEnabled(false);
    EXPECT_FALSE(b->Img->isEnabled());
    EXPECT_TRUE(m.RefreshRunning());
    m.Refresh();
    EXPECT_TRUE(p->isEnabled());
    EXPECT_TRUE(b->Img->isEnabled());
    EXPECT_FALSE(m.RefreshRunning());
    b->Img->setEnabled(false);
    EXPECT_TRUE(m.RefreshRunning());
    EXPECT_TRUE(WaitFor([&] { return b->Img->isEnabled(); }));
    EXPECT_FALSE(m.RefreshRunning());
}

TEST(Overlay, PanelsFreedWithTheirWindowAreNotFreedTwice)
{
    TOverlayManager m;
    TImageList list = MarkerList();
    {
        QWidget window;
        auto* edit = new QLineEdit(&window);
        m.AddPanel(edit)->AddImage(2, list, 1, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(m.GetPanel(0), nullptr);
}
