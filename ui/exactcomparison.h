#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <optional>
#include <vector>

#include "workbook/exactplan.h"

namespace zeltrac::ui {

// The station indicators of plans side by side, read-only: column 0 the
// station, then for each indicator (number of destinations, cars
// reprocessed, car-hours of accumulation, of reprocessing, total) a column
// per plan. Rows: stations 1..N-1, then the totals. The first plan is the
// one compared: a cell of another plan that differs from the first plan's
// has the marking background, and so has the first plan's cell when it
// differs from any other's.
class ExactComparisonModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kIndicators = 5;

    struct Plan
    {
        QString title; // in the column head, under the indicator's name in its group's first
        QString name;  // in the tooltip "Отличается от …"
        ResultTables tables;
    };

    explicit ExactComparisonModel(QObject* parent = nullptr);

    // Shows the plans of a line of `stationCount` stations; none empties
    // the table.
    void setPlans(std::vector<Plan> plans, int stationCount);
    // The calculated plan beside the exact plan; none, or no plan found,
    // empties the table.
    void setPlan(const std::optional<ExactPlan>& plan);

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
    // The indicator's value (2..6) of plan `plan` in a row.
    Real40 value(int plan, int indicator, int row) const;
    // The plans whose cell differs from the one of `plan` in the column's
    // indicator: the first plan for another, the others for the first.
    QStringList differing(int row, int column) const;

    std::vector<Plan> m_plans;
    int m_stationCount = 0;
};

} // namespace zeltrac::ui
