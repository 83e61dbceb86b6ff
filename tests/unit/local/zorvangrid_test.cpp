#include "local/zorvangrid.h"

#include "tests/support/testsupport.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

const QString kHeader = QStringLiteral("Descrição das Musicas");

// A grid as the music list fills it: header, then one row per entry.
void Fill(TzorvanGrid& grid, const std::vector<AudioFileEntry>& list) {
    grid.SetRowCount(static_cast<int>(list.size()) + 1);
    grid.SetCells(0, 0, kHeader);
    grid.FillRows(1, list);
}

const std::vector<AudioFileEntry> kThree{{"A.MP3", "a.mp3"}, {"B.WAV", "B.wav"}, {"C.TKM", "c.TKM"}};

QStringList Column(const TzorvanGrid& grid) {
    QStringList out;
    for (int r = 0; r < grid.RowCount(); ++r) out << grid.Cells(0, r);
    return out;
}
QStringList RealNames(const TzorvanGrid& grid) {
    QStringList out;
    for (int r = 0; r < grid.RowCount(); ++r) out << grid.RealName(r);
    return out;
}

TEST(ZorvanGrid, StartsWithHeaderAndOneEmptySelectedRow) {
    TzorvanGrid grid;
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.GridCount(), 0);
    EXPECT_EQ(grid.Alignment(), Qt::AlignLeft);
    EXPECT_EQ(grid.VerticalAlignment(), vaCenter);
    EXPECT_FALSE(grid.MultiLinea());
    EXPECT_EQ(grid.Options(), TzorvanGrid::DefaultOptions());
    EXPECT_EQ(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST(ZorvanGrid, FixedRowIsNeverSelected) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    grid.SetRow(0);
    EXPECT_EQ(grid.Row(), 1);
    grid.SetRow(7);
    EXPECT_EQ(grid.Row(), 1);
    grid.SetRow(3);
    EXPECT_EQ(grid.Row(), 3);
}

TEST(ZorvanGrid, GridCountRunsFromRowZeroToTheLastNamedRow) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    EXPECT_EQ(grid.GridCount(), 4);
    grid.SetCells(0, 0, QString());
    EXPECT_EQ(grid.GridCount(), 4);  // a blank header still lies below the last name
    grid.SetCells(0, 3, QStringLiteral("   "));
    grid.SetCells(0, 1, QString());
    EXPECT_EQ(grid.GridCount(), 3);
    grid.SetRowCount(1);
    grid.SetCells(0, 0, kHeader);
    EXPECT_EQ(grid.GridCount(), 1);
}

TEST(ZorvanGrid, DeletedRowTakesItsRealNameAlongAndSelectionKeepsItsNumber) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    grid.SetRow(2);
    grid.Delete_linhagrid(2);
    EXPECT_EQ(Column(grid), (QStringList{kHeader, "A.MP3", "C.TKM"}));
    EXPECT_EQ(RealNames(grid).mid(1), (QStringList{"a.mp3", "c.TKM"}));
    EXPECT_EQ(grid.Row(), 2);  // now the row that followed

    grid.Delete_linhagrid(2);  // the selected last row: the selection goes to the new last row
    EXPECT_EQ(Column(grid), (QStringList{kHeader, "A.MP3"}));
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.RealName(1), QStringLiteral("a.mp3"));
}

TEST(ZorvanGrid, DeletingTheOnlyDataRowLeavesJustTheHeader) {
    TzorvanGrid grid;
    Fill(grid, {{"A.MP3", "a.mp3"}});
    grid.Delete_linhagrid(1);
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.Cells(0, 0), kHeader);
    EXPECT_EQ(grid.Row(), -1);
    EXPECT_EQ(grid.Cells(0, grid.Row()), QString());
}

TEST(ZorvanGrid, DeleteOutsideTheRowsOrOnABlankGridChangesNothing) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    grid.Delete_linhagrid(4);  // one past the last row
    grid.Delete_linhagrid(-1);
    EXPECT_EQ(Column(grid), (QStringList{kHeader, "A.MP3", "B.WAV", "C.TKM"}));

    TzorvanGrid blank;
    blank.SetRowCount(3);
    blank.Delete_linhagrid(1);
    EXPECT_EQ(blank.RowCount(), 3);
}

TEST(ZorvanGrid, InsertedRowIsEmptyAndRowsBelowMoveDownWithTheirNames) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    grid.SetRow(2);
    grid.Insere_linhagrid(2);
    EXPECT_EQ(Column(grid), (QStringList{kHeader, "A.MP3", "", "B.WAV", "C.TKM"}));
    EXPECT_EQ(grid.RealName(2), QString());
    EXPECT_EQ(grid.RealName(3), QStringLiteral("B.wav"));
    EXPECT_EQ(grid.Row(), 2);

    grid.Insere_linhagrid(5);  // at the row count: appended
    EXPECT_EQ(grid.RowCount(), 6);
    grid.Insere_linhagrid(7);
    EXPECT_EQ(grid.RowCount(), 6);
}

TEST(ZorvanGrid, ClearAllEmptiesEveryCellAndKeepsTheCounts) {
    TzorvanGrid grid;
    grid.SetColCount(2);
    Fill(grid, kThree);
    grid.SetCells(1, 2, QStringLiteral("x"));
    grid.ClearAll();
    EXPECT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(grid.ColCount(), 2);
    EXPECT_EQ(grid.GridCount(), 0);
    EXPECT_EQ(grid.Cells(1, 2), QString());
    EXPECT_EQ(grid.RealName(1), QString());
}

TEST(ZorvanGrid, WritingARowsTextForgetsItsOldRealName) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    grid.SetCells(0, 1, QStringLiteral("NEW.MP3"));
    EXPECT_EQ(grid.RealName(1), QStringLiteral("NEW.MP3"));
    grid.SetRealName(1, QStringLiteral("new.mp3"));
    EXPECT_EQ(grid.RealName(1), QStringLiteral("new.mp3"));
    EXPECT_EQ(grid.Cells(0, 1), QStringLiteral("NEW.MP3"));
}

TEST(ZorvanGrid, ShrinkingToTheRefreshSizeSelectsRowOne) {
    TzorvanGrid grid;
    Fill(grid, {{"A", "a"}, {"B", "b"}, {"C", "c"}, {"D", "d"}, {"E", "e"}});
    grid.SetRow(5);
    grid.SetRowCount(2);
    grid.SetFixedRows(1);
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(Column(grid), (QStringList{kHeader, "A"}));
}

TEST(ZorvanGrid, MusicListLook) {
    TzorvanGrid grid;
    grid.ApplyMusicListLook();
    EXPECT_EQ(grid.ColCount(), 1);
    EXPECT_EQ(grid.columnWidth(0), 631);
    EXPECT_EQ(grid.DefaultRowHeight(), 17);
    EXPECT_EQ(grid.rowHeight(1), 17);
    EXPECT_EQ(grid.Color(), QColor(Qt::white));
    EXPECT_EQ(grid.FixedColor(), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(grid.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_NE(grid.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

// Rows of the image that hold text pixels (dark on the white cell).
std::pair<int, int> InkRows(const QImage& image) {
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0) first = y;
                last = y;
                break;
            }
    return {first, last};
}

QImage DrawOne(TzorvanGrid& grid, int height) {
    QImage image(120, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    grid.DrawCell(painter, image.rect(), 1, 0, TGridDrawState());
    return image;
}

TEST(ZorvanGrid, CellTextSitsAtTheChosenVerticalPlace) {
    TzorvanGrid grid;
    Fill(grid, {{"HELLO", "hello"}});
    grid.SetVerticalAlignment(vaTop);
    const auto top = InkRows(DrawOne(grid, 60));
    grid.SetVerticalAlignment(vaCenter);
    const auto centre = InkRows(DrawOne(grid, 60));
    grid.SetVerticalAlignment(vaBottom);
    const auto bottom = InkRows(DrawOne(grid, 60));
    ASSERT_GE(top.first, 0);
    EXPECT_LT(top.second, 30);
    EXPECT_GT(bottom.first, 30);
    EXPECT_LT(top.first, centre.first);
    EXPECT_LT(centre.first, bottom.first);
    EXPECT_NEAR(centre.first + centre.second, 60, 8);  // about the middle
}

TEST(ZorvanGrid, ColourEventChangesTheCellBrushAndSeesTheCell) {
    TzorvanGrid grid;
    Fill(grid, {{"HELLO", "hello"}});
    int seenRow = -1, seenCol = -1;
    grid.OnGetCellColor = [&](TzorvanGrid*, int row, int col, TGridDrawState, QBrush& brush, QFont&, QColor&) {
        seenRow = row;
        seenCol = col;
        brush = QColor(Qt::red);
    };
    const QImage image = DrawOne(grid, 20);
    EXPECT_EQ(seenRow, 1);
    EXPECT_EQ(seenCol, 0);
    EXPECT_EQ(QColor(image.pixel(image.width() - 1, 0)), QColor(Qt::red));
}

TEST(ZorvanGrid, AlignmentEventOverridesTheGridsAlignment) {
    TzorvanGrid grid;
    Fill(grid, {{"HI", "hi"}});
    grid.OnGetCellAlignment = [](TzorvanGrid*, int, int, Qt::AlignmentFlag& h, TVerticalAlignment&) { h = Qt::AlignRight; };
    const QImage image = DrawOne(grid, 20);
    int firstInk = image.width();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) firstInk = std::min(firstInk, x);
    EXPECT_GT(firstInk, image.width() / 2);
}

TEST(ZorvanGrid, SettingAPropertyToItsValueDoesNotRepaint) {
    TzorvanGrid grid;
    Fill(grid, kThree);
    grid.resize(300, 200);
    grid.show();
    PumpEvents(50);
    int drawn = 0;
    grid.OnGetCellAlignment = [&](TzorvanGrid*, int, int, Qt::AlignmentFlag&, TVerticalAlignment&) { ++drawn; };
    grid.SetAlignment(Qt::AlignLeft);
    grid.SetVerticalAlignment(vaCenter);
    grid.SetMultiLinea(false);
    PumpEvents(50);
    EXPECT_EQ(drawn, 0);
    grid.SetMultiLinea(true);
    PumpEvents(50);
    EXPECT_GT(drawn, 0);
}

}  // namespace
