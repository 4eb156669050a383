#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include "calc/texttable.h"

namespace zeltrac {

// Cell texts addressed (column, row) from 0, as a table model. The texts are
// kept sparsely and independently of the current column and row counts: a
// cell that falls outside when the counts shrink keeps its text and shows it
// again when they grow.
class CellTableModel : public QAbstractTableModel
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

private:
    static quint64 key(int column, int row);

    int m_columns = 0;
    int m_rows = 0;
    bool m_editable = true;
    QHash<quint64, QString> m_cells; // only non-empty texts
};

} // namespace zeltrac
