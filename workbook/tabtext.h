#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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

} // namespace zeltrac::tabtext
