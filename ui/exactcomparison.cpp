#include "ui/exactcomparison.h"

#include <QBrush>
#include <QLocale>

namespace zeltrac::ui {

namespace {

const char* const kIndicatorNames[ExactComparisonModel::kIndicators] = {
    "Назначений", "Переработано", "Накопление", "Переработка", "Итого"};

// The indicators are 6-byte reals (about 12 digits): ten digits show them
// without the noise of their binary fractions.
QString numberText(double value)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 10);
}

} // namespace

ExactComparisonModel::ExactComparisonModel(QObject* parent) : QAbstractTableModel(parent) {}

void ExactComparisonModel::setPlan(std::optional<ExactPlan> plan)
{
    beginResetModel();
    m_plan = std::move(plan);
    if (m_plan && !m_plan->hasPlan())
        m_plan.reset();
    endResetModel();
}

int ExactComparisonModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1 + 2 * kIndicators;
}

int ExactComparisonModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_plan)
        return 0;
    return m_plan->stationCount(); // N-1 stations and the totals
}

bool ExactComparisonModel::isMarked(int row, int column) const
{
    if (!m_plan || column < 1 || column > 2 * kIndicators || row < 0 || row >= rowCount())
        return false;
    const int indicator = 2 + (column - 1) / 2; // 2..6
    const int station = row + 1;
    if (station == m_plan->stationCount())
        return m_plan->totalDiffers(indicator);
    return m_plan->indicatorDiffers(indicator, station);
}

QVariant ExactComparisonModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_plan || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int row = index.row();
    const int column = index.column();
    const int station = row + 1;
    const bool totals = station == m_plan->stationCount();
    switch (role) {
    case Qt::DisplayRole: {
        if (column == 0)
            return totals ? QStringLiteral("Итого") : QString::number(station);
        const int indicator = 2 + (column - 1) / 2;
        const bool exact = (column - 1) % 2 == 1;
        const optimum::Solution& solution = m_plan->solution();
        const ResultTables& tables = exact ? solution.best.tables : m_plan->calculated().tables;
        const Real40 value =
            totals ? tables.total(indicator) : tables.indicator(indicator, station);
        return numberText(value.toDouble());
    }
    case Qt::TextAlignmentRole:
        return column == 0 ? QVariant(Qt::AlignCenter)
                           : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (isMarked(row, column))
            return QBrush(markColor());
        return {};
    case Qt::ToolTipRole:
        if (isMarked(row, column))
            return QStringLiteral("Отличается от рассчитанного плана");
        return {};
    default:
        return {};
    }
}

QVariant ExactComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("Станция");
    // Destinations and cars, then car-hours.
    if (section < 1 || section > 2 * kIndicators)
        return {};
    const QString name = QString::fromUtf8(kIndicatorNames[(section - 1) / 2]);
    return name +
           ((section - 1) % 2 == 0 ? QStringLiteral("\nрасчет") : QStringLiteral("\nоптимум"));
}

Qt::ItemFlags ExactComparisonModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace zeltrac::ui
