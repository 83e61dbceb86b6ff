#include "local/zorvangrid.h"

#include "local/zorvangridparts.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace {
// Where a row keeps its real file name: on its first cell, so it moves with the row.
constexpr int kRealNameRole = Qt::UserRole + 1;
}  // namespace

TzorvanGrid::TzorvanGrid(QWidget* parent) : QTableWidget(parent) {
    setHorizontalHeader(new TzorvanGridHeader(this));
    setItemDelegate(new TzorvanGridDelegate(this));
    verticalHeader()->hide();  // no fixed column
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(defaultRowHeight_);
    horizontalHeader()->setMinimumSectionSize(1);
    SetOptions(DefaultOptions());
    setColumnCount(1);
    setRowCount(2);  // the header row and one empty row
    AfterRowsChanged(fixedRows_);
}

// ---- properties -------------------------------------------------------------------------

void TzorvanGrid::SetAlignment(Qt::AlignmentFlag value) {
    if (value == alignment_) return;
    alignment_ = value;
    Repaint();
}

void TzorvanGrid::SetVerticalAlignment(TVerticalAlignment value) {
    if (value == verticalAlignment_) return;
    verticalAlignment_ = value;
    Repaint();
}

void TzorvanGrid::SetMultiLinea(bool value) {
    if (value == multiLinea_) return;
    multiLinea_ = value;
    Repaint();
}

void TzorvanGrid::SetOptions(TGridOptions value) {
    options_ = value;
    setShowGrid(value.testFlag(goVertLine) || value.testFlag(goHorzLine));
    setEditTriggers(value.testFlag(goEditing) ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                              : QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(value.testFlag(goRowSelect) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setSelectionMode(value.testFlag(goRangeSelect) ? QAbstractItemView::ContiguousSelection : QAbstractItemView::SingleSelection);
    verticalHeader()->setSectionResizeMode(value.testFlag(goRowSizing) ? QHeaderView::Interactive : QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(value.testFlag(goColSizing) ? QHeaderView::Interactive : QHeaderView::Fixed);
    Repaint();
}

void TzorvanGrid::SetDefaultDrawing(bool value) {
    if (value == defaultDrawing_) return;
    defaultDrawing_ = value;
    Repaint();
}

void TzorvanGrid::SetColor(const QColor& value) {
    color_ = value;
    Repaint();
}

void TzorvanGrid::SetFixedColor(const QColor& value) {
    fixedColor_ = value;
    Repaint();
}

void TzorvanGrid::SetDefaultRowHeight(int value) {
    defaultRowHeight_ = std::max(1, value);
    verticalHeader()->setDefaultSectionSize(defaultRowHeight_);
    horizontalHeader()->updateGeometry();
    updateGeometries();
}

void TzorvanGrid::ApplyMusicListLook() {
    SetColCount(1);
    setColumnWidth(0, 631);
    SetDefaultRowHeight(17);
    SetColor(Qt::white);
    SetFixedColor(QColor(0xC0, 0xC0, 0xC0));
    SetFixedRows(1);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

// ---- cells --------------------------------------------------------------------------------

QTableWidgetItem* TzorvanGrid::CellItem(int col, int row) {
    QTableWidgetItem* cell = item(row, col);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, col, cell);
    }
    return cell;
}

QString TzorvanGrid::Cells(int col, int row) const {
    const QTableWidgetItem* cell = item(row, col);
    return cell ? cell->text() : QString();
}

void TzorvanGrid::SetCells(int col, int row, const QString& text) {
    if (row < 0 || row >= rowCount() || col < 0 || col >= columnCount()) return;
    QTableWidgetItem* cell = CellItem(col, row);
    cell->setText(text);
    // The row now holds another name: a real name kept for the old one no longer applies.
    if (col == 0) cell->setData(kRealNameRole, QVariant());
    if (row == 0) SyncHeader();
}

QString TzorvanGrid::RealName(int row) const {
    const QTableWidgetItem* cell = item(row, 0);
    if (!cell) return QString();
    const QVariant name = cell->data(kRealNameRole);
    // A row written only as text is its own real name.
    return name.isValid() ? name.toString() : cell->text();
}

void TzorvanGrid::SetRealName(int row, const QString& name) {
    if (row < 0 || row >= rowCount() || columnCount() < 1) return;
    CellItem(0, row)->setData(kRealNameRole, name);
}

void TzorvanGrid::FillRows(int firstRow, const std::vector<AudioFileEntry>& list) {
    if (firstRow < 0) return;
    // Painting is held back until the whole list is in, so a large folder costs one repaint.
    const bool wasEnabled = updatesEnabled();
    setUpdatesEnabled(false);
    const int last = std::min<long long>(rowCount(), static_cast<long long>(firstRow) + static_cast<long long>(list.size()));
    for (int row = firstRow; row < last; ++row) {
        const AudioFileEntry& entry = list[static_cast<std::size_t>(row - firstRow)];
        auto* cell = new QTableWidgetItem(entry.Display);
        cell->setData(kRealNameRole, entry.FileName);
        setItem(row, 0, cell);
    }
    if (firstRow == 0 && last > 0) SyncHeader();
    setUpdatesEnabled(wasEnabled);
}

int TzorvanGrid::GetGridCount() const {
    for (int row = rowCount() - 1; row >= 0; --row)
        if (!Cells(0, row).trimmed().isEmpty()) return row + 1;
    return 0;
}

// ---- rows ---------------------------------------------------------------------------------

void TzorvanGrid::SetRowCount(int value) {
    const int keep = currentRow();
    setRowCount(std::max(1, value));
    AfterRowsChanged(keep);
}

void TzorvanGrid::SetColCount(int value) {
    setColumnCount(std::max(1, value));
    SyncHeader();
}

void TzorvanGrid::SetFixedRows(int value) {
    fixedRows_ = std::clamp(value, 0, 1);
    AfterRowsChanged(currentRow());
}

int TzorvanGrid::Row() const {
    const int row = currentRow();
    return row >= fixedRows_ && row < rowCount() ? row : -1;
}

void TzorvanGrid::SetRow(int row) {
    if (row < fixedRows_ || row >= rowCount()) return;
    setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect);
    scrollTo(model()->index(row, 0));
}

void TzorvanGrid::Delete_linhagrid(int ARow) {
    // A row past the last one is not there to delete.
    if (GetGridCount() == 0 || ARow < 0 || ARow >= rowCount()) return;
    const int keep = currentRow();
    removeRow(ARow);
    if (rowCount() == 0) setRowCount(1);  // a grid keeps at least one row
    AfterRowsChanged(keep);
}

void TzorvanGrid::Insere_linhagrid(int ARow) {
    if (GetGridCount() == 0 || ARow < 0 || ARow > rowCount()) return;
    const int keep = currentRow();
    insertRow(ARow);
    AfterRowsChanged(keep);
}

void TzorvanGrid::ClearAll() {
    if (GetGridCount() == 0) return;
    const int keep = currentRow();
    clearContents();
    AfterRowsChanged(keep);
}

// The selection keeps its row number through every change of rows, as a string grid's does,
// and never rests on the fixed row.
void TzorvanGrid::AfterRowsChanged(int keepRow) {
    ApplyFixedRows();
    SyncHeader();
    if (rowCount() > fixedRows_)
        SetRow(std::clamp(keepRow, fixedRows_, rowCount() - 1));
    else
        setCurrentIndex(QModelIndex());
}

// The fixed row is shown by the header view, so its table row stays hidden.
void TzorvanGrid::ApplyFixedRows() {
    if (rowCount() > 0) setRowHidden(0, fixedRows_ > 0);
    if (rowCount() > 1) setRowHidden(1, false);
    horizontalHeader()->setVisible(fixedRows_ > 0);
}

// The header's labels mirror row 0, for painting and for screen readers.
void TzorvanGrid::SyncHeader() {
    for (int col = 0; col < columnCount(); ++col) {
        QTableWidgetItem* label = horizontalHeaderItem(col);
        if (!label) {
            label = new QTableWidgetItem;
            setHorizontalHeaderItem(col, label);
        }
        const QString text = rowCount() > 0 ? Cells(col, 0) : QString();
        if (label->text() != text) label->setText(text);
    }
}

void TzorvanGrid::Repaint() {
    viewport()->update();
    horizontalHeader()->viewport()->update();
}

// ---- drawing ------------------------------------------------------------------------------

void TzorvanGrid::DrawCell(QPainter& painter, const QRect& rect, int row, int col, TGridDrawState state) const {
    auto* self = const_cast<TzorvanGrid*>(this);
    const QString text = Cells(col, row);

    Qt::AlignmentFlag horizontal = alignment_;
    TVerticalAlignment vertical = verticalAlignment_;
    if (OnGetCellAlignment) OnGetCellAlignment(self, row, col, horizontal, vertical);

    QBrush brush;
    QFont font = this->font();
    QColor fontColor;
    if (state & gdFixed) {
        brush = fixedColor_;
        fontColor = palette().color(QPalette::ButtonText);
    } else if (state & gdSelected) {
        brush = palette().brush(QPalette::Highlight);
        fontColor = palette().color(QPalette::HighlightedText);
    } else {
        brush = color_;
        fontColor = palette().color(QPalette::Text);
    }
    if (OnGetCellColor) OnGetCellColor(self, row, col, state, brush, font, fontColor);

    painter.save();
    painter.setClipRect(rect);
    painter.fillRect(rect, brush);
    QRect textRect = rect.adjusted(2, 0, -2, 0);
    // Vertical placement is worked out below, so the text is laid from the top of its rectangle.
    const int flags = horizontal | Qt::AlignTop | (multiLinea_ ? Qt::TextWordWrap : 0);

    if (!defaultDrawing_) {
        if (OnDrawCell) OnDrawCell(self, painter, row, col, textRect, state);
        painter.restore();
        return;
    }

    painter.setFont(font);
    const int h = painter.fontMetrics().boundingRect(textRect, flags, text).height();
    // Edges as a string grid counts them: bottom is one past the last line.
    const int top = textRect.top();
    const int bottom = textRect.top() + textRect.height();
    if (h < textRect.height() + 1) {
        if (vertical == vaCenter) {
            const int newTop = (top + bottom - h) >> 1;  // rounded down, also below zero
            textRect = QRect(textRect.left(), newTop, textRect.width(), h);
        } else if (vertical == vaBottom) {
            textRect = QRect(textRect.left(), bottom - h, textRect.width(), h);
        }
    }
    painter.setPen(fontColor);
    painter.drawText(textRect, flags, text);

    if (state & gdFocused) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect;
        focus.backgroundColor = brush.color();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
    painter.restore();
}
