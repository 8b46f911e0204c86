#include "ui/main/af_panel.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QIcon>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/main/group_box.h"

namespace {

// The 16 x 16 picture of a button, with its disabled look, from the window's
// button sheet (four states per picture: normal, disabled, pressed, hot).
QIcon ButtonIcon(int Index)
{
    const QImage sheet(QStringLiteral(":/IL1"));
    QIcon icon;
    if (sheet.width() < 16 * (Index + 2))
        return icon;
    icon.addPixmap(QPixmap::fromImage(sheet.copy(16 * Index, 0, 16, 16)), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(sheet.copy(16 * (Index + 1), 0, 16, 16)), QIcon::Disabled);
    return icon;
}

constexpr int kAddPicture = 36;
constexpr int kClearPicture = 40;

constexpr int kColumns = 5;
constexpr int kColumnWidths[kColumns] = {25, 60, 20, 20, 20};
constexpr int kColumnTags[kColumns] = {0, 0, TAFPanel::tagUp, TAFPanel::tagDown, TAFPanel::tagDelete};

void Renumber(QTableWidget* Grid)
{
    for (int r = 0; r < Grid->rowCount(); ++r)
        if (QTableWidgetItem* i = Grid->item(r, TAFPanel::colNo))
            i->setText(QString::number(r + 1));
}

} // namespace

// ---- TAFGrid ------------------------------------------------------------------

TAFGrid::TAFGrid(QWidget* Parent) : QTableWidget(0, kColumns, Parent)
{
}

void TAFGrid::MoveRow(int From, int To)
{
    const int n = rowCount();
    if (From < 0 || From >= n || To < 0 || To >= n)
        return;
    if (From != To) {
        setUpdatesEnabled(false);
        QList<QTableWidgetItem*> cells;
        for (int c = 0; c < columnCount(); ++c)
            cells.append(takeItem(From, c));
        removeRow(From);
        insertRow(To);
        for (int c = 0; c < columnCount(); ++c)
            setItem(To, c, cells[c]);
        Renumber(this);
        setUpdatesEnabled(true);
    }
    setCurrentCell(To, TAFPanel::colAF);
    selectRow(To);
}

void TAFGrid::dropEvent(QDropEvent* Event)
{
    if (Event->source() != this) {
        Event->ignore();
        return;
    }
    const int from = currentRow();
    const QModelIndex at = indexAt(Event->position().toPoint());
    int to = rowCount();
    if (at.isValid())
        to = dropIndicatorPosition() == BelowItem ? at.row() + 1 : at.row();
    if (to > from)
        --to; // the row leaves its old place first
    MoveRow(from, std::clamp(to, 0, rowCount() - 1));
    // The rows are already in place: the drag must not remove anything.
    Event->setDropAction(Qt::IgnoreAction);
    Event->accept();
}

// ---- TAFGridDelegate ------------------------------------------------------------

TAFGridDelegate::TAFGridDelegate(QObject* Parent)
    : QStyledItemDelegate(Parent), FPictures(QStringLiteral(":/IL_EDIT10"))
{
}

QString TAFGridDelegate::displayText(const QVariant& Value, const QLocale& Locale) const
{
    if (Value.typeId() == QMetaType::Double)
        return QString::number(Value.toDouble(), 'f', 1) + QStringLiteral(" MHz");
    return QStyledItemDelegate::displayText(Value, Locale);
}

QWidget* TAFGridDelegate::createEditor(QWidget* Parent, const QStyleOptionViewItem&, const QModelIndex& Index) const
{
    if (Index.column() != TAFPanel::colAF)
        return nullptr;
    auto* e = new QDoubleSpinBox(Parent);
    e->setRange(TAFPanel::kMinMHz, TAFPanel::kMaxMHz);
    e->setSingleStep(0.1);
    e->setDecimals(1);
    e->setSuffix(QStringLiteral(" MHz"));
    e->setAlignment(Qt::AlignRight);
    e->setButtonSymbols(QAbstractSpinBox::NoButtons);
    e->setFrame(false);
    e->setAutoFillBackground(true); // an edit box over the cell, not its highlight
    e->setLocale(QLocale::c());
    return e;
}

void TAFGridDelegate::setEditorData(QWidget* Editor, const QModelIndex& Index) const
{
    if (auto* e = qobject_cast<QDoubleSpinBox*>(Editor))
        e->setValue(Index.data(Qt::EditRole).toDouble());
}

void TAFGridDelegate::setModelData(QWidget* Editor, QAbstractItemModel* Model, const QModelIndex& Index) const
{
    if (auto* e = qobject_cast<QDoubleSpinBox*>(Editor)) {
        e->interpretText();
        Model->setData(Index, e->value(), Qt::EditRole);
    }
}

void TAFGridDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const
{
    if (Index.column() == TAFPanel::colAF) {
        // The style's text margins would cut "107.9 MHz" short in the 60
        // pixel column: the cell is drawn empty and the text with a narrow margin.
        QStyleOptionViewItem opt(Option);
        initStyleOption(&opt, Index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* w = opt.widget;
        (w ? w->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &opt, Painter, w);
        const QPalette::ColorGroup group = opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        Painter->save();
        Painter->setPen(
            opt.palette.color(group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        Painter->setFont(opt.font);
        Painter->drawText(opt.rect.adjusted(1, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter, text);
        Painter->restore();
        return;
    }
    QStyledItemDelegate::paint(Painter, Option, Index);
    const QVariant picture = Index.data(Qt::UserRole);
    if (Index.column() < TAFPanel::colUp || !picture.isValid() || FPictures.isNull())
        return;
    const int i = picture.toInt();
    const QPixmap pic = QPixmap::fromImage(FPictures.copy(10 * i, 0, 10, 10));
    const QRect r = Option.rect;
    // A disabled grid draws its pictures disabled, as the style greys icons.
    const bool enabled = Option.state & QStyle::State_Enabled;
    const QWidget* w = Option.widget;
    const QStyle* style = w ? w->style() : QApplication::style();
    QStyleOption opt;
    opt.palette = Option.palette;
    Painter->drawPixmap(r.x() + (r.width() - 10) / 2, r.y() + (r.height() - 10) / 2,
        enabled ? pic : style->generatedIconPixmap(QIcon::Disabled, pic, &opt));
}

// ---- TAFPanel -------------------------------------------------------------------

TAFPanel::TAFPanel(TGroupBox* gbAF) : QObject(gbAF)
{
    ngAF_B = new TAFGrid(gbAF);
    ngAF_B->setObjectName(QStringLiteral("ngAF_B"));
    ngAF_B->setGeometry(8, 16, 161, 147);
    ngAF_B->setItemDelegate(new TAFGridDelegate(ngAF_B));
    ngAF_B->setSelectionBehavior(QAbstractItemView::SelectRows);
    ngAF_B->setSelectionMode(QAbstractItemView::SingleSelection);
    ngAF_B->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
        | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    ngAF_B->setDragEnabled(true);
    ngAF_B->setDragDropMode(QAbstractItemView::InternalMove);
    ngAF_B->setDefaultDropAction(Qt::MoveAction);
    ngAF_B->setDropIndicatorShown(true);
    ngAF_B->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ngAF_B->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ngAF_B->setWordWrap(false);
    ngAF_B->setCornerButtonEnabled(false);
    ngAF_B->verticalHeader()->hide();
    ngAF_B->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ngAF_B->verticalHeader()->setDefaultSectionSize(17);
    QHeaderView* header = ngAF_B->horizontalHeader();
    header->setSectionsMovable(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
    header->setFixedHeight(18);
    const QString captions[kColumns] = {QStringLiteral("No"), QStringLiteral("AF"), {}, {}, {}};
    for (int c = 0; c < kColumns; ++c) {
        auto* h = new QTableWidgetItem(captions[c]);
        h->setData(Qt::UserRole, kColumnTags[c]);
        ngAF_B->setHorizontalHeaderItem(c, h);
        ngAF_B->setColumnWidth(c, kColumnWidths[c]);
    }

    btnAddAF_B = new QPushButton(ButtonIcon(kAddPicture), QStringLiteral("Add AF"), gbAF);
    btnAddAF_B->setObjectName(QStringLiteral("btnAddAF_B"));
    btnAddAF_B->setGeometry(8, 169, 70, 25);
    btnClearAF_B = new QPushButton(ButtonIcon(kClearPicture), QStringLiteral("Clear"), gbAF);
    btnClearAF_B->setObjectName(QStringLiteral("btnClearAF_B"));
    btnClearAF_B->setGeometry(99, 169, 70, 25);
    for (QPushButton* b : {btnAddAF_B, btnClearAF_B}) {
        b->setIconSize(QSize(16, 16));
        b->setAutoDefault(false);
    }

    connect(btnAddAF_B, &QPushButton::clicked, this, [this] { btnAddAF_BClick(btnAddAF_B); });
    connect(btnClearAF_B, &QPushButton::clicked, this, [this] { btnClearAF_BClick(btnClearAF_B); });
    connect(ngAF_B, &QTableWidget::cellClicked, this, [this](int Row, int Col) { ngAF_BCellClick(ngAF_B, Col, Row); });
}

void TAFPanel::AppendRow(double MHz)
{
    const int r = ngAF_B->rowCount();
    ngAF_B->insertRow(r);
    constexpr auto kFixed = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    auto* no = new QTableWidgetItem(QStringLiteral("0"));
    no->setTextAlignment(Qt::AlignCenter);
    no->setFlags(kFixed | Qt::ItemIsDragEnabled);
    ngAF_B->setItem(r, colNo, no);
    auto* af = new QTableWidgetItem;
    af->setData(Qt::EditRole, MHz);
    af->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    af->setFlags(kFixed | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    ngAF_B->setItem(r, colAF, af);
    for (int c = colUp; c <= colDelete; ++c) {
        auto* pic = new QTableWidgetItem;
        pic->setData(Qt::UserRole, c - colUp);
        pic->setFlags(kFixed);
        ngAF_B->setItem(r, c, pic);
    }
    Renumber(ngAF_B);
}

void TAFPanel::Populate(const TBRDSDataValidator& R)
{
    Clear();
    for (int i = 1; i <= 7; ++i) {
        if (R.AF[i] == 0)
            continue;
        if (RowCount() >= kMaxRows)
            break;
        AppendRow((R.AF[i] + 875) / 10.0);
    }
}

void TAFPanel::Collect(TBRDSDataValidator& R) const
{
    for (int i = 1; i <= 7; ++i)
        R.AF[i] = 0;
    const int n = std::min(RowCount(), kMaxRows);
    for (int r = 0; r < n; ++r)
        R.AF[r + 1] = static_cast<std::uint8_t>(std::lround(Frequency(r) * 10) - 875);
}

void TAFPanel::Clear()
{
    ngAF_B->setRowCount(0);
}

void TAFPanel::btnAddAF_BClick(QObject* Sender)
{
    if (Sender != btnAddAF_B || RowCount() >= kMaxRows)
        return;
    AppendRow(kMinMHz);
    const int last = RowCount() - 1;
    ngAF_B->setCurrentCell(last, colAF);
    ngAF_B->selectRow(last);
    ngAF_B->setFocus();
}

void TAFPanel::btnClearAF_BClick(QObject*)
{
    Clear();
}

void TAFPanel::ngAF_BCellClick(QObject*, int ACol, int ARow)
{
    if (ARow < 0 || ARow >= RowCount())
        return;
    switch (ColumnTag(ACol)) {
    case tagUp:
        if (ARow > 0)
            ngAF_B->MoveRow(ARow, ARow - 1);
        break;
    case tagDown:
        if (ARow < RowCount() - 1)
            ngAF_B->MoveRow(ARow, ARow + 1);
        break;
    case tagDelete:
        ngAF_B->setUpdatesEnabled(false);
        ngAF_B->removeRow(ARow);
        Renumber(ngAF_B);
        ngAF_B->setUpdatesEnabled(true);
        break;
    default:
        break;
    }
}

int TAFPanel::RowCount() const
{
    return ngAF_B->rowCount();
}

double TAFPanel::Frequency(int Row) const
{
    const QTableWidgetItem* i = ngAF_B->item(Row, colAF);
    return i ? i->data(Qt::EditRole).toDouble() : 0.0;
}

int TAFPanel::ColumnTag(int Col) const
{
    const QTableWidgetItem* h = ngAF_B->horizontalHeaderItem(Col);
    return h ? h->data(Qt::UserRole).toInt() : 0;
}
