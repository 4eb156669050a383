#include "calc/texttable.h"

#include <utility>

namespace zeltrac {

namespace {
const std::string kEmpty;
}

TextTable::TextTable(int columns, int rows)
    : m_columns(columns > 0 ? columns : 0), m_rows(rows > 0 ? rows : 0),
      m_cells(static_cast<std::size_t>(m_columns) * static_cast<std::size_t>(m_rows))
{
}

std::optional<std::size_t> TextTable::indexOf(int column, int row) const
{
    if (column < 0 || row < 0 || column >= m_columns || row >= m_rows)
        return std::nullopt;
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(m_columns) +
           static_cast<std::size_t>(column);
}

const std::string& TextTable::cell(int column, int row) const
{
    const auto index = indexOf(column, row);
    return index ? m_cells[*index] : kEmpty;
}

void TextTable::setCell(int column, int row, std::string text)
{
    if (const auto index = indexOf(column, row))
        m_cells[*index] = std::move(text);
}

} // namespace zeltrac
