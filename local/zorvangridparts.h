#pragma once
// The two painters of TzorvanGrid: the delegate of its scrolling cells and the header view
// that shows row 0 as the fixed row. Both hand each cell to TzorvanGrid::DrawCell, so every
// cell is drawn the same way.
#include <QHeaderView>
#include <QStyledItemDelegate>

class TzorvanGrid;

class TzorvanGridDelegate : public QStyledItemDelegate {
public:
    explicit TzorvanGridDelegate(TzorvanGrid* grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TzorvanGrid* grid_;
};

// The fixed row stays in view while the rows below it scroll, as a string grid's fixed row does.
class TzorvanGridHeader : public QHeaderView {
public:
    explicit TzorvanGridHeader(TzorvanGrid* grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    TzorvanGrid* grid_;
};
