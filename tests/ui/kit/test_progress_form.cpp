#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "ui/kit/progress_form.h"

TEST(ProgressForm, PartsStackWithMarginsAndTheFrame)
{
    TProgressFormEx f;
    EXPECT_EQ(f.Parts(), TPFExParts(pfpLabel | pfpProgress));
    EXPECT_EQ(f.width(), 380);
    EXPECT_TRUE(f.InfoLabel->isVisibleTo(&f));
    EXPECT_TRUE(f.ProgressBar->isVisibleTo(&f));
    EXPECT_FALSE(f.infoMemo->isVisibleTo(&f));
    EXPECT_FALSE(f.btnCancel->isVisibleTo(&f));
    EXPECT_EQ(f.btnCancel->text(), "Cancel");

    // First part 8 px below the frame, 4 px between parts, 8 px above the frame.
    const int frame = TProgressFormEx::FrameWidth;
    EXPECT_EQ(f.InfoLabel->y(), frame + 8);
    EXPECT_EQ(f.ProgressBar->y(), f.InfoLabel->geometry().bottom() + 1 + 4);
    EXPECT_EQ(f.height(), f.ProgressBar->geometry().bottom() + 1 + 8 + frame);

    f.SetParts(pfpMemo | pfpProgress1 | pfpCancel);
    EXPECT_TRUE(f.infoMemo->isVisibleTo(&f));
    EXPECT_FALSE(f.InfoLabel->isVisibleTo(&f));
    EXPECT_EQ(f.infoMemo->y(), frame + 8);
    EXPECT_LT(f.ProgressBar1->y(), f.btnCancel->y());
    EXPECT_EQ(f.height(), f.btnCancel->geometry().bottom() + 1 + 8 + frame);

    // No parts: just the frame.
    f.SetParts(0);
    for (QWidget* c : f.Controls)
        EXPECT_FALSE(c->isVisibleTo(&f));
    EXPECT_EQ(f.height(), 2 * frame);

    // The frame: two white rings outside, two blue rings inside.
    f.SetParts(pfpLabel);
    const QImage img = f.grab().toImage();
    EXPECT_EQ(img.pixelColor(0, img.height() / 2), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(1, img.height() / 2), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(2, img.height() / 2), QColor(0, 0, 255));
    EXPECT_EQ(img.pixelColor(3, img.height() / 2), QColor(0, 0, 255));
}

TEST(ProgressForm, ModalShowDisablesOtherWindowsAndCentresOnItsOwner)
{
    QWidget owner;
    owner.setGeometry(100, 100, 600, 400);
    owner.show();
    QWidget disabledBefore;
    disabledBefore.show();
    disabledBefore.setEnabled(false);
    TProgressFormEx f;

    f.DoModalShow(&owner);
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_FALSE(f.Status);
    const QRect ref = owner.frameGeometry();
    EXPECT_EQ(f.x(), ref.left() + (ref.width() - f.width()) / 2);
    EXPECT_EQ(f.y(), ref.top() + (ref.height() - f.height()) / 2);

    f.SetParts(pfpLabel | pfpCancel);
    f.btnCancel->click();
    EXPECT_TRUE(f.Status);

    f.DoModalHide();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_FALSE(disabledBefore.isEnabled()); // was not ours to enable
    EXPECT_TRUE(f.ShowedFrom.isNull());

    // Top anchor only: the top edge meets the owner's, the left is centred.
    f.SetAnchors(Qt::LeftEdge | Qt::RightEdge | Qt::TopEdge);
    f.DoCenter(&owner);
    EXPECT_EQ(f.y(), ref.top());
    f.SetAnchors(Qt::BottomEdge);
    const int left = f.x();
    f.DoCenter(&owner);
    EXPECT_EQ(f.y(), ref.top() + ref.height() - f.height());
    EXPECT_EQ(f.x(), left);
}

TEST(ProgressForm, UserCannotCloseItUntilAllowed)
{
    TProgressFormEx f;
    f.show();
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    f.AllowClose = true;
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(f.isVisible());
}
