#pragma once
// The alternative-frequency list of the editor: a grid of at most seven
// frequencies, edited in place, reordered by dragging or by the arrow
// pictures, removed by the cross, with "Add AF" and "Clear" below it.
#include <QObject>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "rds/data_validator.h"

class TGroupBox;

// The grid: rows dragged onto another row move there.
class TAFGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TAFGrid(QWidget* Parent);

    // Moves row From to position To and selects it there.
    void MoveRow(int From, int To);

protected:
    void dropEvent(QDropEvent* Event) override;
};

// Shows the frequency column as "97.0 MHz", edits it within the band, and
// draws the picture columns' pictures.
class TAFGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TAFGridDelegate(QObject* Parent);

    QString displayText(const QVariant& Value, const QLocale& Locale) const override;
    QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
    void setEditorData(QWidget* Editor, const QModelIndex& Index) const override;
    void setModelData(QWidget* Editor, QAbstractItemModel* Model, const QModelIndex& Index) const override;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

private:
    QImage FPictures; // 10 x 10 edit-button pictures side by side
};

class TAFPanel : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 7;
    // Grid columns.
    enum : int { colNo = 0, colAF = 1, colUp = 2, colDown = 3, colDelete = 4 };
    // Tags of the picture columns.
    static constexpr int tagUp = 1000;
    static constexpr int tagDown = 1001;
    static constexpr int tagDelete = 1002;
    // The band of the frequency cells, MHz.
    static constexpr double kMinMHz = 87.6;
    static constexpr double kMaxMHz = 107.9;

    explicit TAFPanel(TGroupBox* gbAF);

    TAFGrid* ngAF_B;
    QPushButton* btnAddAF_B;
    QPushButton* btnClearAF_B;

    // Rows from AF[1..7], skipping codes of 0.
    void Populate(const TBRDSDataValidator& R);
    // AF[1..7] from the rows in order, 0 after the last row.
    void Collect(TBRDSDataValidator& R) const;
    // Removes every row.
    void Clear();

    void btnAddAF_BClick(QObject* Sender);
    void btnClearAF_BClick(QObject* Sender);
    void ngAF_BCellClick(QObject* Sender, int ACol, int ARow);

    int RowCount() const;
    double Frequency(int Row) const;
    // The tag of a column (0 for the number and frequency columns).
    int ColumnTag(int Col) const;

private:
    void AppendRow(double MHz);
};
