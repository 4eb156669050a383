#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <optional>

#include "workbook/exactplan.h"

namespace zeltrac::ui {

// The station indicators of the calculated plan beside those of the exact
// plan, read-only: column 0 the station, then for each indicator (number of
// destinations, cars reprocessed, car-hours of accumulation, of
// reprocessing, total) a column for the calculated plan and one for the
// exact plan. Rows: stations 1..N-1, then the totals. Both cells of an
// indicator that differs between the plans have the marking background.
class ExactComparisonModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kIndicators = 5;

    explicit ExactComparisonModel(QObject* parent = nullptr);

    // Shows the plan's comparison; none empties the table.
    void setPlan(std::optional<ExactPlan> plan);

    int columnCount(const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Whether the cell is marked as differing.
    bool isMarked(int row, int column) const;

    static QColor markColor() { return QColor(255, 214, 153); }

private:
    std::optional<ExactPlan> m_plan;
};

} // namespace zeltrac::ui
