#include "workbook/celltable.h"

namespace zeltrac {

CellTableModel::CellTableModel(QObject* parent) : QAbstractTableModel(parent) {}

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
    setCell(index.column(), index.row(), value.toString());
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

void CellTableModel::setColumns(int columns)
{
    columns = qMax(0, columns);
    if (columns > m_columns) {
        beginInsertColumns({}, m_columns, columns - 1);
        m_columns = columns;
        endInsertColumns();
    } else if (columns < m_columns) {
        beginRemoveColumns({}, columns, m_columns - 1);
        m_columns = columns;
        endRemoveColumns();
    }
}

void CellTableModel::setRows(int rows)
{
    rows = qMax(0, rows);
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
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
    if (column < 0 || row < 0)
        return;
    const quint64 k = key(column, row);
    const auto it = m_cells.constFind(k);
    const bool had = it != m_cells.constEnd();
    if (had ? *it == text : text.isEmpty())
        return;
    if (text.isEmpty())
        m_cells.remove(k);
    else
        m_cells.insert(k, text);
    if (column < m_columns && row < m_rows) {
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
    }
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

} // namespace zeltrac
