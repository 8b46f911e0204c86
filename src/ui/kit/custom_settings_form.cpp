#include "ui/kit/custom_settings_form.h"

#include <QGuiApplication>
#include <QPalette>
#include <QResizeEvent>
#include <QScreen>
#include <QTreeWidgetItemIterator>

// ---------------------------------------------------------------- TTreeView

TTreeView::TTreeView(QWidget* Parent) : QTreeWidget(Parent)
{
    connect(this, &QTreeWidget::currentItemChanged, this, &TTreeView::CurrentChanged);
}

void TTreeView::CurrentChanged(QTreeWidgetItem* Current, QTreeWidgetItem* Previous)
{
    if (FReverting)
        return;
    bool allow = true;
    OnChanging(this, Current, allow);
    if (allow)
        return;
    FReverting = true;
    setCurrentItem(Previous);
    FReverting = false;
}

// ---------------------------------------------------------------- TPageControl

TPageControl::TPageControl(QWidget* Parent) : QTabWidget(Parent)
{
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (!FByCode)
            OnChange(this);
    });
}

int TPageControl::PageTag(int Index) const
{
    const auto* sheet = qobject_cast<const TTabSheet*>(widget(Index));
    return sheet ? sheet->Tag : 0;
}

void TPageControl::SetActivePage(QWidget* Page)
{
    FByCode = true;
    setCurrentWidget(Page);
    FByCode = false;
}

// ---------------------------------------------------------------- TCustomSettingsForm

QString SettingsNodeText(const QString& Caption)
{
    QString s = Caption;
    return s.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

TCustomSettingsForm::TCustomSettingsForm(QWidget* AOwner) : TBaseForm(AOwner)
{
}

void TCustomSettingsForm::CreateSettings()
{
    // Single border, not resizable, system menu only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setFixedSize(size());

    for (QObject* child : children()) {
        if (!Ftv)
            Ftv = qobject_cast<TTreeView*>(child);
        if (!Fpc)
            Fpc = qobject_cast<TPageControl*>(child);
    }

    if (Ftv) {
        FtvChanging = Ftv->OnChanging;
        Ftv->OnChanging = TEvent<QObject*, QTreeWidgetItem*, bool&>(this, &TCustomSettingsForm::FtvChangingHandler);
        Ftv->setHeaderHidden(true);
        Ftv->setColumnCount(1);
        Ftv->setIndentation(19);
        Ftv->setEditTriggers(QAbstractItemView::NoEditTriggers); // read only
        Ftv->setRootIsDecorated(false);                          // no lines, no root lines
        Ftv->setItemsExpandable(false);
        // The selection stays visible while the tree has no focus.
        QPalette pal = Ftv->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(
            QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
        Ftv->setPalette(pal);

        const QSignalBlocker block(Ftv);
        Ftv->clear();
        for (int i = 0; Fpc && i < Fpc->PageCount(); ++i)
            if (Fpc->isTabVisible(i))
                Ftv->addTopLevelItem(new QTreeWidgetItem(QStringList {SettingsNodeText(Fpc->Caption(i))}));
    }
    if (Fpc) {
        FpcChange = Fpc->OnChange;
        Fpc->OnChange = TEvent<QObject*>(this, &TCustomSettingsForm::FpcChangeHandler);
        if (Fpc->PageCount() > 0)
            Fpc->SetActivePage(Fpc->Page(0));
    }

    FbtnOK = new QPushButton(QStringLiteral("OK"), this);
    FbtnDefault = new QPushButton(QStringLiteral("Default"), this);
    FbtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetButtonModalResult(FbtnOK, mrOk);
    SetButtonModalResult(FbtnCancel, mrCancel);
    connect(FbtnDefault, &QPushButton::clicked, this, &TCustomSettingsForm::btnDefaultClick);
    SetDefaultButton(FbtnOK);
    SetCancelButton(FbtnCancel);

    // Tab order: tree, pages, OK, Default, Cancel.
    QWidget* order[] = {Ftv, Fpc, FbtnOK, FbtnDefault, FbtnCancel};
    QWidget* prev = nullptr;
    for (QWidget* w : order) {
        if (!w)
            continue;
        if (prev)
            setTabOrder(prev, w);
        prev = w;
    }

    ArrangeControls();
}

void TCustomSettingsForm::ArrangeControls()
{
    // The formulas keep each control's anchors: the tree on the left, top and
    // bottom edges, the pages on all four, the buttons on the right and bottom.
    const int cw = width();
    const int ch = height();
    if (Ftv)
        Ftv->setGeometry(0, 0, 150, ch);
    if (Fpc) {
        const int left = Ftv ? Ftv->width() + 6 : 4;
        Fpc->setGeometry(left, 4, cw - left - 6, ch - 44);
    }
    if (FbtnOK) {
        FbtnCancel->setGeometry(cw - 8 - 75, ch - 33, 75, 25);
        FbtnDefault->setGeometry(cw - 176, ch - 33, 85, 25);
        FbtnOK->setGeometry(cw - 259, ch - 33, 75, 25);
    }
}

void TCustomSettingsForm::resizeEvent(QResizeEvent* e)
{
    TBaseForm::resizeEvent(e);
    ArrangeControls();
}

void TCustomSettingsForm::showEvent(QShowEvent* e)
{
    TBaseForm::showEvent(e);
    if (FCentred)
        return;
    // Centred on the desktop the first time it shows.
    FCentred = true;
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

void TCustomSettingsForm::FtvChangingHandler(QObject* Sender, QTreeWidgetItem* Node, bool& AllowChange)
{
    if (Node && Fpc) {
        QWidget* page = nullptr;
        for (int i = 0; i < Fpc->PageCount(); ++i)
            if (SettingsNodeText(Fpc->Caption(i)) == Node->text(0))
                page = Fpc->Page(i); // the last such page wins
        if (page)
            Fpc->SetActivePage(page);
    }
    FtvChanging(Sender, Node, AllowChange);
}

void TCustomSettingsForm::FpcChangeHandler(QObject* Sender)
{
    if (Ftv && Fpc->ActivePage()) {
        const QString caption = SettingsNodeText(Fpc->Caption(Fpc->currentIndex()));
        for (QTreeWidgetItemIterator it(Ftv); *it; ++it)
            if ((*it)->text(0) == caption)
                Ftv->setCurrentItem(*it);
    }
    FpcChange(Sender);
}

void TCustomSettingsForm::SetPage(const QString& PageName)
{
    if (!Ftv)
        return;
    const QString name = PageName.toUpper();
    for (QTreeWidgetItemIterator it(Ftv); *it; ++it)
        if (SettingsNodeText((*it)->text(0)).toUpper() == name)
            Ftv->setCurrentItem(*it);
}

void TCustomSettingsForm::SetPage(int TagNumber)
{
    if (!Fpc)
        return;
    for (int i = 0; i < Fpc->PageCount(); ++i)
        if (Fpc->PageTag(i) == TagNumber)
            SetPage(SettingsNodeText(Fpc->Caption(i)));
}

void TCustomSettingsForm::HidePage(const QString& PageName)
{
    if (!Ftv)
        return;
    const QString name = PageName.toUpper();
    for (QTreeWidgetItemIterator it(Ftv); *it; ++it) {
        if (SettingsNodeText((*it)->text(0)).toUpper() == name) {
            delete *it; // the page itself stays
            return;
        }
    }
}

void TCustomSettingsForm::btnDefaultClick()
{
    if (!Fpc)
        DefaultSettings(-1);
    else if (Fpc->ActivePage())
        DefaultSettings(Fpc->PageTag(Fpc->currentIndex()));
}
