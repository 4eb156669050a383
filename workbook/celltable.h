#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <vector>

#include "calc/texttable.h"
#include "datafile/datafile.h"
#include "workbook/tabtext.h"

namespace zeltrac {

// A rectangle of cells: `columns` x `rows` from (column, row).
struct CellRange
{
    int column = 0;
    int row = 0;
    int columns = 0;
    int rows = 0;

    bool isEmpty() const { return columns <= 0 || rows <= 0; }
    int cellCount() const { return isEmpty() ? 0 : columns * rows; }
    friend bool operator==(const CellRange&, const CellRange&) = default;
};

// What a paste wrote and what of the block did not fit.
struct PasteResult
{
    CellRange written;      // the cells the block covered within the table
    int rowsLeftOut = 0;    // rows of the block below the table's last row
    int columnsLeftOut = 0; // columns of the block beyond the table's last column
};

// The longest text a cell takes from the user: what one line of the data
// file may hold, one byte a character in its code page.
inline constexpr qsizetype kMaxCellLength = datafile::kMaxLineBytes;

// A table model whose rows and columns come and go at the end only.
class ResizableTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

protected:
    // Sets `count`, the model's rows (Qt::Vertical) or columns, to `wanted`
    // (at least 0), adding or taking away the difference at the end, the
    // views told.
    void changeCount(Qt::Orientation orientation, int& count, int wanted);
};

// Cell texts addressed (column, row) from 0, as a table model. The texts are
// kept sparsely and independently of the current column and row counts: a
// cell that falls outside when the counts shrink keeps its text and shows it
// again when they grow.
class CellTableModel : public ResizableTableModel
{
    Q_OBJECT

public:
    explicit CellTableModel(QObject* parent = nullptr);

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

    // The texts of the first `columns` x `rows` cells, UTF-8.
    TextTable texts(int columns, int rows) const;
    // Writes every cell of `table` from (0, 0) on.
    void setTexts(const TextTable& table);

    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

    // --- Editing as the user does it, with an undo history -----------------
    //
    // Typing (setData), pasting and clearing are the user's edits: each is
    // one step of the history, and undo() takes the latest step back,
    // restoring exactly the texts it replaced. A change made any other way
    // (setCell, setTexts: loading a file, the station-count rule) empties
    // the history, so that undoing never writes over texts it did not put
    // there. A table that is not editable takes no edits. A typed or pasted
    // text longer than kMaxCellLength is refused: nothing changes, and
    // editRefused() gives the reason.

    // The texts of `range` within the table's size, row by row.
    tabtext::Block block(const CellRange& range) const;

    // The heads a copy shows beside the cells (none at first).
    void setHeads(tabtext::TableHeads heads) { m_heads = std::move(heads); }
    // The texts of `range` within the table's size as a copy puts them on
    // the clipboard: tab-separated text, and an HTML table with the heads.
    std::unique_ptr<QMimeData> copyData(const CellRange& range) const;

    // Writes `block` with its top-left corner at (column, row), each value
    // into its cell as it is; what lies beyond the table's size is left out.
    // A single value with a `selection` of more than one cell fills the
    // selection (within the table's size) instead.
    PasteResult paste(const tabtext::Block& block, int column, int row,
                      const CellRange& selection = {});

    // Empties the cells of `range` within the table's size; returns that part.
    CellRange clear(const CellRange& range);

    bool canUndo() const { return !m_history.empty(); }
    // Takes the latest edit back; returns the cells it restored (empty when
    // there was nothing to undo).
    CellRange undo();

    // Ends the typing into a cell: the next typing, into the same cell or
    // not, is a step of its own. Until then the keystrokes into one cell
    // make one step.
    void endTyping() { m_typing = false; }

signals:
    // A user's edit was refused; the message says why.
    void editRefused(const QString& message);

private:
    // Whether every text fits a cell; emits editRefused() when one does not.
    bool fits(const QStringList& texts);

    struct CellChange
    {
        int column;
        int row;
        QString before;
        QString after;
    };
    struct EditStep
    {
        std::vector<CellChange> changes;
        CellRange range;
    };

    static quint64 key(int column, int row);
    // Stores a text; returns whether it changed.
    bool writeCell(int column, int row, const QString& text);
    // Writes the step's texts and keeps it in the history, unless it changes
    // nothing.
    void apply(EditStep step);
    CellRange clipped(const CellRange& range) const;

    static constexpr std::size_t kHistoryDepth = 100;
    std::vector<EditStep> m_history; // oldest first
    bool m_typing = false;           // the latest step is typing still going on

    int m_columns = 0;
    int m_rows = 0;
    bool m_editable = true;
    QHash<quint64, QString> m_cells; // only non-empty texts
    tabtext::TableHeads m_heads;
};

} // namespace zeltrac
