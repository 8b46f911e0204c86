#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>

#include "ui/kit/control_walk.h"

namespace {

// root
//   group a
//     edit a1
//     group b
//       edit b1
//   label c
struct Tree {
    QWidget root;
    QGroupBox* a = new QGroupBox(&root);
    QLineEdit* a1 = new QLineEdit(a);
    QGroupBox* b = new QGroupBox(a);
    QLineEdit* b1 = new QLineEdit(b);
    QLabel* c = new QLabel(&root);
    Tree()
    {
        a->setObjectName("a");
        a1->setObjectName("a1");
        b->setObjectName("b");
        b1->setObjectName("b1");
        c->setObjectName("c");
    }
};

} // namespace

TEST(ControlWalk, VisitsDescendantsBeforeEachContainerAndSkipsTheRoot)
{
    Tree t;
    QStringList order;
    ForEachControl(&t.root, [&](QWidget* w) { order << w->objectName(); });
    EXPECT_EQ(order, (QStringList {"a1", "b1", "b", "a", "c"}));

    // A control without children is passed alone.
    order.clear();
    ForEachControl(t.c, [&](QWidget* w) { order << w->objectName(); });
    EXPECT_EQ(order, QStringList {"c"});
}

TEST(ControlWalk, ControlsAddedDuringTheWalkAreNotVisited)
{
    Tree t;
    int visits = 0;
    ForEachControl(&t.root, [&](QWidget* w) {
        ++visits;
        if (w == t.a1)
            new QLabel(t.a); // a marker beside a control, as the help links add
        if (w == t.c)
            new QLabel(&t.root);
    });
    EXPECT_EQ(visits, 5);
}

TEST(ControlWalk, EnablesEverythingInsideAndTheControlOnlyWhenAsked)
{
    Tree t;
    SetControlsEnabled(t.a, false, false);
    EXPECT_TRUE(t.a->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(t.a1), static_cast<QWidget*>(t.b), static_cast<QWidget*>(t.b1)})
        EXPECT_FALSE(w->isEnabledTo(t.a)) << w->objectName().toStdString();
    EXPECT_TRUE(t.c->isEnabled());

    SetControlsEnabled(t.a, false, true);
    EXPECT_FALSE(t.a->isEnabled());

    // Enabling the group again brings back every control inside it.
    SetControlsEnabled(t.a, true, true);
    for (QWidget* w : {static_cast<QWidget*>(t.a), static_cast<QWidget*>(t.a1), static_cast<QWidget*>(t.b),
             static_cast<QWidget*>(t.b1)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}
