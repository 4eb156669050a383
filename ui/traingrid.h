#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "calc/plan.h"
#include "optimum/conditions.h"

namespace zeltrac::ui {

// The trains of a line laid out like the plan grid: column = origin - 1, row
// = N - destination. A cell shows the cars of the plan shown on that train;
// the through trains of the plan in force have a marked background, those
// no flow can use another.
class TrainGridModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setStations(int n);
    void setPlanInForce(const std::vector<optimum::TrainPair>& through,
                        const std::vector<optimum::TrainPair>& unusable);
    void setShown(const std::vector<FixedTrain>& trains);

    // The train of a cell; origin 0 outside the triangle.
    optimum::TrainPair trainAt(int column, int row) const;
    bool inForce(int origin, int destination) const;

    int columnCount(const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    int m_n = 0;
    std::vector<optimum::TrainPair> m_through, m_unusable;
    std::vector<FixedTrain> m_shown;
};

} // namespace zeltrac::ui
