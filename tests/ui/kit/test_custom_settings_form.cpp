#include "ui/kit/custom_settings_form.h"

#include <QTreeWidgetItem>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// A dialog of four pages, one with a hidden tab, two sharing a tag, and with
// handlers of its own on its tree and page control.
class TPagesForm : public TCustomSettingsForm {
public:
    TPagesForm(bool WithTree, bool WithPages)
    {
        resize(400, 250);
        if (WithTree) {
            Tree = new TTreeView(this);
            Tree->OnChanging = TEvent<QObject*, QTreeWidgetItem*, bool&>(this, &TPagesForm::TreeChanging);
            new TTreeView(this); // only the first tree view is taken over
        }
        if (WithPages) {
            Pages = new TPageControl(this);
            Pages->OnChange = TEvent<QObject*>(this, &TPagesForm::PagesChange);
            const std::pair<const char*, int> pages[] = {{"A&&B", 5}, {"Device", 0}, {"Hidden", 7}, {"Last", 5}};
            for (const auto& [caption, tag] : pages) {
                auto* sheet = new TTabSheet;
                sheet->Tag = tag;
                Pages->addTab(sheet, QString::fromLatin1(caption));
            }
            Pages->setTabVisible(2, false);
        }
        CreateSettings();
        Changes = 0; // adding the first page made it active
    }
    void DefaultSettings(int APageTag) override { Defaults.push_back(APageTag); }
    TTreeView* TakenTree() const { return Ftv; }
    QString ActiveCaption() const { return Pages->Caption(Pages->currentIndex()); }
    QString CurrentNode() const { return Tree->currentItem() ? Tree->currentItem()->text(0) : QString(); }
    QStringList Nodes() const
    {
        QStringList nodes;
        for (int i = 0; i < Tree->topLevelItemCount(); ++i)
            nodes << Tree->topLevelItem(i)->text(0);
        return nodes;
    }

    TTreeView* Tree = nullptr;
    TPageControl* Pages = nullptr;
    QStringList Changing; // nodes the own changing handler was told of
    int Changes = 0;      // calls of the own change handler
    std::vector<int> Defaults;

private:
    void TreeChanging(QObject* Sender, QTreeWidgetItem* Node, bool& AllowChange)
    {
        EXPECT_EQ(Sender, Tree);
        EXPECT_TRUE(AllowChange);
        Changing << (Node ? Node->text(0) : QString());
    }
    void PagesChange(QObject* Sender)
    {
        EXPECT_EQ(Sender, Pages);
        ++Changes;
    }
};

TEST(CustomSettingsForm, TreeAndPagesFollowEachOther)
{
    TPagesForm f(true, true);
    EXPECT_EQ(f.TakenTree(), f.Tree);
    EXPECT_EQ(f.Nodes(), (QStringList {"A&B", "Device", "Last"}));
    EXPECT_EQ(f.Pages->geometry(), QRect(156, 4, 400 - 156 - 6, 250 - 44));
    EXPECT_EQ(f.ActiveCaption(), "A&&B");

    // By name in any case, with the single ampersand the tree shows.
    f.SetPage("device");
    EXPECT_EQ(f.ActiveCaption(), "Device");
    EXPECT_EQ(f.CurrentNode(), "Device");
    f.SetPage("a&B");
    EXPECT_EQ(f.ActiveCaption(), "A&&B");
    EXPECT_EQ(f.CurrentNode(), "A&B");
    // By tag: every page of the tag in turn, so the last one shows.
    f.SetPage(5);
    EXPECT_EQ(f.ActiveCaption(), "Last");
    f.SetPage("nothing");
    EXPECT_EQ(f.ActiveCaption(), "Last");
    EXPECT_EQ(f.Changing, (QStringList {"Device", "A&B", "Last"}));
    EXPECT_EQ(f.Changes, 0); // pages shown by code do not count as changes

    // The user picks a tab: its node follows and the own handler runs once.
    f.Pages->setCurrentIndex(1);
    EXPECT_EQ(f.CurrentNode(), "Device");
    EXPECT_EQ(f.Changes, 1);
    // The user picks a node.
    f.Tree->setCurrentItem(f.Tree->topLevelItem(2));
    EXPECT_EQ(f.ActiveCaption(), "Last");

    f.btnDefault()->click();
    f.SetPage("device");
    f.btnDefault()->click();
    EXPECT_EQ(f.Defaults, (std::vector<int> {5, 0}));

    // Hiding removes the node only; the page stays.
    f.HidePage("DEVICE");
    EXPECT_EQ(f.Nodes(), (QStringList {"A&B", "Last"}));
    EXPECT_EQ(f.Pages->PageCount(), 4);
    f.HidePage("none");
    EXPECT_EQ(f.Nodes().size(), 2);
}

TEST(CustomSettingsForm, WithoutTreeOrPages)
{
    TPagesForm pagesOnly(false, true);
    EXPECT_EQ(pagesOnly.Pages->geometry(), QRect(4, 4, 400 - 4 - 6, 250 - 44));
    pagesOnly.SetPage("Device"); // no tree: nothing to select, nothing breaks
    pagesOnly.btnDefault()->click();
    EXPECT_EQ(pagesOnly.Defaults, std::vector<int> {5});

    TPagesForm treeOnly(true, false);
    EXPECT_TRUE(treeOnly.Nodes().isEmpty());
    treeOnly.SetPage(0);
    treeOnly.btnDefault()->click();
    EXPECT_EQ(treeOnly.Defaults, std::vector<int> {-1});
    EXPECT_EQ(treeOnly.btnOK()->geometry(), QRect(400 - 259, 250 - 33, 75, 25));
}

} // namespace
