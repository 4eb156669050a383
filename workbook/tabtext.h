#pragma once

#include <QList>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// Blocks of cell texts in the form spreadsheets put on the clipboard and take
// from it: cells separated by tabs, rows by line breaks.
namespace zeltrac::tabtext {

// Cell texts row by row; rows may differ in length.
using Block = QList<QStringList>;

// The number of columns: the length of the longest row.
int columnCount(const Block& block);

// Cells joined by tabs, every row ended by a line feed. A tab or a line break
// inside a cell text is written as a space, so that the block keeps its shape.
QString format(const Block& block);

// Rows end at CR LF, at LF or at a lone CR; the line end after the last row
// adds no empty row. Cells are separated by tabs. An empty text is an empty
// block; a lone line end is one empty cell.
Block parse(const QString& text);

// A block with the heads of its columns and rows, as a table shows them.
struct HeadedBlock
{
    QString title;           // a row of its own above the block; none when empty
    QString corner;          // above the row heads
    QStringList columnHeads; // one per column; none: no head row
    QStringList rowHeads;    // one per row; none: no head column
    Block cells;
};

// The heads of a table's columns and rows, by their numbers from 0.
struct TableHeads
{
    QString corner;
    std::function<QString(int column)> column;
    std::function<QString(int row)> row;

    // `cells` with the heads of its columns and rows, its top-left cell at
    // (column, row) of the table.
    HeadedBlock around(const Block& cells, int column = 0, int row = 0) const;
};

// The blocks as one HTML table, the form spreadsheets paste as cells: each
// block's title, its head row, then its rows, each after its head; an empty
// row between two blocks. Every text is escaped.
QString html(const QList<HeadedBlock>& blocks);

// What one copy puts on the clipboard: `text` as plain text (the
// tab-separated form) and the blocks as an HTML table beside it.
std::unique_ptr<QMimeData> mimeData(const QString& text, const QList<HeadedBlock>& blocks);

} // namespace zeltrac::tabtext
