#pragma once

#include <QString>

#include "workbook/celltable.h"

namespace zeltrac {

class Workbook;

// The station limits of the session's conditions as a table: row s-1 is
// station s (1..N-1), column 0 its most destinations, column 1 its most
// re-formed cars; an empty cell is no limit. Reads and writes
// Workbook::conditions() (no copy of its own) and follows its changes. Not
// editable while the session's analysis job solves.
class LimitsModel : public ResizableTableModel
{
    Q_OBJECT

public:
    explicit LimitsModel(Workbook& workbook, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A whole number of at least 0 (blanks around it ignored) or the empty
    // text; anything else is refused with refused(), and nothing changes.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // Why a text was not taken as a limit.
    void refused(const QString& reason);

private:
    void followStationCount();

    Workbook& m_workbook;
    int m_rows = 0; // as the views know it, until the station count changes
};

} // namespace zeltrac
