#pragma once

#include <QString>
#include <QTableView>

#include "workbook/celltable.h"

namespace zeltrac::ui {

// The grid's tables are the core's cell-table models.
using TextGridModel = zeltrac::CellTableModel;

// A grid of text cells with fixed cell sizes, as the windows of the program
// use them: no headers, no scroll bars, and Tab moving from cell to cell
// along the row, on to the next row and from the last cell back to the
// first. The cell size given is the whole section, grid line included.
class TextGrid : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(int colCount READ colCount WRITE setColCount)
    Q_PROPERTY(int rowCount READ rowCount WRITE setRowCount)
    Q_PROPERTY(int cellWidth READ cellWidth WRITE setCellWidth)
    Q_PROPERTY(int cellHeight READ cellHeight WRITE setCellHeight)
    Q_PROPERTY(bool editable READ isEditable WRITE setEditable)
    Q_PROPERTY(bool bordered READ isBordered WRITE setBordered)

public:
    explicit TextGrid(QWidget* parent = nullptr);

    // Shows another table instead of the grid's own one. The table stays the
    // caller's and must outlive the grid; it takes the grid's editable state.
    void setTextModel(TextGridModel* model);

    int colCount() const { return m_model->columnCount(); }
    void setColCount(int columns);
    int rowCount() const { return m_model->rowCount(); }
    void setRowCount(int rows);

    QString cell(int column, int row) const { return m_model->cell(column, row); }
    void setCell(int column, int row, const QString& text) { m_model->setCell(column, row, text); }

    int cellWidth() const { return m_cellWidth; }
    void setCellWidth(int width);
    int cellHeight() const { return m_cellHeight; }
    void setCellHeight(int height);

    bool isEditable() const { return m_model->isEditable(); }
    void setEditable(bool editable);

    // Whether a cell editor is open.
    bool isEditing() const { return state() == EditingState; }

    // A flat 1-pixel border around the cells, or none.
    bool isBordered() const;
    void setBordered(bool bordered);

    // Spreadsheet editing, also on Ctrl+C, Ctrl+V, Delete and Ctrl+Z while no
    // cell editor is open.
    //
    // The selected cells (or the current one) to the clipboard, tab-separated
    // and as an HTML table with the heads of the table's columns and rows.
    void copyCells();
    // The clipboard's block with its top-left corner at the current cell, or
    // a single value into every selected cell; what does not fit is left out
    // and the information box says how much. Editable grids only.
    void pasteCells();
    // Empties the selected cells (or the current one). Editable grids only.
    void clearCells();
    // Takes the latest paste, clearing or typing back. Editable grids only.
    void undoEdit();

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    // Tab moves the cursor only while the grid can take typing: a grid that
    // is being hidden or disabled passes the focus on and keeps its cell.
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // The table's refusals of an edit go to the error box.
    void showRefusals();
    // The bounding rectangle of the selection, or the current cell.
    zeltrac::CellRange selectedRange() const;
    void selectRange(const zeltrac::CellRange& range);

    TextGridModel* m_model;
    int m_cellWidth = 32;
    int m_cellHeight = 18;
};

} // namespace zeltrac::ui
