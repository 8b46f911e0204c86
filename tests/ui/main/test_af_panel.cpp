// The alternative-frequency grid: populate and collect, "Add AF" at the
// seven-row limit, the arrow and cross pictures, dragging, the band limits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QMouseEvent>
#include <QWindow>
#include <vector>

#include "ui/kit/fonts.h"
#include "ui/main/af_panel.h"
#include "ui/main/group_box.h"

namespace {

using TAF = std::array<std::uint8_t, 8>;

struct TAFFixture {
    QWidget Window;
    TGroupBox* gbAF;
    TAFPanel* Panel;
    TAFFixture()
    {
        Window.setFont(WindowFont());
        Window.resize(200, 220);
        gbAF = new TGroupBox(QStringLiteral("Alternative Frequencies"), &Window);
        gbAF->setGeometry(8, 8, 176, 201);
        Panel = new TAFPanel(gbAF);
        Window.show();
    }
    void Populate(const TAF& AF)
    {
        TBRDSDataValidator r;
        r.AF = AF;
        Panel->Populate(r);
    }
    TAF Collect() const
    {
        TBRDSDataValidator r;
        r.AF.fill(99); // stale values must not survive
        Panel->Collect(r);
        r.AF[0] = 0; // not used
        return r.AF;
    }
    // Frequencies in tenths of a MHz, top to bottom.
    std::vector<int> Rows() const
    {
        std::vector<int> rows;
        for (int r = 0; r < Panel->RowCount(); ++r)
            rows.push_back(static_cast<int>(std::lround(Panel->Frequency(r) * 10)));
        return rows;
    }
    QString Text(int Row, int Col) const
    {
        const QModelIndex i = Panel->ngAF_B->model()->index(Row, Col);
        return static_cast<QStyledItemDelegate*>(Panel->ngAF_B->itemDelegate())->displayText(i.data(), QLocale());
    }
    int Selected() const
    {
        const QList<QTableWidgetItem*> sel = Panel->ngAF_B->selectedItems();
        return sel.isEmpty() ? -1 : sel.first()->row();
    }
};

} // namespace

TEST(AFPanel, PopulateSkipsEmptyCodesAndCollectKeepsRowOrder)
{
    struct TCase {
        const char* Name;
        TAF In;
        std::vector<int> Rows;
        TAF Out;
    };
    const TCase cases[] = {
        {"gaps close up", {0, 0, 95, 0, 204, 0, 0, 1}, {970, 1079, 876}, {0, 95, 204, 1, 0, 0, 0, 0}},
        {"empty", {}, {}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"seven", {0, 1, 2, 3, 100, 150, 203, 204}, {876, 877, 878, 975, 1025, 1078, 1079},
            {0, 1, 2, 3, 100, 150, 203, 204}},
    };
    TAFFixture f;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        f.Populate({0, 9, 9, 9, 9, 9, 9, 9}); // whatever was shown before goes
        f.Populate(c.In);
        EXPECT_EQ(f.Rows(), c.Rows);
        EXPECT_EQ(f.Collect(), c.Out);
    }
    // The cells of a row: its number, the frequency, the three pictures.
    f.Populate({0, 0, 95, 0, 204});
    EXPECT_EQ(f.Text(1, TAFPanel::colNo), "2");
    EXPECT_EQ(f.Text(0, TAFPanel::colAF), "97.0 MHz");
    EXPECT_EQ(f.Text(1, TAFPanel::colAF), "107.9 MHz");
    for (int c = TAFPanel::colUp; c <= TAFPanel::colDelete; ++c)
        EXPECT_EQ(f.Panel->ngAF_B->item(1, c)->data(Qt::UserRole).toInt(), c - TAFPanel::colUp);
    EXPECT_EQ(f.Panel->ColumnTag(TAFPanel::colUp), TAFPanel::tagUp);
    EXPECT_EQ(f.Panel->ColumnTag(TAFPanel::colDelete), TAFPanel::tagDelete);

    f.Panel->btnClearAF_B->click();
    EXPECT_EQ(f.Panel->RowCount(), 0);
}

TEST(AFPanel, AddAFAppendsUpToSevenRows)
{
    struct TCase {
        const char* Name;
        TAF Start;
        int Rows;
    };
    const TCase cases[] = {
        {"six rows", {0, 10, 20, 30, 40, 50, 60, 0}, 7},
        {"seven rows", {0, 10, 20, 30, 40, 50, 60, 70}, 7},
        {"none", {}, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TAFFixture f;
        f.Populate(c.Start);
        const std::vector<int> before = f.Rows();
        f.Panel->btnAddAF_B->click();
        ASSERT_EQ(f.Panel->RowCount(), c.Rows);
        if (before.size() == TAFPanel::kMaxRows) {
            EXPECT_EQ(f.Rows(), before);
            continue;
        }
        EXPECT_EQ(f.Rows().back(), 876);
        EXPECT_EQ(f.Text(c.Rows - 1, TAFPanel::colNo), QString::number(c.Rows));
        EXPECT_EQ(f.Selected(), c.Rows - 1);
        EXPECT_EQ(f.Window.focusWidget(), f.Panel->ngAF_B);
    }
    // Only the button itself adds.
    TAFFixture f;
    f.Panel->btnAddAF_BClick(f.Panel->btnClearAF_B);
    EXPECT_EQ(f.Panel->RowCount(), 0);
}

TEST(AFPanel, PicturesMoveAndDeleteRows)
{
    struct TCase {
        const char* Name;
        int Col, Row;
        std::vector<int> Rows;
        int Selected; // -1: not checked
    };
    const TCase cases[] = {
        {"up on the first row", TAFPanel::colUp, 0, {970, 1079, 876}, -1},
        {"down on the last row", TAFPanel::colDown, 2, {970, 1079, 876}, -1},
        {"up", TAFPanel::colUp, 2, {970, 876, 1079}, 1},
        {"down", TAFPanel::colDown, 0, {1079, 970, 876}, 1},
        {"delete", TAFPanel::colDelete, 1, {970, 876}, -1},
        {"frequency cell", TAFPanel::colAF, 1, {970, 1079, 876}, -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TAFFixture f;
        f.Populate({0, 95, 204, 1});
        f.Panel->ngAF_BCellClick(f.Panel->ngAF_B, c.Col, c.Row);
        EXPECT_EQ(f.Rows(), c.Rows);
        if (c.Selected >= 0) {
            EXPECT_EQ(f.Selected(), c.Selected);
        }
        for (int r = 0; r < f.Panel->RowCount(); ++r)
            EXPECT_EQ(f.Text(r, TAFPanel::colNo), QString::number(r + 1));
    }
}

TEST(AFPanel, MouseClickOnAPictureAndDraggingReorder)
{
    TAFFixture f;
    f.Populate({0, 95, 204, 1});
    // A real click on the down arrow of the first row.
    QWidget* vp = f.Panel->ngAF_B->viewport();
    const QPoint at = f.Panel->ngAF_B->visualRect(f.Panel->ngAF_B->model()->index(0, TAFPanel::colDown)).center();
    const QPointF global = vp->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, at, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &release);
    EXPECT_EQ(f.Rows(), (std::vector<int> {1079, 970, 876}));

    // A row dropped on another row moves there.
    f.Panel->ngAF_B->MoveRow(0, 2);
    EXPECT_EQ(f.Rows(), (std::vector<int> {970, 876, 1079}));
    EXPECT_EQ(f.Selected(), 2);
    EXPECT_EQ(f.Text(2, TAFPanel::colNo), "3");
}

TEST(AFPanel, InPlaceEditorKeepsTheBand)
{
    TAFFixture f;
    f.Panel->btnAddAF_B->click();
    const QModelIndex cell = f.Panel->ngAF_B->model()->index(0, TAFPanel::colAF);
    QAbstractItemDelegate* d = f.Panel->ngAF_B->itemDelegate();
    std::unique_ptr<QWidget> w(d->createEditor(f.Panel->ngAF_B->viewport(), QStyleOptionViewItem(), cell));
    auto* e = qobject_cast<QDoubleSpinBox*>(w.get());
    ASSERT_NE(e, nullptr);
    EXPECT_DOUBLE_EQ(e->singleStep(), 0.1);
    EXPECT_EQ(e->decimals(), 1);
    EXPECT_EQ(e->suffix(), " MHz");
    d->setEditorData(e, cell);
    EXPECT_DOUBLE_EQ(e->value(), 87.6);

    const struct {
        double Typed;
        int Code;
    } cases[] = {{120.0, 204}, {50.0, 1}, {101.3, 138}, {99.9, 124}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        e->setValue(c.Typed);
        d->setModelData(e, f.Panel->ngAF_B->model(), cell);
        EXPECT_EQ(f.Collect()[1], c.Code);
    }
    // The picture and number columns are not edited.
    EXPECT_EQ(d->createEditor(f.Panel->ngAF_B->viewport(), QStyleOptionViewItem(),
                  f.Panel->ngAF_B->model()->index(0, TAFPanel::colDelete)),
        nullptr);
}

TEST(AFPanel, DisabledGridAndButtonsDrawTheirPicturesDisabled)
{
    TAFFixture f;
    f.Populate({0, 95, 204, 0, 0, 0, 0, 0});
    // The most saturated colour of the pictures in the picture columns and
    // on the buttons: the red cross and blue arrows when enabled, grey when not.
    auto Saturation = [&] {
        int Most = 0;
        const QImage Grid = f.Panel->ngAF_B->viewport()->grab().toImage();
        for (int Col = TAFPanel::colUp; Col <= TAFPanel::colDelete; ++Col) {
            const QRect Cell = f.Panel->ngAF_B->visualRect(f.Panel->ngAF_B->model()->index(0, Col));
            for (int y = Cell.top(); y <= Cell.bottom(); ++y)
                for (int x = Cell.left(); x <= Cell.right(); ++x)
                    Most = std::max(Most, Grid.pixelColor(x, y).hsvSaturation());
        }
        for (QPushButton* B : {f.Panel->btnAddAF_B, f.Panel->btnClearAF_B}) {
            const QImage Face = B->grab().toImage();
            for (int y = 0; y < Face.height(); ++y)
                for (int x = 0; x < Face.width(); ++x)
                    Most = std::max(Most, Face.pixelColor(x, y).hsvSaturation());
        }
        return Most;
    };
    EXPECT_GT(Saturation(), 150);
    f.gbAF->setEnabled(false);
    EXPECT_LT(Saturation(), 60);
}
