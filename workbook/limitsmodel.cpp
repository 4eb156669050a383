#include "workbook/limitsmodel.h"

#include <limits>

#include "workbook/workbook.h"

namespace zeltrac {

LimitsModel::LimitsModel(Workbook& workbook, QObject* parent)
    : ResizableTableModel(parent), m_workbook(workbook), m_rows(workbook.stationCount() - 1)
{
    connect(&workbook, &Workbook::stationCountChanged, this, &LimitsModel::followStationCount);
    connect(&workbook, &Workbook::conditionsChanged, this, [this] {
        if (m_rows > 0)
            emit dataChanged(index(0, 0), index(m_rows - 1, 1), {Qt::DisplayRole, Qt::EditRole});
    });
}

void LimitsModel::followStationCount()
{
    changeCount(Qt::Vertical, m_rows, m_workbook.stationCount() - 1);
}

int LimitsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int LimitsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant LimitsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const optimum::Conditions& conditions = m_workbook.conditions();
    const int station = index.row() + 1;
    if (index.column() == 0) {
        const auto limit = conditions.maxDestinations.find(station);
        return limit == conditions.maxDestinations.end() ? QString()
                                                         : QString::number(limit->second);
    }
    const auto limit = conditions.maxReprocessed.find(station);
    return limit == conditions.maxReprocessed.end() ? QString() : QString::number(limit->second);
}

QVariant LimitsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QString::number(section + 1);
    return section == 0 ? QStringLiteral("Назначений") : QStringLiteral("Переработка, ваг.");
}

Qt::ItemFlags LimitsModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = ResizableTableModel::flags(index);
    if (index.isValid() && !m_workbook.analysis().isRunning())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool LimitsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid) ||
        m_workbook.analysis().isRunning())
        return false;
    const QString text = value.toString().trimmed();
    const int station = index.row() + 1;
    optimum::Conditions conditions = m_workbook.conditions();
    bool ok = text.isEmpty();
    const qlonglong limit = ok ? 0 : text.toLongLong(&ok);
    if (!ok || limit < 0 || (index.column() == 0 && limit > std::numeric_limits<int>::max())) {
        emit refused(QStringLiteral("Ограничение станции %1 — не целое число не меньше 0: «%2»")
                         .arg(station)
                         .arg(text));
        return false;
    }
    if (index.column() == 0) {
        conditions.maxDestinations.erase(station);
        if (!text.isEmpty())
            conditions.maxDestinations[station] = static_cast<int>(limit);
    } else {
        conditions.maxReprocessed.erase(station);
        if (!text.isEmpty())
            conditions.maxReprocessed[station] = limit;
    }
    m_workbook.setConditions(conditions); // dataChanged() follows
    return true;
}

} // namespace zeltrac
