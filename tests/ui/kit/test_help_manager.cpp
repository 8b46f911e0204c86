// Help balloons: loading the help document, linking markers, a marker click
// that fills and shows the balloon.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWindow>

#include "ui/kit/help_manager.h"

namespace {

QDomDocument Parse(const char* Xml)
{
    QDomDocument doc;
    EXPECT_TRUE(doc.setContent(QByteArray(Xml)));
    return doc;
}

const char kFixture[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<HelpConfig>
<Other id="5"/>
<Context id="7" name="First"><![CDATA[
<b>one</b>
two<br>
]]></Context>
<Context id="7" name="Second"><![CDATA[dup]]></Context>
<Context id="4" name="Wide" width="360"><![CDATA[wide]]></Context>
<Context id="x" name="NoNumber"><![CDATA[lost]]></Context>
</HelpConfig>)";

} // namespace

TEST(HelpManager, LoadsContextsFromXML)
{
    QWidget owner;
    THelpManager h(&owner);
    h.LoadFromXML(Parse(kFixture), "HelpConfig");
    ASSERT_EQ(h.Count(), 3); // a context without a numeric id is skipped
    const THelpItem* first = h.Context2HI(7);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Name, "First"); // with duplicate ids the first wins
    // Lines run together: control characters are removed, not made spaces.
    EXPECT_EQ(first->Text, "<b>one</b>two<br>");
    EXPECT_EQ(first->Width, 0);
    EXPECT_EQ(h.Context2HI(4)->Width, 360);
    EXPECT_EQ(h.Context2HI(5), nullptr);

    // Loading appends; a document without the root element adds nothing.
    h.LoadFromXML(Parse("<Other><Context id=\"9\"><![CDATA[x]]></Context></Other>"), "HelpConfig");
    EXPECT_EQ(h.Count(), 3);
    EXPECT_FALSE(h.LoadFromResource(":/NO_SUCH_DOCUMENT"));
    EXPECT_EQ(h.Count(), 3);
}

TEST(HelpManager, ProgramHelpDocumentHoldsItsContexts)
{
    QWidget owner;
    THelpManager h(&owner);
    ASSERT_TRUE(h.LoadFromResource());
    ASSERT_EQ(h.Count(), 20);
    const int ids[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 100, 101, 102, 103, 104, 105, 106, 107};
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(ids[i]);
        ASSERT_NE(h.Item(i), nullptr);
        EXPECT_EQ(h.Item(i)->ID, ids[i]);
        EXPECT_EQ(h.Item(i)->Width, ids[i] == 4 ? 360 : 0);
        EXPECT_GT(h.Item(i)->Text.size(), 40);
    }
    EXPECT_EQ(h.Context2HI(1)->Text,
        "<font color=\"#0000FF\"><b>P</b>rogram <b>I</b>dentification code</font><br><br>"
        "This <u>Must</u> be unique 4 digits HEX number which identifies your station. Your "
        "<b>PI</b> code can be calculated by entering your <b>CALL</b> letters.");
    EXPECT_EQ(h.Context2HI(6)->Name, "TA and TP");
    // One spelling throughout, the headings' one.
    for (int i = 0; i < h.Count(); ++i)
        EXPECT_FALSE(h.Item(i)->Text.contains("programme", Qt::CaseInsensitive)) << h.Item(i)->ID;
    // RadioText receivers clear their display on the A/B flag, not on any change of text.
    EXPECT_TRUE(h.Context2HI(5)->Text.contains("A/B"));
}

namespace {

void ClickAt(QWidget* Window, QPoint Pos)
{
    const QPointF global = Window->mapToGlobal(QPointF(Pos));
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(Pos), QPointF(Pos), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Window->windowHandle(), &press);
    QMouseEvent release(
        QEvent::MouseButtonRelease, QPointF(Pos), QPointF(Pos), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(Window->windowHandle(), &release);
}

// A window with three group boxes (help contexts 1, 4 and 0) linked the way
// the main window does it: a panel per control and an ID 2 marker on it.
struct THelpFixture {
    QWidget Window;
    QGroupBox* Box1 = new QGroupBox("PI", &Window);
    QGroupBox* Box4 = new QGroupBox("PTYN", &Window);
    QGroupBox* Box0 = new QGroupBox("None", &Window);
    QLineEdit* Refused = new QLineEdit(Box1);
    TOverlayManager Overlays;
    TImageList Markers;
    THelpManager Help {&Window};
    int Asked = 0;

    THelpFixture()
    {
        Window.resize(600, 400);
        Box1->setGeometry(300, 200, 200, 60);
        Box4->setGeometry(20, 300, 200, 60);
        Box0->setGeometry(20, 20, 200, 60);
        Refused->setGeometry(10, 25, 100, 22);
        SetHelpContext(Box1, 1);
        SetHelpContext(Box4, 4);
        SetHelpContext(Refused, 3); // the host gives it no marker
        Markers.Sheet = QImage(16, 8, QImage::Format_ARGB32);
        Markers.Sheet.fill(Qt::blue);
        Markers.Width = Markers.Height = 8;
        Help.OnAddImage = [this](QWidget* Control, TClickImage*& Img) {
            ++Asked;
            if (Control == Refused)
                return;
            Img = Overlays.AddPanel(Control)->AddImage(2, Markers, 1, nullptr, nullptr, nullptr)->Img;
        };
        Help.Link();
        Help.LoadFromResource();
        Window.show();
    }
    TClickImage* Marker(QGroupBox* Box)
    {
        TOverlayPanel* p = Overlays.FindPanel(Box);
        return p ? p->FindImageByID(2)->Img : nullptr;
    }
};

} // namespace

TEST(HelpManager, MarkerClickFillsAndShowsTheBalloon)
{
    THelpFixture f;
    EXPECT_EQ(f.Asked, 3); // the two boxes with help and the edit, not box 0
    EXPECT_EQ(f.Overlays.Count(), 2);
    TClickImage* m1 = f.Marker(f.Box1);
    ASSERT_NE(m1, nullptr);
    EXPECT_EQ(GetHelpContext(m1), 1);
    TBalloon* b = f.Help.Balloon();
    EXPECT_FALSE(b->isVisible());
    EXPECT_EQ(b->Caption(), "Help");
    EXPECT_EQ(f.Help.CloseLabel()->text(), "Hide");

    ClickAt(&f.Window, f.Box1->pos() + m1->geometry().center());
    ASSERT_TRUE(b->isVisible());
    EXPECT_EQ(b->AlignControl(), m1);
    const QImage picture = f.Help.TextImage()->Picture();
    EXPECT_EQ(picture.width(), 300);
    EXPECT_GT(picture.height(), 20);
    EXPECT_EQ(f.Help.TextImage()->size(), picture.size());
    // The content stacks title, text picture and Hide link.
    EXPECT_EQ(b->AdoptedControls().size(), 2u);
    EXPECT_LT(f.Help.TextImage()->geometry().bottom(), f.Help.CloseLabel()->y());
    EXPECT_GE(b->width(), 320);
    // The arrow tip points at the marker's centre: above and left of it.
    const QPoint centre = m1->mapToGlobal(QPoint(m1->width() / 2, m1->height() / 2));
    EXPECT_EQ(b->ArrowPos(), (TBalloonArrowPosHV {blnCenter, blnMiddle}));
    EXPECT_EQ(b->pos() + QPoint(b->width() - 15, b->height()), centre);

    // The same marker again: same picture, nothing added.
    ClickAt(&f.Window, f.Box1->pos() + m1->geometry().center());
    EXPECT_TRUE(b->isVisible());
    EXPECT_EQ(f.Help.TextImage()->Picture().size(), picture.size());
    EXPECT_EQ(b->AdoptedControls().size(), 2u);

    // Another marker while the balloon shows: re-aimed and laid out around the
    // wider text of context 4.
    TClickImage* m4 = f.Marker(f.Box4);
    ClickAt(&f.Window, f.Box4->pos() + m4->geometry().center());
    EXPECT_EQ(b->AlignControl(), m4);
    EXPECT_EQ(f.Help.TextImage()->width(), 360);
    EXPECT_EQ(b->width(), 2 * 10 + 360);

    // The Hide link and the text picture hide the balloon.
    f.Help.HelpClick(f.Help.CloseLabel());
    EXPECT_FALSE(b->isVisible());
    ClickAt(&f.Window, f.Box1->pos() + m1->geometry().center());
    EXPECT_TRUE(b->isVisible());
    f.Help.HelpClick(f.Help.TextImage());
    EXPECT_FALSE(b->isVisible());
}

TEST(HelpManager, MarkerWithoutContextStillShowsTheBalloon)
{
    QWidget window;
    window.resize(300, 200);
    auto* box = new QGroupBox("X", &window);
    box->setGeometry(50, 50, 200, 60);
    SetHelpContext(box, 55);
    TOverlayManager overlays;
    TImageList markers;
    markers.Sheet = QImage(16, 8, QImage::Format_ARGB32);
    markers.Width = markers.Height = 8;
    THelpManager help(&window); // nothing loaded
    help.OnAddImage = [&](QWidget* Control, TClickImage*& Img) {
        Img = overlays.AddPanel(Control)->AddImage(2, markers, 1, nullptr, nullptr, nullptr)->Img;
    };
    help.Link();
    window.show();
    TClickImage* m = overlays.FindPanel(box)->FindImageByID(2)->Img;
    help.HelpClick(m);
    EXPECT_TRUE(help.Balloon()->isVisible());
    EXPECT_TRUE(help.TextImage()->Picture().isNull());
    EXPECT_TRUE(help.CloseLabel()->isVisibleTo(help.Balloon()));
}

TEST(HelpManager, LinksEveryControlWithHelpWhileMarkersAreAdded)
{
    QWidget window;
    std::vector<QGroupBox*> boxes;
    for (int i = 0; i < 40; ++i) {
        boxes.push_back(new QGroupBox(&window));
        boxes.back()->setGeometry(0, i * 10, 100, 10);
        SetHelpContext(boxes.back(), i % 4 == 0 ? (i == 0 ? -1 : 0) : i);
    }
    auto* inner = new QLineEdit(boxes[1]);
    SetHelpContext(inner, 200);
    TOverlayManager overlays;
    TImageList markers;
    markers.Sheet = QImage(16, 8, QImage::Format_ARGB32);
    markers.Width = markers.Height = 8;
    THelpManager help(&window);
    std::vector<QWidget*> asked;
    help.OnAddImage = [&](QWidget* Control, TClickImage*& Img) {
        asked.push_back(Control);
        // Each marker panel is a new sibling of the control being linked.
        Img = overlays.AddPanel(Control)->AddImage(2, markers, 1, nullptr, nullptr, nullptr)->Img;
    };
    help.Link();
    ASSERT_EQ(asked.size(), 31u); // 30 boxes with a context above 0, and the edit
    EXPECT_EQ(asked[0], inner);   // a container's descendants come before it
    EXPECT_EQ(asked[1], boxes[1]);
    for (QWidget* c : asked)
        EXPECT_EQ(GetHelpContext(overlays.FindPanel(c)->FindImageByID(2)->Img), GetHelpContext(c));
}
