#include "workbook/celltable.h"

#include <algorithm>

namespace zeltrac {

CellTableModel::CellTableModel(QObject* parent) : ResizableTableModel(parent) {}

int CellTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

int CellTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant CellTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cell(index.column(), index.row());
    return {};
}

bool CellTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const int column = index.column();
    const int row = index.row();
    const QString text = value.toString();
    if (!fits({text}))
        return false;
    const QString before = cell(column, row);
    if (text == before)
        return true;
    // The keystrokes into one cell make one step until the typing ends.
    if (m_typing && !m_history.empty()) {
        EditStep& last = m_history.back();
        if (last.changes.size() == 1 && last.changes.front().column == column &&
            last.changes.front().row == row) {
            last.changes.front().after = text;
            writeCell(column, row, text);
            return true;
        }
    }
    EditStep step;
    step.changes.push_back({column, row, before, text});
    step.range = {column, row, 1, 1};
    apply(std::move(step));
    m_typing = true;
    return true;
}

Qt::ItemFlags CellTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_editable)
        result |= Qt::ItemIsEditable;
    return result;
}

void ResizableTableModel::changeCount(Qt::Orientation orientation, int& count, int wanted)
{
    wanted = qMax(0, wanted);
    const bool rows = orientation == Qt::Vertical;
    if (wanted > count) {
        rows ? beginInsertRows({}, count, wanted - 1) : beginInsertColumns({}, count, wanted - 1);
        count = wanted;
        rows ? endInsertRows() : endInsertColumns();
    } else if (wanted < count) {
        rows ? beginRemoveRows({}, wanted, count - 1) : beginRemoveColumns({}, wanted, count - 1);
        count = wanted;
        rows ? endRemoveRows() : endRemoveColumns();
    }
}

void CellTableModel::setColumns(int columns)
{
    changeCount(Qt::Horizontal, m_columns, columns);
}

void CellTableModel::setRows(int rows)
{
    changeCount(Qt::Vertical, m_rows, rows);
}

quint64 CellTableModel::key(int column, int row)
{
    return (quint64(quint32(column)) << 32) | quint32(row);
}

QString CellTableModel::cell(int column, int row) const
{
    if (column < 0 || row < 0)
        return {};
    return m_cells.value(key(column, row));
}

void CellTableModel::setCell(int column, int row, const QString& text)
{
    if (writeCell(column, row, text)) {
        m_history.clear();
        m_typing = false;
    }
}

bool CellTableModel::writeCell(int column, int row, const QString& text)
{
    if (column < 0 || row < 0)
        return false;
    const quint64 k = key(column, row);
    const auto it = m_cells.constFind(k);
    const bool had = it != m_cells.constEnd();
    if (had ? *it == text : text.isEmpty())
        return false;
    if (text.isEmpty())
        m_cells.remove(k);
    else
        m_cells.insert(k, text);
    if (column < m_columns && row < m_rows) {
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
    }
    return true;
}

void CellTableModel::setEditable(bool editable)
{
    if (m_editable == editable)
        return;
    m_editable = editable;
    if (m_columns > 0 && m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
}

TextTable CellTableModel::texts(int columns, int rows) const
{
    TextTable table(columns, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            table.setCell(c, r, cell(c, r).toStdString());
    return table;
}

void CellTableModel::setTexts(const TextTable& table)
{
    for (int r = 0; r < table.rowCount(); ++r)
        for (int c = 0; c < table.columnCount(); ++c)
            setCell(c, r, QString::fromStdString(table.cell(c, r)));
}

CellRange CellTableModel::clipped(const CellRange& range) const
{
    const int left = std::max(range.column, 0);
    const int top = std::max(range.row, 0);
    const int right = std::min(range.column + range.columns, m_columns);
    const int bottom = std::min(range.row + range.rows, m_rows);
    if (right <= left || bottom <= top)
        return {};
    return {left, top, right - left, bottom - top};
}

tabtext::Block CellTableModel::block(const CellRange& range) const
{
    const CellRange inside = clipped(range);
    tabtext::Block result;
    for (int r = inside.row; r < inside.row + inside.rows; ++r) {
        QStringList cells;
        for (int c = inside.column; c < inside.column + inside.columns; ++c)
            cells << cell(c, r);
        result << cells;
    }
    return result;
}

std::unique_ptr<QMimeData> CellTableModel::copyData(const CellRange& range) const
{
    const CellRange inside = clipped(range);
    const tabtext::Block cells = block(inside);
    return tabtext::mimeData(tabtext::format(cells),
                             {m_heads.around(cells, inside.column, inside.row)});
}

PasteResult CellTableModel::paste(const tabtext::Block& block, int column, int row,
                                  const CellRange& selection)
{
    PasteResult result;
    if (!m_editable || block.isEmpty() || column < 0 || row < 0)
        return result;
    for (const QStringList& cells : block)
        if (!fits(cells))
            return result;
    m_typing = false;
    EditStep step;
    const auto put = [this, &step](int c, int r, const QString& text) {
        const QString before = cell(c, r);
        if (before != text)
            step.changes.push_back({c, r, before, text});
    };

    const bool singleValue = block.size() == 1 && block.front().size() == 1;
    if (singleValue && selection.cellCount() > 1) {
        result.written = clipped(selection);
        for (int r = result.written.row; r < result.written.row + result.written.rows; ++r)
            for (int c = result.written.column; c < result.written.column + result.written.columns;
                 ++c)
                put(c, r, block.front().front());
    } else {
        const int rows = int(block.size());
        const int columns = tabtext::columnCount(block);
        result.written = clipped({column, row, columns, rows});
        result.rowsLeftOut = std::clamp(row + rows - m_rows, 0, rows);
        result.columnsLeftOut = std::clamp(column + columns - m_columns, 0, columns);
        for (int r = 0; r < rows && row + r < m_rows; ++r) {
            const QStringList& cells = block[r];
            for (int c = 0; c < int(cells.size()) && column + c < m_columns; ++c)
                put(column + c, row + r, cells[c]);
        }
    }
    step.range = result.written;
    apply(std::move(step));
    return result;
}

CellRange CellTableModel::clear(const CellRange& range)
{
    const CellRange inside = clipped(range);
    if (!m_editable || inside.isEmpty())
        return {};
    m_typing = false;
    EditStep step;
    step.range = inside;
    for (int r = inside.row; r < inside.row + inside.rows; ++r)
        for (int c = inside.column; c < inside.column + inside.columns; ++c)
            if (const QString before = cell(c, r); !before.isEmpty())
                step.changes.push_back({c, r, before, QString()});
    apply(std::move(step));
    return inside;
}

bool CellTableModel::fits(const QStringList& texts)
{
    for (const QString& text : texts) {
        if (text.size() > kMaxCellLength) {
            emit editRefused(QStringLiteral("Значение длиннее %1 байт не принято: строка файла "
                                            "исходных данных не может быть длиннее")
                                 .arg(kMaxCellLength));
            return false;
        }
    }
    return true;
}

void CellTableModel::apply(EditStep step)
{
    if (step.changes.empty())
        return;
    for (const CellChange& change : step.changes)
        writeCell(change.column, change.row, change.after);
    if (m_history.size() == kHistoryDepth)
        m_history.erase(m_history.begin());
    m_history.push_back(std::move(step));
}

CellRange CellTableModel::undo()
{
    m_typing = false;
    if (m_history.empty() || !m_editable)
        return {};
    const EditStep step = std::move(m_history.back());
    m_history.pop_back();
    for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it)
        writeCell(it->column, it->row, it->before);
    return step.range;
}

} // namespace zeltrac
