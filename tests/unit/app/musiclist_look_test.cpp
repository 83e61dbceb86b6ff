// The music list on its tab: names are read across the whole grid, not cut at a default
// column width.
#include "ui_usom.h"

#include "tests/unit/app/windowfixture.h"

#include "local/zorvangrid.h"

class MusicListLook : public WindowFixture {};

TEST_F(MusicListLook, OneColumnSpansTheGridUnderASilverHeader) {
    Tfrm_sonarisv1AAC& w = Create();
    TzorvanGrid* grid = w.ui->Stringgrid3;
    EXPECT_EQ(grid->ColCount(), 1);
    EXPECT_EQ(grid->columnWidth(0), 631);
    EXPECT_EQ(grid->FixedRows(), 1);
    EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}
