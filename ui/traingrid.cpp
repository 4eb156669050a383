#include "ui/traingrid.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

namespace zeltrac::ui {

void TrainGridModel::setStations(int n)
{
    beginResetModel();
    m_n = n;
    endResetModel();
}

void TrainGridModel::setPlanInForce(const std::vector<optimum::TrainPair>& through,
                                    const std::vector<optimum::TrainPair>& unusable)
{
    m_through = through;
    m_unusable = unusable;
    if (m_n > 1)
        emit dataChanged(index(0, 0), index(m_n - 2, m_n - 2));
}

void TrainGridModel::setShown(const std::vector<FixedTrain>& trains)
{
    m_shown = trains;
    if (m_n > 1)
        emit dataChanged(index(0, 0), index(m_n - 2, m_n - 2));
}

optimum::TrainPair TrainGridModel::trainAt(int column, int row) const
{
    if (column < 0 || row < 0 || column + row > m_n - 2)
        return {0, 0};
    return {column + 1, m_n - row};
}

bool TrainGridModel::inForce(int origin, int destination) const
{
    return std::find(m_through.begin(), m_through.end(), optimum::TrainPair(origin, destination)) !=
           m_through.end();
}

int TrainGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(0, m_n - 1);
}

int TrainGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(0, m_n - 1);
}

QVariant TrainGridModel::data(const QModelIndex& index, int role) const
{
    const auto [origin, destination] = trainAt(index.column(), index.row());
    if (origin == 0)
        return {};
    if (role == Qt::DisplayRole) {
        for (const FixedTrain& t : m_shown) {
            if (t.origin == origin && t.destination == destination)
                return t.cars;
        }
        return {};
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role == Qt::BackgroundRole) {
        const optimum::TrainPair train(origin, destination);
        if (std::find(m_unusable.begin(), m_unusable.end(), train) != m_unusable.end())
            return QBrush(QColor(255, 170, 170));
        if (inForce(origin, destination))
            return QBrush(QColor(170, 220, 170));
        if (destination == origin + 1)
            return QBrush(QColor(235, 235, 235));
    }
    if (role == Qt::ToolTipRole) {
        QString tip = QStringLiteral("Поезд %1-%2").arg(origin).arg(destination);
        if (destination == origin + 1)
            return tip + QStringLiteral(": местный");
        return tip + (inForce(origin, destination) ? QStringLiteral(": в действующем плане")
                                                   : QStringLiteral(": щелчок включает"));
    }
    return {};
}

QVariant TrainGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    return orientation == Qt::Horizontal ? section + 1 : m_n - section;
}

Qt::ItemFlags TrainGridModel::flags(const QModelIndex& index) const
{
    return trainAt(index.column(), index.row()).first == 0
               ? Qt::NoItemFlags
               : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace zeltrac::ui
