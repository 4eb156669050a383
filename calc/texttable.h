#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zeltrac {

// The texts of a grid's cells within its current size, addressed
// (column, row) from 0. UTF-8.
class TextTable
{
public:
    TextTable() = default;
    TextTable(int columns, int rows);

    int columnCount() const { return m_columns; }
    int rowCount() const { return m_rows; }

    // Out-of-range addresses read as the empty text.
    const std::string& cell(int column, int row) const;
    // Out-of-range addresses are ignored.
    void setCell(int column, int row, std::string text);

    friend bool operator==(const TextTable&, const TextTable&) = default;

private:
    // Where the cell's text is kept; nothing outside the table.
    std::optional<std::size_t> indexOf(int column, int row) const;

    int m_columns = 0;
    int m_rows = 0;
    std::vector<std::string> m_cells; // row-major
};

} // namespace zeltrac
