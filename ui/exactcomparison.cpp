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

void ExactComparisonModel::setPlans(std::vector<Plan> plans, int stationCount)
{
    beginResetModel();
    m_plans = std::move(plans);
    m_stationCount = stationCount;
    endResetModel();
}

void ExactComparisonModel::setPlan(const std::optional<ExactPlan>& plan)
{
    if (!plan || !plan->hasPlan())
        return setPlans({}, 0);
    setPlans(
        {{QStringLiteral("расчет"), QStringLiteral("рассчитанного плана"),
          plan->calculated().tables},
         {QStringLiteral("оптимум"), QStringLiteral("оптимума"), plan->solution().best.tables}},
        plan->stationCount());
}

int ExactComparisonModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1 + static_cast<int>(m_plans.size()) * kIndicators;
}

int ExactComparisonModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || m_plans.empty())
        return 0;
    return m_stationCount; // N-1 stations and the totals
}

Real40 ExactComparisonModel::value(int plan, int indicator, int row) const
{
    const ResultTables& tables = m_plans[plan].tables;
    const int station = row + 1;
    return station == m_stationCount ? tables.total(indicator)
                                     : tables.indicator(indicator, station);
}

QStringList ExactComparisonModel::differing(int row, int column) const
{
    const int plans = static_cast<int>(m_plans.size());
    if (column < 1 || column >= columnCount() || row < 0 || row >= rowCount())
        return {};
    const int indicator = 2 + (column - 1) / plans; // 2..6
    const int plan = (column - 1) % plans;
    QStringList names;
    for (int other = 0; other < plans; ++other)
        if (other != plan && (plan == 0 || other == 0) &&
            value(other, indicator, row) != value(plan, indicator, row))
            names << m_plans[other].name;
    return names;
}

bool ExactComparisonModel::isMarked(int row, int column) const
{
    return !differing(row, column).isEmpty();
}

QVariant ExactComparisonModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int row = index.row();
    const int column = index.column();
    const int plans = static_cast<int>(m_plans.size());
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0)
            return row + 1 == m_stationCount ? QStringLiteral("Итого") : QString::number(row + 1);
        return numberText(value((column - 1) % plans, 2 + (column - 1) / plans, row).toDouble());
    case Qt::TextAlignmentRole:
        return column == 0 ? QVariant(Qt::AlignCenter)
                           : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (isMarked(row, column))
            return QBrush(markColor());
        return {};
    case Qt::ToolTipRole:
        if (const QStringList names = differing(row, column); !names.isEmpty())
            return QStringLiteral("Отличается от ") + names.join(QStringLiteral(" и "));
        return {};
    default:
        return {};
    }
}

QVariant ExactComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section < 0 || section >= columnCount() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (section == 0)
        return QStringLiteral("Станция");
    // Destinations and cars, then car-hours. The indicator's name heads the
    // first column of its group only, which keeps the others narrow.
    const int plans = static_cast<int>(m_plans.size());
    const QString name = QString::fromUtf8(kIndicatorNames[(section - 1) / plans]);
    const QString& title = m_plans[(section - 1) % plans].title;
    if (role == Qt::ToolTipRole)
        return name + QStringLiteral(" — ") + title;
    return ((section - 1) % plans == 0 ? name : QString()) + u'\n' + title;
}

Qt::ItemFlags ExactComparisonModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace zeltrac::ui
