#include "workbook/exactplan.h"

#include <array>
#include <charconv>
#include <cmath>

#include <QString>

#include "calc/numtext.h"
#include "report/report.h"

namespace zeltrac {

ExactPlan::ExactPlan(optimum::Solution solution, optimum::CalculatedPlan calculated,
                     int stationCount, PlanKind kind, int variant)
    : m_solution(std::move(solution)), m_calculated(std::move(calculated)),
      m_stationCount(stationCount), m_kind(kind), m_variant(variant)
{
}

double ExactPlan::saving() const
{
    return hasPlan() ? analyticalCost() - cost() : 0;
}

double ExactPlan::savingPercent() const
{
    if (!hasPlan() || analyticalCost() == 0)
        return 0;
    return saving() / analyticalCost() * 100;
}

bool ExactPlan::indicatorDiffers(int column, int station) const
{
    if (!hasPlan() || column < 2 || column > 6 || station < 1 || station >= m_stationCount)
        return false;
    return m_solution.best.tables.indicator(column, station) !=
           m_calculated.tables.indicator(column, station);
}

bool ExactPlan::totalDiffers(int element) const
{
    if (!hasPlan() || element < 2 || element > 6)
        return false;
    return m_solution.best.tables.total(element) != m_calculated.tables.total(element);
}

std::string ExactPlan::statusText() const
{
    using optimum::CallStatus;
    using optimum::Status;
    const Status status = m_solution.status();
    std::string text;
    if (status == Status::Failed || status == Status::NotCovered || status == Status::Infeasible) {
        text = "Точный оптимум не найден: " + m_solution.message;
    } else if (!hasPlan()) {
        text = status == Status::Cancelled ? "Отменено раньше, чем найден план"
                                           : "Время истекло раньше, чем найден план";
        if (m_kind == PlanKind::OptimumUnderConditions)
            text += ", удовлетворяющий условиям";
    } else if (status == Status::Optimal) {
        text = m_kind == PlanKind::OptimumUnderConditions ? "Оптимум при условиях доказан"
                                                          : "Оптимум доказан";
    } else {
        text = std::string(status == Status::Cancelled ? "Отменено" : "Предел времени исчерпан") +
               ": лучший найденный план, нижняя граница " + fixedText(m_solution.bound, 2) +
               " ваг.-ч";
    }
    if (hasPlan() && !m_solution.variantsComplete)
        text += m_solution.call == CallStatus::Cancelled
                    ? "; список вариантов неполон: поиск отменен"
                    : "; список вариантов неполон: время истекло";
    return text;
}

void ExactPlan::appendSection(std::vector<std::string>& lines) const
{
    lines.emplace_back();
    lines.emplace_back(QString::fromStdString(label()).toUpper().toStdString());
    lines.emplace_back();
    lines.emplace_back("Статус: " + statusText());
    if (!hasPlan())
        return;
    lines.emplace_back();
    const TextTable& plan = m_solution.best.plan;
    for (int r = 1; r <= plan.rowCount(); ++r) {
        lines.emplace_back("     ");
        for (int c = 1; c <= plan.columnCount() - r + 1; ++c) {
            lines.back() += report::wholeField(numtext::toWholeLenient(plan.cell(c - 1, r - 1)), 6);
        }
    }
    lines.emplace_back();
    lines.emplace_back("ПОКАЗАТЕЛИ ТОЧНОГО ПЛАНА (* - отличаются от рассчитанного)");
    lines.emplace_back();
    lines.emplace_back(" №       ЧИСЛО      ПЕРЕРАБОТКА   ЗАТРАТЫ ВАГОНО-ЧАСОВ");
    lines.emplace_back(" СТАНЦИИ НАЗНАЧЕНИЙ ВАГОНОВ  НАКОПЛЕНИЕ ПЕРЕРАБОТ  ИТОГО");
    for (int station = 1; station <= m_stationCount - 1; ++station) {
        lines.emplace_back();
        bool differs = false;
        for (int column = 1; column <= 6; ++column) {
            lines.back() +=
                report::indicatorField(m_solution.best.tables.indicator(column, station));
            differs = differs || indicatorDiffers(column, station);
        }
        if (differs)
            lines.back() += " *";
    }
    lines.emplace_back("  ВСЕГО  ");
    bool totalsDiffer = false;
    for (int element = 2; element <= 6; ++element) {
        lines.back() += report::indicatorField(m_solution.best.tables.total(element));
        totalsDiffer = totalsDiffer || totalDiffers(element);
    }
    if (totalsDiffer)
        lines.back() += " *";
    lines.emplace_back();
    lines.emplace_back("Рассчитанный план, ваг.-ч: " + fixedText(analyticalCost(), 2));
    // Aligned with the line above it.
    lines.emplace_back(
        QString::fromStdString(label() + ", ваг.-ч:").leftJustified(27).toStdString() +
        fixedText(cost(), 2));
    lines.emplace_back("Экономия, ваг.-ч:          " + fixedText(saving(), 2) + " (" +
                       fixedText(savingPercent(), 2) + " %)");
    lines.emplace_back("Время решения, с:          " + fixedText(m_solution.seconds, 3));
}

std::string fixedText(double value, int decimals)
{
    if (!std::isfinite(value))
        return "-";
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc())
        return "-";
    std::string text(buffer.data(), end);
    // No "-0.00" for a saving of nothing.
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-')
        text.erase(0, 1);
    return text;
}

} // namespace zeltrac
