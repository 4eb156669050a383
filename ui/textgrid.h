#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QTableView>

namespace zeltrac::ui {

// Cell texts addressed (column, row) from 0. The texts are kept sparsely and
// independently of the current column and row counts: a cell that falls
// outside when the counts shrink keeps its text and shows it again when they
// grow.
class TextGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TextGridModel(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setColumns(int columns);
    void setRows(int rows);

    // Any address from (0, 0) on, inside the counts or not.
    QString cell(int column, int row) const;
    void setCell(int column, int row, const QString& text);

    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

private:
    static quint64 key(int column, int row);

    int m_columns = 0;
    int m_rows = 0;
    bool m_editable = true;
    QHash<quint64, QString> m_cells; // only non-empty texts
};

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

    TextGridModel* textModel() const { return m_model; }

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

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    // Tab moves the cursor only while the grid can take typing: a grid that
    // is being hidden or disabled passes the focus on and keeps its cell.
    bool focusNextPrevChild(bool next) override;

private:
    TextGridModel* m_model;
    int m_cellWidth = 32;
    int m_cellHeight = 18;
};

} // namespace zeltrac::ui
