#include "local/zorvangridparts.h"

#include "local/zorvangrid.h"

#include <QPainter>

TzorvanGridDelegate::TzorvanGridDelegate(TzorvanGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

void TzorvanGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    TGridDrawState state;
    if (option.state & QStyle::State_Selected) state |= gdSelected;
    if (option.state & QStyle::State_HasFocus) state |= gdFocused;
    if (index.row() < grid_->FixedRows()) state |= gdFixed;
    grid_->DrawCell(*painter, option.rect, index.row(), index.column(), state);
}

TzorvanGridHeader::TzorvanGridHeader(TzorvanGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize TzorvanGridHeader::sizeHint() const {
    return QSize(QHeaderView::sizeHint().width(), grid_->DefaultRowHeight());
}

void TzorvanGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    // The header's sections leave no gap for grid lines; the cell keeps the same one-pixel
    // line on its right and bottom edges as the cells below.
    const TGridOptions options = grid_->Options();
    const QRect cell = rect.adjusted(0, 0, options.testFlag(goFixedVertLine) ? -1 : 0, options.testFlag(goFixedHorzLine) ? -1 : 0);
    grid_->DrawCell(*painter, cell, 0, logicalIndex, gdFixed);
    painter->save();
    painter->setPen(palette().color(QPalette::Dark));
    if (options.testFlag(goFixedVertLine)) painter->drawLine(rect.topRight(), rect.bottomRight());
    if (options.testFlag(goFixedHorzLine)) painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->restore();
}
