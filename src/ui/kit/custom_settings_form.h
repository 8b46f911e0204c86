#pragma once
// Base of settings dialogs: a tree of page names on the left, the pages on the
// right and the buttons "OK", "Default" and "Cancel" at the bottom right.
//
// A descendant builds its own tree view and page control (direct children of
// the dialog) with its pages, sizes its client area and then calls
// CreateSettings(): the dialog takes the first tree view and page control
// over, lays them out, fills the tree with the captions of the pages whose
// tabs are visible and adds the buttons. Selecting a tree node shows the page
// of that caption and showing a page selects its node; handlers the controls
// already had are called after the dialog's own.

#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QTreeWidget>

#include "platform/event.h"
#include "ui/kit/base_form.h"

// A tree view whose OnChanging handler is told of every change of the
// selected node, by the user or by code, and may refuse it.
class TTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TTreeView(QWidget* Parent = nullptr);

    TEvent<QObject*, QTreeWidgetItem*, bool&> OnChanging;

private:
    void CurrentChanged(QTreeWidgetItem* Current, QTreeWidgetItem* Previous);
    bool FReverting = false;
};

// A page of a TPageControl; its caption is the tab's text.
class TTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TTabSheet(QWidget* Parent = nullptr) : QWidget(Parent) { }
    int Tag = 0;
};

// A page control whose OnChange handler runs when the active page changes,
// except through SetActivePage: code shows a page without calling it.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* Parent = nullptr);

    int PageCount() const { return count(); }
    QWidget* Page(int Index) const { return widget(Index); }
    QString Caption(int Index) const { return tabText(Index); }
    // The page's tag (TTabSheet::Tag; 0 for other pages).
    int PageTag(int Index) const;
    QWidget* ActivePage() const { return currentWidget(); }
    void SetActivePage(QWidget* Page);

    TEvent<QObject*> OnChange;

private:
    bool FByCode = false;
};

// A caption as the tree shows it: every "&&" replaced by "&".
QString SettingsNodeText(const QString& Caption);

class TCustomSettingsForm : public TBaseForm {
    Q_OBJECT
public:
    explicit TCustomSettingsForm(QWidget* AOwner = nullptr);

    virtual void PopulateSettings(void* AConfig) { (void)AConfig; }
    virtual void CollectSettings(void* AConfig) { (void)AConfig; }
    virtual void DefaultSettings(int APageTag) { (void)APageTag; }
    virtual void SetPage(const QString& PageName);
    virtual void SetPage(int TagNumber);
    virtual void HidePage(const QString& PageName);

    QPushButton* btnOK() const { return FbtnOK; }
    QPushButton* btnDefault() const { return FbtnDefault; }
    QPushButton* btnCancel() const { return FbtnCancel; }

protected:
    // Takes the dialog's controls over; called by the descendant once its
    // controls exist and its client area has its size.
    void CreateSettings();
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

    TPageControl* Fpc = nullptr;
    TTreeView* Ftv = nullptr;
    TEvent<QObject*> FpcChange;
    TEvent<QObject*, QTreeWidgetItem*, bool&> FtvChanging;

private:
    void FtvChangingHandler(QObject* Sender, QTreeWidgetItem* Node, bool& AllowChange);
    void FpcChangeHandler(QObject* Sender);
    void btnDefaultClick();
    // Places tree, pages and buttons for the current client size.
    void ArrangeControls();

    QPushButton* FbtnOK = nullptr;
    QPushButton* FbtnDefault = nullptr;
    QPushButton* FbtnCancel = nullptr;
    bool FCentred = false;
};
