#pragma once
// TzorvanGrid: a string grid (text cells addressed by column and row) that shows the local
// music list and is also the play queue. Row 0 is the header row when FixedRows is 1; it is
// drawn in the grid's fixed colour above the scrolling rows and is never selected. Beside the
// text it shows, each row keeps a real file name, which moves with the row when rows are
// deleted or inserted: the list shows names upper-cased, while the file system tells case apart.
#include "local/listaudiofiles.h"

#include <QBrush>
#include <QColor>
#include <QFlags>
#include <QFont>
#include <QTableWidget>

#include <functional>
#include <vector>

class QPainter;
class TzorvanGrid;

enum TVerticalAlignment { vaTop, vaCenter, vaBottom };

enum TGridDrawStateFlag { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

enum TGridOptionFlag {
    goFixedVertLine = 0x001,
    goFixedHorzLine = 0x002,
    goVertLine = 0x004,
    goHorzLine = 0x008,
    goRangeSelect = 0x010,
    goRowSizing = 0x020,
    goColSizing = 0x040,
    goEditing = 0x080,
    goRowSelect = 0x100,
};
Q_DECLARE_FLAGS(TGridOptions, TGridOptionFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridOptions)

// Lets the owner change both alignments of one cell.
using TzorvanGridAlignmentEvent =
    std::function<void(TzorvanGrid* Sender, int ARow, int ACol, Qt::AlignmentFlag& HorAlignment, TVerticalAlignment& VerAlignment)>;
// Lets the owner change the brush and font of one cell. Qt's font carries no colour, so the
// text colour comes as its own reference.
using TzorvanGridColorEvent = std::function<void(TzorvanGrid* Sender, int ARow, int ACol, TGridDrawState AState,
                                                 QBrush& ABrush, QFont& AFont, QColor& AFontColor)>;
// Draws one cell when DefaultDrawing is off; ARect is the text rectangle.
using TzorvanGridDrawCellEvent =
    std::function<void(TzorvanGrid* Sender, QPainter& Canvas, int ARow, int ACol, const QRect& ARect, TGridDrawState AState)>;

class TzorvanGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TzorvanGrid(QWidget* parent = nullptr);

    // The grid's default look: fixed and normal grid lines both ways, range selection, row and
    // column sizing; no editing, no row selection.
    static constexpr TGridOptions DefaultOptions() {
        return TGridOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect | goRowSizing | goColSizing);
    }

    // Alignment of every cell's text. Setting a value that differs from the current one repaints.
    Qt::AlignmentFlag Alignment() const { return alignment_; }  // Qt::AlignLeft, AlignRight or AlignHCenter
    void SetAlignment(Qt::AlignmentFlag value);
    TVerticalAlignment VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(TVerticalAlignment value);
    bool MultiLinea() const { return multiLinea_; }
    void SetMultiLinea(bool value);
    TGridOptions Options() const { return options_; }
    void SetOptions(TGridOptions value);
    // Off: every cell is handed, with its text rectangle, to OnDrawCell instead.
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool value);
    QColor Color() const { return color_; }
    void SetColor(const QColor& value);
    QColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(const QColor& value);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int value);

    // Rows from row 0 to the last row whose first cell is not blank.
    int GridCount() const { return GetGridCount(); }
    int GetGridCount() const;

    TzorvanGridAlignmentEvent OnGetCellAlignment;
    TzorvanGridColorEvent OnGetCellColor;
    TzorvanGridDrawCellEvent OnDrawCell;

    // Inserts an empty row at ARow (rows from ARow on move down); ARow may be the row count.
    void Insere_linhagrid(int ARow);
    // Deletes row ARow (the rows below move up); the selection keeps its row number.
    void Delete_linhagrid(int ARow);
    // Empties every cell, keeping the row and column counts.
    void ClearAll();

    // String-grid vocabulary. Rows and columns outside the grid read as empty and ignore writes.
    int RowCount() const { return rowCount(); }
    void SetRowCount(int value);  // at least 1
    int ColCount() const { return columnCount(); }
    void SetColCount(int value);  // at least 1
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int value);  // 0 or 1: the header row
    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);
    // The real file name kept with a row.
    QString RealName(int row) const;
    void SetRealName(int row, const QString& name);
    // The selected row: -1 when the grid has no row below the fixed one.
    int Row() const;
    // Selects the row (first column) and scrolls it into view; fixed rows and rows outside the
    // grid are refused.
    void SetRow(int row);
    // Writes the entries' display texts and real names into rows firstRow, firstRow + 1, ...
    // (rows must exist), with one repaint for the whole list.
    void FillRows(int firstRow, const std::vector<AudioFileEntry>& list);

    // The music list's look: one column 631 pixels wide, rows 17 high, white cells, silver
    // fixed row, no fixed column, vertical scroll bar only.
    void ApplyMusicListLook();

    // The drawing of one cell, shared by the rows and the header row.
    void DrawCell(QPainter& painter, const QRect& rect, int row, int col, TGridDrawState state) const;

private:
    QTableWidgetItem* CellItem(int col, int row);
    void AfterRowsChanged(int keepRow);
    void ApplyFixedRows();
    void SyncHeader();
    void Repaint();

    Qt::AlignmentFlag alignment_ = Qt::AlignLeft;
    TVerticalAlignment verticalAlignment_ = vaCenter;
    bool multiLinea_ = false;
    bool defaultDrawing_ = true;
    TGridOptions options_;
    QColor color_ = Qt::white;
    QColor fixedColor_ = QColor(0xC0, 0xC0, 0xC0);
    int defaultRowHeight_ = 17;
    int fixedRows_ = 1;
};
