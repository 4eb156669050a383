#include "ui/planconditions.h"

#include <QBrush>
#include <algorithm>

namespace zeltrac::ui {

using optimum::Conditions;
using optimum::TrainPair;

std::optional<TrainPair> trainAtCell(int column, int row, int n)
{
    const int origin = column + 1;
    const int destination = n - row;
    if (column < 0 || row < 0 || origin >= destination)
        return std::nullopt;
    return TrainPair{origin, destination};
}

TrainMark trainMark(const Conditions& conditions, const TrainPair& train)
{
    const auto has = [&train](const std::vector<TrainPair>& trains) {
        return std::find(trains.begin(), trains.end(), train) != trains.end();
    };
    if (has(conditions.forced))
        return TrainMark::Forced;
    if (has(conditions.forbidden))
        return TrainMark::Forbidden;
    return TrainMark::None;
}

TrainMark cycleTrain(Conditions& conditions, const TrainPair& train)
{
    const TrainMark before = trainMark(conditions, train);
    std::erase(conditions.forced, train);
    std::erase(conditions.forbidden, train);
    switch (before) {
    case TrainMark::None:
        conditions.forced.push_back(train);
        return TrainMark::Forced;
    case TrainMark::Forced:
        conditions.forbidden.push_back(train);
        return TrainMark::Forbidden;
    case TrainMark::Forbidden:
        break;
    }
    return TrainMark::None;
}

void ConditionPlanModel::setConditions(const Conditions* conditions, int n)
{
    m_conditions = conditions;
    m_stations = n;
    refreshMarks();
}

void ConditionPlanModel::refreshMarks()
{
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         {Qt::BackgroundRole, Qt::ToolTipRole});
}

TrainMark ConditionPlanModel::markAt(int column, int row) const
{
    if (!m_conditions)
        return TrainMark::None;
    const std::optional<TrainPair> train = trainAtCell(column, row, m_stations);
    return train ? trainMark(*m_conditions, *train) : TrainMark::None;
}

QVariant ConditionPlanModel::data(const QModelIndex& index, int role) const
{
    if (index.isValid() && (role == Qt::BackgroundRole || role == Qt::ToolTipRole)) {
        const TrainMark mark = markAt(index.column(), index.row());
        const std::optional<TrainPair> train = trainAtCell(index.column(), index.row(), m_stations);
        if (mark == TrainMark::Forced)
            return role == Qt::BackgroundRole
                       ? QVariant(QBrush(forcedColor()))
                       : QVariant(QString::fromStdString(optimum::describeForced(*train)));
        if (mark == TrainMark::Forbidden)
            return role == Qt::BackgroundRole
                       ? QVariant(QBrush(forbiddenColor()))
                       : QVariant(QString::fromStdString(optimum::describeForbidden(*train)));
    }
    return CellTableModel::data(index, role);
}

QVariant ConditionPlanModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return CellTableModel::headerData(section, orientation, role);
    return QString::number(orientation == Qt::Horizontal ? section + 1 : m_stations - section);
}

void MarkedCellDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant background = index.data(Qt::BackgroundRole);
    if (!(option->state & QStyle::State_Selected) || !background.canConvert<QBrush>())
        return;
    const QColor mark = background.value<QBrush>().color();
    const QColor selection = option->palette.color(QPalette::Active, QPalette::Highlight);
    const QColor blended((mark.red() + selection.red()) / 2, (mark.green() + selection.green()) / 2,
                         (mark.blue() + selection.blue()) / 2);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        option->palette.setColor(group, QPalette::Highlight, blended);
        option->palette.setColor(group, QPalette::HighlightedText,
                                 option->palette.color(group, QPalette::Text));
    }
}

} // namespace zeltrac::ui
